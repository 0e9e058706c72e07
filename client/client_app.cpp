#include "client/client_app.h"

#include <ostream>

#include "client/map_builder.h"
#include "foundation/settings.h"
#include "layout/layout_file.h"
#include "platform/platform.h"
#include "templates/template_library.h"

namespace cellforge {

namespace {

constexpr std::string_view kProgram = "client";

constexpr std::string_view kUsage =
    "usage: client [--game-dir DIR]\n"
    "\n"
    "Turns the layout sample.mtf of template_directory and the piece texts of\n"
    "source_directory into the map sample.map in target_directory. All settings\n"
    "come from Cellforge.INI beside the program; server runs client itself.\n"
    "\n"
    "  --game-dir DIR  the game's install folder, as server was given it: a\n"
    "             target_directory left at its default is the game's maps folder\n"
    "  --help     show this text\n"
    "  --version  show the version\n";

}  // namespace

int runClient(const std::vector<std::string>& args, const std::string& programPath,
              std::ostream& out, std::ostream& err) {
  for (const auto& a : args) {
    if (a == "--help") {
      out << kUsage;
      return 0;
    }
    if (a == "--version") {
      out << "client (Cellforge) " << CELLFORGE_VERSION << '\n';
      return 0;
    }
  }
  std::string gameDirectory;
  if (args.size() == 2 && args[0] == "--game-dir" && !args[1].empty()) {
    gameDirectory = args[1];
  } else if (!args.empty()) {
    platform::showMessage(err, kProgram,
                          "unknown argument \"" + args.front() +
                              "\" (client takes only --game-dir DIR; see --help)");
    return 2;
  }

  Settings settings;
  setIniPath(settings, programPath);
  if (Status s = loadSettings(settings); !s) {
    platform::showMessage(err, kProgram, s.message());
    return 1;
  }
  applyGameDirectory(settings, gameDirectory);
  const std::string layoutPath = settings.template_directory + std::string(kLayoutFileName);
  const std::string mapPath = settings.target_directory + std::string(kMapFileName);

  // Before anything can fail, so a failed run leaves no stale map behind.
  if (Status s = platform::deleteFile(mapPath); !s) {
    platform::showMessage(err, kProgram, s.message());
    return 1;
  }
  TemplateLibrary library;
  const Status loaded = library.load(settings.source_directory);
  for (const std::string& warning : library.warnings())
    platform::showMessage(err, kProgram, warning);
  if (!loaded) {
    platform::showMessage(err, kProgram, loaded.message());
    return 1;
  }

  MapBuilder builder(settings, library);
  const Status built = builder.build(layoutPath, mapPath);
  for (const std::string& warning : builder.warnings())
    platform::showMessage(err, kProgram, warning);
  if (!built) {
    platform::showMessage(err, kProgram, built.message());
    return 1;
  }
  out << "Wrote " << mapPath << '\n';
  return 0;
}

}  // namespace cellforge

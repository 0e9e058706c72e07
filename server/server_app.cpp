#include "server/server_app.h"

#include <ostream>

#include "foundation/default_settings.h"
#include "foundation/settings.h"
#include "platform/platform.h"

namespace cellforge {

namespace {

constexpr std::string_view kProgram = "server";

constexpr std::string_view kUsage =
    "usage: server [--seed N] [--no-compile]\n"
    "       server -INIT\n"
    "\n"
    "Builds a random level from the templates of source_directory, writes the\n"
    "layout sample.mtf, has client turn it into sample.map and runs the game's\n"
    "compile tools on it. All settings come from Cellforge.INI beside the\n"
    "program.\n"
    "\n"
    "  -INIT         write a fresh, commented Cellforge.INI and make its folders\n"
    "  --seed N      use the random seed N (0 to 4294967295) instead of the time\n"
    "  --no-compile  write the layout and the map, but run no compile tools\n"
    "  --help        show this text\n"
    "  --version     show the version\n";

bool containsInit(const std::vector<std::string>& args) {
  std::string line;
  for (const auto& a : args) line += a + " ";
  for (char& c : line)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return line.find("-INIT") != std::string::npos;
}

int runInit(const std::string& programPath, std::ostream& out, std::ostream& err) {
  Settings settings;
  setIniPath(settings, programPath);
  const std::string folder = iniFolder(settings);
  // The default game folder sits inside the install tree, never outside it.
  const std::string sep(1, platform::separator());
  (void)platform::makeFolder(folder + ".." + sep + "baseq2");
  (void)platform::makeFolder(folder + ".." + sep + "baseq2" + sep + "maps");
  const Status written = writeDefaultSettingsFile(settings);
  if (!written) {
    platform::showMessage(err, kProgram,
                          std::string(kUnableToWriteIni) + " (" + written.message() + ")");
    return 1;
  }
  (void)platform::makeFolder(settings.template_directory);
  out << "Wrote " << settings.ini_path << '\n';
  return 0;
}

}  // namespace

int runServer(const std::vector<std::string>& args, const std::string& programPath,
              std::ostream& out, std::ostream& err) {
  if (containsInit(args)) return runInit(programPath, out, err);
  for (const auto& a : args) {
    if (a == "--help") {
      out << kUsage;
      return 0;
    }
    if (a == "--version") {
      out << "server (Cellforge) " << CELLFORGE_VERSION << '\n';
      return 0;
    }
  }
  platform::showMessage(err, kProgram, "the layout generator is not built yet; only -INIT works");
  return 1;
}

}  // namespace cellforge

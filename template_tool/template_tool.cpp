#include "template_tool/template_tool.h"

#include <algorithm>
#include <optional>
#include <ostream>

#include "client/map_builder.h"
#include "foundation/settings.h"
#include "game_files/game_folder.h"
#include "layout/layout_file.h"
#include "platform/platform.h"
#include "template_tool/floor_plan.h"
#include "template_tool/kit_check.h"
#include "template_tool/kit_generator.h"
#include "template_tool/manifest.h"
#include "template_tool/render.h"
#include "templates/mmd_file.h"

namespace cellforge {
namespace {

constexpr const char* kUsage =
    "usage: cellforge-template build MANIFEST OUT.mmd\n"
    "       cellforge-template show FILE.mmd|sample.mtf\n"
    "       cellforge-template check [--game quake2|quake] KIT_FOLDER\n"
    "       cellforge-template plan sample.mtf [KIT_FOLDER [OUT.svg]]\n"
    "       cellforge-template kit quake2|quake FOLDER\n"
    "       cellforge-template render [--game quake2|quake] FILE.map|KIT_FOLDER [OUT.svg]\n"
    "       cellforge-template wad --game-dir QUAKE_FOLDER OUT.wad [TEXTURE...]\n";

std::string asFolder(std::string path) {
  if (!path.empty() && path.back() != '/' && path.back() != platform::separator())
    path += platform::separator();
  return path;
}

int usage(std::ostream& err) {
  err << kUsage;
  return 2;
}

int report(std::ostream& err, const Error& e) {
  platform::showMessage(err, "cellforge-template", e.message);
  return 1;
}

int build(const std::string& manifest, const std::string& target, std::ostream& out,
          std::ostream& err) {
  auto text = platform::readFile(manifest);
  if (!text) return report(err, text.error());
  auto t = parseManifest(*text, manifest);
  if (!t) return report(err, t.error());
  if (auto s = platform::replaceFile(target, encodeMmd(*t)); !s) return report(err, s.error());
  out << "wrote " << target << " (template " << t->id << ", " << t->cells.size() << " cells)\n";
  return 0;
}

// A texture wad for Quake's map compiler from the levels in the paks of a
// Quake folder: the textures named, or every one.
int wad(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() < 4 || args[1] != "--game-dir") return usage(err);
  auto game = gamefiles::GameFolder::open(args[2], Game::quake);
  if (!game) return report(err, game.error());
  const std::vector<std::string> textures(args.begin() + 4, args.end());
  auto built = gamefiles::buildTextureWad(*game, textures);
  if (!built) return report(err, built.error());
  for (const std::string& name : built->missing)
    platform::showMessage(err, "cellforge-template",
                          "warning: texture " + name + " is in no level of " +
                              game->dataFolder() + "'s paks; the wad is without it");
  if (auto s = platform::replaceFile(args[3], built->bytes); !s) return report(err, s.error());
  out << "wrote " << args[3] << " (" << built->names.size() << " textures from the levels of "
      << game->dataFolder() << ")\n";
  return 0;
}

int show(const std::string& path, std::ostream& out, std::ostream& err) {
  auto bytes = platform::readFile(path);
  if (!bytes) return report(err, bytes.error());
  if (isLayoutFile(*bytes)) {
    auto layout = decodeLayout(*bytes, path);
    if (!layout) return report(err, layout.error());
    out << formatLayout(*layout);
    return 0;
  }
  auto t = parseMmd(*bytes, path);
  if (!t) return report(err, t.error());
  out << formatManifest(*t);
  return 0;
}

// "[--game quake2|quake] NAME..." after the command word: the game, and
// the other words; none when the words are not that.
struct GameArgs {
  std::optional<Game> game;  // none: as the kit says
  std::vector<std::string> names;
};
std::optional<GameArgs> gameArgs(const std::vector<std::string>& args) {
  GameArgs parsed;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] != "--game") {
      parsed.names.push_back(args[i]);
    } else if (i + 1 < args.size() && (args[i + 1] == "quake2" || args[i + 1] == "quake")) {
      parsed.game = args[++i] == "quake" ? Game::quake : Game::quake2;
    } else {
      return std::nullopt;
    }
  }
  return parsed;
}

int check(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const auto parsed = gameArgs(args);
  if (!parsed || parsed->names.size() != 1) return usage(err);
  const std::string folder = asFolder(parsed->names[0]);
  const std::vector<std::string> problems = checkKit(folder, parsed->game);
  for (const std::string& p : problems) out << p << "\n";
  if (!problems.empty()) {
    err << "cellforge-template: " << problems.size() << " problem"
        << (problems.size() == 1 ? "" : "s") << " in " << folder << "\n";
    return 1;
  }
  auto names = platform::listFolder(folder, "*.mmd");
  out << folder << ": " << (names ? names->size() : 0) << " templates, no problems\n";
  return 0;
}

int plan(const std::vector<std::string>& args, const std::string& programPath, std::ostream& out,
         std::ostream& err) {
  if (args.size() < 2 || args.size() > 4) return usage(err);
  const std::string& layout = args[1];
  // The kit and game the server uses, from the INI beside us, unless a kit
  // folder is given.
  Settings settings;
  setIniPath(settings, programPath);
  if (Status s = loadSettings(settings); !s) return report(err, s.error());
  if (args.size() >= 3) settings.source_directory = asFolder(args[2]);
  const std::string& kit = settings.source_directory;
  std::string target = args.size() == 4 ? args[3] : layout;
  if (args.size() < 4) {
    const size_t dot = target.rfind('.');
    const size_t slash = target.find_last_of("/\\");
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) target.erase(dot);
    target += ".svg";
  }
  TemplateLibrary library;
  if (auto s = library.load(kit); !s) return report(err, s.error());
  CellGrid grid;
  if (auto s = readLayoutFile(layout, library, grid); !s) return report(err, s.error());
  // Start and exit as the client will place them.
  MapBuilder builder(settings, library);
  builder.grid() = grid;
  auto level = builder.planLevel(layout);
  if (!level) return report(err, level.error());
  if (auto s = platform::replaceFile(target, renderFloorPlan(grid, library, *level)); !s)
    return report(err, s.error());
  out << "wrote " << target << "\n";
  return 0;
}

// The game when told; else Quake when a piece names a wad, as checkKit does.
Game gameOf(std::optional<Game> chosen,
            const std::vector<std::pair<std::string, maptext::Piece>>& pieces) {
  if (chosen) return *chosen;
  const bool wad =
      std::any_of(pieces.begin(), pieces.end(), [](const auto& p) { return namesWad(p.second); });
  return wad ? Game::quake : Game::quake2;
}

int render(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const auto parsed = gameArgs(args);
  if (!parsed || parsed->names.empty() || parsed->names.size() > 2) return usage(err);
  const std::string& input = parsed->names[0];
  const bool folder = platform::isFolder(input);
  std::string target;
  if (parsed->names.size() == 2) {
    target = parsed->names[1];
  } else {
    target = input;
    while (!target.empty() && (target.back() == '/' || target.back() == platform::separator()))
      target.pop_back();
    const size_t dot = target.rfind('.');
    const size_t slash = target.find_last_of("/\\");
    if (!folder && dot != std::string::npos && (slash == std::string::npos || dot > slash))
      target.erase(dot);
    target += ".svg";
  }
  std::vector<std::pair<std::string, maptext::Piece>> pieces;
  auto read = [&](const std::string& path, std::string label) -> Status {
    auto text = platform::readFile(path);
    if (!text) return text.error();
    auto piece = maptext::Piece::read(std::move(*text), path);
    if (!piece) return piece.error();
    pieces.emplace_back(std::move(label), std::move(*piece));
    return success();
  };
  if (folder) {
    TemplateLibrary library;
    const std::string kit = asFolder(input);
    if (auto s = library.load(kit); !s) return report(err, s.error());
    for (const Template& t : library.templates()) {
      if (!maptext::isSafePieceName(t.name)) continue;
      const bool seen = std::any_of(pieces.begin(), pieces.end(),
                                    [&](const auto& p) { return p.first == t.name; });
      if (!seen)
        if (auto s = read(kit + t.name, t.name); !s) return report(err, s.error());
    }
  } else if (auto s = read(input, input); !s) {
    return report(err, s.error());
  }
  const Game game = gameOf(parsed->game, pieces);
  const std::string svg = folder ? renderSheet(pieces, game) : renderMap(pieces[0].second, game);
  if (auto s = platform::replaceFile(target, svg); !s) return report(err, s.error());
  out << "wrote " << target << "\n";
  return 0;
}

int kit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 3 || (args[1] != "quake2" && args[1] != "quake")) return usage(err);
  const std::string folder = asFolder(args[2]);
  if (auto s = platform::makeFolder(folder); !s) return report(err, s.error());
  const auto files = generateKit(args[1] == "quake" ? Game::quake : Game::quake2);
  for (const KitFile& f : files)
    if (auto s = platform::replaceFile(folder + f.name, f.bytes); !s) return report(err, s.error());
  out << "wrote " << files.size() << " files to " << folder << "\n";
  return 0;
}

}  // namespace

int runTemplateTool(const std::vector<std::string>& args, const std::string& programPath,
                    std::ostream& out, std::ostream& err) {
  if (args.empty()) return usage(err);
  const std::string& command = args[0];
  if (command == "build" && args.size() == 3) return build(args[1], args[2], out, err);
  if (command == "show" && args.size() == 2) return show(args[1], out, err);
  if (command == "check") return check(args, out, err);
  if (command == "plan") return plan(args, programPath, out, err);
  if (command == "kit") return kit(args, out, err);
  if (command == "render") return render(args, out, err);
  if (command == "wad") return wad(args, out, err);
  if (command == "--help" || command == "help") {
    out << kUsage;
    return 0;
  }
  return usage(err);
}

}  // namespace cellforge

#include "template_tool/template_tool.h"

#include <ostream>

#include "foundation/settings.h"
#include "foundation/stream.h"
#include "layout/layout_file.h"
#include "platform/platform.h"
#include "template_tool/floor_plan.h"
#include "template_tool/kit_check.h"
#include "template_tool/kit_generator.h"
#include "template_tool/manifest.h"
#include "templates/mmd_file.h"

namespace cellforge {
namespace {

constexpr const char* kUsage =
    "usage: cellforge-template build MANIFEST OUT.mmd\n"
    "       cellforge-template show FILE.mmd|sample.mtf\n"
    "       cellforge-template check [--game quake2|quake] KIT_FOLDER\n"
    "       cellforge-template plan sample.mtf [KIT_FOLDER [OUT.svg]]\n"
    "       cellforge-template kit quake2|quake FOLDER\n";

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

int show(const std::string& path, std::ostream& out, std::ostream& err) {
  auto bytes = platform::readFile(path);
  if (!bytes) return report(err, bytes.error());
  Stream probe(*bytes);
  std::string magic;
  (void)probe.readString(magic);
  if (magic == kMtfMagic) {
    auto text = formatLayout(*bytes, path);
    if (!text) return report(err, text.error());
    out << *text;
    return 0;
  }
  auto t = parseMmd(*bytes, path);
  if (!t) return report(err, t.error());
  out << formatManifest(*t);
  return 0;
}

int check(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Game game = Game::automatic;
  std::string folder;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--game" && i + 1 < args.size()) {
      const std::string& g = args[++i];
      if (g == "quake2")
        game = Game::quake2;
      else if (g == "quake")
        game = Game::quake;
      else
        return usage(err);
    } else if (folder.empty()) {
      folder = args[i];
    } else {
      return usage(err);
    }
  }
  if (folder.empty()) return usage(err);
  folder = asFolder(folder);
  const std::vector<std::string> problems = checkKit(folder, game);
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
  std::string kit;
  if (args.size() >= 3) {
    kit = asFolder(args[2]);
  } else {
    // The kit the server uses: source_directory of the INI beside us.
    Settings settings;
    setIniPath(settings, programPath);
    if (Status s = loadSettings(settings); !s) return report(err, s.error());
    kit = settings.source_directory;
  }
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
  if (auto s = platform::replaceFile(target, renderFloorPlan(grid, library)); !s)
    return report(err, s.error());
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
  if (command == "--help" || command == "help") {
    out << kUsage;
    return 0;
  }
  return usage(err);
}

}  // namespace cellforge

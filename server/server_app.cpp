#include "server/server_app.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <ostream>

#include "client/map_builder.h"
#include "foundation/settings.h"
#include "layout/generator.h"
#include "layout/layout_file.h"
#include "layout/level_plan.h"
#include "layout/random_source.h"
#include "platform/platform.h"
#include "server/map_limits.h"
#include "server/tool_chain.h"

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
  for (const std::string& made : platform::initFolders(folder)) (void)platform::makeFolder(made);
  const Status written = writeDefaultSettingsFile(settings);
  if (!written) {
    platform::showMessage(err, kProgram,
                          std::string(kUnableToWriteIni) + " (" + written.message() + ")");
    platform::showMessageBox(kProgram, kUnableToWriteIni);
    return 1;
  }
  (void)platform::makeFolder(settings.template_directory);
  out << "Wrote " << settings.ini_path << '\n';
  return 0;
}

struct RunOptions {
  bool seedGiven = false;
  uint32_t seed = 0;
  bool compile = true;
};

// Parses the options of a normal run; a bad one is a usage error.
Expected<RunOptions> parseOptions(const std::vector<std::string>& args) {
  RunOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--no-compile") {
      options.compile = false;
    } else if (a == "--seed") {
      if (i + 1 == args.size()) return fail("--seed needs a number");
      const std::string& value = args[++i];
      uint64_t seed = 0;
      bool ok = !value.empty() && value.size() <= 10;
      for (char c : value) {
        ok = ok && c >= '0' && c <= '9';
        if (ok) seed = seed * 10 + static_cast<uint64_t>(c - '0');
      }
      if (!ok || seed > UINT32_MAX)
        return fail("--seed " + value + ": the seed must be a whole number from 0 to 4294967295");
      options.seedGiven = true;
      options.seed = static_cast<uint32_t>(seed);
    } else {
      return fail("unknown option '" + a + "' (see server --help)");
    }
  }
  return options;
}

// `exitKnown` is false when the piece texts could not be read: the client
// will say why, and the exit is not known.
void printSummary(const Generator& generator, const LevelPlan& level, bool exitKnown,
                  std::ostream& out) {
  const CellGrid& grid = generator.grid();
  const double share =
      static_cast<double>(grid.occupiedCount()) / static_cast<double>(generator.totalCells());
  char percent[16];
  std::snprintf(percent, sizeof percent, "%.1f%%", share * 100.0);
  out << "attempts discarded: " << generator.discardedAttempts() << '\n'
      << "cells filled: " << grid.occupiedCount() << " of " << generator.totalCells() << " ("
      << percent << ")\n"
      << "templates placed: " << generator.templatesPlaced() << '\n';
  out << "start: " << describeStart(level) << '\n';
  if (exitKnown)
    out << "exit: " << describeExit(level)
        << (level.exit ? "" : " (no piece of this kit has an exit)") << '\n';
  // Pieces join only through doorways both sides open, and the kit check
  // walks every piece, so each room of a checked kit is reached on foot.
  const auto reached = std::count_if(level.distance.begin(), level.distance.end(),
                                     [](int32_t d) { return d != LevelPlan::kUnreachable; });
  if (static_cast<size_t>(reached) == level.placements.size())
    out << "all " << reached << " rooms reachable on foot\n";
  out << "plan (S start, E exit, * template anchor, # taken cell, gaps are open sides, +y up, +x "
         "right):\n"
      << layoutPlan(grid, level);
}

// The normal run: settings, library, layout, chain, settings back.
int runNormal(const RunOptions& options, const std::string& programPath, std::ostream& out,
              std::ostream& err) {
  auto stop = [&](const std::string& message) {
    platform::showMessage(err, kProgram, message);
    return 1;
  };
  Settings settings;
  setIniPath(settings, programPath);
  if (Status s = loadSettings(settings); !s) return stop(s.message());

  const uint32_t seed =
      options.seedGiven ? options.seed : static_cast<uint32_t>(std::time(nullptr));
  out << "seed " << seed << " (run again with --seed " << seed << ")\n";

  TemplateLibrary library;
  if (Status s = library.load(settings.source_directory); !s) return stop(s.message());
  for (const std::string& w : library.warnings()) platform::showMessage(err, kProgram, w);

  out << "generating: " << settings.x << " x " << settings.y << " x " << settings.z
      << " cells, at least " << settings.percent_to_fill_text << " filled, " << library.size()
      << " templates\n";
  if (Status s = checkGridSettings(settings); !s) return stop(s.message());
  // A grid the settings allow can be written as a layout.
  static_assert(kMaxGridCells <= kMaxLayoutCells);
  RandomSource random(seed);
  Generator generator({{settings.x, settings.y, settings.z}, settings.percent_to_fill}, library,
                      random);
  if (Status s = generator.prepare(); !s)
    return stop(settings.source_directory + ": " + s.message());
  if (!generator.fill()) {
    const Shortfall& shortfall = generator.shortfall();
    return stop(fillShareNotReached(settings, shortfall.spent, shortfall.best).message);
  }
  const std::string layoutPath = settings.template_directory + std::string(kLayoutFileName);
  if (Status s = writeLayoutFile(layoutPath, generator.grid()); !s) return stop(s.message());
  // The plan reads the piece texts for their exits, as the client will; a
  // piece it cannot read is the client's to report.
  MapBuilder builder(settings, library);
  builder.grid() = generator.grid();
  auto level = builder.planLevel(layoutPath);
  const LevelPlan shown =
      level ? *level
            : planLevel(
                  generator.grid(), library, [](const Template&) { return false; }, layoutPath);
  printSummary(generator, shown, level.ok(), out);
  out << "layout: " << layoutPath << '\n';

  ToolChainOptions chainOptions;
  chainOptions.compile = options.compile;
  chainOptions.afterClient = [&] {
    std::vector<std::string> warnings;
    const Status limits = checkMapLimits(settings, warnings);
    for (const std::string& w : warnings) platform::showMessage(err, kProgram, w);
    return limits;
  };
  const Status chain = runToolChain(settings, chainOptions, out);
  // The settings go back whenever a layout was written, whatever the chain did.
  const Status saved = saveSettings(settings);
  if (!chain) {
    platform::showMessage(err, kProgram, chain.message());
    if (chain.kind() == ErrorKind::couldNotRun) platform::showMessageBox(kProgram, chain.message());
  }
  if (!saved) platform::showMessage(err, kProgram, saved.message());
  out << "Floor plan: cellforge-template plan " << layoutPath << '\n';
  if (chain && saved) out << "done: " << settings.target_directory << "sample.map\n";
  return chain && saved ? 0 : 1;
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
  auto options = parseOptions(args);
  if (!options) {
    platform::showMessage(err, kProgram, options.message());
    return 2;
  }
  return runNormal(*options, programPath, out, err);
}

}  // namespace cellforge

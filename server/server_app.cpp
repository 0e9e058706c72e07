#include "server/server_app.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <ostream>

#include "client/map_builder.h"
#include "foundation/path_parts.h"
#include "foundation/settings.h"
#include "game_files/game_folder.h"
#include "layout/generator.h"
#include "layout/layout_file.h"
#include "layout/level_plan.h"
#include "layout/random_source.h"
#include "platform/platform.h"
#include "server/game_install.h"
#include "server/map_limits.h"
#include "server/tool_chain.h"

namespace cellforge {

namespace {

constexpr std::string_view kProgram = "server";

constexpr std::string_view kUsage =
    "usage: server [--seed N] [--game-dir DIR] [--no-compile | --play ENGINE]\n"
    "       server -INIT\n"
    "\n"
    "Builds a random level from the templates of source_directory, writes the\n"
    "layout sample.mtf, has client turn it into sample.map and runs the game's\n"
    "compile tools on it. All settings come from Cellforge.INI beside the\n"
    "program.\n"
    "\n"
    "  -INIT         write a fresh, commented Cellforge.INI and make its folders\n"
    "  --seed N      use the random seed N (0 to 4294967295) instead of the time\n"
    "  --game-dir DIR  the game's install folder (holding baseq2, or id1 for\n"
    "                Quake): the tools get the game's textures from its paks and\n"
    "                the level is compiled into its maps folder\n"
    "  --no-compile  write the layout and the map, but run no compile tools\n"
    "  --play ENGINE  start the level in ENGINE once it has compiled\n"
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
  std::string gameDirectory;
  std::string engine;
};

// Parses the options of a normal run; a bad one is a usage error.
Expected<RunOptions> parseOptions(const std::vector<std::string>& args) {
  RunOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--no-compile") {
      options.compile = false;
    } else if (a == "--game-dir" || a == "--play") {
      if (i + 1 == args.size() || args[i + 1].empty())
        return fail(a + (a == "--play" ? " needs the engine to start" : " needs a folder"));
      (a == "--play" ? options.engine : options.gameDirectory) = args[++i];
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
  if (!options.compile && !options.engine.empty())
    return fail("--play needs the compile tools, which --no-compile leaves out");
  return options;
}

// `exitKnown` is false when the piece texts could not be read: the client
// will say why, and the exit is not known (nor, then, the keys).
void printSummary(const Generator& generator, const LevelPlan& level, bool exitKnown,
                  const Settings& settings, std::ostream& out) {
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
        << (level.exit ? "" : " (no piece of this kit has an exit)") << '\n'
        << describeKeys(level, keyKind(settings.game(), 1).colour,
                        keyKind(settings.game(), 2).colour, settings.keys);
  // Pieces join only through doorways both sides open, and the kit check
  // walks every piece, so each room of a checked kit is reached on foot.
  const auto reached = std::count_if(level.distance.begin(), level.distance.end(),
                                     [](int32_t d) { return d != LevelPlan::kUnreachable; });
  if (static_cast<size_t>(reached) == level.placements.size())
    out << "all " << reached << " rooms reachable on foot\n";
  out << "plan (S start, E exit, " << (level.keys.empty() ? "" : "K k keys, 1 2 their doors, ")
      << "* template anchor, # taken cell, gaps are open sides, +y up, +x right):\n"
      << layoutPlan(grid, level);
}

// After a good chain: the level in the game's maps folder, where it is and
// how to start it, and the engine started when asked.
int playLevel(const Settings& settings, const gamefiles::GameFolder* game,
              const std::string& engine, std::ostream& out, std::ostream& err) {
  std::string level = compiledLevelPath(settings);
  std::string installFolder = parentFolderOf(targetDataFolder(settings));
  if (game != nullptr) {
    auto installed = installLevel(settings, *game);
    if (!installed) {
      platform::showMessage(err, kProgram,
                            installed.message() + "; the level is " + level + ": copy it into " +
                                game->dataFolder() + "maps to play it");
      return 1;
    }
    level = *installed;
    installFolder = game->installFolder();
  }
  out << "level: " << level << '\n'
      << "play: " << playCommand(settings.game(), installFolder) << '\n';
  if (engine.empty()) return 0;
  std::vector<std::string> command{engine};
  for (const std::string& a : engineArguments(settings.game())) command.push_back(a);
  out << "starting: " << engine << '\n' << std::flush;
  auto ran = platform::runProgram(command, installFolder);
  if (!ran) {
    platform::showMessage(err, kProgram, "Couldn't execute " + engine);
    return 1;
  }
  if (ran->signalled || ran->code != 0)
    out << engine << " " << platform::describeExit(*ran) << '\n';
  return 0;
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
  applyGameDirectory(settings, options.gameDirectory);
  std::optional<gamefiles::GameFolder> game;
  if (!settings.game_directory.empty()) {
    auto opened = gamefiles::GameFolder::open(settings.game_directory, settings.game());
    if (!opened) return stop(opened.message());
    if (opened->isShareware())
      return stop(opened->dataFolder() +
                  ": this is shareware Quake (its paks hold no gfx/pop.lmp), which never loads "
                  "a level of its own; a generated level needs the registered game");
    game = std::move(*opened);
    // The game's data folder may have no maps folder yet.
    if (Status s = platform::makeFolder(settings.target_directory); !s) return stop(s.message());
  }

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
                  generator.grid(), library, [](const Template&) { return false; },
                  KeyOptions{settings.keys, [](const Template&) { return false; }}, layoutPath);
  printSummary(generator, shown, level.ok(), settings, out);
  out << "layout: " << layoutPath << '\n';

  ToolChainOptions chainOptions;
  chainOptions.compile = options.compile;
  if (!options.gameDirectory.empty())
    chainOptions.clientArguments = {"--game-dir", settings.game_directory};
  chainOptions.afterClient = [&] {
    std::vector<std::string> warnings;
    MapCensus census;
    Status done = checkMapLimits(settings, warnings, &census);
    if (done && game && options.compile)
      done = prepareGameData(settings, *game, census, out, warnings);
    for (const std::string& w : warnings) platform::showMessage(err, kProgram, w);
    return done;
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
  if (!chain || !saved) return 1;
  if (!options.compile) return 0;
  return playLevel(settings, game ? &*game : nullptr, options.engine, out, err);
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

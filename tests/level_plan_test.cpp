#include "layout/level_plan.h"

#include <gtest/gtest.h>

#include <array>
#include <regex>
#include <sstream>

#include "client/map_builder.h"
#include "client/map_census.h"
#include "foundation/game_limits.h"
#include "layout/generator.h"
#include "layout/random_source.h"
#include "maptext/piece_model.h"
#include "platform/platform.h"
#include "server/server_app.h"
#include "tests/test_support.h"

namespace cellforge {
namespace {

// One-cell templates with id = openings (1 +y, 2 -y, 4 +x, 8 -x); id 20 a
// hall two cells along x, open at both ends; id 30 a stair, in at -y below
// and out at +y above; id 31 a stair in at +x below and out at -x above.
TemplateLibrary library() { return test::singles(true); }

struct Level {
  TemplateLibrary lib = library();
  CellGrid grid;
  Level(GridCoord dims, const std::vector<std::pair<GridCoord, int32_t>>& placed) {
    grid.resize(dims);
    for (const auto& [at, id] : placed) grid.place(at, *lib.findById(id));
  }
  LevelPlan plan(const std::function<bool(const Template&)>& hasExit = [](const Template&) {
    return true;
  }) const {
    return planLevel(grid, lib, hasExit, "sample.mtf");
  }
};

TEST(LevelPlan, DistancesAlongAChainAndTheExitAtItsEnd) {
  // end(+x) - hall over two cells - cross... - end(-x)
  const Level level({5, 1, 1}, {{{0, 0, 0}, 4}, {{1, 0, 0}, 20}, {{3, 0, 0}, 12}, {{4, 0, 0}, 8}});
  const LevelPlan plan = level.plan();
  ASSERT_EQ(plan.placements.size(), 4u);
  EXPECT_EQ(plan.distance, (std::vector<int32_t>{0, 1, 2, 3}));
  EXPECT_EQ(plan.exit, 3u);
  EXPECT_TRUE(plan.warnings.empty());
  // Ratios for the depth rule, measured against the exit.
  EXPECT_EQ(plan.depthOf(2)->num, 2);
  EXPECT_EQ(plan.depthOf(2)->den, 3);
  // Only pieces with an exit can hold it.
  const LevelPlan noLast = level.plan([](const Template& t) { return t.id != 8 && t.id != 12; });
  EXPECT_EQ(noLast.exit, 1u);
  EXPECT_EQ(noLast.depthOf(3)->num, 1);  // deeper than the exit counts as the exit
  EXPECT_EQ(noLast.depthOf(3)->den, 1);
  const LevelPlan none = level.plan([](const Template&) { return false; });
  EXPECT_FALSE(none.exit);
  EXPECT_EQ(none.depthScale(), 3);  // no exit: the farthest placement
}

TEST(LevelPlan, AForkTakesTheLongerBranchAndATieTheFirstInWalkOrder) {
  // A tee at (1, 1) opening -x, +x and +y; -x one room, +x two rooms, +y one.
  Level fork(
      {4, 3, 1},
      {{{1, 1, 0}, 1 | 4 | 8}, {{0, 1, 0}, 4}, {{2, 1, 0}, 4 | 8}, {{3, 1, 0}, 8}, {{1, 2, 0}, 2}});
  LevelPlan plan = fork.plan();
  // Walk order: (0,1) (1,1) (2,1) (3,1) (1,2); the start is (0,1).
  EXPECT_EQ(plan.distance, (std::vector<int32_t>{0, 1, 2, 3, 2}));
  EXPECT_EQ(plan.exit, 3u);
  // Without the far end, (2,1) and (1,2) tie at 2: (2,1) comes first.
  plan = fork.plan([](const Template& t) { return t.id != 8; });
  EXPECT_EQ(plan.exit, 2u);
}

TEST(LevelPlan, AStairJoinsTwoStoreys) {
  // Below: end(+y) at (1,0) leads into the stair at (1,1); above, the
  // stair's top opens +y into a dead end at (1,2,1).
  const Level level({3, 3, 2}, {{{1, 0, 0}, 1}, {{1, 1, 0}, 30}, {{1, 2, 1}, 2}});
  const LevelPlan plan = level.plan();
  ASSERT_EQ(plan.placements.size(), 3u);
  EXPECT_EQ(plan.placements[2].anchor, (GridCoord{1, 2, 1}));
  EXPECT_EQ(plan.distance, (std::vector<int32_t>{0, 1, 2}));
  // The stair's top belongs to the stair; empty cells and outside to none.
  EXPECT_EQ(plan.ownerOf({1, 1, 1}), &plan.placements[1]);
  EXPECT_EQ(plan.ownerOf({0, 0, 0}), nullptr);
  EXPECT_EQ(plan.ownerOf({1, 1, 2}), nullptr);
  EXPECT_EQ(plan.exit, 2u);
}

TEST(LevelPlan, UnansweredAndClosedSidesJoinNothing) {
  // (0,0) opens +x into a closed-off cell; (2,0) answers nobody either.
  const Level level({3, 1, 1}, {{{0, 0, 0}, 4}, {{1, 0, 0}, 1}, {{2, 0, 0}, 8}});
  const LevelPlan plan = level.plan();
  EXPECT_EQ(plan.distance, (std::vector<int32_t>{0, -1, -1}));
  EXPECT_EQ(plan.exit, 0u);  // one placement reached: it keeps its own
  ASSERT_EQ(plan.warnings.size(), 2u);
  EXPECT_EQ(plan.warnings[0],
            "sample.mtf: the template at cell (1, 0, 0) cannot be reached on foot from the start "
            "at (0, 0, 0); it has no distance and holds no exit");
  EXPECT_FALSE(plan.depthOf(1));
  // Past five, the rest are counted, not named.
  Level many({9, 1, 1}, {});
  for (int32_t x = 0; x < 9; ++x) many.grid.place({x, 0, 0}, *many.lib.findById(1));
  const LevelPlan closed = many.plan();
  ASSERT_EQ(closed.warnings.size(), 6u);
  EXPECT_EQ(closed.warnings[5],
            "sample.mtf: 3 more templates cannot be reached on foot from the start");
  EXPECT_EQ(plan.depthOf(0)->num, 0);  // exit at distance 0: every placement counts as 0
}

TEST(LevelPlan, TextPlanMarksStartAndExit) {
  const Level level({3, 3, 2}, {{{0, 1, 0}, 20}, {{2, 1, 0}, 8}, {{1, 1, 0}, 30}});
  // The stair overwrites the hall's far end: the hall reaches nothing, the
  // stair's top leads nowhere, so the exit is the start itself.
  const LevelPlan plan = level.plan();
  EXPECT_EQ(layoutPlan(level.grid, plan), R"(storey 0:
   .  .  .
  +-++-++-+
   S |*| *|
  +-++ ++-+
   .  .  .
storey 1:
   .  .  .
     + +
   . |#| .
     +-+
   .  .  .
)");
  const Level chain({3, 3, 1}, {{{0, 1, 0}, 4}, {{1, 1, 0}, 12}, {{2, 1, 0}, 8}});
  EXPECT_EQ(layoutPlan(chain.grid, chain.plan()), R"(storey 0:
   .  .  .
  +-++-++-+
  |S  *  E|
  +-++-++-+
   .  .  .
)");
}

// The shipped kits: one exit in every map, in the farthest room, where the
// server's summary says it is.
struct ShippedKit {
  const char* folder;
  int32_t gameType;
  const char* exitTrigger;
};
constexpr ShippedKit kShippedKits[] = {{"S2", 2, "trigger_multiple"},
                                       {"S1", 1, "trigger_changelevel"}};

std::string kitFolder(const ShippedKit& kit) {
  return test::native(std::string(CELLFORGE_SOURCE_DIR) + "/maps/" + kit.folder + "/");
}

// The three numbers a match caught, divided by `unit`.
GridCoord caught(const std::smatch& m, int32_t unit = 1) {
  return {std::stoi(m[1]) / unit, std::stoi(m[2]) / unit, std::stoi(m[3]) / unit};
}

// The cell of the exit trigger's first plane point, and how many exits the
// map holds.
std::pair<GridCoord, int> exitsOf(const std::string& map, const ShippedKit& kit) {
  int count = 0;
  GridCoord cell{-1, -1, -1};
  const std::regex trigger("\"classname\" \"" + std::string(kit.exitTrigger) +
                           "\"[^(]*\\( (-?[0-9]+) (-?[0-9]+) (-?[0-9]+) \\)");
  for (auto it = std::sregex_iterator(map.begin(), map.end(), trigger);
       it != std::sregex_iterator(); ++it, ++count)
    cell = caught(*it, 256);
  return {cell, count};
}

// What one skill of a level holds.
struct SkillCount {
  int monsters = 0, health = 0;
};

// Counts the entities a map spawns on each skill (easy, medium, hard) by
// the games' spawnflags: 256 not on easy, 512 not on medium, 1024 not on hard.
std::array<SkillCount, 3> countSkills(const std::string& mapText) {
  std::array<SkillCount, 3> counts{};
  auto map = maptext::Piece::read(mapText, "sample.map");
  EXPECT_TRUE(map.ok()) << map.message();
  if (!map) return counts;
  for (const maptext::Entity& e : map->entities()) {
    const std::string_view cls = e.className;
    const int flags = std::atoi(std::string(map->value(e, "spawnflags")).c_str());
    for (size_t skill = 0; skill < 3; ++skill) {
      if (flags & (256 << skill)) continue;
      SkillCount& c = counts[skill];
      c.monsters += cls.starts_with("monster_");
      c.health += cls.starts_with("item_health");
    }
  }
  return counts;
}

// Levels of both kits at the default grid and at 10 x 10 x 2: filled in
// few attempts, within every hard limit of the game, one exit in the
// farthest room, hard with the most monsters and easy with the most health.
TEST(ShippedKits, LevelsFillQuicklyKeepTheLimitsEndFarthestAndGrowHarderWithSkill) {
  for (const ShippedKit& kit : kShippedKits) {
    TemplateLibrary library;
    ASSERT_TRUE(library.load(kitFolder(kit)).ok());
    const GameLimits& limits = gameLimits(kit.gameType == 1 ? Game::quake : Game::quake2);
    // The attempts' bound is generous; a few hundred take well under a second.
    for (auto [x, y, share, seeds, attempts] :
         {std::tuple{4, 4, 0.60f, 20u, 2000}, {10, 10, 0.75f, 10u, 20000}}) {
      std::array<SkillCount, 3> total{};
      for (uint32_t seed = 1; seed <= seeds; ++seed) {
        SCOPED_TRACE(std::string(kit.folder) + " seed " + std::to_string(seed));
        RandomSource random(seed);
        Generator generator({{x, y, 2}, share}, library, random);
        ASSERT_TRUE(generator.prepare().ok());
        ASSERT_TRUE(generator.fill());
        Settings settings;
        settings.game_type = kit.gameType;
        settings.source_directory = kitFolder(kit);
        EXPECT_LT(generator.discardedAttempts(), attempts);
        EXPECT_GE(static_cast<double>(generator.grid().occupiedCount()),
                  static_cast<double>(share) * x * y * 2);
        MapBuilder builder(settings, library);
        builder.grid() = generator.grid();
        auto map = builder.composeMap("sample.mtf");
        ASSERT_TRUE(map.ok()) << map.message();
        auto plan = builder.planLevel("sample.mtf");
        ASSERT_TRUE(plan.ok());
        ASSERT_TRUE(plan->exit);
        EXPECT_TRUE(plan->warnings.empty());
        EXPECT_EQ(plan->distance[*plan->exit],
                  *std::max_element(plan->distance.begin(), plan->distance.end()));
        const auto [cell, count] = exitsOf(*map, kit);
        EXPECT_EQ(count, 1);
        EXPECT_EQ(cell, plan->placements[*plan->exit].anchor);

        auto census = takeMapCensus(*map, "sample.map", limits);
        ASSERT_TRUE(census.ok()) << census.message();
        for (const GameLimit& limit : limits.limits) {
          const int64_t n = limit.what == Limited::kBrushes       ? census->brushes
                            : limit.what == Limited::kMapEntities ? census->entities
                            : limit.what == Limited::kEdicts ? census->spawned + limits.fixedEdicts
                                                             : 0;
          if (limit.hard) {
            EXPECT_LE(n, limit.most);
          }
        }
        const auto skills = countSkills(*map);
        for (size_t s = 0; s < 3; ++s) {
          total[s].monsters += skills[s].monsters;
          total[s].health += skills[s].health;
        }
      }
      EXPECT_LT(total[0].monsters, total[1].monsters) << kit.folder;
      EXPECT_LT(total[1].monsters, total[2].monsters) << kit.folder;
      EXPECT_GE(total[2].monsters * 2, total[0].monsters * 3) << kit.folder;
      EXPECT_GT(total[0].health, total[2].health) << kit.folder;
    }
  }
}

TEST(ShippedKits, TheSummaryNamesTheCellsTheMapHoldsStartAndExitIn) {
  for (const ShippedKit& kit : kShippedKits) {
    test::InstallTree tree;
    tree.source = kitFolder(kit);
    const std::string client = tree.install(CELLFORGE_CLIENT_EXE, "client");
    tree.writeIni("game_type=" + std::to_string(kit.gameType) + "\nclient_path=" + client + "\n");
    std::ostringstream out, err;
    ASSERT_EQ(runServer({"--seed", "7", "--no-compile"}, tree.bin + "server", out, err), 0)
        << err.str();
    const std::string map = test::readText(tree.map());
    const auto [cell, count] = exitsOf(map, kit);
    ASSERT_EQ(count, 1);
    std::smatch said;
    const std::string shown = out.str();
    ASSERT_TRUE(std::regex_search(
        shown, said,
        std::regex("exit: cell \\(([0-9]+), ([0-9]+), ([0-9]+)\\), [0-9]+ rooms from the start\n"
                   "all [0-9]+ rooms reachable on foot\n")))
        << shown;
    EXPECT_EQ(cell, caught(said));
    // The start the summary names is the cell whose player start the map keeps.
    ASSERT_TRUE(std::regex_search(shown, said,
                                  std::regex("start: cell \\(([0-9]+), ([0-9]+), ([0-9]+)\\)")));
    std::smatch start;
    ASSERT_TRUE(std::regex_search(
        map, start,
        std::regex("info_player_start\"\\s+\"origin\" +\"(-?[0-9]+) (-?[0-9]+) (-?[0-9]+)\"")));
    EXPECT_EQ(caught(start, 256), caught(said));
  }
}

}  // namespace
}  // namespace cellforge

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
#include "template_tool/floor_plan.h"
#include "tests/test_support.h"

namespace cellforge {
namespace {

// One-cell templates with id = openings (1 +y, 2 -y, 4 +x, 8 -x); id 20 a
// hall two cells along x, open at both ends; id 30 a stair, in at -y below
// and out at +y above; id 31 a stair in at +x below and out at -x above.
TemplateLibrary library() { return test::singles(true); }

using Pieces = std::function<bool(const Template&)>;
bool every(const Template&) { return true; }
Pieces only(int32_t id) {
  return [id](const Template& t) { return t.id == id; };
}

struct Level {
  TemplateLibrary lib = library();
  CellGrid grid;
  // `more` joins the library before anything is placed.
  Level(GridCoord dims, const std::vector<std::pair<GridCoord, int32_t>>& placed,
        std::vector<Template> more = {}) {
    for (Template& t : more) lib.add(std::move(t));
    grid.resize(dims);
    for (const auto& [at, id] : placed) grid.place(at, *lib.findById(id));
  }
  LevelPlan plan(const Pieces& hasExit = every) const {
    return planLevel(grid, lib, hasExit, "sample.mtf");
  }
  LevelPlan keyed(int keys, const Pieces& hasExit = every, const Pieces& hasKeySpot = every) const {
    return planLevel(grid, lib, hasExit, KeyOptions{keys, hasKeySpot}, "sample.mtf");
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

// The keys' promise, walked on the plan: with keys[k..] shut the start
// reaches key k and exactly the placements outside key k's region (so
// neither the exit nor a later key); with every door open, the exit. Each
// locked doorway leads from outside the region into its gate.
void expectFinishable(const CellGrid& grid, const LevelPlan& plan) {
  ASSERT_TRUE(plan.exit);
  for (size_t k = 0; k < plan.keys.size(); ++k) {
    SCOPED_TRACE("key " + std::to_string(k + 1));
    const KeyGate& key = plan.keys[k];
    std::vector<bool> behind(plan.placements.size(), false);
    for (size_t i : key.region) behind[i] = true;
    EXPECT_FALSE(behind[key.keyPlacement]);
    EXPECT_TRUE(behind[key.gatePlacement]);
    const std::vector<bool> reached = reachedWithDoorsShut(plan, grid, k);
    for (size_t i = 0; i < plan.placements.size(); ++i)
      if (plan.distance[i] != LevelPlan::kUnreachable) {
        EXPECT_NE(reached[i], behind[i]) << i;
      }
    for (const Doorway& d : key.locked) {
      EXPECT_EQ(plan.ownerOf(d.cell + kSides[d.side].step), &plan.placements[key.gatePlacement]);
      EXPECT_FALSE(behind[static_cast<size_t>(plan.ownerOf(d.cell) - plan.placements.data())]);
    }
  }
  EXPECT_TRUE(reachedWithDoorsShut(plan, grid, plan.keys.size())[*plan.exit]);
}

// A ring of eight rooms round a crossing at (1, 1) that alone has an exit.
const std::vector<std::pair<GridCoord, int32_t>> kRing = {
    {{0, 0, 0}, 1 | 4},     {{1, 0, 0}, 1 | 4 | 8}, {{2, 0, 0}, 1 | 8},
    {{0, 1, 0}, 1 | 2 | 4}, {{1, 1, 0}, 15},        {{2, 1, 0}, 1 | 2 | 8},
    {{0, 2, 0}, 2 | 4},     {{1, 2, 0}, 2 | 4 | 8}, {{2, 2, 0}, 2 | 8}};

// The same ring at x 2..4, reached from the start at (0, 0) through (1, 0):
// (2, 0) opens -x too, so it is a door of its own before the exit's.
std::vector<std::pair<GridCoord, int32_t>> ringBehindACorridor() {
  std::vector<std::pair<GridCoord, int32_t>> placed{{{0, 0, 0}, 4}, {{1, 0, 0}, 4 | 8}};
  for (auto [at, id] : kRing)
    placed.push_back({at + GridCoord{2, 0, 0}, at == GridCoord{0, 0, 0} ? 1 | 4 | 8 : id});
  return placed;
}

TEST(LevelPlanKeys, OnAChainTheOneDoorwayIntoTheExitIsLockedAndTheKeyLiesAtTheFarEndOfTheRest) {
  const Level chain(
      {5, 1, 1},
      {{{0, 0, 0}, 4}, {{1, 0, 0}, 12}, {{2, 0, 0}, 12}, {{3, 0, 0}, 12}, {{4, 0, 0}, 8}});
  const LevelPlan plan = chain.keyed(1);
  ASSERT_EQ(plan.keys.size(), 1u);
  EXPECT_EQ(plan.keys[0].gatePlacement, 4u);
  EXPECT_EQ(plan.keys[0].region, (std::vector<size_t>{4}));
  EXPECT_EQ(plan.keys[0].locked, (std::vector<Doorway>{{{3, 0, 0}, posX}}));
  EXPECT_EQ(plan.keys[0].keyPlacement, 3u);
  EXPECT_EQ(plan.keysNote, "");
  EXPECT_TRUE(plan.warnings.empty());
  expectFinishable(chain.grid, plan);
  // Only the start and the exit have key spots: no key.
  const LevelPlan noSpot = chain.keyed(1, every, [](const Template& t) { return t.id != 12; });
  EXPECT_TRUE(noSpot.keys.empty());
  EXPECT_EQ(noSpot.keysNote, "keys: none (no room before the exit's doorways has a key spot)");
}

TEST(LevelPlanKeys, ALoopRoundTheExitRoomHasEveryDoorwayIntoItLocked) {
  const Level ring({3, 3, 1}, kRing);
  const LevelPlan plan = ring.keyed(1, only(15));
  ASSERT_EQ(plan.exit, 4u);
  ASSERT_EQ(plan.keys.size(), 1u);
  EXPECT_EQ(plan.keys[0].region, (std::vector<size_t>{4}));
  EXPECT_EQ(plan.keys[0].locked,
            (std::vector<Doorway>{
                {{1, 0, 0}, posY}, {{0, 1, 0}, posX}, {{2, 1, 0}, negX}, {{1, 2, 0}, negY}}));
  EXPECT_EQ(plan.keys[0].keyPlacement, 8u);  // (2, 2), four rooms round the ring
  expectFinishable(ring.grid, plan);
  // Without a spot there, (2, 1) and (1, 2) tie at three: the first in walk order.
  EXPECT_EQ(
      ring.keyed(1, only(15), [](const Template& t) { return t.id != 10; }).keys[0].keyPlacement,
      5u);
  // Two ways round: nothing before the exit's doorways is a door of its own.
  const LevelPlan two = ring.keyed(2, only(15));
  ASSERT_EQ(two.keys.size(), 1u);
  EXPECT_EQ(two.keys[0].locked, plan.keys[0].locked);
  EXPECT_EQ(
      two.keysNote,
      "keys: 1 of 2 (no room between the start and the exit's doorways is a door of its own)");
}

TEST(LevelPlanKeys, RoomsReachedOnlyThroughTheExitRoomAreBehindItsDoor) {
  // start - hall - tee (the exit) with a dead end at +x and one at +y.
  const Level tee(
      {4, 2, 1},
      {{{0, 0, 0}, 4}, {{1, 0, 0}, 12}, {{2, 0, 0}, 1 | 4 | 8}, {{3, 0, 0}, 8}, {{2, 1, 0}, 2}});
  const LevelPlan plan = tee.keyed(1, only(1 | 4 | 8));
  ASSERT_EQ(plan.exit, 2u);
  ASSERT_EQ(plan.keys.size(), 1u);
  EXPECT_EQ(plan.keys[0].region, (std::vector<size_t>{2, 3, 4}));
  EXPECT_EQ(plan.keys[0].locked, (std::vector<Doorway>{{{1, 0, 0}, posX}}));
  EXPECT_EQ(plan.keys[0].keyPlacement, 1u);
  expectFinishable(tee.grid, plan);
}

TEST(LevelPlanKeys, TwoKeysNestTheSecondRegionInTheFirst) {
  const Level level({5, 3, 1}, ringBehindACorridor());
  const LevelPlan plan = level.keyed(2, only(15));
  ASSERT_EQ(plan.exit, 6u);
  ASSERT_EQ(plan.keys.size(), 2u);
  EXPECT_EQ(plan.keysNote, "");
  // Key 1 in the corridor opens the ring; key 2, across the ring, its middle.
  const KeyGate& first = plan.keys[0];
  EXPECT_EQ(first.keyPlacement, 1u);
  EXPECT_EQ(first.gatePlacement, 2u);
  EXPECT_EQ(first.region, (std::vector<size_t>{2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(first.locked, (std::vector<Doorway>{{{1, 0, 0}, posX}}));
  const KeyGate& second = plan.keys[1];
  EXPECT_EQ(second.keyPlacement, 10u);
  EXPECT_EQ(second.gatePlacement, 6u);
  EXPECT_EQ(second.region, (std::vector<size_t>{6}));
  EXPECT_EQ(second.locked.size(), 4u);
  expectFinishable(level.grid, plan);
  // Along a chain every room is a door of its own; the first door leaves the
  // larger smaller side (two rooms each way at 2 and at 3: the nearer wins;
  // at 1 the only room before it would be the start).
  const Level chain({6, 1, 1}, {{{0, 0, 0}, 4},
                                {{1, 0, 0}, 12},
                                {{2, 0, 0}, 12},
                                {{3, 0, 0}, 12},
                                {{4, 0, 0}, 12},
                                {{5, 0, 0}, 8}});
  const LevelPlan line = chain.keyed(2);
  ASSERT_EQ(line.keys.size(), 2u);
  EXPECT_EQ(line.keys[0].gatePlacement, 2u);
  EXPECT_EQ(line.keys[0].keyPlacement, 1u);
  EXPECT_EQ(line.keys[1].keyPlacement, 4u);
  expectFinishable(chain.grid, line);
}

TEST(LevelPlanKeys, ALayoutTooSmallForAKeySaysWhy) {
  const Level alone({1, 1, 1}, {{{0, 0, 0}, 1}});
  EXPECT_EQ(alone.keyed(1).keysNote, "keys: none (the exit is the start's own room)");
  // The exit's tee holds every room but the start.
  const Level tee({3, 2, 1},
                  {{{0, 0, 0}, 4}, {{1, 0, 0}, 1 | 4 | 8}, {{2, 0, 0}, 8}, {{1, 1, 0}, 2}});
  const LevelPlan plan = tee.keyed(2, only(1 | 4 | 8));
  EXPECT_TRUE(plan.keys.empty());
  EXPECT_EQ(plan.keysNote, "keys: none (every room but the start lies behind the exit's doorways)");
  const LevelPlan noExit = tee.keyed(1, [](const Template&) { return false; });
  EXPECT_TRUE(noExit.keys.empty());
  EXPECT_EQ(noExit.keysNote, "keys: none (no piece of this kit has an exit)");
}

TEST(LevelPlanKeys, ATemplateJoinedThroughTwoDoorwaysHasBothLocked) {
  // 40: two cells along x, in at -x and out at +y from both; 41: two cells
  // along x, both open -y. The start leads into 40, which leads into 41 twice.
  Template below, above;
  below.id = 40;
  above.id = 41;
  Cell a, b;
  a.openNegX = a.openPosY = true;
  b.openPosY = true;
  b.x = 1;
  below.cells = {a, b};
  a.openNegX = a.openPosY = b.openPosY = false;
  a.openNegY = b.openNegY = true;
  above.cells = {a, b};
  const Level level({3, 2, 1}, {{{0, 0, 0}, 4}, {{1, 0, 0}, 40}, {{1, 1, 0}, 41}}, {below, above});
  const LevelPlan plan = level.keyed(1);
  ASSERT_EQ(plan.exit, 2u);
  ASSERT_EQ(plan.keys.size(), 1u);
  EXPECT_EQ(plan.keys[0].locked, (std::vector<Doorway>{{{1, 0, 0}, posY}, {{2, 0, 0}, posY}}));
  EXPECT_EQ(plan.keys[0].keyPlacement, 1u);
  expectFinishable(level.grid, plan);
}

TEST(LevelPlanKeys, NoKeysGiveTheOldPlanAndKeysChangeNothingElse) {
  for (const Level& level :
       {Level({5, 3, 1}, ringBehindACorridor()), Level({3, 3, 1}, kRing),
        Level({3, 3, 2}, {{{0, 1, 0}, 20}, {{2, 1, 0}, 8}, {{1, 1, 0}, 30}})}) {
    const LevelPlan old = level.plan();
    for (int keys : {0, 1, 2}) {
      const LevelPlan plan = level.keyed(keys);
      EXPECT_EQ(plan.placements.size(), old.placements.size());
      EXPECT_EQ(plan.distance, old.distance);
      EXPECT_EQ(plan.exit, old.exit);
      EXPECT_EQ(plan.warnings, old.warnings);
      EXPECT_EQ(plan.owner, old.owner);
      if (keys == 0) {
        EXPECT_TRUE(plan.keys.empty());
        EXPECT_EQ(plan.keysNote, "");
        EXPECT_EQ(layoutPlan(level.grid, plan), layoutPlan(level.grid, old));
      }
    }
  }
}

TEST(LevelPlanKeys, DescribeKeysNamesEachKeyItsDoorwaysAndRoomsAndWhyOneIsMissing) {
  const Level level({5, 3, 1}, ringBehindACorridor());
  EXPECT_EQ(describeKeys(level.keyed(2, only(15)), "silver", "gold", 2),
            "key 1 (silver): cell (1, 0, 0); locks 1 doorway, 9 rooms behind them\n"
            "key 2 (gold): cell (4, 2, 0); locks 4 doorways, 1 room behind them\n");
  const Level ring({3, 3, 1}, kRing);
  EXPECT_EQ(describeKeys(ring.keyed(2, only(15)), "blue", "red", 2),
            "key 1 (blue): cell (2, 2, 0); locks 4 doorways, 1 room behind them\n"
            "keys: 1 of 2 (no room between the start and the exit's doorways is a door of its "
            "own)\n");
  EXPECT_EQ(describeKeys(ring.keyed(1, only(15)), "blue", "red", 0), "");
  EXPECT_EQ(describeKeys(ring.plan(only(15)), "blue", "red", 1),
            "keys: none (the plan was made without keys)\n");
}

TEST(LevelPlanKeys, TextPlanMarksKeysAndTheirDoors) {
  const Level level({5, 3, 1}, ringBehindACorridor());
  EXPECT_EQ(layoutPlan(level.grid, level.keyed(2, only(15))), R"(storey 0:
        +-++-++-+
   .  . |*  *  k|
        + ++2++ +
        + ++ ++ +
   .  . |*2 E 2*|
        + ++ ++ +
  +-++-++ ++2++ +
  |S  K1 *  *  *|
  +-++-++-++-++-+
)");
}

// The drawn plan marks the same: the keys' rooms and the locked doorways.
TEST(LevelPlanKeys, FloorPlanMarksKeysAndTheirDoors) {
  const Level level({5, 3, 1}, ringBehindACorridor());
  const LevelPlan plan = level.keyed(2, only(15));
  const std::string svg = renderFloorPlan(level.grid, level.lib, plan);
  EXPECT_NE(svg.find("<title>key 1</title>"), std::string::npos);
  EXPECT_NE(svg.find("<title>key 2</title>"), std::string::npos);
  size_t locks = 0;
  for (size_t at = svg.find("<title>locked: key "); at != std::string::npos;
       at = svg.find("<title>locked: key ", at + 1))
    ++locks;
  EXPECT_EQ(locks, plan.keys[0].locked.size() + plan.keys[1].locked.size());
  EXPECT_NE(svg.find(">K, k: first and second key, gold: locked doorway<"), std::string::npos);
  EXPECT_EQ(renderFloorPlan(level.grid, level.lib, level.plan()).find("locked"), std::string::npos);
}

// Keys on generated layouts of both kits, every piece taken to hold an exit
// and a key spot: each plan keeps its promise.
TEST(LevelPlanKeys, GeneratedLayoutsAreFinishableWithTheKeys) {
  for (const char* kit : {"S2", "S1"}) {
    TemplateLibrary library;
    ASSERT_TRUE(
        library.load(test::native(std::string(CELLFORGE_SOURCE_DIR) + "/maps/" + kit + "/")).ok());
    size_t keysPlaced = 0;
    for (uint32_t seed = 1; seed <= 10; ++seed) {
      SCOPED_TRACE(std::string(kit) + " seed " + std::to_string(seed));
      RandomSource random(seed);
      Generator generator({{8, 8, 2}, 0.6f}, library, random);
      ASSERT_TRUE(generator.prepare().ok());
      ASSERT_TRUE(generator.fill());
      for (int keys : {1, 2}) {
        const LevelPlan plan =
            planLevel(generator.grid(), library, every, KeyOptions{keys, every}, "sample.mtf");
        EXPECT_TRUE(plan.warnings.empty());
        EXPECT_EQ(plan.keys.size() < static_cast<size_t>(keys), !plan.keysNote.empty());
        expectFinishable(generator.grid(), plan);
        keysPlaced += plan.keys.size();
      }
    }
    EXPECT_GT(keysPlaced, 20u) << kit;
  }
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
    // The golden levels have no keys: their exits only.
    tree.writeIni("game_type=" + std::to_string(kit.gameType) + "\nclient_path=" + client +
                  "\n[game]\nkeys=0\n");
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
                   "(?:keys?[ :][^\n]*\n)*all [0-9]+ rooms reachable on foot\n")))
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

#include "layout/level_plan.h"

#include <gtest/gtest.h>

namespace cellforge {
namespace {

// One-cell templates with id = openings (1 +y, 2 -y, 4 +x, 8 -x); id 20 a
// hall two cells along x, open at both ends; id 30 a stair, in at -y below
// and out at +y above; id 31 a stair in at +x below and out at -x above.
TemplateLibrary library() {
  TemplateLibrary lib;
  for (uint16_t o = 1; o <= 15; ++o) {
    Template t;
    t.id = o;
    t.name = "t" + std::to_string(o) + ".map";
    Cell c;
    c.setOpenings(o);
    t.cells.push_back(c);
    lib.add(t);
  }
  Template hall;
  hall.id = 20;
  Cell a;
  a.openNegX = a.openPosX = true;
  Cell b = a;
  b.x = 1;
  hall.cells = {a, b};
  lib.add(hall);
  for (auto [id, low, high] : {std::tuple{30, 2, 1}, {31, 4, 8}}) {
    Template stair;
    stair.id = id;
    Cell lo, hi;
    lo.setOpenings(static_cast<uint16_t>(low));
    hi.setOpenings(static_cast<uint16_t>(high));
    hi.z = 1;
    stair.cells = {lo, hi};
    lib.add(stair);
  }
  return lib;
}

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

}  // namespace
}  // namespace cellforge

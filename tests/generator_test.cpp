#include "layout/generator.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "layout/layout_file.h"
#include "layout/random_source.h"
#include "tests/test_support.h"

namespace cellforge {
namespace {

using test::cellTemplate;
using test::singles;

// The seed whose first draw is r: the state after one step is r << 16.
uint32_t seedForFirstDraw(int r) {
  uint32_t inverse = 214013u;  // Newton's iteration for the inverse mod 2^32
  for (int i = 0; i < 5; ++i) inverse *= 2u - 214013u * inverse;
  return ((static_cast<uint32_t>(r) << 16) - 2531011u) * inverse;
}

// One axis of a cell draw as the plain loops draw it: the double product,
// drawn again past the last cell.
int32_t plainAxis(RandomSource& random, int32_t dim) {
  const float scale = static_cast<float>(dim * static_cast<double>(1.0f / 32767.0f));
  for (;;) {
    const auto v = static_cast<int32_t>(random.next() * static_cast<double>(scale));
    if (v >= 0 && v <= dim - 1) return v;
  }
}

// The loops exactly as described, drawing one axis at a time, for inputs on
// which they end. The generator must match it draw for draw.
struct Reference {
  const TemplateLibrary& lib;
  RandomSource& random;
  GridCoord dims;
  float target;
  CellGrid grid;
  size_t cursor = 0;
  GridCoord c;

  void randomCell() {
    c.x = plainAxis(random, dims.x);
    c.y = plainAxis(random, dims.y);
    c.z = plainAxis(random, dims.z);
  }
  void advance() {
    const int n = static_cast<int>(10 + random.next() * static_cast<double>(1.0f / 3276.0f));
    for (int i = 0; i < n + 1; ++i) cursor = lib.nextCyclic(cursor);
  }
  void placeFirst() {
    do randomCell();
    while (c.x == 0 || c.x == dims.x - 1 || c.y == 0 || c.y == dims.y - 1);
    c.z = 0;
    do advance();
    while (!grid.canPlace(c, lib.at(cursor)));
    grid.place(c, lib.at(cursor));
  }
  void run() {
    grid.resize(dims);
    placeFirst();
    for (;;) {
      do randomCell();
      while (!grid.frontier().isMarked(c));
      do advance();
      while (!grid.canPlace(c, lib.at(cursor)));
      grid.place(c, lib.at(cursor));
      if (grid.frontier().anyMarked()) continue;
      if (static_cast<double>(grid.occupiedCount()) / (dims.x * dims.y * dims.z) >= target) return;
      grid.resize(dims);
      placeFirst();
    }
  }
};

// Closed: no marks, every opening leads into a taken cell, and where that
// cell belongs to another placement it opens back.
void expectClosed(const CellGrid& g) {
  EXPECT_FALSE(g.frontier().anyMarked());
  g.forEachCell([&](GridCoord at, const Cell& p) {
    if (p.occupied == 0) return;
    for (const Side& s : kSides) {
      if (!(p.*s.open)) continue;
      const GridCoord n = at + s.step;
      ASSERT_TRUE(g.inBounds(n)) << at.x << "," << at.y << "," << at.z;
      ASSERT_NE(g.cellAt(n).occupied, 0) << at.x << "," << at.y << "," << at.z;
      EXPECT_TRUE(g.cellAt(n).*s.facing) << at.x << "," << at.y << "," << at.z;
    }
  });
}

// Eleven steps along a library of eleven come back to its first template.
TEST(AdvanceTemplate, StepsElevenToTwentyOneAlongTheLibrary) {
  for (auto [size, r, steps] : {std::tuple{30, 0, 11},
                                {30, 3275, 11},
                                {30, 3276, 12},
                                {30, 32759, 20},
                                {30, 32760, 21},
                                {30, 32767, 21},
                                {11, 0, 0}}) {
    TemplateLibrary lib;
    for (int32_t id = 1; id <= size; ++id) lib.add(cellTemplate(id, 1));
    RandomSource random(seedForFirstDraw(r));
    Generator g({{3, 3, 1}, 0.1f}, lib, random);
    g.advanceTemplate();
    EXPECT_EQ(g.templateCursor(), static_cast<size_t>(steps)) << size << " templates, r = " << r;
  }
}

TEST(RandomCell, DrawsAsTheDoubleProductOnEveryAxisSize) {
  std::vector<GridCoord> sizes;
  for (int32_t d = 1; d <= 64; ++d) sizes.push_back({d, d + 1, d + 2});
  // Axes past the draw range: scales of 1 and more.
  for (int32_t d : {32767, 32768, 70001, 1 << 20}) sizes.push_back({d, 1, 2});
  for (GridCoord size : sizes) {
    FrontierGrid f;
    f.resize(size);
    RandomSource fast(static_cast<uint32_t>(size.x)), plain(static_cast<uint32_t>(size.x));
    for (int i = 0; i < 4000; ++i) {
      GridCoord c;
      f.randomCell(fast, c);
      ASSERT_EQ(c, (GridCoord{plainAxis(plain, size.x), plainAxis(plain, size.y),
                              plainAxis(plain, size.z)}))
          << size.x;
    }
    ASSERT_EQ(fast.draws(), plain.draws());
  }
}

TEST(Generator, MatchesThePlainLoopsDrawForDraw) {
  for (bool multi : {false, true}) {
    const TemplateLibrary lib = singles(multi);
    for (auto [x, y, z, share] :
         {std::tuple{4, 4, 2, 0.60f}, {5, 5, 2, 0.60f}, {10, 10, 2, 0.75f}, {3, 7, 1, 0.5f}}) {
      for (uint32_t seed = 0; seed < 25; ++seed) {
        RandomSource a(seed), b(seed);
        Generator g({{x, y, z}, share}, lib, a);
        ASSERT_TRUE(g.prepare().ok());
        ASSERT_TRUE(g.fill()) << g.shortfall().spent;
        Reference ref{lib, b, {x, y, z}, share, {}, 0, {}};
        ref.run();
        ASSERT_EQ(a.draws(), b.draws()) << x << "x" << y << "x" << z << " seed " << seed;
        EXPECT_EQ(g.templateCursor(), ref.cursor);
        EXPECT_EQ(encodeLayout(g.grid()), encodeLayout(ref.grid));
        expectClosed(g.grid());
        EXPECT_TRUE(g.fillReached());
      }
    }
  }
}

TEST(Generator, FixedSeedGivesTheGoldenLayoutWithinExactlyItsDraws) {
  const TemplateLibrary lib = singles(true);
  const GridGoal s{{5, 5, 2}, 0.60f};
  RandomSource random(12345);
  Generator g(s, lib, random);
  ASSERT_TRUE(g.prepare().ok());
  ASSERT_TRUE(g.fill());
  const std::string golden = std::string(CELLFORGE_SOURCE_DIR) + "/tests/fixtures/gen/sample.mtf";
  if (std::getenv("CELLFORGE_UPDATE_GOLDEN") != nullptr)
    test::writeText(golden, encodeLayout(g.grid()));
  EXPECT_EQ(encodeLayout(g.grid()), test::readText(golden));
  EXPECT_EQ(random.draws(), 14842u);
  EXPECT_EQ(g.discardedAttempts(), 12);

  // A draw budget stops the run at the same draw everywhere: the layout
  // that needed exactly this budget comes out with it, as before.
  const int64_t spent = g.drawsSpent();
  RandomSource enough(12345), short_(12345);
  Generator exact(s, lib, enough, {kMaxDiscardedAttempts, spent + 1});
  ASSERT_TRUE(exact.prepare().ok());
  ASSERT_TRUE(exact.fill());
  EXPECT_EQ(encodeLayout(exact.grid()), encodeLayout(g.grid()));
  Generator cut(s, lib, short_, {kMaxDiscardedAttempts, spent});
  ASSERT_TRUE(cut.prepare().ok());
  ASSERT_FALSE(cut.fill());
  EXPECT_EQ(cut.shortfall().spent, std::to_string(spent) + " random draws and 12 attempts");
  EXPECT_EQ(cut.shortfall().best, "the best closed layout filled 0.56 of the grid");
}

TEST(Generator, ThirtyOfFiftyCellsIsNotSixtyPercent) {
  const TemplateLibrary lib = singles();
  const GridGoal s{{5, 5, 2}, 0.60f};
  RandomSource random(1);
  Generator g(s, lib, random);
  ASSERT_TRUE(g.prepare().ok());
  CellGrid& grid = g.grid();
  grid.resize({5, 5, 2});
  const Template closed = cellTemplate(99, 0);
  for (int32_t i = 0; i < 30; ++i) grid.place({i % 5, (i / 5) % 5, i / 25}, closed);
  EXPECT_FALSE(g.fillReached());
  grid.place({0, 1, 1}, closed);
  EXPECT_TRUE(g.fillReached());
}

TEST(Generator, FirstTemplateWithoutOpeningsClosesTheLayoutAtOnce) {
  TemplateLibrary lib;
  lib.add(cellTemplate(7, 0));
  RandomSource random(3);
  Generator accepted({{3, 3, 1}, 0.1f}, lib, random);
  ASSERT_TRUE(accepted.prepare().ok());
  ASSERT_TRUE(accepted.fill());
  EXPECT_EQ(accepted.grid().occupiedCount(), 1);
  EXPECT_EQ(accepted.discardedAttempts(), 0);

  Generator starved({{3, 3, 1}, 0.5f}, lib, random, {50});
  ASSERT_TRUE(starved.prepare().ok());
  ASSERT_FALSE(starved.fill());
  EXPECT_EQ(starved.shortfall().spent, "50 attempts");
  EXPECT_EQ(starved.shortfall().best, "the best closed layout filled 0.11 of the grid");
}

TEST(Generator, MarkedCellThatNothingFitsDiscardsTheAttempt) {
  // A room opening to +x, and nothing that opens back to -x.
  TemplateLibrary lib;
  lib.add(cellTemplate(1, 4));
  lib.add(cellTemplate(2, 1));
  RandomSource random(9);
  Generator g({{4, 4, 1}, 0.5f}, lib, random, {20});
  ASSERT_TRUE(g.prepare().ok());
  ASSERT_FALSE(g.fill());
  EXPECT_EQ(g.shortfall().spent, "20 attempts");
  EXPECT_EQ(g.shortfall().best, "no attempt closed at all");
}

TEST(Generator, StartCellWhereNothingFitsIsDrawnAgain) {
  // A closed three-cell room along +x fits the start cell x = 1 of a
  // 4-wide grid, not x = 2.
  Template pair = cellTemplate(5, 4);
  for (auto [x, openings] : {std::pair{1, 12}, {2, 8}}) {
    pair.cells.emplace_back().x = x;
    pair.cells.back().setOpenings(static_cast<uint16_t>(openings));
  }
  TemplateLibrary lib;
  lib.add(pair);
  for (uint32_t seed = 0; seed < 20; ++seed) {
    RandomSource random(seed);
    Generator g({{4, 3, 1}, 0.1f}, lib, random);
    ASSERT_TRUE(g.prepare().ok());
    EXPECT_EQ(g.candidate(), (GridCoord{1, 1, 0}));
  }
  RandomSource random(1);
  Generator none({{3, 3, 1}, 0.1f}, lib, random);
  const Status s = none.prepare();
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.message(),
            "none of the 1 templates fits any start cell of the 3 x 3 x 1 grid (storey 0, "
            "one cell away from the side walls)");
}

TEST(Generator, DrawBudgetEndsImpossibleFillsWithTheBestShare) {
  const TemplateLibrary lib = singles();
  // A share no layout reaches, and a tall grid whose attempts end at once
  // but each clear 8,190 cells: both end at the budget.
  for (auto [x, y, z, share, said] :
       {std::tuple{16, 16, 4, 1.0f, "the best closed layout filled 0.7"},
        {3, 3, 910, 0.60f, "the best closed layout filled 0.0"}}) {
    RandomSource random(7);
    Generator g({{x, y, z}, share}, lib, random, {kMaxDiscardedAttempts, 3'000'000});
    ASSERT_TRUE(g.prepare().ok());
    ASSERT_FALSE(g.fill()) << z;
    EXPECT_EQ(g.shortfall().spent.find("3000000 random draws and "), 0u) << g.shortfall().spent;
    EXPECT_EQ(g.shortfall().best.find(said), 0u) << g.shortfall().best;
    EXPECT_GE(g.drawsSpent(), 3'000'000);
    EXPECT_LT(g.drawsSpent(), 3'000'000 + 3 * x * y * z);
  }
}

}  // namespace
}  // namespace cellforge

#include "layout/cell_grid.h"

#include <gtest/gtest.h>

namespace cellforge {
namespace {

Cell cellAt(int32_t x, int32_t y, int32_t z, uint16_t openings, int32_t templateId = 0) {
  Cell c;
  c.x = x;
  c.y = y;
  c.z = z;
  c.setOpenings(openings);
  c.templateId = templateId;
  return c;
}

constexpr uint16_t kPosY = 1, kNegY = 2, kPosX = 4, kNegX = 8;

Template makeTemplate(int32_t id, std::vector<Cell> cells) {
  Template t;
  t.id = id;
  t.cells = std::move(cells);
  return t;
}

// In walk order: by z, then y, then x.
std::vector<GridCoord> marked(const CellGrid& g) {
  std::vector<GridCoord> out;
  g.forEachCell([&](GridCoord at, const Cell&) {
    if (g.frontier().isMarked(at)) out.push_back(at);
  });
  return out;
}

TEST(CellGrid, ResizeSetsTheBounds) {
  CellGrid g;
  g.resize({4, 10, 1});
  for (GridCoord c : {GridCoord{0, 0, 0}, GridCoord{3, 9, 0}}) EXPECT_TRUE(g.inBounds(c));
  for (GridCoord c : {GridCoord{-1, 0, 0}, GridCoord{0, -1, 0}, GridCoord{0, 0, -1},
                      GridCoord{4, 0, 0}, GridCoord{0, 10, 0}, GridCoord{0, 0, 1}})
    EXPECT_FALSE(g.inBounds(c));
}

TEST(CellGrid, PlaceCopiesCellsGivesTheAnchorItsIdAndMarksOpenings) {
  CellGrid g;
  g.resize({4, 4, 2});
  // Anchor opens +y and -x; its partner at +x (own templateId 9) opens -y.
  const Template t =
      makeTemplate(5, {cellAt(0, 0, 0, kPosY | kNegX, 77), cellAt(1, 0, 0, kNegY, 9)});
  g.place({1, 1, 1}, t);
  Cell anchor = cellAt(1, 1, 1, kPosY | kNegX, 5);
  anchor.occupied = 1;
  Cell partner = cellAt(2, 1, 1, kNegY, 9);
  partner.occupied = 1;
  EXPECT_EQ(g.cellAt({1, 1, 1}), anchor);
  EXPECT_EQ(g.cellAt({2, 1, 1}), partner);
  EXPECT_EQ(marked(g), (std::vector<GridCoord>{{2, 0, 1}, {0, 1, 1}, {1, 2, 1}}));
  EXPECT_EQ(g.occupiedCount(), 2);
  EXPECT_EQ(g.frontier().markedCount(), 3);
}

TEST(CellGrid, FacingCellsOfOneTemplateMarkNeither) {
  CellGrid g;
  g.resize({3, 3, 1});
  for (const auto& cells : {std::vector<Cell>{cellAt(0, 0, 0, kPosX), cellAt(1, 0, 0, kNegX)},
                            std::vector<Cell>{cellAt(1, 0, 0, kNegX), cellAt(0, 0, 0, kPosX)}}) {
    g.resize({3, 3, 1});
    g.place({0, 1, 0}, makeTemplate(1, cells));
    EXPECT_TRUE(marked(g).empty());
    EXPECT_FALSE(g.frontier().anyMarked());
  }
}

TEST(CellGrid, MarkStaysUntilItsCellIsPlacedAndTakenCellsAreNeverMarked) {
  CellGrid g;
  g.resize({3, 3, 1});
  g.place({0, 0, 0}, makeTemplate(1, {cellAt(0, 0, 0, kPosX)}));
  EXPECT_EQ(marked(g), (std::vector<GridCoord>{{1, 0, 0}}));
  // Beside the mark, opening back onto the taken cell: nothing new is marked.
  g.place({0, 1, 0}, makeTemplate(2, {cellAt(0, 0, 0, kNegY)}));
  EXPECT_EQ(marked(g), (std::vector<GridCoord>{{1, 0, 0}}));
  g.place({1, 0, 0}, makeTemplate(3, {cellAt(0, 0, 0, kNegX | kPosY)}));
  EXPECT_EQ(marked(g), (std::vector<GridCoord>{{1, 1, 0}}));
  g.resize({3, 3, 1});
  EXPECT_TRUE(marked(g).empty());
  EXPECT_EQ(g.occupiedCount(), 0);
  EXPECT_EQ(g.cellAt({1, 0, 0}), Cell{});
}

TEST(CellGrid, CellsAndNeighboursOutsideTheGridAreSkipped) {
  CellGrid g;
  g.resize({2, 2, 1});
  const Template t =
      makeTemplate(4, {cellAt(0, 0, 0, kNegX | kNegY | kPosY), cellAt(2147483647, 0, 0, kPosX),
                       cellAt(-2147483647 - 1, -2147483647 - 1, 0, 0)});
  g.place({1, 0, 0}, t);
  EXPECT_EQ(g.occupiedCount(), 1);
  EXPECT_EQ(marked(g), (std::vector<GridCoord>{{0, 0, 0}, {1, 1, 0}}));
  EXPECT_FALSE(g.canPlace({1, 1, 0}, t));
  CellGrid none;
  none.resize({0, 3, -1});
  EXPECT_FALSE(none.inBounds({0, 0, 0}));
  EXPECT_EQ(none.cellCount(), 0u);
}

}  // namespace
}  // namespace cellforge

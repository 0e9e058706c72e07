#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "templates/records.h"

namespace cellforge {

class RandomSource;

// One horizontal side of a cell: its opening, the neighbour's facing
// opening, and the step to that neighbour.
struct Side {
  bool Cell::*open;
  bool Cell::*facing;
  GridCoord step;
};
// The fixed order: +y, -y, +x, -x.
inline constexpr Side kSides[4] = {
    {&Cell::openPosY, &Cell::openNegY, {0, 1, 0}},
    {&Cell::openNegY, &Cell::openPosY, {0, -1, 0}},
    {&Cell::openPosX, &Cell::openNegX, {1, 0, 0}},
    {&Cell::openNegX, &Cell::openPosX, {-1, 0, 0}},
};

// The empty cells into which an opening of a placed cell leads.
class FrontierGrid {
 public:
  void resize(GridCoord dims);
  void mark(GridCoord c) { setMark(c, 1); }
  void unmark(GridCoord c) { setMark(c, 0); }
  bool isMarked(GridCoord c) const { return marks_[index(c)] != 0; }
  bool anyMarked() const { return markedCount_ > 0; }
  int32_t markedCount() const { return markedCount_; }

  // A random coordinate within the bounds: each axis in turn, x first,
  // redrawn until it is in range.
  void randomCell(RandomSource& random, GridCoord& c) const;
  // randomCell until the coordinate is marked. Only on a non-empty frontier.
  void randomMarkedCell(RandomSource& random, GridCoord& c) const;

  GridCoord dims, minBound, maxBound;
  std::array<float, 3> drawScale{0.0f, 0.0f, 0.0f};

 private:
  size_t index(GridCoord c) const {
    return (static_cast<size_t>(c.x) * static_cast<size_t>(dims.y) + static_cast<size_t>(c.y)) *
               static_cast<size_t>(dims.z) +
           static_cast<size_t>(c.z);
  }
  void setMark(GridCoord c, int32_t value);
  void refreshAxisDraws() const;

  // floor(r * scale) as (r * mul) >> shift: exact, since a float scale is a
  // 24-bit integer times a power of two and r has 15 bits.
  struct AxisDraw {
    uint64_t mul = 0;
    int shift = 0;
    bool exact = false;
  };
  mutable std::array<AxisDraw, 3> axisDraw_{};
  mutable std::array<float, 3> axisDrawScale_{-1.0f, -1.0f, -1.0f};

  std::vector<int32_t> marks_;
  int32_t markedCount_ = 0;
};

// The box of cells, indexed [x][y][z].
class CellGrid {
 public:
  void resize(GridCoord dims);
  Cell& cellAt(GridCoord c) { return cells_[index(c)]; }
  const Cell& cellAt(GridCoord c) const { return cells_[index(c)]; }
  bool inBounds(GridCoord c) const {
    return c.x >= minBound.x && c.x <= maxBound.x && c.y >= minBound.y && c.y <= maxBound.y &&
           c.z >= minBound.z && c.z <= maxBound.z;
  }

  // Fills `placement` with the template's cells moved to `origin`; the
  // anchor (offset 0, 0, 0) takes the template's id.
  void buildPlacement(GridCoord origin, const Template& t);
  // Puts the template into the grid and brings the frontier up to date.
  // Cells and neighbours outside the grid are skipped.
  void place(GridCoord origin, const Template& t);
  // The fit test: inside the grid, on empty cells, no opening out of the
  // grid, and every opening answered in both directions by taken neighbours.
  bool canPlace(GridCoord origin, const Template& t);
  int32_t occupiedCount() const { return occupiedCount_; }

  FrontierGrid frontier;
  GridCoord dims, minBound, maxBound;
  std::vector<Cell> placement;

 private:
  size_t index(GridCoord c) const {
    return (static_cast<size_t>(c.x) * static_cast<size_t>(dims.y) + static_cast<size_t>(c.y)) *
               static_cast<size_t>(dims.z) +
           static_cast<size_t>(c.z);
  }

  std::vector<Cell> cells_;
  int32_t occupiedCount_ = 0;
};

}  // namespace cellforge

#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "templates/records.h"

namespace cellforge {

class RandomSource;

// Where cell c of a box of this size lies when stored [x][y][z].
inline size_t boxIndex(GridCoord size, GridCoord c) {
  return (static_cast<size_t>(c.x) * static_cast<size_t>(size.y) + static_cast<size_t>(c.y)) *
             static_cast<size_t>(size.z) +
         static_cast<size_t>(c.z);
}

inline bool inBox(GridCoord size, GridCoord c) {
  return c.x >= 0 && c.x < size.x && c.y >= 0 && c.y < size.y && c.z >= 0 && c.z < size.z;
}

// The empty cells into which an opening of a placed cell leads.
class FrontierGrid {
 public:
  // Clears every mark; sets the draws up for this size.
  void resize(GridCoord size);
  GridCoord size() const { return size_; }
  void mark(GridCoord c) { setMark(c, 1); }
  void unmark(GridCoord c) { setMark(c, 0); }
  bool isMarked(GridCoord c) const { return marks_[index(c)] != 0; }
  bool anyMarked() const { return markedCount_ > 0; }
  int32_t markedCount() const { return markedCount_; }

  // A random coordinate within the bounds: each axis in turn, x first,
  // redrawn until it is in range. Only on a grid with cells.
  void randomCell(RandomSource& random, GridCoord& c) const;
  // randomCell until the coordinate is marked. Only on a non-empty frontier.
  void randomMarkedCell(RandomSource& random, GridCoord& c) const;

 private:
  size_t index(GridCoord c) const { return boxIndex(size_, c); }
  void setMark(GridCoord c, int32_t value);

  // An axis draw is floor(r * scale), scale the float nearest size / 32767,
  // done as (r * mul) >> shift: exact, since a float is a 24-bit integer
  // times a power of two and r has 15 bits.
  struct AxisDraw {
    uint64_t mul = 0;
    int shift = 0;
  };
  std::array<AxisDraw, 3> axisDraw_{};

  GridCoord size_;
  std::vector<int32_t> marks_;
  int32_t markedCount_ = 0;
};

// The box of cells, indexed [x][y][z], from (0, 0, 0) to size - 1.
class CellGrid {
 public:
  // Empties every cell and the frontier.
  void resize(GridCoord size);
  GridCoord size() const { return size_; }
  size_t cellCount() const { return cells_.size(); }
  Cell& cellAt(GridCoord c) { return cells_[index(c)]; }
  const Cell& cellAt(GridCoord c) const { return cells_[index(c)]; }
  bool inBounds(GridCoord c) const { return inBox(size_, c); }
  // Calls visit(coord, cell) for every cell in walk order: by z, then y,
  // then x.
  template <class Visit>
  void forEachCell(Visit&& visit) const {
    for (int32_t z = 0; z < size_.z; ++z)
      for (int32_t y = 0; y < size_.y; ++y)
        for (int32_t x = 0; x < size_.x; ++x) visit(GridCoord{x, y, z}, cellAt({x, y, z}));
  }

  // Puts the template into the grid and brings the frontier up to date.
  // Cells and neighbours outside the grid are skipped.
  void place(GridCoord origin, const Template& t);
  // The fit test: inside the grid, on empty cells, no opening out of the
  // grid, and every opening answered in both directions by taken neighbours.
  bool canPlace(GridCoord origin, const Template& t);
  int32_t occupiedCount() const { return occupiedCount_; }
  const FrontierGrid& frontier() const { return frontier_; }

 private:
  size_t index(GridCoord c) const { return boxIndex(size_, c); }
  // Fills placement_ with the template's cells moved to `origin`; the
  // anchor (offset 0, 0, 0) takes the template's id.
  void buildPlacement(GridCoord origin, const Template& t);

  GridCoord size_;
  std::vector<Cell> cells_;
  int32_t occupiedCount_ = 0;
  FrontierGrid frontier_;
  std::vector<Cell> placement_;
};

}  // namespace cellforge

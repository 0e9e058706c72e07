#include "layout/cell_grid.h"

#include <cmath>

#include "layout/random_source.h"

namespace cellforge {

namespace {

size_t cellsIn(GridCoord d) {
  if (d.x <= 0 || d.y <= 0 || d.z <= 0) return 0;
  return static_cast<size_t>(d.x) * static_cast<size_t>(d.y) * static_cast<size_t>(d.z);
}

// The float nearest 1/32767, times the dimension formed in double.
float scaleFor(int32_t dim) {
  constexpr float k = 1.0f / 32767.0f;
  return static_cast<float>(static_cast<double>(dim) * static_cast<double>(k));
}

}  // namespace

void FrontierGrid::resize(GridCoord size) {
  size_ = size;
  marks_.assign(cellsIn(size), 0);
  markedCount_ = 0;
  const int32_t dims[3] = {size.x, size.y, size.z};
  for (size_t i = 0; i < 3; ++i) {
    // An axis without cells keeps mul 0: no draw is ever in its range.
    if (dims[i] <= 0) {
      axisDraw_[i] = {};
      continue;
    }
    // The scale of an int32_t axis is below 2^17, so the shift is positive.
    int exponent = 0;
    const float mantissa = std::frexp(scaleFor(dims[i]), &exponent);
    axisDraw_[i] = {static_cast<uint64_t>(std::ldexp(mantissa, 24)), 24 - exponent};
  }
}

void FrontierGrid::setMark(GridCoord c, int32_t value) {
  int32_t& m = marks_[index(c)];
  markedCount_ += (value != 0 ? 1 : 0) - (m != 0 ? 1 : 0);
  m = value;
}

void FrontierGrid::randomCell(RandomSource& random, GridCoord& c) const {
  auto axis = [&](size_t i, int32_t size) {
    const AxisDraw& a = axisDraw_[i];
    for (;;) {
      const auto r = static_cast<uint64_t>(random.next());
      const auto v = static_cast<int32_t>((r * a.mul) >> a.shift);
      if (v >= 0 && v < size) return v;
    }
  };
  c.x = axis(0, size_.x);
  c.y = axis(1, size_.y);
  c.z = axis(2, size_.z);
}

void FrontierGrid::randomMarkedCell(RandomSource& random, GridCoord& c) const {
  do {
    randomCell(random, c);
  } while (!isMarked(c));
}

void CellGrid::resize(GridCoord size) {
  size_ = size;
  cells_.assign(cellsIn(size), Cell{});
  occupiedCount_ = 0;
  frontier_.resize(size);
}

void CellGrid::buildPlacement(GridCoord origin, const Template& t) {
  placement_.clear();
  for (const Cell& c : t.cells) {
    Cell p = c;
    if (p.x == 0 && p.y == 0 && p.z == 0) p.templateId = t.id;
    // Wrapping sums: a hostile offset lands outside the grid, never in UB.
    auto add = [](int32_t a, int32_t b) {
      return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
    };
    p.x = add(p.x, origin.x);
    p.y = add(p.y, origin.y);
    p.z = add(p.z, origin.z);
    placement_.push_back(p);
  }
}

void CellGrid::place(GridCoord origin, const Template& t) {
  buildPlacement(origin, t);
  for (Cell& p : placement_) {
    p.occupied = 1;
    if (!inBounds(p.coord())) continue;
    Cell& target = cellAt(p.coord());
    if (target.occupied == 0) ++occupiedCount_;
    target = p;
    frontier_.unmark(p.coord());
    for (const Side& side : kSides) {
      if (!(p.*side.open)) continue;
      const GridCoord n = p.coord() + side.step;
      if (inBounds(n) && cellAt(n).occupied == 0) frontier_.mark(n);
    }
  }
}

bool CellGrid::canPlace(GridCoord origin, const Template& t) {
  buildPlacement(origin, t);
  // One pass per cell. The test is a conjunction, so the result is that of
  // checking bounds, overlap, openings out of the grid, openings answered
  // and neighbours answered over all cells in turn; the neighbour reads of a
  // cell are safe once its own bounds and openings have passed.
  for (const Cell& p : placement_) {
    if (!inBounds(p.coord())) return false;
    if (cellAt(p.coord()).occupied != 0) return false;
    for (const Side& side : kSides) {
      const GridCoord nc = p.coord() + side.step;
      if (!inBounds(nc)) {
        if (p.*side.open) return false;
        continue;
      }
      const Cell& n = cellAt(nc);
      if (n.occupied != 0 && (p.*side.open) != (n.*side.facing)) return false;
    }
  }
  return true;
}

}  // namespace cellforge

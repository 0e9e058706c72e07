#include "layout/cell_grid.h"

#include <algorithm>
#include <cmath>

#include "layout/random_source.h"

namespace cellforge {

namespace {

size_t cellCount(GridCoord d) {
  if (d.x <= 0 || d.y <= 0 || d.z <= 0) return 0;
  return static_cast<size_t>(d.x) * static_cast<size_t>(d.y) * static_cast<size_t>(d.z);
}

GridCoord maxOf(GridCoord d) { return {d.x - 1, d.y - 1, d.z - 1}; }

// The float nearest 1/32767, times the dimension formed in double.
float scaleFor(int32_t dim) {
  constexpr float k = 1.0f / 32767.0f;
  return static_cast<float>(static_cast<double>(dim) * static_cast<double>(k));
}

GridCoord plus(GridCoord a, GridCoord b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }

}  // namespace

void FrontierGrid::resize(GridCoord d) {
  dims = d;
  minBound = {};
  maxBound = maxOf(d);
  marks_.assign(cellCount(d), 0);
  markedCount_ = 0;
  drawScale = {scaleFor(d.x), scaleFor(d.y), scaleFor(d.z)};
}

void FrontierGrid::setMark(GridCoord c, int32_t value) {
  int32_t& m = marks_[index(c)];
  markedCount_ += (value != 0 ? 1 : 0) - (m != 0 ? 1 : 0);
  m = value;
}

void FrontierGrid::refreshAxisDraws() const {
  for (size_t i = 0; i < 3; ++i) {
    AxisDraw& a = axisDraw_[i];
    int exponent = 0;
    const float mantissa = std::frexp(drawScale[i], &exponent);
    a.exact = drawScale[i] > 0.0f && std::isfinite(drawScale[i]) && exponent <= 24;
    if (a.exact) {
      a.mul = static_cast<uint64_t>(std::ldexp(mantissa, 24));
      a.shift = 24 - exponent;
    }
  }
  axisDrawScale_ = drawScale;
}

void FrontierGrid::randomCell(RandomSource& random, GridCoord& c) const {
  if (axisDrawScale_ != drawScale) refreshAxisDraws();
  auto axis = [&](size_t i, int32_t lo, int32_t hi) {
    const AxisDraw& a = axisDraw_[i];
    for (;;) {
      const int r = random.next();
      const auto v =
          a.exact
              ? static_cast<int32_t>((static_cast<uint64_t>(r) * a.mul) >> a.shift)
              : static_cast<int32_t>(static_cast<double>(r) * static_cast<double>(drawScale[i]));
      if (v >= lo && v <= hi) return v;
    }
  };
  c.x = axis(0, minBound.x, maxBound.x);
  c.y = axis(1, minBound.y, maxBound.y);
  c.z = axis(2, minBound.z, maxBound.z);
}

void FrontierGrid::randomMarkedCell(RandomSource& random, GridCoord& c) const {
  do {
    randomCell(random, c);
  } while (!isMarked(c));
}

void CellGrid::resize(GridCoord d) {
  dims = d;
  minBound = {};
  maxBound = maxOf(d);
  cells_.assign(cellCount(d), Cell{});
  occupiedCount_ = 0;
  frontier.resize(d);
}

void CellGrid::buildPlacement(GridCoord origin, const Template& t) {
  placement.clear();
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
    placement.push_back(p);
  }
}

void CellGrid::place(GridCoord origin, const Template& t) {
  buildPlacement(origin, t);
  for (Cell& p : placement) {
    p.occupied = 1;
    if (!inBounds(p.coord())) continue;
    Cell& target = cellAt(p.coord());
    if (target.occupied == 0) ++occupiedCount_;
    target = p;
    frontier.unmark(p.coord());
    for (const Side& side : kSides) {
      if (!(p.*side.open)) continue;
      const GridCoord n = plus(p.coord(), side.step);
      if (inBounds(n) && cellAt(n).occupied == 0) frontier.mark(n);
    }
  }
}

bool CellGrid::canPlace(GridCoord origin, const Template& t) {
  buildPlacement(origin, t);
  // One pass per cell. The test is a conjunction, so the result is that of
  // checking bounds, overlap, openings out of the grid, openings answered
  // and neighbours answered over all cells in turn; the neighbour reads of a
  // cell are safe once its own bounds and openings have passed.
  for (const Cell& p : placement) {
    if (!inBounds(p.coord())) return false;
    if (cellAt(p.coord()).occupied != 0) return false;
    if ((p.openPosY && p.y == maxBound.y) || (p.openNegY && p.y == minBound.y) ||
        (p.openPosX && p.x == maxBound.x) || (p.openNegX && p.x == minBound.x))
      return false;
    for (const Side& side : kSides) {
      const GridCoord nc = plus(p.coord(), side.step);
      if (!inBounds(nc)) continue;
      const Cell& n = cellAt(nc);
      if (n.occupied != 0 && (p.*side.open) != (n.*side.facing)) return false;
    }
  }
  return true;
}

}  // namespace cellforge

#pragma once

#include <cstdint>
#include <string_view>

namespace cellforge {

// Map units along each axis of one grid cell: the cell at (x, y, z) spans
// x * kCellSize to (x + 1) * kCellSize, and so on. Every piece text is
// drawn to it.
inline constexpr int32_t kCellSize = 256;

// A cell position, offset or size, in cells.
struct GridCoord {
  int32_t x = 0, y = 0, z = 0;
  friend bool operator==(const GridCoord&, const GridCoord&) = default;
  friend GridCoord operator+(GridCoord a, GridCoord b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
};

// The horizontal sides of a cell as indices into kSides.
enum SideIndex : int { posY, negY, posX, negX };

// One cell of a template or of the grid. Openings join horizontal
// neighbours only.
struct Cell {
  bool openPosY = false;
  bool openNegY = false;
  bool openPosX = false;
  bool openNegX = false;
  int32_t x = 0, y = 0, z = 0;
  int32_t templateId = 0;
  int32_t occupied = 0;

  GridCoord coord() const { return {x, y, z}; }
  // The four openings as bits 0..3, bit i for kSides[i].
  uint16_t openings() const;
  // Takes bits 0..3; the other twelve carry nothing.
  void setOpenings(uint16_t word);
  friend bool operator==(const Cell&, const Cell&) = default;
};

struct Side {
  bool Cell::*open;
  bool Cell::*facing;  // the neighbour's opening that answers this one
  SideIndex opposite;  // the side `facing` belongs to
  GridCoord step;      // to the neighbour
  std::string_view name;
};

// The sides in the order of the opening bits of a template or layout file,
// of the manifest and of every message and loop: +y, -y, +x, -x.
inline constexpr Side kSides[4] = {
    {&Cell::openPosY, &Cell::openNegY, negY, {0, 1, 0}, "+y"},
    {&Cell::openNegY, &Cell::openPosY, posY, {0, -1, 0}, "-y"},
    {&Cell::openPosX, &Cell::openNegX, negX, {1, 0, 0}, "+x"},
    {&Cell::openNegX, &Cell::openPosX, posX, {-1, 0, 0}, "-x"},
};
static_assert([] {
  for (const Side& s : kSides)
    if (kSides[s.opposite].open != s.facing || kSides[s.opposite].opposite != &s - kSides)
      return false;
  return true;
}());

inline bool isOpen(const Cell& c, int side) { return c.*kSides[side].open; }

inline uint16_t Cell::openings() const {
  unsigned word = 0;
  for (unsigned i = 0; i < 4; ++i)
    if (this->*kSides[i].open) word |= 1u << i;
  return static_cast<uint16_t>(word);
}

inline void Cell::setOpenings(uint16_t word) {
  for (unsigned i = 0; i < 4; ++i) this->*kSides[i].open = ((word >> i) & 1u) != 0;
}

}  // namespace cellforge

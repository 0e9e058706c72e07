#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace cellforge {

// A cell position, offset or size, in cells.
struct GridCoord {
  int32_t x = 0, y = 0, z = 0;
  friend bool operator==(const GridCoord&, const GridCoord&) = default;
};

// One cell of a template or of the grid. Openings join horizontal
// neighbours only: +y, -y, +x, -x.
struct Cell {
  bool openPosY = false;
  bool openNegY = false;
  bool openPosX = false;
  bool openNegX = false;
  int32_t x = 0, y = 0, z = 0;
  int32_t templateId = 0;
  int32_t occupied = 0;

  GridCoord coord() const { return {x, y, z}; }
  // The four flags as bits 0..3 (openPosY, openNegY, openPosX, openNegX).
  uint16_t openings() const {
    return static_cast<uint16_t>((openPosY ? 1 : 0) | (openNegY ? 2 : 0) | (openPosX ? 4 : 0) |
                                 (openNegX ? 8 : 0));
  }
  // Takes bits 0..3; the other twelve carry nothing.
  void setOpenings(uint16_t word) {
    openPosY = (word & 1) != 0;
    openNegY = (word & 2) != 0;
    openPosX = (word & 4) != 0;
    openNegX = (word & 8) != 0;
  }
  friend bool operator==(const Cell&, const Cell&) = default;
};

struct Template {
  int32_t id = 0;
  std::string name;  // piece text file, relative to the source folder
  std::array<int32_t, 3> triple{0, 0, 0};
  std::vector<Cell> cells;  // offsets from the anchor at (0, 0, 0), in file order

  friend bool operator==(const Template&, const Template&) = default;
};

}  // namespace cellforge

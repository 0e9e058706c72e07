#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "templates/cell.h"

namespace cellforge {

struct Template {
  int32_t id = 0;
  std::string name;  // piece text file, relative to the source folder
  std::array<int32_t, 3> triple{0, 0, 0};
  std::vector<Cell> cells;  // offsets from the anchor at (0, 0, 0), in file order

  friend bool operator==(const Template&, const Template&) = default;
};

}  // namespace cellforge

// The layout reader on arbitrary bytes, against a small fixed library: a
// refused file leaves the grid alone and says why in one line; an accepted
// one rebuilds a grid whose own layout file reads back.
#include <cstdlib>
#include <string_view>

#include "layout/layout_file.h"

namespace {

using namespace cellforge;

Cell cell(int32_t x, int32_t y, int32_t z, uint16_t openings, int32_t templateId = 0) {
  Cell c;
  c.x = x;
  c.y = y;
  c.z = z;
  c.templateId = templateId;
  c.setOpenings(openings);
  return c;
}

TemplateLibrary makeLibrary() {
  TemplateLibrary library;
  library.add(Template{1, "one.map", {0, 0, 0}, {cell(0, 0, 0, 0xF)}});
  library.add(Template{2, "wide.map", {1, 2, 3}, {cell(0, 0, 0, 0x8), cell(1, 0, 0, 0x4)}});
  library.add(Template{3, "tall.map", {0, 0, 0}, {cell(0, 0, 0, 0x1), cell(0, 0, 1, 0x2)}});
  // Covers a cell behind its anchor that carries an id of its own.
  library.add(Template{4, "odd.map", {0, 0, 0}, {cell(-1, 0, 0, 0x3, 1), cell(0, 0, 0, 0)}});
  // No anchor cell: places, but writes nothing.
  library.add(Template{5, "none.map", {0, 0, 0}, {cell(0, 1, 0, 0xC)}});
  library.add(Template{0, "zero.map", {0, 0, 0}, {cell(0, 0, 0, 0x5)}});
  library.add(Template{2, "twin.map", {0, 0, 0}, {cell(0, 0, 0, 0)}});
  library.add(Template{6, "empty.map", {0, 0, 0}, {}});
  return library;
}

bool sameGrid(const CellGrid& a, const CellGrid& b) {
  if (!(a.size() == b.size()) || a.occupiedCount() != b.occupiedCount()) return false;
  bool same = true;
  a.forEachCell([&](GridCoord at, const Cell& c) { same = same && c == b.cellAt(at); });
  return same;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const TemplateLibrary library = makeLibrary();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  CellGrid before;
  before.resize({2, 2, 1});
  before.place({0, 0, 0}, library.at(0));
  CellGrid grid = before;
  const Status read = readLayout(bytes, "fuzz.mtf", library, grid);
  if (!read) {
    if (read.message().find('\n') != std::string::npos || !sameGrid(grid, before)) std::abort();
    return 0;
  }
  // Every record written from the rebuilt grid is an anchor or a cell whose
  // template fitted, so the written file must read back.
  CellGrid again;
  if (!readLayout(encodeLayout(grid), "again.mtf", library, again)) std::abort();
  if (!(again.size() == grid.size())) std::abort();
  return 0;
}

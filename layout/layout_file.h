#pragma once

#include <string>
#include <string_view>

#include "layout/cell_grid.h"
#include "platform/result.h"
#include "templates/template_library.h"

namespace cellforge {

inline constexpr std::string_view kMtfMagic = "ORVANDEL SOFTWORKS, MTF (1.0)";
inline constexpr std::string_view kLayoutFileName = "sample.mtf";
inline constexpr size_t kMtfRecordSize = 20;
// A layout larger than this is refused, so a hostile file cannot make us
// allocate without bound (a grid of 2^20 cells is far past any playable map).
inline constexpr int64_t kMaxLayoutCells = int64_t{1} << 20;

// One record of a layout file: a template and the cell its anchor is on.
struct LayoutRecord {
  int32_t templateId = 0;
  GridCoord at;
  bool first = false;  // the firstRecord field, which readers ignore
};

// What a layout file holds, checked against the file's own bytes only.
struct Layout {
  GridCoord size;
  std::vector<LayoutRecord> records;
};

// The cells that carry a template id, in x, y, z order (z fastest).
std::vector<Cell> collectRecords(const CellGrid& grid);

// The layout file bytes for this grid.
std::string encodeLayout(const CellGrid& grid);

// Whether the bytes begin with the layout file's header.
bool isLayoutFile(std::string_view bytes);
// The header, grid size and records; `name` is what messages call the file.
Expected<Layout> decodeLayout(std::string_view bytes, std::string_view name);
// Rebuilds `grid` by placing every record's template again. A layout that
// names a template the library lacks or reaches outside its grid is refused
// whole and `grid` is unchanged.
Status rebuildGrid(const Layout& layout, std::string_view name, const TemplateLibrary& library,
                   CellGrid& grid);
// decodeLayout, then rebuildGrid.
Status readLayout(std::string_view bytes, std::string_view name, const TemplateLibrary& library,
                  CellGrid& grid);

Status writeLayoutFile(const std::string& path, const CellGrid& grid);
Status readLayoutFile(const std::string& path, const TemplateLibrary& library, CellGrid& grid);

}  // namespace cellforge

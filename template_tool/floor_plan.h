#pragma once

#include <string>

#include "layout/cell_grid.h"
#include "templates/template_library.h"

namespace cellforge {

// An SVG floor plan of a layout, one panel per storey: cells shaded by
// template, walls and doorways, stairs, and the cell whose player start the
// map keeps. `grid` is the layout rebuilt with `library`.
std::string renderFloorPlan(const CellGrid& grid, const TemplateLibrary& library);

}  // namespace cellforge

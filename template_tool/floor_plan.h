#pragma once

#include <string>

#include "layout/cell_grid.h"
#include "layout/level_plan.h"
#include "templates/template_library.h"

namespace cellforge {

// An SVG floor plan of a layout, one panel per storey: cells shaded by the
// placement the plan gives them, walls and doorways, stairs, the cell whose
// player start the map keeps and the one that holds its exit. `grid` is the
// layout rebuilt with `library`; `level` its plan.
std::string renderFloorPlan(const CellGrid& grid, const TemplateLibrary& library,
                            const LevelPlan& level);

}  // namespace cellforge

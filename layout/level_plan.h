#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "layout/cell_grid.h"
#include "templates/template_library.h"

namespace cellforge {

// One template standing in the grid: the anchor cell that carries its id.
struct Placement {
  GridCoord anchor;
  int32_t templateId = 0;
};

// How far a player walks from the start to each placement. Both programs
// use it, so the summary, the plans and the map agree on start and exit.
struct LevelPlan {
  // Every placement, in the order the map is written: anchors by z, then y,
  // then x. The first is the start: the one whose player start the map keeps.
  std::vector<Placement> placements;
  // Placements on the shortest walk from the start (the start is 0), or
  // kUnreachable for a placement no walk reaches.
  std::vector<int32_t> distance;
  // The placement whose exit the map keeps, if any piece has one.
  std::optional<size_t> exit;
  // Unreachable placements, one line each, naming the cell.
  std::vector<std::string> warnings;
  // The grid's size, and for each of its cells (by boxIndex) the placement
  // it belongs to: the one that wrote it last when the layout was replayed,
  // records in file order as the reader places them; -1 for none.
  GridCoord size;
  std::vector<int32_t> owner;

  static constexpr int32_t kUnreachable = -1;

  // The distance the depth rule measures against: the exit's, or with no
  // exit the farthest reachable placement's.
  int32_t depthScale() const;
  // Where `index` lies between start (0) and exit (1), as num / den with
  // den > 0; deeper than the exit counts as the exit. None when unreachable.
  struct Ratio {
    int64_t num = 0, den = 1;
  };
  std::optional<Ratio> depthOf(size_t index) const;
  // The placement cell c belongs to; none outside the grid or on a cell no
  // placement covers.
  const Placement* ownerOf(GridCoord c) const;
};

// Placements are joined where a cell of one opens into a cell of the other
// that answers the opening. `hasExit` tells which templates' pieces have
// exit entities; the exit goes to the farthest of those placements (ties:
// the first in walk order). `layoutName` is what warnings call the layout.
LevelPlan planLevel(const CellGrid& grid, const TemplateLibrary& library,
                    const std::function<bool(const Template&)>& hasExit,
                    std::string_view layoutName);

// "cell (x, y, z)" for the start; for the exit with ", N rooms from the
// start" after it, or "none" without one.
std::string describeStart(const LevelPlan& level);
std::string describeExit(const LevelPlan& level);

// A text plan of the grid: one block per storey, lowest first, +y up and +x
// right; each cell three characters square, its walls drawn where it is
// closed; the start's anchor is S, the exit's E, other anchors *.
std::string layoutPlan(const CellGrid& grid, const LevelPlan& level);

}  // namespace cellforge

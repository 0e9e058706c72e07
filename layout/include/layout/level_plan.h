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

// A doorway between two placements: the cell on one side and the side of
// it that opens into the other placement's cell.
struct Doorway {
  GridCoord cell;
  SideIndex side = posY;
  friend bool operator==(const Doorway&, const Doorway&) = default;
};

// One key of the level and the door it opens, in the order the player
// needs them: keys[0] is found first and opens the outer region.
struct KeyGate {
  // The placement that holds the key (a piece with a key spot), reached
  // from the start without crossing this or any later gate's doorways.
  size_t keyPlacement = 0;
  // The placement every walk from the start into the region passes
  // through: the exit's for the last key.
  size_t gatePlacement = 0;
  // The placements behind the door (gatePlacement among them), in walk
  // order.
  std::vector<size_t> region;
  // Every doorway joining the region to the rest, each given once, from
  // the cell outside the region: the piece the player comes from writes
  // the door. All of them lead into gatePlacement.
  std::vector<Doorway> locked;
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
  // The keys and their locked doorways, in the player's order (see
  // KeyGate); fewer than asked when the layout has no room for them, and
  // then `keysNote` says why.
  std::vector<KeyGate> keys;
  std::string keysNote;
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
  // The number (1 or 2) of the key whose placement is anchored at `anchor`,
  // and of the key whose door shuts `d` (from the cell outside); 0 for none.
  int keyAt(GridCoord anchor) const;
  int keyLocking(const Doorway& d) const;
};

// Placements are joined where a cell of one opens into a cell of the other
// that answers the opening. `hasExit` tells which templates' pieces have
// exit entities; the exit goes to the farthest of those placements (ties:
// the first in walk order). `layoutName` is what warnings call the layout.
LevelPlan planLevel(const CellGrid& grid, const TemplateLibrary& library,
                    const std::function<bool(const Template&)>& hasExit,
                    std::string_view layoutName);

// The same with up to `keys` keys (0 to kMaxKeys) gating the way to the
// exit. `hasKeySpot` tells which templates' pieces hold a key spot.
// Key k's region is its gate placement with every placement reached from
// the start only through it; the last key's gate is the exit's placement,
// an earlier key's region holds the later ones'. Each key lies in the
// placement farthest from the start (ties: first in walk order) among those
// with a key spot that are reached without crossing its own or a later
// key's doorways and lie behind the earlier keys' doors; never at the start.
// The first of two keys' gate is one of the placements every walk to the
// exit passes (not the start) that leaves a key spot on either side of its
// door; of those, the one with the most rooms on its smaller side (before
// its door, or between the two doors), ties going to the one nearer the
// start. At most kMaxKeys (foundation/settings.h) keys; a plan with no
// exit, or no room for a key, has none.
struct KeyOptions {
  int keys = 0;
  std::function<bool(const Template&)> hasKeySpot;
};
LevelPlan planLevel(const CellGrid& grid, const TemplateLibrary& library,
                    const std::function<bool(const Template&)>& hasExit, const KeyOptions& keys,
                    std::string_view layoutName);

// The walk the keys ask for, checked on the plan itself: with the doorways
// of keys[open..] shut, which placements the start reaches. A sound plan
// reaches keys[open] and not the exit for every open < keys.size(), and the
// exit with all open.
std::vector<bool> reachedWithDoorsShut(const LevelPlan& level, const CellGrid& grid, size_t open);

// "key 1 (silver): cell (x, y, z); locks N doorways, M rooms behind them",
// one line per key, each ending in a line end; with fewer keys than
// `asked`, a line "keys: ..." saying why.
std::string describeKeys(const LevelPlan& level, std::string_view firstColour,
                         std::string_view secondColour, int asked);

// "cell (x, y, z)" for the start; for the exit with ", N rooms from the
// start" after it, or "none" without one.
std::string describeStart(const LevelPlan& level);
std::string describeExit(const LevelPlan& level);

// A text plan of the grid: one block per storey, lowest first, +y up and +x
// right; each cell three characters square, its walls drawn where it is
// closed; the start's anchor is S, the exit's E, the first key's K, the
// second key's k, other anchors *; a locked doorway is drawn as 1 or 2 in
// its gap (the key that opens it).
std::string layoutPlan(const CellGrid& grid, const LevelPlan& level);

}  // namespace cellforge

#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "layout/cell_grid.h"
#include "platform/result.h"
#include "templates/template_library.h"

namespace cellforge {

class RandomSource;

// Attempts thrown away before the generator gives up on a fill share. The
// bundled kit needs at most a few dozen for 10 x 10 x 2 at 0.75 (35 over 300
// seeds); this leaves room for harder kits. The draw budget below bounds the
// time.
inline constexpr int64_t kMaxDiscardedAttempts = 100'000;
// Random draws a whole run may spend (each cell of a grid cleared for a new
// attempt counts as one), about 6 s at 3 to 4 ns a draw. Layouts that come
// out within seconds need far fewer: the bundled kits at most 3.1 million
// over 40 seeds at 16 x 16 x 4, 0.75; the benchmark's hard kit up to 1.2
// billion at 20 x 20 x 2, 0.75.
inline constexpr int64_t kMaxRandomDraws = 1'500'000'000;

// The grid to fill: its size (x and y at least 3, z at least 1) and the
// share of its cells a layout must fill.
struct GridGoal {
  GridCoord size;
  float fillShare = 0.0f;
};

// What a run that gave up spent ("50 attempts") and how close it came ("no
// attempt closed at all").
struct Shortfall {
  std::string spent, best;
};

struct GeneratorLimits {
  int64_t maxDiscardedAttempts = kMaxDiscardedAttempts;
  int64_t maxRandomDraws = kMaxRandomDraws;
};

// Fills a grid at random with templates of the library until the layout is
// closed (no opening leads into an empty cell) and full enough, starting over
// when it closes too small. A seed gives the same draws, and so the same
// layout, on every platform.
class Generator {
 public:
  Generator(GridGoal goal, const TemplateLibrary& library, RandomSource& random,
            GeneratorLimits limits = {});

  // Sizes the grid and places the first template. Fails when no template
  // fits any start cell; the message leaves naming the templates' folder
  // to the caller.
  Status prepare();
  // Places templates until a layout is accepted; false when the run gave
  // up short of the fill share (see shortfall()).
  bool fill();

  // The inner steps, one draw sequence each.
  void advanceTemplate();
  bool fillReached() const;
  // Draws a start cell on storey 0 away from the side walls, then templates
  // until one fits there. Only after prepare succeeded.
  void placeFirst();

  const CellGrid& grid() const { return grid_; }
  CellGrid& grid() { return grid_; }
  size_t templateCursor() const { return cursor_; }
  const Template& currentTemplate() const { return library_.at(cursor_); }
  GridCoord candidate() const { return candidate_; }

  int64_t discardedAttempts() const { return discarded_; }
  // What the run has spent of its budget of random draws.
  int64_t drawsSpent() const;
  // Templates placed in the accepted layout.
  int32_t templatesPlaced() const { return placedInAttempt_; }
  int32_t totalCells() const { return totalCells_; }
  const Shortfall& shortfall() const { return shortfall_; }

 private:
  bool anyTemplateFits(GridCoord origin);
  bool fitsAt(GridCoord origin, size_t index);
  void forgetFits() {
    fitMemo_.assign(library_.size(), -1);
    sidesKnown_ = false;
  }
  void learnSides(GridCoord origin);
  void startNewAttempt();
  // False when the run gives up.
  bool discardAttempt(bool closed);
  bool gaveUp(std::string spent);

  GridGoal goal_;
  const TemplateLibrary& library_;
  RandomSource& random_;
  GeneratorLimits limits_;

  size_t cursor_ = 0;
  GridCoord candidate_;
  CellGrid grid_;
  int32_t totalCells_ = 0;
  // Cursor steps per advance (11 to 21) reduced modulo the library size.
  std::array<size_t, 22> stepMod_{};

  // Whether any template fits each start cell of an empty grid, by x * y.
  std::vector<char> startFits_;
  // canPlace per template at the cell being filled: -1 not yet known.
  std::vector<signed char> fitMemo_;
  // Openings of each one-cell template (anchor only), or -1 for the others:
  // those fit an empty cell by its sides alone.
  std::vector<int> singleOpenings_;
  // The sides of the cell being filled that must be open or closed.
  bool sidesKnown_ = false;
  unsigned mustOpen_ = 0, mustClose_ = 0;

  int64_t discarded_ = 0;
  int32_t placedInAttempt_ = 0;
  double bestClosedShare_ = -1.0;
  // Draws made before prepare, and cells cleared since: both go into the
  // budget of the run.
  uint64_t drawsBefore_ = 0;
  int64_t cellsCleared_ = 0;
  Shortfall shortfall_;
};

}  // namespace cellforge

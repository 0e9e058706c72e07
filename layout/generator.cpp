#include "layout/generator.h"

#include <sstream>
#include <utility>

#include "layout/random_source.h"

namespace cellforge {

namespace {

// The float nearest 1/3276: r * k + 10 spreads 0..32767 over 10..20.
constexpr float kTemplateStep = 1.0f / 3276.0f;
constexpr uint64_t kTemplateStepMantissa = static_cast<uint64_t>(double{kTemplateStep} * 0x1p35);

std::string sizeText(GridCoord d) {
  return std::to_string(d.x) + " x " + std::to_string(d.y) + " x " + std::to_string(d.z);
}

std::string shareText(double share) {
  std::ostringstream s;
  s.precision(2);
  s << std::fixed << share;
  return s.str();
}

}  // namespace

Generator::Generator(GridGoal goal, const TemplateLibrary& library, RandomSource& random,
                     GeneratorLimits limits)
    : goal_(goal), library_(library), random_(random), limits_(limits) {
  cursor_ = library_.first();
  for (const Template& t : library_.templates()) {
    const bool single = t.cells.size() == 1 && t.cells[0].coord() == GridCoord{};
    singleOpenings_.push_back(single ? t.cells[0].openings() : -1);
  }
  for (size_t steps = 0; steps < stepMod_.size(); ++steps)
    stepMod_[steps] = library_.empty() ? 0 : steps % library_.size();
}

Status Generator::prepare() {
  const GridCoord dims = goal_.size;
  totalCells_ = dims.x * dims.y * dims.z;
  drawsBefore_ = random_.draws();
  cellsCleared_ = 0;

  // Whether a start cell can take any template is a matter of the empty grid
  // alone, so it is settled once here.
  grid_.resize(dims);
  startFits_.assign(static_cast<size_t>(dims.x) * static_cast<size_t>(dims.y), 0);
  bool anyStart = false;
  for (int32_t x = 1; x < dims.x - 1; ++x) {
    for (int32_t y = 1; y < dims.y - 1; ++y) {
      forgetFits();
      const bool fits = anyTemplateFits({x, y, 0});
      startFits_[static_cast<size_t>(x) * static_cast<size_t>(dims.y) + static_cast<size_t>(y)] =
          fits ? 1 : 0;
      anyStart = anyStart || fits;
    }
  }
  if (!anyStart)
    return fail("none of the " + std::to_string(library_.size()) +
                " templates fits any start cell of the " + sizeText(dims) +
                " grid (storey 0, one cell away from the side walls)");
  discarded_ = 0;
  bestClosedShare_ = -1.0;
  startNewAttempt();
  return success();
}

void Generator::advanceTemplate() {
  // 10 + r * k in double is exact (k is a 24-bit integer times 2^-35, r has
  // 15 bits), so its integer part is 10 + (r * that integer) >> 35.
  static_assert(kTemplateStepMantissa * 0x1p-35 == double{kTemplateStep});
  const auto r = static_cast<uint64_t>(random_.next());
  const size_t n = 10 + static_cast<size_t>((r * kTemplateStepMantissa) >> 35);
  cursor_ += stepMod_[n + 1];
  if (cursor_ >= library_.size()) cursor_ -= library_.size();
}

bool Generator::fillReached() const {
  return static_cast<double>(grid_.occupiedCount()) / static_cast<double>(totalCells_) >=
         static_cast<double>(goal_.fillShare);
}

void Generator::learnSides(GridCoord origin) {
  // Bit i as Cell::openings: kSides[i].
  mustOpen_ = mustClose_ = 0;
  for (unsigned bit = 0; bit < 4; ++bit) {
    const Side& side = kSides[bit];
    const GridCoord n = origin + side.step;
    if (!grid_.inBounds(n)) {
      mustClose_ |= 1u << bit;
    } else if (const Cell& c = grid_.cellAt(n); c.occupied != 0) {
      (c.*side.facing ? mustOpen_ : mustClose_) |= 1u << bit;
    }
  }
  sidesKnown_ = true;
}

bool Generator::fitsAt(GridCoord origin, size_t index) {
  signed char& known = fitMemo_[index];
  if (known >= 0) return known != 0;
  const int single = singleOpenings_[index];
  // Cells drawn for filling are inside the grid and empty, so a one-cell
  // template fits exactly when its sides agree with the neighbours.
  if (single >= 0 && grid_.inBounds(origin) && grid_.cellAt(origin).occupied == 0) {
    if (!sidesKnown_) learnSides(origin);
    const auto open = static_cast<unsigned>(single);
    known = (open & mustClose_) == 0 && (open & mustOpen_) == mustOpen_ ? 1 : 0;
  } else {
    known = grid_.canPlace(origin, library_.at(index)) ? 1 : 0;
  }
  return known != 0;
}

bool Generator::anyTemplateFits(GridCoord origin) {
  for (size_t i = 0; i < library_.size(); ++i)
    if (fitsAt(origin, i)) return true;
  return false;
}

void Generator::placeFirst() {
  const GridCoord size = grid_.size();
  for (;;) {
    do {
      grid_.frontier().randomCell(random_, candidate_);
    } while (candidate_.x == 0 || candidate_.x == size.x - 1 || candidate_.y == 0 ||
             candidate_.y == size.y - 1);
    candidate_.z = 0;
    if (startFits_[static_cast<size_t>(candidate_.x) * static_cast<size_t>(goal_.size.y) +
                   static_cast<size_t>(candidate_.y)] != 0)
      break;
  }
  forgetFits();
  do {
    advanceTemplate();
  } while (!fitsAt(candidate_, cursor_));
  grid_.place(candidate_, currentTemplate());
  placedInAttempt_ = 1;
}

void Generator::startNewAttempt() {
  grid_.resize(goal_.size);
  // Clearing a large grid costs time as draws do, and an attempt that ends
  // at once makes few draws.
  cellsCleared_ += totalCells_;
  placeFirst();
}

int64_t Generator::drawsSpent() const {
  return static_cast<int64_t>(random_.draws() - drawsBefore_) + cellsCleared_;
}

bool Generator::gaveUp(std::string spent) {
  shortfall_.spent = std::move(spent);
  shortfall_.best = bestClosedShare_ < 0.0 ? "no attempt closed at all"
                                           : "the best closed layout filled " +
                                                 shareText(bestClosedShare_) + " of the grid";
  return false;
}

bool Generator::discardAttempt(bool closed) {
  if (closed) {
    const double share =
        static_cast<double>(grid_.occupiedCount()) / static_cast<double>(totalCells_);
    if (share > bestClosedShare_) bestClosedShare_ = share;
  }
  if (++discarded_ >= limits_.maxDiscardedAttempts)
    return gaveUp(std::to_string(discarded_) + " attempts");
  startNewAttempt();
  return true;
}

bool Generator::fill() {
  for (;;) {
    // Between placements, so the run stops at the same draw on every system.
    if (drawsSpent() >= limits_.maxRandomDraws)
      return gaveUp(std::to_string(limits_.maxRandomDraws) + " random draws and " +
                    std::to_string(discarded_) + " attempts");
    if (!grid_.frontier().anyMarked()) {
      if (fillReached()) return true;
      if (!discardAttempt(true)) return false;
      continue;
    }
    grid_.frontier().randomMarkedCell(random_, candidate_);
    forgetFits();
    if (!anyTemplateFits(candidate_)) {
      if (!discardAttempt(false)) return false;
      continue;
    }
    do {
      advanceTemplate();
    } while (!fitsAt(candidate_, cursor_));
    grid_.place(candidate_, currentTemplate());
    ++placedInAttempt_;
  }
}

}  // namespace cellforge

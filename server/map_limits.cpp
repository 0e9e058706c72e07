#include "server/map_limits.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "client/map_builder.h"
#include "platform/platform.h"

namespace cellforge {

namespace {

// Layouts of one grid differ from seed to seed; a suggested grid aims this
// far below the limit so most of its layouts fit.
constexpr double kSuggestionShare = 0.85;

std::string withCommas(int64_t n) {
  std::string digits = std::to_string(n < 0 ? -n : n), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return n < 0 ? "-" + out : out;
}

std::string gridText(GridCoord g) {
  return "x=" + std::to_string(g.x) + " y=" + std::to_string(g.y) + " z=" + std::to_string(g.z);
}

constexpr const char* kAxisNames[3] = {"x", "y", "z"};

// How far the map reaches from the origin along each axis, in whole units.
std::array<int64_t, 3> reach(const MapCensus& c) {
  std::array<int64_t, 3> r{};
  if (!c.anyPoint) return r;
  for (size_t i = 0; i < 3; ++i)
    r[i] = static_cast<int64_t>(std::ceil(std::max(std::fabs(c.lo[i]), std::fabs(c.hi[i]))));
  return r;
}

int64_t countOf(const MapCensus& c, const GameLimits& game, Limited what) {
  switch (what) {
    case Limited::kBrushes:
      return c.brushes;
    case Limited::kMapEntities:
      return c.entities;
    case Limited::kEdicts:
      return game.fixedEdicts + c.spawned;
    case Limited::kExtent: {
      const auto r = reach(c);
      return *std::max_element(r.begin(), r.end());
    }
  }
  return 0;
}

// How the count is said, with the limit: "9,380 brushes".
std::string countText(const MapCensus& c, const GameLimits& game, const GameLimit& limit) {
  const int64_t n = countOf(c, game, limit.what);
  switch (limit.what) {
    case Limited::kBrushes:
      return withCommas(n) + " brushes";
    case Limited::kMapEntities:
      return withCommas(n) + " entities";
    case Limited::kEdicts:
      return withCommas(n) + " entities in play when the level starts (world, player and " +
             std::to_string(game.fixedEdicts - 2) + " bodies included)";
    case Limited::kExtent: {
      const auto r = reach(c);
      const size_t axis = static_cast<size_t>(std::max_element(r.begin(), r.end()) - r.begin());
      return "coordinates reaching " + withCommas(n) + " units from the origin along " +
             kAxisNames[axis];
    }
  }
  return {};
}

// A smaller grid within every limit of `limits` this map passes, from its
// count per cell: the same shape, the storeys kept while x and y can
// shrink. The grid itself when none smaller helps.
GridCoord smallerGrid(const MapCensus& c, const GameLimits& game, GridCoord grid,
                      const std::vector<const GameLimit*>& limits) {
  const int64_t cells = int64_t{grid.x} * grid.y * grid.z;
  std::array<int64_t, 3> side{grid.x, grid.y, grid.z};
  double maxCells = static_cast<double>(cells);
  for (const GameLimit* limit : limits) {
    if (limit->what == Limited::kExtent) {
      const auto r = reach(c);
      for (size_t i = 0; i < 3; ++i)
        if (r[i] > limit->most) side[i] = side[i] * limit->most / r[i];
      continue;
    }
    const int64_t fixed = limit->what == Limited::kEdicts ? game.fixedEdicts : 0;
    const double perCell =
        static_cast<double>(countOf(c, game, limit->what) - fixed) / static_cast<double>(cells);
    if (perCell > 0.0)
      maxCells =
          std::min(maxCells, kSuggestionShare * static_cast<double>(limit->most - fixed) / perCell);
  }
  GridCoord out{static_cast<int32_t>(std::max<int64_t>(3, side[0])),
                static_cast<int32_t>(std::max<int64_t>(3, side[1])),
                static_cast<int32_t>(std::max<int64_t>(1, side[2]))};
  auto count = [](GridCoord g) { return static_cast<double>(g.x) * g.y * g.z; };
  if (count(out) > maxCells) {
    const double f = std::sqrt(maxCells / count(out));
    out.x = std::max(3, static_cast<int32_t>(out.x * f));
    out.y = std::max(3, static_cast<int32_t>(out.y * f));
    if (count(out) > maxCells)
      out.z = std::max(1, static_cast<int32_t>(maxCells / (static_cast<double>(out.x) * out.y)));
  }
  return out;
}

std::string trySaying(GridCoord suggested, GridCoord grid) {
  if (suggested == grid) return "no smaller grid helps with this kit";
  return "try " + gridText(suggested);
}

}  // namespace

LimitVerdict judgeMap(const MapCensus& census, const GameLimits& game, GridCoord grid,
                      const std::string& mapName) {
  LimitVerdict verdict;
  std::vector<const GameLimit*> hardPassed;
  const GameLimit* worst = nullptr;
  double worstRatio = 0.0;
  for (const GameLimit& limit : game.limits) {
    const int64_t n = countOf(census, game, limit.what);
    if (n <= limit.most) continue;
    if (!limit.hard) {
      const GridCoord fits = smallerGrid(census, game, grid, {&limit});
      verdict.warnings.push_back(
          mapName + ": " + countText(census, game, limit) + ", more than the " +
          withCommas(limit.most) + " " + std::string(limit.whose) + " allows (" +
          std::string(limit.lifted) + "); " +
          (fits == grid ? std::string("no smaller grid keeps within it with this kit")
                        : gridText(fits) + " would keep within it"));
      continue;
    }
    hardPassed.push_back(&limit);
    const double ratio = static_cast<double>(n) / static_cast<double>(limit.most);
    if (ratio > worstRatio) {
      worstRatio = ratio;
      worst = &limit;
    }
  }
  if (worst != nullptr)
    verdict.refusal = mapName + ": " + countText(census, game, *worst) + ", " +
                      std::string(game.game) + " allows " + withCommas(worst->most) + "; " +
                      trySaying(smallerGrid(census, game, grid, hardPassed), grid) +
                      ". No compile tool was run; the map is kept for tools that take more";
  return verdict;
}

Status checkMapLimits(const Settings& settings, std::vector<std::string>& warnings,
                      MapCensus* taken) {
  const std::string map = settings.target_directory + std::string(kMapFileName);
  auto text = platform::readFile(map);
  if (!text) return text.kind() == ErrorKind::notFound ? success() : Status(text.error());
  const GameLimits& game = gameLimits(settings.game());
  auto census = takeMapCensus(*text, map, game);
  if (!census) return census.error();
  LimitVerdict verdict = judgeMap(*census, game, {settings.x, settings.y, settings.z}, map);
  warnings.insert(warnings.end(), verdict.warnings.begin(), verdict.warnings.end());
  if (taken != nullptr) *taken = std::move(*census);
  if (!verdict.refusal.empty()) return fail(verdict.refusal);
  return success();
}

}  // namespace cellforge

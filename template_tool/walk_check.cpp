#include "template_tool/walk_check.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <optional>

namespace cellforge {
namespace {

constexpr double kEps = 0.01;
// The games link every box one unit larger, so boxes that touch meet.
constexpr double kTouch = 1;
constexpr double kInf = std::numeric_limits<double>::infinity();
// The stub beyond an open side: the neighbour's doorway, 128 across (64..192
// of the face) and 128 high above a 16-unit floor, running 64 units out.
constexpr double kStubDepth = 64;

struct ClassEntry {
  std::string_view name;
  WalkRole role;
  BoxSize box;
  bool drops;
};

constexpr BoxSize box(double x0, double y0, double z0, double x1, double y1, double z1) {
  return {{x0, y0, z0}, {x1, y1, z1}};
}

// Quake II: game/m_*.c and g_misc.c set these in each SP_monster_*.
constexpr ClassEntry kQuake2Classes[] = {
    {"monster_berserk", WalkRole::monster, box(-16, -16, -24, 16, 16, 32), true},
    {"monster_gladiator", WalkRole::monster, box(-32, -32, -24, 32, 32, 64), true},
    {"monster_gunner", WalkRole::monster, box(-16, -16, -24, 16, 16, 32), true},
    {"monster_infantry", WalkRole::monster, box(-16, -16, -24, 16, 16, 32), true},
    {"monster_soldier_light", WalkRole::monster, box(-16, -16, -24, 16, 16, 32), true},
    {"monster_soldier", WalkRole::monster, box(-16, -16, -24, 16, 16, 32), true},
    {"monster_soldier_ss", WalkRole::monster, box(-16, -16, -24, 16, 16, 32), true},
    {"monster_tank", WalkRole::monster, box(-32, -32, -16, 32, 32, 72), true},
    {"monster_tank_commander", WalkRole::monster, box(-32, -32, -16, 32, 32, 72), true},
    {"monster_medic", WalkRole::monster, box(-24, -24, -24, 24, 24, 32), true},
    {"monster_flipper", WalkRole::monster, box(-16, -16, 0, 16, 16, 32), false},
    {"monster_chick", WalkRole::monster, box(-16, -16, 0, 16, 16, 56), true},
    {"monster_parasite", WalkRole::monster, box(-16, -16, -24, 16, 16, 24), true},
    {"monster_flyer", WalkRole::monster, box(-16, -16, -24, 16, 16, 32), false},
    {"monster_brain", WalkRole::monster, box(-16, -16, -24, 16, 16, 32), true},
    {"monster_floater", WalkRole::monster, box(-24, -24, -24, 24, 24, 32), false},
    {"monster_hover", WalkRole::monster, box(-24, -24, -24, 24, 24, 32), false},
    {"monster_mutant", WalkRole::monster, box(-32, -32, -24, 32, 32, 48), true},
    {"monster_supertank", WalkRole::monster, box(-64, -64, 0, 64, 64, 112), true},
    {"monster_boss2", WalkRole::monster, box(-56, -56, 0, 56, 56, 80), false},
    {"monster_boss3_stand", WalkRole::monster, box(-32, -32, 0, 32, 32, 90), false},
    {"monster_jorg", WalkRole::monster, box(-80, -80, 0, 80, 80, 140), true},
    {"monster_commander_body", WalkRole::monster, box(-32, -32, 0, 32, 32, 48), false},
};
// Every Quake II item (g_items.c droptofloor).
constexpr BoxSize kQuake2Item = box(-15, -15, -15, 15, 15, 15);

// Quake: the setsize calls of the QuakeC monsters and items.
constexpr ClassEntry kQuakeClasses[] = {
    {"monster_army", WalkRole::monster, box(-16, -16, -24, 16, 16, 40), true},
    {"monster_knight", WalkRole::monster, box(-16, -16, -24, 16, 16, 40), true},
    {"monster_hell_knight", WalkRole::monster, box(-16, -16, -24, 16, 16, 40), true},
    {"monster_wizard", WalkRole::monster, box(-16, -16, -24, 16, 16, 40), false},
    {"monster_zombie", WalkRole::monster, box(-16, -16, -24, 16, 16, 40), true},
    {"monster_enforcer", WalkRole::monster, box(-16, -16, -24, 16, 16, 40), true},
    {"monster_tarbaby", WalkRole::monster, box(-16, -16, -24, 16, 16, 40), true},
    {"monster_dog", WalkRole::monster, box(-32, -32, -24, 32, 32, 40), true},
    {"monster_ogre", WalkRole::monster, box(-32, -32, -24, 32, 32, 64), true},
    {"monster_ogre_marksman", WalkRole::monster, box(-32, -32, -24, 32, 32, 64), true},
    {"monster_demon1", WalkRole::monster, box(-32, -32, -24, 32, 32, 64), true},
    {"monster_shambler", WalkRole::monster, box(-32, -32, -24, 32, 32, 64), true},
    {"monster_shalrath", WalkRole::monster, box(-32, -32, -24, 32, 32, 64), true},
    {"monster_fish", WalkRole::monster, box(-16, -16, -24, 16, 16, 24), false},
    {"monster_boss", WalkRole::monster, box(-128, -128, -24, 128, 128, 256), false},
    {"monster_oldone", WalkRole::monster, box(-160, -128, -24, 160, 128, 256), false},
    {"item_health", WalkRole::item, box(0, 0, 0, 32, 32, 56), true},
    {"item_shells", WalkRole::item, box(0, 0, 0, 32, 32, 56), true},
    {"item_spikes", WalkRole::item, box(0, 0, 0, 32, 32, 56), true},
    {"item_rockets", WalkRole::item, box(0, 0, 0, 32, 32, 56), true},
    {"item_cells", WalkRole::item, box(0, 0, 0, 32, 32, 56), true},
    {"item_weapon", WalkRole::item, box(0, 0, 0, 32, 32, 56), true},
    {"item_key1", WalkRole::item, box(-16, -16, -24, 16, 16, 32), true},
    {"item_key2", WalkRole::item, box(-16, -16, -24, 16, 16, 32), true},
    {"item_sigil", WalkRole::item, box(-16, -16, -24, 16, 16, 32), true},
    {"item_artifact_invulnerability", WalkRole::item, box(-16, -16, -24, 16, 16, 32), true},
    {"item_artifact_envirosuit", WalkRole::item, box(-16, -16, -24, 16, 16, 32), true},
    {"item_artifact_invisibility", WalkRole::item, box(-16, -16, -24, 16, 16, 32), true},
    {"item_artifact_super_damage", WalkRole::item, box(-16, -16, -24, 16, 16, 32), true},
};
// Quake's armour and weapons, and what the table does not name.
constexpr BoxSize kQuakeItem = box(-16, -16, 0, 16, 16, 56);
constexpr BoxSize kQuakeMonster = box(-16, -16, -24, 16, 16, 40);

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && maptext::equalsNoCase(s.substr(0, prefix.size()), prefix);
}

bool hasCell(const Template& t, int32_t x, int32_t y, int32_t z) {
  return std::any_of(t.cells.begin(), t.cells.end(),
                     [&](const Cell& c) { return c.x == x && c.y == y && c.z == z; });
}

bool hasNeighbour(const Template& t, const Cell& c, int side) {
  const GridCoord n = c.coord() + kSides[side].step;
  return hasCell(t, n.x, n.y, n.z);
}

// A point beside a cell's side: u out from the face, v across it from the
// cell's lower corner, z up from the cell's floor.
Vec3 sidePoint(const Cell& c, int side, double u, double v, double z) {
  const double bx = double(c.x) * kCellSize, by = double(c.y) * kCellSize,
               bz = double(c.z) * kCellSize;
  switch (side) {
    case posY:
      return {bx + v, by + kCellSize + u, bz + z};
    case negY:
      return {bx + v, by - u, bz + z};
    case posX:
      return {bx + kCellSize + u, by + v, bz + z};
    default:
      return {bx - u, by + v, bz + z};
  }
}

ConvexBrush axialBrush(const Vec3& a, const Vec3& b) {
  ConvexBrush brush;
  for (size_t axis = 0; axis < 3; ++axis) {
    brush.lo[axis] = std::min(a[axis], b[axis]);
    brush.hi[axis] = std::max(a[axis], b[axis]);
    Vec3 n{};
    n[axis] = 1;
    brush.planes.push_back({n, brush.hi[axis]});
    n[axis] = -1;
    brush.planes.push_back({n, -brush.lo[axis]});
  }
  return brush;
}

std::string doorwayName(const Cell& c, int side) {
  return "the doorway of cell (" + std::to_string(c.x) + " " + std::to_string(c.y) + " " +
         std::to_string(c.z) + ") side " + std::string(kSides[side].name);
}

std::string number(double v) { return std::to_string(static_cast<long long>(std::llround(v))); }

// Standing spots on a lattice of vertical lines. On each line, the heights
// where the player's box would overlap a solid are merged into blocked
// intervals; the top of each is a spot (a node) where the player stands,
// with free room up to the next interval.
class Lattice {
 public:
  Lattice(Vec3 lo, size_t nx, size_t ny) : lo_(lo), nx_(nx), ny_(ny), allowed_(nx * ny, 0) {}

  size_t columns() const { return nx_ * ny_; }
  double x(size_t column) const { return lo_[0] + double(column / ny_ * kWalkStep); }
  double y(size_t column) const { return lo_[1] + double(column % ny_ * kWalkStep); }

  // The columns whose lines pass within [x0, x1] x [y0, y1].
  template <class F>
  void forColumns(double x0, double y0, double x1, double y1, F&& f) const {
    const auto first = [&](double v, double base) {
      return static_cast<long long>(std::ceil((v - base) / kWalkStep - 1e-9));
    };
    const auto last = [&](double v, double base) {
      return static_cast<long long>(std::floor((v - base) / kWalkStep + 1e-9));
    };
    const long long i0 = std::max(0LL, first(x0, lo_[0]));
    const long long i1 = std::min(static_cast<long long>(nx_) - 1, last(x1, lo_[0]));
    const long long j0 = std::max(0LL, first(y0, lo_[1]));
    const long long j1 = std::min(static_cast<long long>(ny_) - 1, last(y1, lo_[1]));
    for (long long i = i0; i <= i1; ++i)
      for (long long j = j0; j <= j1; ++j) f(static_cast<size_t>(i) * ny_ + static_cast<size_t>(j));
  }
  double spanCount(double x0, double y0, double x1, double y1) const {
    const double w = std::floor((x1 - x0) / kWalkStep) + 1,
                 h = std::floor((y1 - y0) / kWalkStep) + 1;
    return std::max(0.0, w) * std::max(0.0, h);
  }

  void allow(double x0, double y0, double x1, double y1) {
    forColumns(x0, y0, x1, y1, [&](size_t c) { allowed_[c] = 1; });
  }
  bool allowed(size_t c) const { return allowed_[c] != 0; }

  void build(const std::vector<const ConvexBrush*>& solids) {
    std::vector<size_t> count(columns() + 1, 0);
    auto footprint = [&](const ConvexBrush& b, auto&& f) {
      forColumns(b.lo[0] + kPlayerBox.mins[0], b.lo[1] + kPlayerBox.mins[1],
                 b.hi[0] + kPlayerBox.maxs[0], b.hi[1] + kPlayerBox.maxs[1], f);
    };
    for (const ConvexBrush* b : solids) footprint(*b, [&](size_t c) { count[c] += allowed_[c]; });
    std::vector<size_t> start(columns() + 1, 0);
    for (size_t c = 0; c < columns(); ++c) start[c + 1] = start[c] + count[c];
    std::vector<Interval> raw(start.back());
    std::vector<size_t> fill(start.begin(), start.end() - 1);
    for (const ConvexBrush* b : solids)
      footprint(*b, [&](size_t c) {
        if (allowed_[c]) raw[fill[c]++] = boxOverlapHeights(*b, kPlayerBox, x(c), y(c));
      });
    first_.assign(columns() + 1, 0);
    for (size_t c = 0; c < columns(); ++c) {
      first_[c] = blocked_.size();
      auto begin = raw.begin() + static_cast<std::ptrdiff_t>(start[c]);
      auto end = raw.begin() + static_cast<std::ptrdiff_t>(start[c + 1]);
      std::sort(begin, end, [](const Interval& a, const Interval& b) { return a.lo < b.lo; });
      for (auto it = begin; it != end; ++it) {
        if (it->hi - it->lo <= 2 * kEps) continue;
        if (blocked_.size() > first_[c] && it->lo < blocked_.back().hi - kEps)
          blocked_.back().hi = std::max(blocked_.back().hi, it->hi);
        else
          blocked_.push_back(*it);
      }
      column_.resize(blocked_.size(), c);
    }
    first_[columns()] = blocked_.size();
  }

  size_t nodes() const { return blocked_.size(); }
  size_t columnOf(size_t node) const { return column_[node]; }
  double floor(size_t node) const { return blocked_[node].hi; }
  double ceiling(size_t node) const {
    return node + 1 < first_[column_[node] + 1] ? blocked_[node + 1].lo : kInf;
  }
  size_t nearestColumn(double px, double py) const {
    const auto clampIndex = [](double v, size_t n) {
      return static_cast<size_t>(std::clamp(std::llround(v), 0LL, static_cast<long long>(n) - 1));
    };
    return clampIndex((px - lo_[0]) / kWalkStep, nx_) * ny_ +
           clampIndex((py - lo_[1]) / kWalkStep, ny_);
  }
  // The first interval of column c whose top is above z; the one before it
  // is what a player at height z comes to rest on.
  size_t above(size_t c, double z) const {
    const auto begin = blocked_.begin() + static_cast<std::ptrdiff_t>(first_[c]);
    const auto end = blocked_.begin() + static_cast<std::ptrdiff_t>(first_[c + 1]);
    return static_cast<size_t>(
        std::upper_bound(begin, end, z + kEps,
                         [](double v, const Interval& in) { return v < in.hi; }) -
        blocked_.begin());
  }
  // The spot a player at height z in this column comes to rest on, if any.
  size_t landing(size_t c, double z) const {
    const size_t k = above(c, z);
    return k > first_[c] ? k - 1 : SIZE_MAX;
  }

  // Where a player standing on `node` gets by stepping into column `c`.
  size_t move(size_t node, size_t c) const {
    if (!allowed(c)) return SIZE_MAX;
    const double z = floor(node);
    const size_t k = above(c, z);
    if (k < first_[c + 1] && blocked_[k].lo + kEps < z) {
      // Blocked at this height: step up onto it, with room overhead.
      const double top = blocked_[k].hi;
      return top <= z + kStepUp + kEps && ceiling(node) >= top - kEps ? k : SIZE_MAX;
    }
    return k > first_[c] ? k - 1 : SIZE_MAX;  // walk on and fall to whatever is below
  }

  std::vector<uint8_t> reach(size_t from) const {
    std::vector<uint8_t> seen(nodes(), 0);
    std::deque<size_t> queue{from};
    seen[from] = 1;
    while (!queue.empty()) {
      const size_t n = queue.front();
      queue.pop_front();
      const size_t c = column_[n], i = c / ny_, j = c % ny_;
      const size_t next[4] = {i + 1 < nx_ ? c + ny_ : SIZE_MAX, i > 0 ? c - ny_ : SIZE_MAX,
                              j + 1 < ny_ ? c + 1 : SIZE_MAX, j > 0 ? c - 1 : SIZE_MAX};
      for (size_t to : next) {
        if (to == SIZE_MAX) continue;
        const size_t m = move(n, to);
        if (m != SIZE_MAX && !seen[m]) {
          seen[m] = 1;
          queue.push_back(m);
        }
      }
    }
    return seen;
  }

  // The spots where the player's box touches [lo, hi].
  std::vector<size_t> touching(const Vec3& lo, const Vec3& hi) const {
    std::vector<size_t> found;
    forColumns(lo[0] + kPlayerBox.mins[0] - kTouch, lo[1] + kPlayerBox.mins[1] - kTouch,
               hi[0] + kPlayerBox.maxs[0] + kTouch, hi[1] + kPlayerBox.maxs[1] + kTouch,
               [&](size_t c) {
                 for (size_t k = first_[c]; k < first_[c + 1]; ++k)
                   if (floor(k) + kPlayerBox.mins[2] <= hi[2] + kTouch &&
                       floor(k) + kPlayerBox.maxs[2] >= lo[2] - kTouch)
                     found.push_back(k);
               });
    return found;
  }

 private:
  Vec3 lo_;
  size_t nx_, ny_;
  std::vector<uint8_t> allowed_;
  std::vector<size_t> first_;      // per column, its first node; one past the end
  std::vector<Interval> blocked_;  // merged, per column, lowest first
  std::vector<size_t> column_;     // per node
};

// Where an entity that drops comes to rest: the top of the highest solid
// below its box; none when nothing is below.
bool dropToFloor(const WalkEntity& e, const std::vector<const ConvexBrush*>& solids, double& z) {
  double best = -kInf;
  for (const ConvexBrush* b : solids) {
    const Interval in = boxOverlapHeights(*b, e.box, e.origin[0], e.origin[1]);
    if (in.hi - in.lo > 2 * kEps && in.hi <= e.origin[2] + kEps) best = std::max(best, in.hi);
  }
  if (best == -kInf) return false;
  z = best;
  return true;
}

struct Goal {
  std::string name;    // "the doorway of ...", or the entity's class
  std::string prefix;  // "file: ", or "file:line: " for an entity
  std::vector<size_t> nodes;
};

}  // namespace

WalkClass walkClassOf(std::string_view className, Game game) {
  const bool quake = game == Game::quake;
  if (maptext::equalsNoCase(className, "info_player_start"))
    return {WalkRole::playerStart, kPlayerBox, true};
  for (const ClassEntry& e : quake ? std::span<const ClassEntry>(kQuakeClasses)
                                   : std::span<const ClassEntry>(kQuake2Classes))
    if (maptext::equalsNoCase(className, e.name)) return {e.role, e.box, e.drops};
  if (quake) {
    if (startsWithNoCase(className, "item_") || startsWithNoCase(className, "weapon_"))
      return {WalkRole::item, kQuakeItem, true};
    if (startsWithNoCase(className, "monster_")) return {WalkRole::monster, kQuakeMonster, true};
    return {};
  }
  for (std::string_view prefix : {"item_", "weapon_", "ammo_", "key_"})
    if (startsWithNoCase(className, prefix)) return {WalkRole::item, kQuake2Item, true};
  if (startsWithNoCase(className, "monster_")) return {WalkRole::monster, kPlayerBox, true};
  return {};
}

std::vector<std::string> walkPiece(const WalkPiece& piece) {
  std::vector<std::string> problems;
  const Template& t = *piece.t;
  if (t.cells.empty()) return problems;
  Vec3 lo{kInf, kInf, kInf}, hi{-kInf, -kInf, -kInf};
  for (const Cell& c : t.cells) {
    const Vec3 corner{double(c.x) * kCellSize, double(c.y) * kCellSize, double(c.z) * kCellSize};
    for (size_t a = 0; a < 3; ++a) {
      lo[a] = std::min(lo[a], corner[a] - kStubDepth);
      hi[a] = std::max(hi[a], corner[a] + kCellSize + kStubDepth);
    }
  }
  const auto nx = static_cast<size_t>((hi[0] - lo[0]) / kWalkStep) + 1;
  const auto ny = static_cast<size_t>((hi[1] - lo[1]) / kWalkStep) + 1;
  if (double(nx) * double(ny) > double(kMaxWalkColumns)) {
    problems.push_back(piece.file + ": too wide to walk (" + std::to_string(nx * ny) +
                       " lattice columns; the walk takes at most " +
                       std::to_string(kMaxWalkColumns) + ")");
    return problems;
  }
  Lattice lattice(lo, nx, ny);

  // The piece's cells, and a stub of the neighbour's doorway beyond each
  // open side, walled in so the walk ends there.
  std::vector<ConvexBrush> stubs;
  struct Doorway {
    const Cell* cell;
    int side;
    Vec3 spot;
  };
  std::vector<Doorway> doorways;
  for (const Cell& c : t.cells) {
    lattice.allow(double(c.x) * kCellSize, double(c.y) * kCellSize, double(c.x + 1) * kCellSize,
                  double(c.y + 1) * kCellSize);
    for (int s = 0; s < 4; ++s) {
      if (!isOpen(c, s) || hasNeighbour(t, c, s)) continue;
      auto stub = [&](double u0, double v0, double z0, double u1, double v1, double z1) {
        stubs.push_back(axialBrush(sidePoint(c, s, u0, v0, z0), sidePoint(c, s, u1, v1, z1)));
      };
      stub(0, 48, 0, kStubDepth, 208, 16);     // floor
      stub(0, 48, 144, kStubDepth, 208, 160);  // ceiling
      stub(0, 48, 16, kStubDepth, 64, 144);    // sides
      stub(0, 192, 16, kStubDepth, 208, 144);
      stub(kStubDepth, 48, 0, kStubDepth + 16, 208, 160);  // end
      const Vec3 p = sidePoint(c, s, 0, 64, 0), q = sidePoint(c, s, kStubDepth, 192, 0);
      lattice.allow(std::min(p[0], q[0]), std::min(p[1], q[1]), std::max(p[0], q[0]),
                    std::max(p[1], q[1]));
      doorways.push_back({&c, s, sidePoint(c, s, kStubDepth / 2, 128, 16 - kPlayerBox.mins[2])});
    }
  }
  std::vector<const ConvexBrush*> solids = piece.solids;
  for (const ConvexBrush& b : stubs) solids.push_back(&b);
  // The same with the locks' doors shut, walked on a second lattice.
  std::vector<const ConvexBrush*> shutSolids = solids;
  for (const WalkLock& l : piece.locks)
    shutSolids.insert(shutSolids.end(), l.doors.begin(), l.doors.end());
  double spans = 0;
  for (const ConvexBrush* b : shutSolids)
    spans += lattice.spanCount(b->lo[0] + kPlayerBox.mins[0], b->lo[1] + kPlayerBox.mins[1],
                               b->hi[0] + kPlayerBox.maxs[0], b->hi[1] + kPlayerBox.maxs[1]);
  if (spans > double(kMaxWalkSpans)) {
    problems.push_back(piece.file + ": too many brushes over too much floor to walk (" +
                       number(spans) + " brush columns; the walk takes at most " +
                       std::to_string(kMaxWalkSpans) + ")");
    return problems;
  }
  Lattice shut = piece.locks.empty() ? Lattice(lo, 0, 0) : lattice;
  lattice.build(solids);

  std::vector<Goal> goals;
  std::vector<std::pair<std::string, size_t>> sources;  // name, node
  struct Start {
    Vec3 at;
    size_t line;
  };
  std::optional<Start> start;
  for (const Doorway& d : doorways) {
    const size_t node = lattice.landing(lattice.nearestColumn(d.spot[0], d.spot[1]), d.spot[2]);
    const std::string name = doorwayName(*d.cell, d.side);
    if (node == SIZE_MAX || std::fabs(lattice.floor(node) - d.spot[2]) > kEps) {
      problems.push_back(piece.file + ": " + name + " has no floor to stand on");
      continue;
    }
    goals.push_back({name, piece.file + ": ", {node}});
    sources.emplace_back(name, node);
  }
  for (const WalkEntity& e : piece.entities) {
    const std::string prefix = piece.file + ":" + std::to_string(e.line) + ": ";
    const std::string& name = e.className;
    Vec3 at = e.origin;
    if (e.role != WalkRole::exit && e.drops && !dropToFloor(e, solids, at[2])) {
      problems.push_back(prefix + e.className + " has no floor below it");
      continue;
    }
    std::vector<size_t> nodes;
    if (e.role == WalkRole::exit) {
      for (const ConvexBrush* b : e.brushes) {
        const auto more = lattice.touching(b->lo, b->hi);
        nodes.insert(nodes.end(), more.begin(), more.end());
      }
    } else {
      nodes =
          lattice.touching({at[0] + e.box.mins[0], at[1] + e.box.mins[1], at[2] + e.box.mins[2]},
                           {at[0] + e.box.maxs[0], at[1] + e.box.maxs[1], at[2] + e.box.maxs[2]});
    }
    if (e.role == WalkRole::playerStart) {
      const size_t node = lattice.landing(lattice.nearestColumn(at[0], at[1]), at[2]);
      if (node == SIZE_MAX || std::fabs(lattice.floor(node) - at[2]) > kStepUp) {
        problems.push_back(prefix + e.className +
                           ": the player has no place to stand here on the walk's " +
                           std::to_string(kWalkStep) + "-unit lattice");
        continue;
      }
      sources.emplace_back("the player start (line " + std::to_string(e.line) + ")", node);
      if (!start) start = {at, e.line};
    }
    goals.push_back({name, prefix, std::move(nodes)});
  }

  std::vector<uint8_t> reported(goals.size(), 0);
  for (const auto& [from, node] : sources) {
    const std::vector<uint8_t> seen = lattice.reach(node);
    for (size_t g = 0; g < goals.size(); ++g) {
      if (reported[g]) continue;
      const bool reached = std::any_of(goals[g].nodes.begin(), goals[g].nodes.end(),
                                       [&](size_t n) { return seen[n] != 0; });
      if (reached) continue;
      reported[g] = 1;
      problems.push_back(goals[g].prefix + goals[g].name + " can't be reached on foot from " +
                         from);
    }
  }
  if (piece.locks.empty() || !start) return problems;

  // The locks shut: a door that leaves a gap lets the player by without the
  // key, and one whose opener can't be touched from inside never opens.
  shut.build(shutSolids);
  auto stand = [&](const Vec3& at) {
    const size_t node = shut.landing(shut.nearestColumn(at[0], at[1]), at[2]);
    return node != SIZE_MAX && std::fabs(shut.floor(node) - at[2]) <= kStepUp ? node : SIZE_MAX;
  };
  const size_t startNode = stand(start->at);
  if (startNode == SIZE_MAX) return problems;
  const std::string startName = "the player start (line " + std::to_string(start->line) + ")";
  const std::vector<uint8_t> fromStart = shut.reach(startNode);
  std::vector<size_t> stubNodes;
  for (const Doorway& d : doorways) stubNodes.push_back(stand(d.spot));
  for (const WalkLock& l : piece.locks) {
    const std::string prefix =
        piece.file + ":" + std::to_string(l.line) + ": the lock of " + doorwayName(*l.cell, l.side);
    size_t mine = SIZE_MAX;
    for (size_t d = 0; d < doorways.size(); ++d)
      if (doorways[d].cell == l.cell && doorways[d].side == l.side) mine = stubNodes[d];
    if (mine == SIZE_MAX) continue;  // reported above: no floor in its stub
    std::string leak;
    const std::vector<uint8_t> fromStub = shut.reach(mine);
    if (fromStub[startNode]) leak = "from beyond it to " + startName;
    for (size_t d = 0; d < doorways.size() && leak.empty(); ++d)
      if (stubNodes[d] != mine && stubNodes[d] != SIZE_MAX && fromStub[stubNodes[d]])
        leak = "from beyond it to " + doorwayName(*doorways[d].cell, doorways[d].side);
    if (leak.empty() && fromStart[mine]) leak = "from " + startName + " to beyond it";
    if (!leak.empty())
      problems.push_back(prefix + " does not shut it: with the doors shut the player still gets " +
                         leak);
    bool touched = false;
    for (const ConvexBrush* b : l.opener)
      for (size_t n : shut.touching(b->lo, b->hi)) touched = touched || fromStart[n] != 0;
    if (!touched)
      problems.push_back(prefix + " can't be opened: with the doors shut the player can't touch " +
                         "what opens it from " + startName);
  }
  return problems;
}

}  // namespace cellforge

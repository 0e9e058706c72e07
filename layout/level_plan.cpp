#include "layout/level_plan.h"

#include <algorithm>
#include <cassert>
#include <deque>

#include "foundation/settings.h"
#include "layout/layout_file.h"

namespace cellforge {

namespace {

std::string cellText(GridCoord c) {
  return "(" + std::to_string(c.x) + ", " + std::to_string(c.y) + ", " + std::to_string(c.z) + ")";
}

std::string counted(size_t n, std::string_view one) {
  return std::to_string(n) + " " + std::string(one) + (n == 1 ? "" : "s");
}

constexpr size_t kUnreachableNamed = 5;

// Calls visit(cell, side, from, to) for every doorway, in walk order of the
// cells and then side order: a cell of placement `from` opening into a cell
// of another placement `to` that answers the opening. Each doorway is met
// twice, once from either side.
template <class Visit>
void forEachDoorway(const CellGrid& grid, const std::vector<int32_t>& owner, Visit&& visit) {
  const GridCoord size = grid.size();
  grid.forEachCell([&](GridCoord at, const Cell& c) {
    const int32_t from = owner[boxIndex(size, at)];
    if (c.occupied == 0 || from < 0) return;
    for (int s = 0; s < 4; ++s) {
      const Side& side = kSides[s];
      const GridCoord n = at + side.step;
      if (!(c.*side.open) || !grid.inBounds(n)) continue;
      const Cell& neighbour = grid.cellAt(n);
      const int32_t to = owner[boxIndex(size, n)];
      if (neighbour.occupied != 0 && (neighbour.*side.facing) && to >= 0 && to != from)
        visit(at, static_cast<SideIndex>(s), static_cast<size_t>(from), static_cast<size_t>(to));
    }
  });
}

// For each placement, the placements its doorways lead into (one entry a
// doorway, so a pair may appear more than once).
using Graph = std::vector<std::vector<size_t>>;

// Doorways crossed from the start to each placement, never entering a
// blocked one (the start itself is never blocked).
std::vector<int32_t> walk(const Graph& joined, const std::vector<bool>& blocked) {
  std::vector<int32_t> distance(joined.size(), LevelPlan::kUnreachable);
  if (joined.empty()) return distance;
  std::deque<size_t> queue{0};
  distance[0] = 0;
  while (!queue.empty()) {
    const size_t at = queue.front();
    queue.pop_front();
    for (size_t next : joined[at]) {
      if (distance[next] != LevelPlan::kUnreachable || blocked[next]) continue;
      distance[next] = distance[at] + 1;
      queue.push_back(next);
    }
  }
  return distance;
}

size_t countOf(const std::vector<bool>& set) {
  return static_cast<size_t>(std::count(set.begin(), set.end(), true));
}

// Where the keys go. Regions are gate placements and what they dominate in
// the placement graph rooted at the start: any walk into one passes the
// gate, so a door on each doorway into the gate shuts the whole region.
struct KeyPlanner {
  const LevelPlan& plan;
  const CellGrid& grid;
  const Graph& joined;
  std::vector<bool> spot;  // reachable placements whose piece has a key spot

  size_t size() const { return joined.size(); }

  // `gate` and every reachable placement the start reaches only through it.
  std::vector<bool> regionOf(size_t gate) const {
    std::vector<bool> blocked(size(), false);
    blocked[gate] = true;
    const std::vector<int32_t> around = walk(joined, blocked);
    std::vector<bool> region(size(), false);
    for (size_t i = 0; i < size(); ++i)
      region[i] =
          plan.distance[i] != LevelPlan::kUnreachable && around[i] == LevelPlan::kUnreachable;
    return region;
  }

  // The key spot farthest from the start on walks that never enter `shut`
  // (ties: the first in walk order), inside `within` when given; never the
  // start.
  std::optional<size_t> keyFor(const std::vector<bool>& shut,
                               const std::vector<bool>* within) const {
    const std::vector<int32_t> d = walk(joined, shut);
    std::optional<size_t> best;
    for (size_t i = 1; i < size(); ++i)
      if (d[i] != LevelPlan::kUnreachable && spot[i] && (within == nullptr || (*within)[i]) &&
          (!best || d[i] > d[*best]))
        best = i;
    return best;
  }

  KeyGate gate(size_t gatePlacement, const std::vector<bool>& region, size_t key) const {
    KeyGate g;
    g.keyPlacement = key;
    g.gatePlacement = gatePlacement;
    for (size_t i = 0; i < size(); ++i)
      if (region[i]) g.region.push_back(i);
    // Seen from the outside cell only, so each doorway comes once.
    forEachDoorway(grid, plan.owner, [&](GridCoord at, SideIndex side, size_t from, size_t to) {
      if (!region[from] && region[to]) g.locked.push_back({at, side});
    });
    return g;
  }

  // The placements on one shortest walk from the start to `to`, both ends
  // left out, nearest the start first. Every placement that all walks to
  // `to` pass lies on it.
  std::vector<size_t> pathTo(size_t to) const {
    std::vector<size_t> path;
    size_t at = to;
    while (plan.distance[at] > 1) {
      for (size_t next : joined[at])
        if (plan.distance[next] == plan.distance[at] - 1) {
          at = next;
          break;
        }
      path.push_back(at);
    }
    std::reverse(path.begin(), path.end());
    return path;
  }

  // Sets plan.keys and plan.keysNote for `asked` (1 or 2) keys.
  void place(LevelPlan& out, int asked) const {
    if (!out.exit) {
      out.keysNote = "keys: none (no piece of this kit has an exit)";
      return;
    }
    const size_t exit = *out.exit;
    if (exit == 0) {
      out.keysNote = "keys: none (the exit is the start's own room)";
      return;
    }
    const std::vector<bool> inner = regionOf(exit);
    const size_t reached =
        static_cast<size_t>(std::count_if(plan.distance.begin(), plan.distance.end(),
                                          [](int32_t d) { return d != LevelPlan::kUnreachable; }));
    if (reached - countOf(inner) == 1) {
      out.keysNote = "keys: none (every room but the start lies behind the exit's doorways)";
      return;
    }
    const std::optional<size_t> onlyKey = keyFor(inner, nullptr);
    if (!onlyKey) {
      out.keysNote = "keys: none (no room before the exit's doorways has a key spot)";
      return;
    }
    if (asked == 1) {
      out.keys = {gate(exit, inner, *onlyKey)};
      return;
    }
    // The first door: a strict dominator of the exit (so its region holds
    // the exit's) that leaves a key spot on either side of it. Of those, the
    // one whose smaller side is largest, so neither stretch is a single
    // room when it need not be; a tie goes to the one nearer the start.
    struct Choice {
      size_t door = 0;
      std::vector<bool> region;
      size_t first = 0, second = 0, score = 0;
    };
    std::optional<Choice> best;
    bool anyDoor = false;
    for (size_t door : pathTo(exit)) {
      std::vector<bool> outer = regionOf(door);
      if (!outer[exit]) continue;  // a way round it reaches the exit
      anyDoor = true;
      const std::optional<size_t> first = keyFor(outer, nullptr);
      const std::optional<size_t> second = keyFor(inner, &outer);
      if (!first || !second) continue;
      const size_t score = std::min(reached - countOf(outer), countOf(outer) - countOf(inner));
      if (!best || score > best->score)
        best = Choice{door, std::move(outer), *first, *second, score};
    }
    if (!best) {
      out.keys = {gate(exit, inner, *onlyKey)};
      out.keysNote = anyDoor ? "keys: 1 of 2 (no door of its own between the start and the exit's "
                               "doorways has a key spot on both sides)"
                             : "keys: 1 of 2 (no room between the start and the exit's doorways "
                               "is a door of its own)";
      return;
    }
    out.keys = {gate(best->door, best->region, best->first), gate(exit, inner, best->second)};
  }
};

// The keys' walk, checked on the finished plan: empty when it holds, else
// what fails.
std::string checkKeys(const LevelPlan& plan, const CellGrid& grid) {
  if (plan.keys.empty()) return {};
  for (size_t k = 0; k < plan.keys.size(); ++k) {
    const KeyGate& key = plan.keys[k];
    for (const Doorway& d : key.locked) {
      const Placement* inside = plan.ownerOf(d.cell + kSides[d.side].step);
      if (inside != &plan.placements[key.gatePlacement])
        return "key " + std::to_string(k + 1) + "'s door at cell " + cellText(d.cell) +
               " does not lead into its gate room";
    }
    const std::vector<bool> reached = reachedWithDoorsShut(plan, grid, k);
    if (!reached[key.keyPlacement] || reached[*plan.exit])
      return "with door " + std::to_string(k + 1) + " shut, key " + std::to_string(k + 1) +
             (reached[key.keyPlacement] ? " is reached but so is the exit" : " is out of reach");
  }
  if (!reachedWithDoorsShut(plan, grid, plan.keys.size())[*plan.exit])
    return "with every door open the exit is out of reach";
  return {};
}

// The plan without keys; `joined` gets the placement graph.
LevelPlan planWalks(const CellGrid& grid, const TemplateLibrary& library,
                    const std::function<bool(const Template&)>& hasExit,
                    std::string_view layoutName, Graph& joined) {
  LevelPlan plan;
  const GridCoord size = grid.size();
  auto flat = [&](GridCoord c) { return boxIndex(size, c); };
  const size_t cellCount = grid.cellCount();
  // Anchors in walk order; their position in it is their number.
  std::vector<int32_t> anchorIndex(cellCount, -1);
  grid.forEachCell([&](GridCoord at, const Cell& c) {
    if (c.templateId == 0) return;
    anchorIndex[flat(at)] = static_cast<int32_t>(plan.placements.size());
    plan.placements.push_back({at, c.templateId});
  });

  plan.size = size;
  std::vector<int32_t>& owner = plan.owner;
  owner.assign(cellCount, -1);
  for (const Cell& record : collectRecords(grid)) {
    const Template* t = library.findById(record.templateId);
    if (t == nullptr) continue;
    const int32_t index = anchorIndex[flat(record.coord())];
    for (const Cell& offset : t->cells) {
      const GridCoord at{record.x + offset.x, record.y + offset.y, record.z + offset.z};
      if (grid.inBounds(at)) owner[flat(at)] = index;
    }
  }

  joined.assign(plan.placements.size(), {});
  forEachDoorway(grid, owner,
                 [&](GridCoord, SideIndex, size_t from, size_t to) { joined[from].push_back(to); });

  plan.distance = walk(joined, std::vector<bool>(joined.size(), false));
  if (plan.placements.empty()) return plan;

  size_t unreachable = 0;
  for (size_t i = 0; i < plan.placements.size(); ++i) {
    const Placement& p = plan.placements[i];
    const Template* t = library.findById(p.templateId);
    if (plan.distance[i] == LevelPlan::kUnreachable) {
      // A few by name; a hand-made layout may have thousands.
      if (++unreachable <= kUnreachableNamed)
        plan.warnings.push_back(
            std::string(layoutName) + ": the template at cell " + cellText(p.anchor) +
            " cannot be reached on foot from the start at " + cellText(plan.placements[0].anchor) +
            "; it has no distance and holds no exit");
      continue;
    }
    // Strictly farther only: the first in walk order wins a tie.
    if (t != nullptr && hasExit(*t) && (!plan.exit || plan.distance[i] > plan.distance[*plan.exit]))
      plan.exit = i;
  }
  if (unreachable > kUnreachableNamed)
    plan.warnings.push_back(std::string(layoutName) + ": " +
                            std::to_string(unreachable - kUnreachableNamed) +
                            " more templates cannot be reached on foot from the start");
  return plan;
}

}  // namespace

std::string describeStart(const LevelPlan& level) {
  return level.placements.empty() ? "none" : "cell " + cellText(level.placements.front().anchor);
}

std::string describeExit(const LevelPlan& level) {
  if (!level.exit) return "none";
  const int32_t rooms = level.distance[*level.exit];
  return "cell " + cellText(level.placements[*level.exit].anchor) + ", " + std::to_string(rooms) +
         (rooms == 1 ? " room" : " rooms") + " from the start";
}

std::string describeKeys(const LevelPlan& level, std::string_view firstColour,
                         std::string_view secondColour, int asked) {
  if (asked <= 0) return {};
  std::string out;
  for (size_t k = 0; k < level.keys.size(); ++k) {
    const KeyGate& key = level.keys[k];
    out += "key " + std::to_string(k + 1) + " (" +
           std::string(k == 0 ? firstColour : secondColour) + "): cell " +
           cellText(level.placements[key.keyPlacement].anchor) + "; locks " +
           counted(key.locked.size(), "doorway") + ", " + counted(key.region.size(), "room") +
           " behind them\n";
  }
  const size_t made = level.keys.size();
  if (made >= static_cast<size_t>(asked)) return out;
  // A plan made for fewer keys than shown carries no note of its own.
  if (!level.keysNote.empty())
    out += level.keysNote + "\n";
  else if (made == 0)
    out += "keys: none (the plan was made without keys)\n";
  else
    out += "keys: " + std::to_string(made) + " of " + std::to_string(asked) +
           " (the plan was made for " + std::to_string(made) + ")\n";
  return out;
}

int32_t LevelPlan::depthScale() const {
  if (exit) return distance[*exit];
  const auto farthest = std::max_element(distance.begin(), distance.end());
  return farthest == distance.end() ? 0 : std::max(*farthest, 0);
}

std::optional<LevelPlan::Ratio> LevelPlan::depthOf(size_t index) const {
  const int32_t d = distance[index];
  if (d == kUnreachable) return std::nullopt;
  const int32_t scale = depthScale();
  if (scale == 0) return Ratio{0, 1};
  return Ratio{std::min(d, scale), scale};
}

const Placement* LevelPlan::ownerOf(GridCoord c) const {
  if (!inBox(size, c)) return nullptr;
  const int32_t index = owner[boxIndex(size, c)];
  return index < 0 ? nullptr : &placements[static_cast<size_t>(index)];
}

int LevelPlan::keyAt(GridCoord anchor) const {
  for (size_t k = 0; k < keys.size(); ++k)
    if (placements[keys[k].keyPlacement].anchor == anchor) return static_cast<int>(k) + 1;
  return 0;
}

int LevelPlan::keyLocking(const Doorway& d) const {
  for (size_t k = 0; k < keys.size(); ++k)
    if (std::find(keys[k].locked.begin(), keys[k].locked.end(), d) != keys[k].locked.end())
      return static_cast<int>(k) + 1;
  return 0;
}

LevelPlan planLevel(const CellGrid& grid, const TemplateLibrary& library,
                    const std::function<bool(const Template&)>& hasExit,
                    std::string_view layoutName) {
  return planLevel(grid, library, hasExit, KeyOptions{}, layoutName);
}

LevelPlan planLevel(const CellGrid& grid, const TemplateLibrary& library,
                    const std::function<bool(const Template&)>& hasExit, const KeyOptions& keys,
                    std::string_view layoutName) {
  Graph joined;
  LevelPlan plan = planWalks(grid, library, hasExit, layoutName, joined);
  const int asked = std::clamp(keys.keys, 0, static_cast<int>(kMaxKeys));
  if (asked == 0 || plan.placements.empty()) return plan;
  KeyPlanner planner{plan, grid, joined, std::vector<bool>(joined.size(), false)};
  for (size_t i = 0; i < joined.size(); ++i) {
    const Template* t = library.findById(plan.placements[i].templateId);
    planner.spot[i] = plan.distance[i] != LevelPlan::kUnreachable && t != nullptr &&
                      keys.hasKeySpot && keys.hasKeySpot(*t);
  }
  planner.place(plan, asked);
  // The regions make this hold; a failure is a bug in the planner.
  const std::string wrong = checkKeys(plan, grid);
  assert(wrong.empty());
  if (!wrong.empty())
    plan.warnings.push_back(std::string(layoutName) + ": the keys do not lead to the exit (" +
                            wrong + "); the level may not be finishable");
  return plan;
}

std::vector<bool> reachedWithDoorsShut(const LevelPlan& level, const CellGrid& grid, size_t open) {
  const GridCoord size = grid.size();
  // Each locked doorway shut from both of its sides.
  std::vector<bool> shut(grid.cellCount() * 4, false);
  for (size_t k = open; k < level.keys.size(); ++k)
    for (const Doorway& d : level.keys[k].locked) {
      shut[boxIndex(size, d.cell) * 4 + static_cast<size_t>(d.side)] = true;
      const GridCoord beyond = d.cell + kSides[d.side].step;
      if (grid.inBounds(beyond))
        shut[boxIndex(size, beyond) * 4 + static_cast<size_t>(kSides[d.side].opposite)] = true;
    }
  Graph joined(level.placements.size());
  forEachDoorway(grid, level.owner, [&](GridCoord at, SideIndex side, size_t from, size_t to) {
    if (!shut[boxIndex(size, at) * 4 + static_cast<size_t>(side)]) joined[from].push_back(to);
  });
  const std::vector<int32_t> d = walk(joined, std::vector<bool>(joined.size(), false));
  std::vector<bool> reached(d.size());
  for (size_t i = 0; i < d.size(); ++i) reached[i] = d[i] != LevelPlan::kUnreachable;
  return reached;
}

std::string layoutPlan(const CellGrid& grid, const LevelPlan& level) {
  auto anchorMark = [&](GridCoord c) {
    if (!level.placements.empty() && level.placements.front().anchor == c) return 'S';
    if (level.exit && level.placements[*level.exit].anchor == c) return 'E';
    if (const int key = level.keyAt(c); key != 0) return key == 1 ? 'K' : 'k';
    return '*';
  };
  const GridCoord size = grid.size();
  // A locked doorway shows its key's digit, on the side of the cell
  // outside the key's region.
  auto gap = [&](GridCoord c, bool open, SideIndex side, char wall) {
    if (!open) return wall;
    const int key = level.keys.empty() ? 0 : level.keyLocking({c, side});
    return key != 0 ? static_cast<char>('0' + key) : ' ';
  };
  std::string out;
  for (int32_t z = 0; z < size.z; ++z) {
    out += "storey " + std::to_string(z) + ":\n";
    for (int32_t y = size.y - 1; y >= 0; --y) {
      std::string rows[3];
      for (int32_t x = 0; x < size.x; ++x) {
        const GridCoord at{x, y, z};
        const Cell& c = grid.cellAt(at);
        if (c.occupied == 0) {
          rows[0] += "   ";
          rows[1] += " . ";
          rows[2] += "   ";
          continue;
        }
        rows[0] += std::string{'+', gap(at, c.openPosY, posY, '-'), '+'};
        rows[1] += std::string{gap(at, c.openNegX, negX, '|'),
                               c.templateId != 0 ? anchorMark(c.coord()) : '#',
                               gap(at, c.openPosX, posX, '|')};
        rows[2] += std::string{'+', gap(at, c.openNegY, negY, '-'), '+'};
      }
      // Rows without a taken cell keep only their line of dots.
      for (std::string& row : rows) {
        while (!row.empty() && row.back() == ' ') row.pop_back();
        if (!row.empty()) out += "  " + row + "\n";
      }
    }
  }
  return out;
}

}  // namespace cellforge

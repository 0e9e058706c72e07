#include "layout/level_plan.h"

#include <algorithm>
#include <deque>

#include "layout/layout_file.h"

namespace cellforge {

namespace {

std::string cellText(GridCoord c) {
  return "(" + std::to_string(c.x) + ", " + std::to_string(c.y) + ", " + std::to_string(c.z) + ")";
}

constexpr size_t kUnreachableNamed = 5;

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

LevelPlan planLevel(const CellGrid& grid, const TemplateLibrary& library,
                    const std::function<bool(const Template&)>& hasExit,
                    std::string_view layoutName) {
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

  std::vector<std::vector<int32_t>> joined(plan.placements.size());
  grid.forEachCell([&](GridCoord at, const Cell& c) {
    const int32_t from = owner[flat(at)];
    if (c.occupied == 0 || from < 0) return;
    for (const Side& side : kSides) {
      const GridCoord n = at + side.step;
      if (!(c.*side.open) || !grid.inBounds(n)) continue;
      const Cell& neighbour = grid.cellAt(n);
      const int32_t to = owner[flat(n)];
      if (neighbour.occupied != 0 && (neighbour.*side.facing) && to >= 0 && to != from)
        joined[static_cast<size_t>(from)].push_back(to);
    }
  });

  plan.distance.assign(plan.placements.size(), LevelPlan::kUnreachable);
  if (plan.placements.empty()) return plan;
  std::deque<size_t> queue{0};
  plan.distance[0] = 0;
  while (!queue.empty()) {
    const size_t at = queue.front();
    queue.pop_front();
    for (int32_t next : joined[at]) {
      const auto n = static_cast<size_t>(next);
      if (plan.distance[n] != LevelPlan::kUnreachable) continue;
      plan.distance[n] = plan.distance[at] + 1;
      queue.push_back(n);
    }
  }

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

std::string layoutPlan(const CellGrid& grid, const LevelPlan& level) {
  auto anchorMark = [&](GridCoord c) {
    if (!level.placements.empty() && level.placements.front().anchor == c) return 'S';
    if (level.exit && level.placements[*level.exit].anchor == c) return 'E';
    return '*';
  };
  std::string out;
  const GridCoord size = grid.size();
  for (int32_t z = 0; z < size.z; ++z) {
    out += "storey " + std::to_string(z) + ":\n";
    for (int32_t y = size.y - 1; y >= 0; --y) {
      std::string rows[3];
      for (int32_t x = 0; x < size.x; ++x) {
        const Cell& c = grid.cellAt({x, y, z});
        if (c.occupied == 0) {
          rows[0] += "   ";
          rows[1] += " . ";
          rows[2] += "   ";
          continue;
        }
        rows[0] += std::string{'+', c.openPosY ? ' ' : '-', '+'};
        rows[1] +=
            std::string{c.openNegX ? ' ' : '|', c.templateId != 0 ? anchorMark(c.coord()) : '#',
                        c.openPosX ? ' ' : '|'};
        rows[2] += std::string{'+', c.openNegY ? ' ' : '-', '+'};
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

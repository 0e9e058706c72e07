#include "client/map_builder.h"

#include "layout/layout_file.h"
#include "platform/platform.h"

namespace cellforge {

namespace {

std::string where(GridCoord c) {
  return "(" + std::to_string(c.x) + ", " + std::to_string(c.y) + ", " + std::to_string(c.z) + ")";
}

// A doorway as the piece of the placement holding its cell names it.
LockSpot lockSpotOf(const Doorway& d, const Placement& p) {
  return {{d.cell.x - p.anchor.x, d.cell.y - p.anchor.y, d.cell.z - p.anchor.z}, d.side};
}

}  // namespace

Expected<const PieceWriter*> MapBuilder::pieceFor(int32_t templateId, GridCoord at,
                                                  std::string_view layoutName) {
  const Template* t = library_.findById(templateId);
  if (t == nullptr)
    return fail(std::string(layoutName) + ": the cell at " + where(at) + " names template id " +
                std::to_string(templateId) + ", which no template file has");
  if (!maptext::isSafePieceName(t->name)) {
    const auto index = static_cast<size_t>(t - library_.templates().data());
    std::string file = library_.fileOf(index);
    if (file.empty()) file = "template " + std::to_string(t->id);
    return fail(file + ": piece text name \"" + t->name +
                "\" is not a file inside the source folder");
  }
  auto found = pieces_.find(t->name);
  if (found == pieces_.end()) {
    auto text = source_.readFile(t->name);
    if (!text) return text.error();
    auto piece = PieceWriter::make(std::move(*text), source_.path() + t->name, settings_.game());
    if (!piece) return piece.error();
    const auto& said = piece->warnings();
    warnings_.insert(warnings_.end(), said.begin(), said.end());
    found = pieces_.emplace(t->name, std::move(*piece)).first;
  }
  return &found->second;
}

Expected<LevelPlan> MapBuilder::planLevel(std::string_view layoutName) {
  // Any placed piece may hold the exit, so all are read first.
  for (const Cell& record : collectRecords(grid_))
    if (auto piece = pieceFor(record.templateId, record.coord(), layoutName); !piece)
      return piece.error();
  LevelPlan plan = cellforge::planLevel(
      grid_, library_, [&](const Template& t) { return pieces_.at(t.name).hasExit(); },
      KeyOptions{settings_.keys,
                 [&](const Template& t) { return pieces_.at(t.name).hasKeySpot(); }},
      layoutName);
  // The plan locks doorways by the layout alone; a piece without a door for
  // one of them would leave the way open, so such a level has no keys.
  for (const KeyGate& gate : plan.keys)
    for (const Doorway& d : gate.locked) {
      const Placement* p = plan.ownerOf(d.cell);
      const Template* t = p == nullptr ? nullptr : library_.findById(p->templateId);
      if (t != nullptr && pieces_.at(t->name).hasLock(lockSpotOf(d, *p))) continue;
      plan.keys.clear();
      plan.keysNote = "keys: none (the piece at cell " + where(d.cell) +
                      " has no door for its doorway on " + std::string(kSides[d.side].name) + ")";
      return plan;
    }
  return plan;
}

Status MapBuilder::composeMap(std::string_view layoutName, MapSink& out) {
  bool firstCell = true;
  for (int32_t z = 0; z < grid_.size().z; ++z) {
    for (int32_t y = 0; y < grid_.size().y; ++y) {
      for (int32_t x = 0; x < grid_.size().x; ++x) {
        const Cell& cell = grid_.cellAt({x, y, z});
        if (cell.templateId == 0) continue;
        auto piece = pieceFor(cell.templateId, cell.coord(), layoutName);
        if (!piece) return piece.error();
        (*piece)->writeWorld(out, cell.coord(), firstCell);
        firstCell = false;
        if (out.failure()) return *out.failure();
      }
    }
  }
  if (firstCell) return fail(std::string(layoutName) + ": no template is placed in this layout");
  out.line("}");  // closes the one world entity

  auto plan = planLevel(layoutName);
  if (!plan) return plan.error();
  warnings_.insert(warnings_.end(), plan->warnings.begin(), plan->warnings.end());
  PlacementOptions options;
  for (size_t i = 0; i < plan->placements.size(); ++i) {
    const Placement& p = plan->placements[i];
    options.keepStart = i == 0;
    options.keepExit = plan->exit == i;
    options.depth = plan->depthOf(i);
    options.nameSuffix = "_" + std::to_string(i + 1);
    options.key = plan->keyAt(p.anchor);
    options.locks.clear();
    for (size_t k = 0; k < plan->keys.size(); ++k)
      for (const Doorway& d : plan->keys[k].locked)
        if (plan->ownerOf(d.cell) == &p)
          options.locks.push_back({lockSpotOf(d, p), static_cast<int>(k) + 1});
    auto piece = pieceFor(p.templateId, p.anchor, layoutName);
    if (!piece) return piece.error();
    (*piece)->writeEntities(out, p.anchor, options);
    if (out.failure()) return *out.failure();
  }
  return out.finish();
}

Expected<std::string> MapBuilder::composeMap(std::string_view layoutName) {
  std::string text;
  MapSink sink([&](std::string_view bytes) {
    text += bytes;
    return success();
  });
  if (Status s = composeMap(layoutName, sink); !s) return s.error();
  return text;
}

Status MapBuilder::build(const std::string& layoutPath, const std::string& mapPath) {
  pieces_.clear();
  warnings_.clear();
  if (Status s = readLayoutFile(layoutPath, library_, grid_); !s) return s;
  auto file = platform::FileReplacement::begin(mapPath, platform::FileReplacement::Durable::no);
  if (!file) return file.error();
  MapSink sink([&](std::string_view bytes) { return file->write(bytes); });
  if (Status s = composeMap(layoutPath, sink); !s) return s;
  return file->commit();
}

}  // namespace cellforge

#include "client/map_builder.h"

#include "client/map_indenter.h"
#include "layout/layout_file.h"
#include "platform/platform.h"

namespace cellforge {

namespace {

std::string where(GridCoord c) {
  return "(" + std::to_string(c.x) + ", " + std::to_string(c.y) + ", " + std::to_string(c.z) + ")";
}

}  // namespace

bool isSafePieceName(std::string_view name) {
  if (name.empty() || name.front() == '/' || name.front() == '\\') return false;
  if (name.size() >= 2 && name[1] == ':') return false;  // a drive letter
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = name.size();
    if (name.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

Expected<const MapBuilder::Piece*> MapBuilder::pieceFor(int32_t templateId, GridCoord at,
                                                        std::string_view layoutName) {
  const Template* t = library_.findById(templateId);
  if (t == nullptr)
    return fail(std::string(layoutName) + ": the cell at " + where(at) + " names template id " +
                std::to_string(templateId) + ", which no template file has");
  if (!isSafePieceName(t->name)) {
    const auto index = static_cast<size_t>(t - library_.templates().data());
    std::string file = library_.fileOf(index);
    if (file.empty()) file = "template " + std::to_string(t->id);
    return fail(file + ": piece text name \"" + t->name +
                "\" is not a file inside the source folder");
  }
  auto found = pieces_.find(t->name);
  if (found == pieces_.end()) {
    auto text = loadPieceText(settings_.source_directory + t->name, settings_.cell_pitch);
    if (!text) return text.error();
    auto rules = PieceRules::of(*text, settings_.isQuake1());
    if (!rules) return rules.error();
    warnings_.insert(warnings_.end(), text->warnings().begin(), text->warnings().end());
    found = pieces_.emplace(t->name, Piece{std::move(*text), std::move(*rules)}).first;
  }
  return &found->second;
}

Expected<LevelPlan> MapBuilder::planLevel(std::string_view layoutName) {
  // Any placed piece may hold the exit, so all are read first.
  for (const Cell& record : collectRecords(grid_))
    if (auto piece = pieceFor(record.templateId, record.coord(), layoutName); !piece)
      return piece.error();
  return cellforge::planLevel(
      grid_, library_, [&](const Template& t) { return pieces_.at(t.name).rules.hasExit(); },
      layoutName);
}

Expected<std::string> MapBuilder::composeMap(std::string_view layoutName) {
  std::string out;
  bool firstCell = true;
  for (int32_t z = grid_.minBound.z; z <= grid_.maxBound.z; ++z) {
    for (int32_t y = grid_.minBound.y; y <= grid_.maxBound.y; ++y) {
      for (int32_t x = grid_.minBound.x; x <= grid_.maxBound.x; ++x) {
        const Cell& cell = grid_.cellAt({x, y, z});
        if (cell.templateId == 0) continue;
        auto piece = pieceFor(cell.templateId, cell.coord(), layoutName);
        if (!piece) return piece.error();
        const Status written = (*piece)->text.writeWorldBrushes(out, cell.coord(), firstCell);
        if (!written) return written.error();
        firstCell = false;
      }
    }
  }
  if (firstCell) return fail(std::string(layoutName) + ": no template is placed in this layout");
  out += "}\n";  // closes the one world entity

  auto plan = planLevel(layoutName);
  if (!plan) return plan.error();
  warnings_.insert(warnings_.end(), plan->warnings.begin(), plan->warnings.end());
  for (size_t i = 0; i < plan->placements.size(); ++i) {
    const Placement& p = plan->placements[i];
    PlacementOptions options;
    options.keepStart = i == 0;
    options.keepExit = plan->exit == i;
    options.depth = plan->depthOf(i);
    options.nameSuffix = "_" + std::to_string(i + 1);
    auto piece = pieceFor(p.templateId, p.anchor, layoutName);
    if (!piece) return piece.error();
    if (Status s = (*piece)->rules.writeEntities(out, (*piece)->text, p.anchor, options); !s)
      return s.error();
  }
  return out;
}

Status MapBuilder::build(const std::string& layoutPath, const std::string& mapPath) {
  // A failed build must not leave the previous map for the compile tools.
  if (Status s = platform::deleteFile(mapPath); !s) return s;
  pieces_.clear();
  warnings_.clear();
  if (Status s = readLayoutFile(layoutPath, library_, grid_); !s) return s;
  auto map = composeMap(layoutPath);
  if (!map) return map.error();
  return platform::replaceFile(mapPath, MapIndenter::indent(*map));
}

}  // namespace cellforge

#include "client/map_builder.h"

#include "client/map_indenter.h"
#include "layout/layout_file.h"
#include "platform/platform.h"

namespace cellforge {

namespace {

std::string where(const Cell& cell) {
  return "(" + std::to_string(cell.x) + ", " + std::to_string(cell.y) + ", " +
         std::to_string(cell.z) + ")";
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

Expected<const PieceText*> MapBuilder::pieceFor(const Cell& cell, std::string_view layoutName) {
  const Template* t = library_.findById(cell.templateId);
  if (t == nullptr)
    return fail(std::string(layoutName) + ": the cell at " + where(cell) + " names template id " +
                std::to_string(cell.templateId) + ", which no template file has");
  if (!isSafePieceName(t->name)) {
    const auto index = static_cast<size_t>(t - library_.templates().data());
    std::string file = library_.fileOf(index);
    if (file.empty()) file = "template " + std::to_string(t->id);
    return fail(file + ": piece text name \"" + t->name +
                "\" is not a file inside the source folder");
  }
  auto found = pieces_.find(t->name);
  if (found == pieces_.end()) {
    auto piece = loadPieceText(settings_.source_directory + t->name, settings_.cell_pitch);
    if (!piece) return piece.error();
    warnings_.insert(warnings_.end(), piece->warnings().begin(), piece->warnings().end());
    found = pieces_.emplace(t->name, std::move(*piece)).first;
  }
  return &found->second;
}

Expected<std::string> MapBuilder::composeMap(std::string_view layoutName) {
  std::string out;
  for (int pass = 0; pass < 2; ++pass) {
    bool firstCell = true;
    for (int32_t z = grid_.minBound.z; z <= grid_.maxBound.z; ++z) {
      for (int32_t y = grid_.minBound.y; y <= grid_.maxBound.y; ++y) {
        for (int32_t x = grid_.minBound.x; x <= grid_.maxBound.x; ++x) {
          const Cell cell = grid_.cellAt({x, y, z});
          if (cell.templateId == 0) continue;
          auto piece = pieceFor(cell, layoutName);
          if (!piece) return piece.error();
          const Status written = pass == 0
                                     ? (*piece)->writeWorldBrushes(out, cell.coord(), firstCell)
                                     : (*piece)->writeEntities(out, cell.coord(), firstCell);
          if (!written) return written.error();
          firstCell = false;
        }
      }
    }
    if (firstCell) return fail(std::string(layoutName) + ": no template is placed in this layout");
    if (pass == 0) out += "}\n";  // closes the one world entity
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

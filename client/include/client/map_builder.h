#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "client/level_rules.h"
#include "client/map_sink.h"
#include "client/piece_writer.h"
#include "foundation/settings.h"
#include "layout/cell_grid.h"
#include "layout/level_plan.h"
#include "platform/platform.h"
#include "platform/result.h"
#include "templates/template_library.h"

namespace cellforge {

inline constexpr std::string_view kMapFileName = "sample.map";

// Turns a layout and the templates' piece texts into one map text.
class MapBuilder {
 public:
  MapBuilder(const Settings& settings, const TemplateLibrary& library)
      : settings_(settings), library_(library), source_(settings.source_directory) {}

  // The whole build: read the layout into the grid and write the map as it
  // is composed, through a temporary file that takes the map's place only
  // when complete. The caller deletes the old map first, so that any
  // failure leaves none.
  Status build(const std::string& layoutPath, const std::string& mapPath);

  // The map for the grid, indented, into `out`: the world entity with every
  // cell's world brushes, then every other entity. `layoutName` is what
  // messages call the layout.
  Status composeMap(std::string_view layoutName, MapSink& out);
  // The same, as one text.
  Expected<std::string> composeMap(std::string_view layoutName);

  // Start, exit and walking distances of the grid's placements, reading the
  // piece texts it needs (the summary and the plans use it too).
  Expected<LevelPlan> planLevel(std::string_view layoutName);

  // What the piece texts read so far say about themselves (unbalanced
  // braces), and placements no walk reaches, in the order met.
  const std::vector<std::string>& warnings() const { return warnings_; }

  CellGrid& grid() { return grid_; }
  const CellGrid& grid() const { return grid_; }

 private:
  Expected<const PieceWriter*> pieceFor(int32_t templateId, GridCoord at,
                                        std::string_view layoutName);

  const Settings& settings_;
  const TemplateLibrary& library_;
  platform::Folder source_;  // where the piece texts are
  CellGrid grid_;
  // Each piece text is read once per build, however many cells use it.
  std::map<std::string, PieceWriter> pieces_;
  std::vector<std::string> warnings_;
};

}  // namespace cellforge

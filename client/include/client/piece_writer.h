#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "client/level_rules.h"
#include "client/map_sink.h"
#include "maptext/piece_model.h"
#include "platform/result.h"
#include "templates/records.h"

namespace cellforge {

// One template's piece text, read once and ready to be written at any cell:
// every line is cut once into its text and its numbers, so a placement only
// adds offsets and copies. It also knows how the piece's entities take part
// in a level: the player start, the exit entities (Quake's
// trigger_changelevel; Quake II's target_changelevel with the entities of
// the piece that target it), depth ranges, and the keys that name other
// entities.
class PieceWriter {
 public:
  // `name` is what messages call the piece text. Errors name it and the
  // line: a malformed `_depth` first, then the first line the map could not
  // hold.
  static Expected<PieceWriter> make(std::string text, std::string name, Game game);

  const maptext::Piece& piece() const { return piece_; }
  bool hasExit() const { return hasExit_; }

  // World-brush pass for one cell: the first cell also writes the world
  // entity's "{" and key lines; no cell writes its closing "}".
  void writeWorld(MapSink& out, GridCoord position, bool firstCell) const;
  // Entity pass for one placement: every entity but the world, less what
  // `options` leaves out. `_depth` lines never reach the map.
  void writeEntities(MapSink& out, GridCoord position, const PlacementOptions& options) const;

 private:
  // What a line is to the writer: text kept as it is; a name key that takes
  // the placement's suffix after its value; an origin or plane line whose
  // numbers move as integers, or digit by digit (moved); a `_depth` line,
  // never written.
  enum class Form : uint8_t { text, name, origin, plane, moved, depth };
  struct EntityRole {
    bool skip = false;  // the world, or a worldspawn the map never holds
    bool playerStart = false, exit = false;
    std::optional<DepthRange> depth;
  };

  Form formOf(const maptext::Line& line) const;
  void writeLines(MapSink& out, size_t from, size_t to, const std::array<int64_t, 3>& offset,
                  std::string_view suffix) const;

  maptext::Piece piece_;
  std::vector<Form> forms_;        // one per piece line
  std::vector<EntityRole> roles_;  // one per entity
  Game game_ = Game::quake2;
  bool hasExit_ = false;
};

}  // namespace cellforge

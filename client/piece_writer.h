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
  static Expected<PieceWriter> make(std::string text, std::string name, bool quake1);

  const maptext::Piece& piece() const { return piece_; }
  bool hasExit() const { return hasExit_; }

  // World-brush pass for one cell: the first cell also writes the world
  // entity's "{" and key lines; no cell writes its closing "}".
  void writeWorld(MapSink& out, GridCoord position, const std::array<int32_t, 3>& pitch,
                  bool firstCell) const;
  // Entity pass for one placement: every entity but the world, less what
  // `options` leaves out. `_depth` lines never reach the map.
  void writeEntities(MapSink& out, GridCoord position, const std::array<int32_t, 3>& pitch,
                     const PlacementOptions& options) const;

 private:
  // A number token as digits over a power of ten, so moving it is integer
  // arithmetic; tokens too long for that keep their text and move digit by
  // digit.
  struct Number {
    int64_t scaled = 0;
    int64_t unit = 1;
    uint8_t fraction = 0;
    bool exact = false;
    std::string_view token;
  };
  // What a line is to the writer: text kept as it is; a name key with room
  // for the placement's suffix after its value; an origin or plane line
  // whose numbers move; a `_depth` line, never written.
  enum class Form : uint8_t { text, name, origin, plane, depth };
  struct CutLine {
    Form form = Form::text;
    char first = '\n';
    uint32_t firstNumber = 0;
    std::string_view text;  // text, or a name key up to the end of its value
    std::string_view rest;  // after a name key's value, or a plane line's points
  };
  struct EntityRole {
    bool skip = false;  // the world, or a worldspawn the map never holds
    bool playerStart = false, exit = false;
    std::optional<DepthRange> depth;
  };

  void cut(const maptext::Line& line);
  void addNumber(std::string_view token);
  char* writeNumber(char* p, const Number& n, int64_t offset) const;
  void writeLines(MapSink& out, size_t from, size_t to, const std::array<int64_t, 3>& offset,
                  std::string_view suffix) const;

  maptext::Piece piece_;
  std::vector<CutLine> lines_;  // one per piece line
  std::vector<Number> numbers_;
  std::vector<EntityRole> roles_;  // one per entity
  bool quake1_ = false;
  bool hasExit_ = false;
};

}  // namespace cellforge

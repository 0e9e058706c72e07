#pragma once

#include <array>
#include <cstdint>
#include <memory>
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

// One template's piece text, read once and ready to be written at any cell.
// Every line the map holds is compiled once into a compact record (its
// constant text, and its numbers as indices into the values their axis
// takes in the piece); the text and its model are then let go. A placement
// formats each value once, moved by its offset, and copies. It also knows
// how the piece's entities take part in a level: the player start, the
// exit entities (Quake's trigger_changelevel; Quake II's
// target_changelevel with the entities of the piece that target it), depth
// ranges, and the keys that name other entities.
class PieceWriter {
 public:
  // `name` is what messages call the piece text. Errors name it and the
  // line: a malformed `_depth` first, then the first line the map could not
  // hold.
  static Expected<PieceWriter> make(std::string text, std::string name, Game game);

  // Unbalanced braces, as the piece model reports them.
  const std::vector<std::string>& warnings() const { return warnings_; }
  bool hasExit() const { return hasExit_; }
  bool hasKeySpot() const { return hasKeySpot_; }
  // Whether the piece holds a door for this doorway of one of its cells.
  bool hasLock(const LockSpot& spot) const;

  // World-brush pass for one cell: the first cell also writes the world
  // entity's "{" and key lines; no cell writes its closing "}".
  void writeWorld(MapSink& out, GridCoord position, bool firstCell) const;
  // Entity pass for one placement: every entity but the world, less what
  // `options` leaves out. `_depth` lines never reach the map.
  void writeEntities(MapSink& out, GridCoord position, const PlacementOptions& options) const;

 private:
  struct EntityRole {
    bool playerStart = false, exit = false;
    std::optional<DepthRange> depth;
    std::optional<LockSpot> lock;      // one of the door entities of this doorway
    std::optional<LockSpot> unlocked;  // left out where this doorway's lock is written
    bool keySpot = false;
  };
  // An entity's records: code_[begin, end).
  struct EntityCode {
    size_t begin = 0, end = 0;
    EntityRole role;
  };

  class MovedValues;
  void writeCode(MapSink& out, size_t begin, size_t end, const MovedValues& values,
                 const std::array<int64_t, 3>& offset, std::string_view suffix, int key = 0) const;

  // The records, one after another: the world's key lines, the world's
  // brushes, then every entity the map may hold.
  std::unique_ptr<char[]> code_;
  size_t worldBrushes_ = 0, worldEnd_ = 0;
  bool hasWorld_ = false;
  std::vector<EntityCode> entities_;
  // The values the numbers of the records take, one list per axis: the
  // world's x, y and z lists, then the other entities', one after another;
  // list i is values_[valueStarts_[i], valueStarts_[i + 1]).
  std::vector<int32_t> values_;
  std::array<size_t, 7> valueStarts_{};
  std::vector<std::string> warnings_;
  bool hasExit_ = false;
  bool hasKeySpot_ = false;
  Game game_ = Game::quake2;
};

}  // namespace cellforge

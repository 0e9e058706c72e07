#pragma once

#include <string>
#include <utility>
#include <vector>

#include "foundation/game_limits.h"
#include "maptext/piece_model.h"

namespace cellforge {

// A picture of a map text, a piece or a whole sample.map, for users without
// an editor: an isometric cut-away seen from +x, +y, above, one panel per
// storey of 256 units, the walls cut at the height of the doorways' lintels
// so the rooms show, and every entity marked by kind (start, exit, monster,
// item, light). `game` picks the game's exit and class rules.
std::string renderMap(const maptext::Piece& map, Game game);

// Every piece of a kit on one sheet, a small picture each with its name.
std::string renderSheet(const std::vector<std::pair<std::string, maptext::Piece>>& pieces,
                        Game game);

}  // namespace cellforge

#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "template_tool/piece_text.h"
#include "templates/records.h"

namespace cellforge {

enum class Game { automatic, quake2, quake };

// Every open side's passage sits here, in the cell's own coordinates: the
// middle 128 units of the face, from the top of the 16-unit floor slab up
// 128 units. Pieces that keep to it join any other piece.
inline constexpr int kCellSize = 256;
inline constexpr int kDoorLow = 64, kDoorHigh = 192;
inline constexpr int kDoorBottom = 16, kDoorTop = 144;

// The problems of one template with its parsed piece text, each a line
// naming the file (and line). `pieceName` is what the lines call the piece.
std::vector<std::string> checkPiece(const Template& t, std::string_view mmdName,
                                    const std::vector<Entity>& piece, std::string_view pieceName,
                                    Game game);

// Checks every "*.mmd" of a folder (ending in a separator) and its piece
// text. No lines means the kit is sound.
std::vector<std::string> checkKit(const std::string& folder, Game game);

}  // namespace cellforge

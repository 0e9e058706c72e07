#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/result.h"
#include "templates/records.h"

namespace cellforge {

// One trimmed line of a piece text with its line number (from 1), so a
// fault can be named where the author will find it.
struct PieceLine {
  std::string text;
  size_t number = 0;
};

// One top-level brace group of a piece text: an entity, from its "{" line
// to the "}" line that closes it.
using PieceBlock = std::vector<PieceLine>;

// A number token moved by a whole number of map units. The token is an
// optional sign, digits, and optionally a point and digits; the sum is exact
// and keeps as many fraction digits as the token had.
Expected<std::string> moveNumber(std::string_view token, int64_t offset);

// The key and value of a key line ("key" "value"); none for other lines.
struct KeyLine {
  std::string_view key;
  std::string_view value;
};
bool parseKeyLine(std::string_view line, KeyLine& out);

// An origin line or a brush plane line moved by `offset` map units; any
// other line unchanged. Errors carry the cause only.
Expected<std::string> translateLine(std::string_view line, const std::array<int64_t, 3>& offset);

// The class of an entity block: the value of its first "classname" key.
// Empty when the block has none.
std::string className(const PieceBlock& block);

// The entities of one template's piece text, ready to be written at any cell.
class PieceText {
 public:
  explicit PieceText(std::array<int32_t, 3> cellPitch = {256, 256, 256}) : pitch_(cellPitch) {}

  // Replaces the lines with those of `text` and rebuilds the blocks. `name`
  // is what messages call the piece text.
  void read(std::string_view text, std::string name);
  // Rebuilds the blocks from the lines (trimming them).
  void splitBlocks();

  const std::string& name() const { return name_; }
  const std::vector<PieceLine>& lines() const { return lines_; }
  const std::vector<PieceBlock>& blocks() const { return blocks_; }
  // Unbalanced braces, one line each, naming the file and line: the lines
  // they cut off are not in `blocks`, so the map would lack them unsaid.
  const std::vector<std::string>& warnings() const { return warnings_; }
  // The first block whose class is worldspawn (any case), or none.
  const PieceBlock* worldBlock() const;

  // `line` moved to the cell at `position`; errors name the file and line.
  Expected<std::string> translate(const PieceLine& line, GridCoord position) const;

  // World-brush pass for one cell. The first cell also writes the
  // worldspawn "{" and key lines; no cell writes its closing "}".
  Status writeWorldBrushes(std::string& out, GridCoord position, bool firstCell) const;
  // Entity pass for one cell: every entity but worldspawn, and player
  // starts only from the first cell.
  Status writeEntities(std::string& out, GridCoord position, bool firstCell) const;

 private:
  Status writeLine(std::string& out, const PieceLine& line, GridCoord position) const;

  std::array<int32_t, 3> pitch_;
  std::string name_;
  std::vector<PieceLine> lines_;
  std::vector<PieceBlock> blocks_;
  std::vector<std::string> warnings_;
};

// Reads the piece text at `path` (the edge that touches the file).
Expected<PieceText> loadPieceText(const std::string& path, std::array<int32_t, 3> cellPitch);

}  // namespace cellforge

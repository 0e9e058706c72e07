// Piece-text splitting and line translation on arbitrary text. Whatever the
// text, writing it at a cell either works or fails with one line; a line
// that moves by one offset moves by any, and moving back undoes it.
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "client/map_indenter.h"
#include "client/piece_text.h"

namespace {

using namespace cellforge;

void oneLine(const std::string& message) {
  if (message.empty() || message.find('\n') != std::string::npos) std::abort();
}

void checkLine(std::string_view line, const std::array<int64_t, 3>& offset) {
  const std::array<int64_t, 3> none{0, 0, 0};
  const std::array<int64_t, 3> back{-offset[0], -offset[1], -offset[2]};
  auto still = translateLine(line, none);
  auto moved = translateLine(line, offset);
  if (still.ok() != moved.ok()) std::abort();
  if (!moved) {
    oneLine(moved.message());
    return;
  }
  auto returned = translateLine(*moved, back);
  if (!returned || *returned != *still) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The input is the piece text, then a cell position (three int32).
  std::string_view input(reinterpret_cast<const char*>(data), size);
  GridCoord at;
  if (input.size() >= 12) {
    std::memcpy(&at, input.data() + input.size() - 12, 12);
    input.remove_suffix(12);
  }

  PieceText piece;
  piece.read(input, "fuzz.map");
  for (const PieceBlock& block : piece.blocks()) {
    if (block.empty() || block.front().text.front() != '{' || block.back().text.front() != '}')
      std::abort();
    (void)className(block);
  }
  std::string out;
  for (bool first : {true, false}) {
    if (Status s = piece.writeWorldBrushes(out, at, first); !s) oneLine(s.message());
    if (Status s = piece.writeEntities(out, at, first); !s) oneLine(s.message());
  }
  (void)MapIndenter::indent(out);

  // Offsets of cells far beyond any grid, kept where negating is defined.
  const std::array<int64_t, 3> offset{int64_t{at.x} * 256, int64_t{at.y} * 256,
                                      (int64_t{at.z} << 31) + at.x};
  size_t lines = 0;
  for (const PieceLine& line : piece.lines()) {
    checkLine(line.text, offset);
    if (++lines == 64) break;
  }
  return 0;
}

// Piece texts on arbitrary text. Whatever the text, reading it for the map
// either works or fails with one line; the map writes it at any cell, its
// world lines as moving each line by itself gives them; a line that moves
// by one offset moves by any, and moving back undoes it.
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "client/piece_writer.h"
#include "maptext/piece_model.h"

namespace {

using namespace cellforge;

void oneLine(const std::string& message) {
  if (message.empty() || message.find('\n') != std::string::npos) std::abort();
}

std::string movedLine(const maptext::Line& line, const std::array<int64_t, 3>& offset) {
  std::string out;
  maptext::appendMovedLine(out, line, offset);
  return out;
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

  for (Game game : {Game::quake2, Game::quake}) {
    auto writer = PieceWriter::make(std::string(input), "fuzz.map", game);
    if (!writer) {
      oneLine(writer.message());
      return 0;
    }
    std::string out;
    MapSink sink([&](std::string_view bytes) {
      out += bytes;
      return success();
    });
    // The world's lines as the model moves them one by one, against the
    // writer's compiled records.
    const maptext::Piece model = maptext::Piece::parse(std::string(input), "fuzz.map");
    if (const maptext::Entity* world = model.world()) {
      const std::array<int64_t, 3> offset{int64_t{at.x} * kCellSize, int64_t{at.y} * kCellSize,
                                          int64_t{at.z} * kCellSize};
      for (const bool first : {true, false}) {
        // The first cell writes the world's lines but its "}", later cells
        // from its first brush on.
        size_t from = world->open;
        if (!first) from = world->brushes.empty() ? world->close : world->brushes.front().open;
        std::string expected;
        for (size_t i = from; i < world->close; ++i) {
          const maptext::Line& line = model.lines()[i];
          maptext::KeyLine key;
          if (line.kind == maptext::LineKind::key && maptext::splitKeyLine(line.text, key) &&
              key.key == kDepthKey)
            continue;
          expected += movedLine(line, offset) + '\n';
        }
        std::string written;
        MapSink worldSink([&](std::string_view bytes) {
          written += bytes;
          return success();
        });
        writer->writeWorld(worldSink, at, first);
        if (!worldSink.finish()) std::abort();
        std::string unindented;
        for (size_t p = 0; p < written.size();) {
          while (written[p] == ' ') ++p;
          const size_t end = written.find('\n', p);
          unindented.append(written, p, end + 1 - p);
          p = end + 1;
        }
        if (unindented != expected) std::abort();
      }
    }
    for (bool first : {true, false}) {
      writer->writeWorld(sink, at, first);
      // The later copy holds key 2 and locks one doorway of each side with it.
      PlacementOptions options{first, !first, LevelPlan::Ratio{1, 2}, first ? "" : "_7", 0, {}};
      if (!first) {
        options.key = 2;
        for (SideIndex side : {posY, negY, posX, negX})
          options.locks.push_back({{{0, 0, 0}, side}, 2});
      }
      writer->writeEntities(sink, at, options);
    }
    if (!sink.finish() || (!out.empty() && out.back() != '\n')) std::abort();
  }

  const maptext::Piece piece = maptext::Piece::parse(std::string(input), "fuzz.map");
  // Offsets of cells far beyond any grid, kept where negating is defined.
  const std::array<int64_t, 3> offset{int64_t{at.x} * kCellSize, int64_t{at.y} * kCellSize,
                                      (int64_t{at.z} << 31) + at.x};
  const std::array<int64_t, 3> back{-offset[0], -offset[1], -offset[2]};
  size_t lines = 0;
  for (const maptext::Line& line : piece.lines()) {
    if (!maptext::lineFault(line).empty()) continue;
    const std::string moved = movedLine(line, offset);
    if (movedLine({.kind = line.kind, .number = line.number, .text = moved}, back) !=
        movedLine(line, {0, 0, 0}))
      std::abort();
    if (++lines == 64) break;
  }
  return 0;
}

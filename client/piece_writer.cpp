#include "client/piece_writer.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace cellforge {

namespace {

using maptext::LineKind;

constexpr std::array<int64_t, 7> kUnit{1, 10, 100, 1000, 10000, 100000, 1000000};

// "00" to "99", for writing two digits at once.
constexpr std::array<char, 200> kPairs = [] {
  std::array<char, 200> pairs{};
  for (size_t i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

// Map coordinates have at most four digits but in the largest grids.
char* writeUnsigned(char* p, uint64_t value) {
  if (value >= 10000) return std::to_chars(p, p + 20, value).ptr;
  const auto u = static_cast<size_t>(value);
  const char* const high = &kPairs[2 * (u / 100)];
  const char* const low = &kPairs[2 * (u % 100)];
  if (u < 10) {
    *p = low[1];
    return p + 1;
  }
  if (u < 100) {
    std::memcpy(p, low, 2);
    return p + 2;
  }
  if (u < 1000) {
    *p = high[1];
    std::memcpy(p + 1, low, 2);
    return p + 3;
  }
  std::memcpy(p, high, 2);
  std::memcpy(p + 2, low, 2);
  return p + 4;
}

char* writeNumber(char* p, const maptext::Number& n, int64_t offset) {
  const unsigned fraction = n.fraction();
  const int64_t v = n.scaled() + offset * kUnit[fraction];
  uint64_t magnitude = v < 0 ? uint64_t{0} - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  if (v < 0) *p++ = '-';
  if (fraction == 0) return writeUnsigned(p, magnitude);
  const auto unit = static_cast<uint64_t>(kUnit[fraction]);
  p = writeUnsigned(p, magnitude / unit);
  *p++ = '.';
  magnitude %= unit;
  for (auto i = static_cast<int>(fraction) - 1; i >= 0; --i) {
    p[i] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  return p + fraction;
}

// Where a cell's piece moves to, in map units.
std::array<int64_t, 3> offsetOf(GridCoord cell) {
  return {int64_t{cell.x} * kCellSize, int64_t{cell.y} * kCellSize, int64_t{cell.z} * kCellSize};
}

// Room for a line with its numbers moved: each number may grow by twenty
// digits and a sign, and an origin line is respaced.
size_t roomFor(std::string_view text, size_t numbers) { return text.size() + numbers * 22 + 24; }

}  // namespace

PieceWriter::Form PieceWriter::formOf(const maptext::Line& line) const {
  if (line.kind == LineKind::origin) return line.exact ? Form::origin : Form::moved;
  if (line.kind == LineKind::plane) return line.exact ? Form::plane : Form::moved;
  maptext::KeyLine key;
  if (line.kind != LineKind::key || !maptext::splitKeyLine(line.text, key)) return Form::text;
  if (key.key == kDepthKey) return Form::depth;
  return !key.value.empty() && isNameKey(key.key, game_) ? Form::name : Form::text;
}

Expected<PieceWriter> PieceWriter::make(std::string text, std::string name, Game game) {
  PieceWriter w;
  w.piece_ = maptext::Piece::parse(std::move(text), std::move(name));
  const maptext::Piece& piece = w.piece_;
  const auto& entities = piece.entities();

  // What each entity is in a level, and any malformed depth, before the
  // piece's own faults: the rules are read as the piece is loaded.
  for (const maptext::Entity& e : entities) {
    EntityRole role;
    role.skip = &e == piece.world() || e.unused;
    role.playerStart = piece.isPlayerStart(e);
    for (const maptext::Line& line : piece.linesOf(e)) {
      maptext::KeyLine k;
      if (line.kind != LineKind::key || !maptext::splitKeyLine(line.text, k) || k.key != kDepthKey)
        continue;
      auto range = parseDepthRange(k.value);
      if (!range) return fail(piece.at(line) + range.message());
      role.depth = *range;
    }
    w.roles_.push_back(role);
  }
  if (!piece.fault().empty()) return fail(piece.fault());
  const std::vector<bool> exits = exitEntities(piece, game);
  for (size_t i = 0; i < entities.size(); ++i) {
    w.roles_[i].exit = exits[i];
    w.hasExit_ = w.hasExit_ || (exits[i] && !w.roles_[i].skip);
  }

  w.game_ = game;
  w.forms_.reserve(piece.lines().size());
  for (const maptext::Line& line : piece.lines()) w.forms_.push_back(w.formOf(line));
  return w;
}

void PieceWriter::writeLines(MapSink& out, size_t from, size_t to,
                             const std::array<int64_t, 3>& offset, std::string_view suffix) const {
  auto copy = [](char* p, std::string_view text) {
    if (!text.empty()) std::memcpy(p, text.data(), text.size());
    return p + text.size();
  };
  const std::span<const maptext::Line> lines = piece_.lines();
  const maptext::Number* numbers = piece_.numbers().data();
  std::string moved;
  for (size_t i = from; i < to; ++i) {
    const maptext::Line& line = lines[i];
    const maptext::Number* number = numbers + line.firstNumber;
    switch (forms_[i]) {
      case Form::depth:
        break;  // for the kit only; the games ignore it
      case Form::text:
        out.line(line.text);
        break;
      case Form::name: {
        // The suffix goes right after the value.
        maptext::KeyLine key;
        maptext::splitKeyLine(line.text, key);
        const auto end =
            static_cast<size_t>(key.value.data() - line.text.data()) + key.value.size();
        char* p = out.beginLine('"', line.text.size() + suffix.size());
        p = copy(copy(copy(p, line.text.substr(0, end)), suffix), line.text.substr(end));
        out.endLine(p);
        break;
      }
      case Form::origin: {
        char* p = out.beginLine('"', roomFor(line.text, 3));
        p = copy(p, "\"origin\"        \"");
        for (size_t axis = 0; axis < 3; ++axis) {
          if (axis > 0) *p++ = ' ';
          p = writeNumber(p, number[axis], offset[axis]);
        }
        *p++ = '"';
        out.endLine(p);
        break;
      }
      case Form::plane: {
        char* p = out.beginLine('(', roomFor(line.text, 9));
        for (size_t point = 0; point < 3; ++point) {
          p = copy(p, point == 0 ? "(" : " (");
          for (size_t axis = 0; axis < 3; ++axis) {
            *p++ = ' ';
            p = writeNumber(p, number[point * 3 + axis], offset[axis]);
          }
          p = copy(p, " )");
        }
        out.endLine(copy(p, line.text.substr(line.rest)));
        break;
      }
      case Form::moved:
        moved.clear();
        maptext::appendMovedLine(moved, line, offset);
        out.line(moved);
        break;
    }
  }
}

void PieceWriter::writeWorld(MapSink& out, GridCoord position, bool firstCell) const {
  const maptext::Entity* world = piece_.world();
  if (world == nullptr) {
    // The map must still begin with the world entity.
    if (firstCell) {
      out.line("{");
      out.line("\"classname\" \"worldspawn\"");
    }
    return;
  }
  const std::array<int64_t, 3> offset = offsetOf(position);
  // The entity's own "}" is left out: the build closes the one world
  // entity itself.
  if (firstCell)
    writeLines(out, world->open, world->close, offset, {});
  else if (!world->brushes.empty())
    writeLines(out, world->brushes.front().open, world->close, offset, {});
}

void PieceWriter::writeEntities(MapSink& out, GridCoord position,
                                const PlacementOptions& options) const {
  const std::array<int64_t, 3> offset = offsetOf(position);
  const auto& entities = piece_.entities();
  for (size_t i = 0; i < entities.size(); ++i) {
    const EntityRole& role = roles_[i];
    if (role.skip || (role.playerStart && !options.keepStart) || (role.exit && !options.keepExit))
      continue;
    if (role.depth && !(options.depth && role.depth->contains(*options.depth))) continue;
    writeLines(out, entities[i].open, entities[i].close + 1, offset, options.nameSuffix);
  }
}

}  // namespace cellforge

#include "client/piece_writer.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace cellforge {

namespace {

using maptext::LineKind;

// Past this many digits, or fraction digits, a token moves as text.
constexpr size_t kExactDigits = 15;
constexpr size_t kExactFraction = 6;

}  // namespace

void PieceWriter::addNumber(std::string_view token) {
  // The piece was read whole, so the token is a number: a sign, digits, and
  // maybe a point and digits.
  Number n;
  n.token = token;
  const bool negative = token.front() == '-';
  const std::string_view body = token.substr(token.front() == '-' || token.front() == '+');
  const size_t point = body.find('.');
  const size_t fraction = point == std::string_view::npos ? 0 : body.size() - point - 1;
  const size_t digits = body.size() - (point == std::string_view::npos ? 0 : 1);
  n.exact = digits <= kExactDigits && fraction <= kExactFraction;
  if (n.exact) {
    for (char c : body)
      if (c != '.') n.scaled = n.scaled * 10 + (c - '0');
    for (size_t f = 0; f < fraction; ++f) n.unit *= 10;
    n.fraction = static_cast<uint8_t>(fraction);
    if (negative) n.scaled = -n.scaled;
  }
  numbers_.push_back(n);
}

void PieceWriter::cut(const maptext::Line& line) {
  CutLine cut;
  cut.firstNumber = static_cast<uint32_t>(numbers_.size());
  cut.text = line.text;
  cut.first = line.text.empty() ? '\n' : line.text.front();
  if (line.kind == LineKind::origin) {
    maptext::KeyLine key;
    maptext::splitKeyLine(line.text, key);
    for (std::string_view token : maptext::splitOrigin(key.value)) addNumber(token);
    cut.form = Form::origin;
  } else if (line.kind == LineKind::plane) {
    const maptext::PlaneLine plane = maptext::splitPlaneLine(line.text);
    for (const maptext::Point& point : plane.points)
      for (std::string_view token : point) addNumber(token);
    cut.form = Form::plane;
    cut.rest = plane.rest;
  } else if (maptext::KeyLine key;
             line.kind == LineKind::key && maptext::splitKeyLine(line.text, key)) {
    if (key.key == kDepthKey) {
      cut.form = Form::depth;
    } else if (!key.value.empty() && isNameKey(key.key, quake1_)) {
      // Room for the placement's suffix right after the value.
      const auto end = static_cast<size_t>(key.value.data() - line.text.data()) + key.value.size();
      cut.form = Form::name;
      cut.text = line.text.substr(0, end);
      cut.rest = line.text.substr(end);
    }
  }
  lines_.push_back(cut);
}

Expected<PieceWriter> PieceWriter::make(std::string text, std::string name, bool quake1) {
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
  const std::vector<bool> exits = exitEntities(piece, quake1);
  for (size_t i = 0; i < entities.size(); ++i) {
    w.roles_[i].exit = exits[i];
    w.hasExit_ = w.hasExit_ || (exits[i] && !w.roles_[i].skip);
  }

  w.quake1_ = quake1;
  w.lines_.reserve(piece.lines().size());
  w.numbers_.reserve(piece.lines().size() * 9);
  for (const maptext::Line& line : piece.lines()) w.cut(line);
  return w;
}

char* PieceWriter::writeNumber(char* p, const Number& n, int64_t offset) const {
  if (!n.exact) {
    std::string moved;
    maptext::appendMovedNumber(moved, n.token, offset);
    return std::copy(moved.begin(), moved.end(), p);
  }
  const int64_t v = n.scaled + offset * n.unit;
  uint64_t magnitude = v < 0 ? uint64_t{0} - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  if (v < 0) *p++ = '-';
  if (n.fraction == 0) return std::to_chars(p, p + 20, magnitude).ptr;
  const auto unit = static_cast<uint64_t>(n.unit);
  p = std::to_chars(p, p + 20, magnitude / unit).ptr;
  *p++ = '.';
  magnitude %= unit;
  for (int i = n.fraction - 1; i >= 0; --i) {
    p[i] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  return p + n.fraction;
}

void PieceWriter::writeLines(MapSink& out, size_t from, size_t to,
                             const std::array<int64_t, 3>& offset, std::string_view suffix) const {
  auto copy = [](char* p, std::string_view text) {
    if (!text.empty()) std::memcpy(p, text.data(), text.size());
    return p + text.size();
  };
  for (size_t i = from; i < to; ++i) {
    const CutLine& line = lines_[i];
    const Number* number = numbers_.data() + line.firstNumber;
    // Room for a number: its token and twenty digits more, and a sign.
    auto room = [&](size_t count) {
      size_t r = 0;
      for (size_t n = 0; n < count; ++n) r += number[n].token.size() + 22;
      return r;
    };
    switch (line.form) {
      case Form::depth:
        break;  // for the kit only; the games ignore it
      case Form::text:
        out.line(line.text);
        break;
      case Form::name: {
        char* p = out.beginLine(line.first, line.text.size() + suffix.size() + line.rest.size());
        p = copy(copy(copy(p, line.text), suffix), line.rest);
        out.endLine(p);
        break;
      }
      case Form::origin: {
        char* p = out.beginLine('"', 24 + room(3));
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
        char* p = out.beginLine('(', 40 + room(9) + line.rest.size());
        for (size_t point = 0; point < 3; ++point) {
          p = copy(p, point == 0 ? "(" : " (");
          for (size_t axis = 0; axis < 3; ++axis) {
            *p++ = ' ';
            p = writeNumber(p, number[point * 3 + axis], offset[axis]);
          }
          p = copy(p, " )");
        }
        out.endLine(copy(p, line.rest));
        break;
      }
    }
  }
}

void PieceWriter::writeWorld(MapSink& out, GridCoord position, const std::array<int32_t, 3>& pitch,
                             bool firstCell) const {
  const maptext::Entity* world = piece_.world();
  if (world == nullptr) {
    // The map must still begin with the world entity.
    if (firstCell) {
      out.line("{");
      out.line("\"classname\" \"worldspawn\"");
    }
    return;
  }
  const std::array<int64_t, 3> offset{int64_t{position.x} * pitch[0],
                                      int64_t{position.y} * pitch[1],
                                      int64_t{position.z} * pitch[2]};
  // The entity's own "}" is left out: the build closes the one world
  // entity itself.
  if (firstCell)
    writeLines(out, world->open, world->close, offset, {});
  else if (!world->brushes.empty())
    writeLines(out, world->brushes.front().open, world->close, offset, {});
}

void PieceWriter::writeEntities(MapSink& out, GridCoord position,
                                const std::array<int32_t, 3>& pitch,
                                const PlacementOptions& options) const {
  const std::array<int64_t, 3> offset{int64_t{position.x} * pitch[0],
                                      int64_t{position.y} * pitch[1],
                                      int64_t{position.z} * pitch[2]};
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

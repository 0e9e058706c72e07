#include "client/piece_writer.h"

#include <algorithm>
#include <charconv>

namespace cellforge {

namespace {

using maptext::LineKind;

// Keys whose value names another entity, so copies of a piece get their own.
constexpr std::array<std::string_view, 3> kNameKeys = {"target", "targetname", "killtarget"};
constexpr std::array<std::string_view, 4> kQuake2NameKeys = {"team", "pathtarget", "combattarget",
                                                             "deathtarget"};

bool isNameKey(std::string_view key, bool quake1) {
  auto in = [&](const auto& keys) {
    return std::find(keys.begin(), keys.end(), key) != keys.end();
  };
  return in(kNameKeys) || (!quake1 && in(kQuake2NameKeys));
}

// Past this many digits, or fraction digits, a token moves as text.
constexpr size_t kExactDigits = 15;
constexpr size_t kExactFraction = 6;

void appendInteger(std::string& out, uint64_t v) {
  char buf[24];
  const auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
  out.append(buf, end);
}

}  // namespace

void PieceWriter::cut(const maptext::Line& line) {
  CutLine cut;
  cut.firstOp = static_cast<uint32_t>(ops_.size());
  auto text = [&](std::string_view t) { ops_.push_back({Part::text, t, 0}); };
  auto number = [&](std::string_view token, uint8_t axis) {
    Number n;
    n.axis = axis;
    n.token = token;
    // The piece was read whole, so the token is a number: a sign, digits,
    // and maybe a point and digits.
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
    ops_.push_back({Part::number, {}, static_cast<uint32_t>(numbers_.size())});
    numbers_.push_back(n);
  };

  if (line.kind == LineKind::origin) {
    maptext::KeyLine key;
    maptext::splitKeyLine(line.text, key);
    const maptext::Point p = maptext::splitOrigin(key.value);
    text("\"origin\"        \"");
    for (uint8_t axis = 0; axis < 3; ++axis) {
      if (axis > 0) text(" ");
      number(p[axis], axis);
    }
    text("\"");
    cut.first = '"';
  } else if (line.kind == LineKind::plane) {
    const maptext::PlaneLine plane = maptext::splitPlaneLine(line.text);
    for (size_t point = 0; point < 3; ++point) {
      text(point == 0 ? "( " : " ( ");
      for (uint8_t axis = 0; axis < 3; ++axis) {
        if (axis > 0) text(" ");
        number(plane.points[point][axis], axis);
      }
      text(" )");
    }
    text(plane.rest);
    cut.first = '(';
  } else {
    maptext::KeyLine key;
    const bool isKey = line.kind == LineKind::key && maptext::splitKeyLine(line.text, key);
    cut.depthKey = isKey && key.key == kDepthKey;
    if (isKey && !key.value.empty() && isNameKey(key.key, quake1_)) {
      // Room for the placement's suffix right after the value.
      const auto end = static_cast<size_t>(key.value.data() - line.text.data()) + key.value.size();
      text(line.text.substr(0, end));
      ops_.push_back({Part::suffix, {}, 0});
      text(line.text.substr(end));
    } else {
      text(line.text);
    }
    cut.first = line.text.empty() ? '\n' : line.text.front();
  }
  cut.opCount = static_cast<uint32_t>(ops_.size()) - cut.firstOp;
  lines_.push_back(cut);
}

Expected<PieceWriter> PieceWriter::make(std::string text, std::string name, bool quake1) {
  PieceWriter w;
  w.piece_ = maptext::Piece::parse(std::move(text), std::move(name));
  const maptext::Piece& piece = w.piece_;
  const auto& entities = piece.entities();

  // What each entity is in a level, and any malformed depth, before the
  // piece's own faults: the rules are read as the piece is loaded.
  std::vector<std::string_view> changelevelNames;
  for (const maptext::Entity& e : entities) {
    EntityRole role;
    role.skip = &e == piece.world() || e.unused;
    role.playerStart = piece.isPlayerStart(e);
    role.exit =
        maptext::equalsNoCase(e.className, quake1 ? "trigger_changelevel" : "target_changelevel");
    if (role.exit && !quake1)
      if (std::string_view n = piece.value(e, "targetname"); !n.empty())
        changelevelNames.push_back(n);
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
  for (size_t i = 0; i < entities.size(); ++i) {
    EntityRole& role = w.roles_[i];
    if (role.skip) continue;
    const std::string_view target = piece.value(entities[i], "target");
    if (!target.empty() && std::find(changelevelNames.begin(), changelevelNames.end(), target) !=
                               changelevelNames.end())
      role.exit = true;
    w.hasExit_ = w.hasExit_ || role.exit;
  }

  w.quake1_ = quake1;
  for (const maptext::Line& line : piece.lines()) w.cut(line);
  return w;
}

void PieceWriter::writeLines(MapSink& out, size_t from, size_t to,
                             const std::array<int64_t, 3>& offset, std::string_view suffix) const {
  for (size_t i = from; i < to; ++i) {
    const CutLine& line = lines_[i];
    if (line.depthKey) continue;  // for the kit only; the games ignore it
    std::string& text = out.beginLine(line.first);
    for (uint32_t o = line.firstOp; o < line.firstOp + line.opCount; ++o) {
      const Op& op = ops_[o];
      if (op.part == Part::text) {
        text += op.text;
      } else if (op.part == Part::suffix) {
        text += suffix;
      } else {
        const Number& n = numbers_[op.number];
        if (!n.exact) {
          maptext::appendMovedNumber(text, n.token, offset[n.axis]);
          continue;
        }
        const int64_t v = n.scaled + offset[n.axis] * n.unit;
        const uint64_t magnitude =
            v < 0 ? uint64_t{0} - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        if (v < 0) text += '-';
        appendInteger(text, magnitude / static_cast<uint64_t>(n.unit));
        if (n.fraction > 0) {
          text += '.';
          const std::string digits = std::to_string(magnitude % static_cast<uint64_t>(n.unit));
          text.append(n.fraction - digits.size(), '0');
          text += digits;
        }
      }
    }
    out.endLine();
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

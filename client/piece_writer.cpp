#include "client/piece_writer.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <span>

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

// Map coordinates have at most four digits but in the largest grids. The
// lengths follow each other closely in a map, so branching on them beats
// any branch-free form (measured on the numbers of a 10x10x2 level).
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

char* writeNumber(char* p, int32_t packed, int64_t offset) {
  const auto fraction = static_cast<unsigned>(packed & 7);
  const int64_t v = (packed >> 3) + offset * kUnit[fraction];
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
size_t roomFor(size_t text, size_t numbers) { return text + numbers * 22 + 24; }

// The records of the code, each an op byte and its fields: sizes as
// base-128 varints, numbers as indices into the piece's values of their
// axis (ValueLists): a byte, or 0xFF and 32 bits for index 0xFF on (a
// piece's axis rarely takes more than fifty values).
//   text   size, bytes               a line written as it stands
//   name   size, value end, bytes    a key line naming an entity: the
//                                    placement's suffix goes after its value
//   origin 3 numbers                 an origin line, in the builder's spacing
//   plane  rest size, 9 numbers, rest
//   planeSameRest  9 numbers         a plane line whose rest is the last
//                                    plane line's (most faces share their
//                                    texture); never the first plane line
//                                    of a part writing starts at (the
//                                    world's key lines, its brushes, an
//                                    entity)
//   movedOrigin, movedPlane  size, bytes   numbers too long for a word,
//                                    moved digit by digit
//   keyed  kind, size, value start, value end, bytes   a key line of a
//                                    lock or key spot whose value the key's
//                                    number decides (KeyedValue)
enum class Op : uint8_t {
  text,
  name,
  origin,
  plane,
  planeSameRest,
  movedOrigin,
  movedPlane,
  keyed
};

// The values a written key changes: a key spot's class and a Quake II
// trigger_key's "item" become the key's item, a Quake door's spawnflags ask
// for the key.
enum class KeyedValue : uint8_t { itemClass, doorFlags };

// What an entity is to the keys, for its lines' records.
enum class KeyRole : uint8_t { none, lock, keySpot };

constexpr uint8_t kWideIndex = 0xFF;

// Numbers a word holds; others make the line move digit by digit.
constexpr int64_t kPackedLimit = int64_t{1} << 28;

// A record's bytes besides its line's text: an op, two varints, nine
// indices.
constexpr size_t kMostRecordBytes = 1 + 2 * 10 + 9 * 5;

bool fitsWord(const maptext::Number& n) {
  return n.scaled() >= -kPackedLimit && n.scaled() < kPackedLimit;
}

// The values the numbers of a piece take, one list per axis, each value a
// 32-bit word (value x 10^fraction, the fraction's digit count in the low
// three bits). A small cache finds values met before, so most are held
// once and a placement formats each only once; a value the cache has lost
// is simply held again.
class ValueLists {
 public:
  explicit ValueLists(std::span<std::vector<int32_t>, 3> lists) : lists_(lists) {}
  uint32_t indexOf(size_t axis, int32_t packed) {
    Slot& slot = cache_[axis][static_cast<uint32_t>(packed) * 0x9E3779B1u >> 24];
    if (slot.after != 0 && slot.value == packed) return slot.after - 1;
    const auto index = static_cast<uint32_t>(lists_[axis].size());
    slot = {packed, index + 1};
    lists_[axis].push_back(packed);
    return index;
  }

 private:
  // All zero when empty, so a new cache is cleared as one block.
  struct Slot {
    int32_t value = 0;
    uint32_t after = 0;  // the value's index + 1; 0 for none
  };
  std::span<std::vector<int32_t>, 3> lists_;
  std::array<std::array<Slot, 256>, 3> cache_{};
};

// Record writing, into a buffer the caller made large enough. The cursor
// is passed along and returned: kept in memory, every store of a byte
// (which may alias anything) would make it be read again.
char* putOp(char* p, Op op) {
  *p = static_cast<char>(op);
  return p + 1;
}

char* putVarint(char* p, size_t v) {
  for (; v >= 0x80; v >>= 7) *p++ = static_cast<char>((v & 0x7F) | 0x80);
  *p = static_cast<char>(v);
  return p + 1;
}

char* putBytes(char* p, std::string_view text) {
  if (!text.empty()) std::memcpy(p, text.data(), text.size());
  return p + text.size();
}

char* putIndex(char* p, uint32_t index) {
  const auto narrow = static_cast<uint8_t>(index < kWideIndex ? index : kWideIndex);
  std::memcpy(p, &narrow, sizeof narrow);
  p += sizeof narrow;
  if (narrow != kWideIndex) return p;
  std::memcpy(p, &index, sizeof index);
  return p + sizeof index;
}

// The records of lines [from, to) of `piece` at `p`; the end of them.
char* emitLines(char* p, ValueLists& values, const maptext::Piece& piece, size_t from, size_t to,
                Game game, KeyRole keyRole = KeyRole::none, std::string_view className = {}) {
  const std::span<const maptext::Line> lines = piece.lines();
  const maptext::Number* const numbers = piece.numbers().data();
  // Writing starts only where a call of this starts, so a rest is shared
  // only within it.
  bool haveRest = false;
  std::string_view lastRest;
  for (size_t i = from; i < to; ++i) {
    const maptext::Line& line = lines[i];
    if (line.kind == LineKind::origin || line.kind == LineKind::plane) {
      const size_t count = line.kind == LineKind::origin ? 3 : 9;
      const maptext::Number* const first = numbers + line.firstNumber;
      if (line.exact && std::all_of(first, first + count, fitsWord)) {
        const std::string_view rest = line.text.substr(line.rest);
        const bool sameRest = line.kind == LineKind::plane && haveRest && lastRest == rest;
        if (line.kind == LineKind::origin) {
          p = putOp(p, Op::origin);
        } else if (sameRest) {
          p = putOp(p, Op::planeSameRest);
        } else {
          p = putVarint(putOp(p, Op::plane), rest.size());
          lastRest = rest;
          haveRest = true;
        }
        for (size_t point = 0; point < count; point += 3)
          for (size_t axis = 0; axis < 3; ++axis) {
            const maptext::Number& n = first[point + axis];
            p = putIndex(p,
                         values.indexOf(axis, static_cast<int32_t>(n.scaled() * 8 + n.fraction())));
          }
        if (line.kind == LineKind::plane && !sameRest) p = putBytes(p, rest);
      } else {
        p = putOp(p, line.kind == LineKind::origin ? Op::movedOrigin : Op::movedPlane);
        p = putBytes(putVarint(p, line.text.size()), line.text);
      }
      continue;
    }
    maptext::KeyLine key;
    const bool isKey = line.kind == LineKind::key && maptext::splitKeyLine(line.text, key);
    // For the kit and the client only; the games ignore them.
    if (isKey && (key.key == kDepthKey || key.key == kLockKey || key.key == kKeySpotKey ||
                  key.key == kUnlockedKey))
      continue;
    std::optional<KeyedValue> keyed;
    if (isKey && keyRole == KeyRole::keySpot && key.key == "classname")
      keyed = KeyedValue::itemClass;
    if (isKey && keyRole == KeyRole::lock) {
      if (game == Game::quake2 && className == "trigger_key" && key.key == "item")
        keyed = KeyedValue::itemClass;
      if (game == Game::quake && className == "func_door" && key.key == "spawnflags")
        keyed = KeyedValue::doorFlags;
    }
    if (keyed) {
      p = putVarint(putOp(p, Op::keyed), static_cast<size_t>(*keyed));
      p = putVarint(p, line.text.size());
      p = putVarint(p, static_cast<size_t>(key.value.data() - line.text.data()));
      p = putVarint(p, static_cast<size_t>(key.value.data() - line.text.data()) + key.value.size());
      p = putBytes(p, line.text);
      continue;
    }
    if (isKey && !key.value.empty() && isNameKey(key.key, game)) {
      p = putVarint(putVarint(putOp(p, Op::name), line.text.size()),
                    static_cast<size_t>(key.value.data() - line.text.data()) + key.value.size());
    } else {
      p = putVarint(putOp(p, Op::text), line.text.size());
    }
    p = putBytes(p, line.text);
  }
  return p;
}

size_t readVarint(const char*& p) {
  size_t v = 0;
  for (unsigned shift = 0;; shift += 7) {
    const auto b = static_cast<uint8_t>(*p++);
    v |= size_t{b & 0x7fu} << shift;
    if (b < 0x80) return v;
  }
}

}  // namespace

// A list of values moved by one placement's offset and formatted, each
// once, ready to be copied into lines.
class PieceWriter::MovedValues {
 public:
  // The three lists from `lists[0]` on, of lists that `starts` cuts
  // `values` into.
  MovedValues(std::span<const int32_t> values, std::span<const size_t, 4> starts,
              const std::array<int64_t, 3>& offset) {
    texts_.resize(starts[3] - starts[0]);
    size_t at = 0;
    for (size_t axis = 0; axis < 3; ++axis) {
      first_[axis] = at;
      for (const int32_t packed : values.subspan(starts[axis], starts[axis + 1] - starts[axis])) {
        Text& t = texts_[at++];
        t.size = static_cast<uint8_t>(writeNumber(t.chars.data(), packed, offset[axis]) -
                                      t.chars.data());
      }
    }
  }

  struct Text {
    uint8_t size = 0;
    std::array<char, 23> chars{};  // a sign, 19 digits, a point: at most 21
  };
  // The values of each axis. Callers hold these in locals while they write
  // characters, which may alias anything in memory.
  std::array<const Text*, 3> axes() const {
    return {texts_.data() + first_[0], texts_.data() + first_[1], texts_.data() + first_[2]};
  }
  // `t` at `p`, which has room for 22 characters.
  static char* write(char* p, const Text& t) {
    std::memcpy(p, t.chars.data(), 16);  // nearly every value fits
    if (t.size > 16) std::memcpy(p, t.chars.data(), t.size);
    return p + t.size;
  }

 private:
  std::vector<Text> texts_;
  std::array<size_t, 3> first_{};
};

Expected<PieceWriter> PieceWriter::make(std::string text, std::string name, Game game) {
  // The model lives only while the piece is compiled: what a level keeps
  // is the code.
  const maptext::Piece piece = maptext::Piece::parse(std::move(text), std::move(name));
  const auto& entities = piece.entities();

  // What each entity is in a level, and any malformed depth, before the
  // piece's own faults: the rules are read as the piece is loaded.
  std::vector<EntityRole> roles;
  roles.reserve(entities.size());
  for (const maptext::Entity& e : entities) {
    EntityRole role;
    role.playerStart = piece.isPlayerStart(e);
    for (const maptext::Line& line : piece.linesOf(e)) {
      if (line.kind != LineKind::key) continue;
      maptext::KeyLine k;
      if (!maptext::splitKeyLine(line.text, k)) continue;
      if (k.key == kDepthKey) {
        auto range = parseDepthRange(k.value);
        if (!range) return fail(piece.at(line) + range.message());
        role.depth = *range;
      } else if (k.key == kLockKey || k.key == kUnlockedKey) {
        auto spot = parseLockSpot(k.key, k.value);
        if (!spot) return fail(piece.at(line) + spot.message());
        (k.key == kLockKey ? role.lock : role.unlocked) = *spot;
      } else if (k.key == kKeySpotKey) {
        if (k.value != "1")
          return fail(piece.at(line) + std::string(kKeySpotKey) + " \"" + std::string(k.value) +
                      "\" must be \"1\": it marks the spot where a key may lie");
        role.keySpot = true;
      }
    }
    if (role.lock && role.keySpot)
      return fail(piece.at(piece.lines()[e.open]) +
                  "an entity cannot be both a key spot and part of a door");
    if (role.unlocked && (role.lock || role.keySpot))
      return fail(piece.at(piece.lines()[e.open]) + "an entity marked " +
                  std::string(kUnlockedKey) + " is written only where its doorway is not " +
                  "locked, so it cannot be part of the lock or a key spot");
    roles.push_back(role);
  }
  if (!piece.fault().empty()) return fail(piece.fault());
  const std::vector<bool> exits = exitEntities(piece, game);

  PieceWriter w;
  w.warnings_ = piece.warnings();
  // Written into a scratch block large enough for any piece (a record
  // takes at most its line's text, an op, two varints and nine indices),
  // then kept at its own size: blocks of exact size pack the heap's pages.
  // The lines lie in the text in order, so their texts take no more than
  // the span from the first to the last.
  const std::span<const maptext::Line> lines = piece.lines();
  const size_t bound =
      lines.empty() ? 0
                    : static_cast<size_t>(lines.back().text.data() + lines.back().text.size() -
                                          lines.front().text.data()) +
                          lines.size() * kMostRecordBytes;
  const std::unique_ptr<char[]> scratch(new char[bound]);
  char* const buffer = scratch.get();
  char* p = buffer;
  auto at = [&] { return static_cast<size_t>(p - buffer); };

  // The six lists, reserved for what a piece's axis commonly takes; one
  // block holds them once they are complete.
  std::array<std::vector<int32_t>, 6> lists;
  for (std::vector<int32_t>& list : lists) list.reserve(64);
  const std::span<std::vector<int32_t>, 6> all(lists);
  const maptext::Entity* world = piece.world();
  ValueLists worldValues(all.first<3>());
  if (world != nullptr) {
    // The world's "}" is left out: the build closes the one world entity
    // itself.
    const size_t brushes = world->brushes.empty() ? world->close : world->brushes.front().open;
    p = emitLines(p, worldValues, piece, world->open, brushes, game);
    w.worldBrushes_ = at();
    p = emitLines(p, worldValues, piece, brushes, world->close, game);
    w.worldEnd_ = at();
  }
  ValueLists entityValues(all.last<3>());
  w.entities_.reserve(entities.size());
  for (size_t i = 0; i < entities.size(); ++i) {
    if (&entities[i] == world || entities[i].unused) continue;
    EntityCode code{.begin = at(), .role = roles[i]};
    const KeyRole keyRole = roles[i].keySpot ? KeyRole::keySpot
                            : roles[i].lock  ? KeyRole::lock
                                             : KeyRole::none;
    p = emitLines(p, entityValues, piece, entities[i].open, entities[i].close + 1, game, keyRole,
                  entities[i].className);
    w.hasKeySpot_ = w.hasKeySpot_ || roles[i].keySpot;
    code.end = at();
    code.role.exit = exits[i];
    w.hasExit_ = w.hasExit_ || exits[i];
    w.entities_.push_back(std::move(code));
  }
  for (size_t i = 0; i < lists.size(); ++i)
    w.valueStarts_[i + 1] = w.valueStarts_[i] + lists[i].size();
  w.values_.reserve(w.valueStarts_.back());
  for (const std::vector<int32_t>& list : lists)
    w.values_.insert(w.values_.end(), list.begin(), list.end());
  w.code_.reset(new char[at()]);
  std::memcpy(w.code_.get(), buffer, at());
  w.hasWorld_ = world != nullptr;
  w.game_ = game;
  return w;
}

bool PieceWriter::hasLock(const LockSpot& spot) const {
  return std::any_of(entities_.begin(), entities_.end(),
                     [&](const EntityCode& e) { return e.role.lock == spot; });
}

void PieceWriter::writeCode(MapSink& out, size_t begin, size_t end, const MovedValues& values,
                            const std::array<int64_t, 3>& offset, std::string_view suffix,
                            int key) const {
  auto copy = [](char* p, const char* from, size_t size) {
    if (size != 0) std::memcpy(p, from, size);
    return p + size;
  };
  auto index = [](const char*& p) {
    uint8_t narrow = 0;
    std::memcpy(&narrow, p, sizeof narrow);
    p += sizeof narrow;
    if (narrow != kWideIndex) return uint32_t{narrow};
    uint32_t wide = 0;
    std::memcpy(&wide, p, sizeof wide);
    p += sizeof wide;
    return wide;
  };
  std::string_view lastRest;
  // In plain locals, not an array: a store of a character may alias an
  // array in memory, which would then be read again for every number.
  const std::array<const MovedValues::Text*, 3> axes = values.axes();
  const MovedValues::Text* const xs = axes[0];
  const MovedValues::Text* const ys = axes[1];
  const MovedValues::Text* const zs = axes[2];
  std::string moved;
  const char* p = code_.get() + begin;
  const char* const stop = code_.get() + end;
  while (p < stop) {
    switch (static_cast<Op>(*p++)) {
      case Op::text: {
        const size_t size = readVarint(p);
        out.line(std::string_view(p, size));
        p += size;
        break;
      }
      case Op::name: {
        const size_t size = readVarint(p);
        const size_t valueEnd = readVarint(p);
        char* o = out.beginLine('"', size + suffix.size());
        o = copy(o, p, valueEnd);
        o = copy(o, suffix.data(), suffix.size());
        out.endLine(copy(o, p + valueEnd, size - valueEnd));
        p += size;
        break;
      }
      case Op::origin: {
        char* o = out.beginLine('"', roomFor(0, 3));
        o = copy(o, "\"origin\"        \"", 17);
        o = MovedValues::write(o, xs[index(p)]);
        *o++ = ' ';
        o = MovedValues::write(o, ys[index(p)]);
        *o++ = ' ';
        o = MovedValues::write(o, zs[index(p)]);
        *o++ = '"';
        out.endLine(o);
        break;
      }
      case Op::plane:
      case Op::planeSameRest: {
        const bool sameRest = static_cast<Op>(p[-1]) == Op::planeSameRest;
        const size_t restSize = sameRest ? lastRest.size() : readVarint(p);
        char* o = out.beginLine('(', roomFor(restSize, 9));
        for (size_t point = 0; point < 3; ++point) {
          o = point == 0 ? copy(o, "( ", 2) : copy(o, " ( ", 3);
          o = MovedValues::write(o, xs[index(p)]);
          *o++ = ' ';
          o = MovedValues::write(o, ys[index(p)]);
          *o++ = ' ';
          o = MovedValues::write(o, zs[index(p)]);
          o = copy(o, " )", 2);
        }
        if (!sameRest) {
          lastRest = std::string_view(p, restSize);
          p += restSize;
        }
        out.endLine(copy(o, lastRest.data(), lastRest.size()));
        break;
      }
      case Op::keyed: {
        const auto what = static_cast<KeyedValue>(readVarint(p));
        const size_t size = readVarint(p);
        const size_t valueStart = readVarint(p);
        const size_t valueEnd = readVarint(p);
        const KeyKind& kind = keyKind(game_, key);
        std::string value(kind.itemClass);
        if (what == KeyedValue::doorFlags) {
          // The door's other flags stay; of the two key flags, this key's.
          int64_t flags = 0;
          std::from_chars(p + valueStart, p + valueEnd, flags);
          flags = (flags & ~int64_t{8 | 16}) | kind.doorFlag;
          value = std::to_string(flags);
        }
        moved.assign(p, valueStart).append(value).append(p + valueEnd, size - valueEnd);
        out.line(moved);
        p += size;
        break;
      }
      case Op::movedOrigin:
      case Op::movedPlane: {
        const bool origin = static_cast<Op>(p[-1]) == Op::movedOrigin;
        const size_t size = readVarint(p);
        const maptext::Line line{.kind = origin ? LineKind::origin : LineKind::plane,
                                 .text = std::string_view(p, size)};
        moved.clear();
        maptext::appendMovedLine(moved, line, offset);
        out.line(moved);
        p += size;
        break;
      }
    }
  }
}

void PieceWriter::writeWorld(MapSink& out, GridCoord position, bool firstCell) const {
  if (!hasWorld_) {
    // The map must still begin with the world entity.
    if (firstCell) {
      out.line("{");
      out.line("\"classname\" \"worldspawn\"");
    }
    return;
  }
  const std::array<int64_t, 3> offset = offsetOf(position);
  writeCode(out, firstCell ? 0 : worldBrushes_, worldEnd_,
            MovedValues(values_, std::span(valueStarts_).first<4>(), offset), offset, {});
}

void PieceWriter::writeEntities(MapSink& out, GridCoord position,
                                const PlacementOptions& options) const {
  const std::array<int64_t, 3> offset = offsetOf(position);
  const MovedValues values(values_, std::span(valueStarts_).last<4>(), offset);
  for (const EntityCode& e : entities_) {
    const EntityRole& role = e.role;
    if ((role.playerStart && !options.keepStart) || (role.exit && !options.keepExit)) continue;
    if (role.depth && !(options.depth && role.depth->contains(*options.depth))) continue;
    int key = 0;
    if (role.keySpot) {
      if (options.key == 0) continue;
      key = options.key;
    }
    const auto lockOf = [&](const LockSpot& spot) {
      return std::find_if(options.locks.begin(), options.locks.end(),
                          [&](const auto& l) { return l.spot == spot; });
    };
    if (role.lock) {
      const auto lock = lockOf(*role.lock);
      if (lock == options.locks.end()) continue;
      key = lock->key;
    }
    if (role.unlocked && lockOf(*role.unlocked) != options.locks.end()) continue;
    writeCode(out, e.begin, e.end, values, offset, options.nameSuffix, key);
  }
}

}  // namespace cellforge

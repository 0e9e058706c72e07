#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

// One reading of a piece text, shared by the map builder and the kit check:
// entities, their key lines, their brushes and the brushes' plane lines, each
// with its line number. Numbers stay the decimal tokens the author wrote, and
// the texture part of a plane line stays byte for byte, so a piece moved by
// whole cells is written exactly.
namespace cellforge::maptext {

// A number token: an optional sign, digits, and optionally a point and
// digits.
bool isNumber(std::string_view token);
// A number as the map builder moves it: its value times 10^fraction, so a
// move by whole units is integer arithmetic. Only tokens of at most 15
// digits, 6 of them after the point, are held so (see Line::exact).
class Number {
 public:
  Number() = default;
  Number(int64_t scaled, unsigned fraction) : bits_(scaled * 8 + static_cast<int64_t>(fraction)) {}
  int64_t scaled() const { return bits_ >> 3; }
  unsigned fraction() const { return static_cast<unsigned>(bits_ & 7); }

 private:
  // One word a number: pieces hold many. Left unset by the default
  // constructor, so a piece's numbers are written only once, as read.
  int64_t bits_;
};

// The token moved by a whole number of map units: exact, keeping as many
// fraction digits as the token had.
Expected<std::string> moveNumber(std::string_view token, int64_t offset);
// The same for a token known to be a number, appended to `out`.
void appendMovedNumber(std::string& out, std::string_view number, int64_t offset);
// The token's value (nearest double).
double numberValue(std::string_view number);

// The words of `text`: runs of characters between blanks and tabs.
std::vector<std::string_view> splitWords(std::string_view text);

// A key line: a double quote, the key up to the next double quote, then the
// next quoted text (to the end of the line when it is never closed) as the
// value. False for any line not starting with a double quote or whose key
// never closes.
struct KeyLine {
  std::string_view key;
  std::string_view value;
};
bool splitKeyLine(std::string_view line, KeyLine& out);

// A plane line: three points "( x y z )", then the rest of the line kept
// exactly (texture and its values). Only for lines of kind plane.
using Point = std::array<std::string_view, 3>;
struct PlaneLine {
  std::array<Point, 3> points;
  std::string_view rest;
  // The first word of the rest, and the words after it.
  std::string_view texture() const;
  std::vector<std::string_view> values() const;
};
PlaneLine splitPlaneLine(std::string_view line);

// The three numbers of an origin line's value (words after the third are
// not part of the map). Only for lines of kind origin.
Point splitOrigin(std::string_view value);

// What a line is, by the builder's rules: a line starting with "{" or "}"
// opens or closes a brace group; a key line whose key is exactly "origin"
// is an origin line; a line starting with "(" is a plane line; any other
// line (comments, blanks, other key lines too: kind key) is kept as text.
enum class LineKind : uint8_t { open, close, key, origin, plane, text };

struct Line {
  LineKind kind = LineKind::text;
  // An origin or plane line of a sound piece whose numbers are all held in
  // Piece::numbers(), from firstNumber on (three for an origin, nine for a
  // plane); other such lines move digit by digit (appendMovedLine).
  bool exact = false;
  size_t number = 0;      // in the file, from 1
  std::string_view text;  // trimmed; points into the piece's own copy
  uint32_t firstNumber = 0;
  uint32_t rest = 0;  // an exact plane line's texture part starts here
};

// A brush: the lines from its "{" (one level inside an entity) to the "}"
// that closes it, as indices into Piece::lines().
struct Brush {
  size_t open = 0, close = 0;
};

// An entity: one top-level brace group, from its "{" to its "}".
struct Entity {
  size_t open = 0, close = 0;      // indices into Piece::lines()
  std::span<const Brush> brushes;  // held by the piece
  // The value of its first key line whose key is exactly "classname", at
  // any depth; empty when there is none.
  std::string_view className;
  // A worldspawn after the first one: the map never holds it, so its lines
  // are neither checked nor written.
  bool unused = false;
};

bool equalsNoCase(std::string_view a, std::string_view b);

class Piece {
 public:
  // Reads `text`. `name` is what messages call the piece text. Fails, naming
  // the line, on the first line the map could not hold: an origin line
  // without three numbers, a plane line without three points of three
  // numbers, a token that is not a number. Lines are taken in the order the
  // map is written: the world entity's first, then the others.
  static Expected<Piece> read(std::string text, std::string name);
  // The same, keeping the piece whatever its fault: fault() is read's
  // message, empty when there is none. Lines of kind origin or plane are
  // sound only without a fault.
  static Piece parse(std::string text, std::string name);
  const std::string& fault() const { return fault_; }

  const std::string& name() const { return name_; }
  // Every line of every entity, in file order; lines outside any entity are
  // not part of the map and not kept.
  std::span<const Line> lines() const { return lines_; }
  std::span<const Line> linesOf(const Entity& e) const;
  std::span<const Line> linesOf(const Brush& b) const;
  // The numbers of the exact origin and plane lines (see Line::exact).
  std::span<const Number> numbers() const { return {numbers_.get(), numberCount_}; }
  const std::vector<Entity>& entities() const { return entities_; }
  // Unbalanced braces, one line each naming the file and line: what they cut
  // off is in no entity, so the map would lack it.
  const std::vector<std::string>& warnings() const { return warnings_; }
  // The first entity whose class is worldspawn (any case), or none.
  const Entity* world() const { return world_ < entities_.size() ? &entities_[world_] : nullptr; }
  bool isPlayerStart(const Entity& e) const;
  // The entity's last key line with exactly this key (any depth), which is
  // the one the games keep, and its value; none when absent.
  const Line* keyLine(const Entity& e, std::string_view key) const;
  std::string_view value(const Entity& e, std::string_view key) const;
  // "name:number: " for messages.
  std::string at(const Line& line) const;

 private:
  std::shared_ptr<const std::string> text_;  // the lines point into it
  std::string name_;
  std::vector<Line> lines_;
  std::vector<Entity> entities_;
  std::vector<Brush> brushes_;  // every entity's, in file order
  std::unique_ptr<Number[]> numbers_;
  size_t numberCount_ = 0;
  std::vector<std::string> warnings_;
  std::string fault_;
  size_t world_ = SIZE_MAX;
};

// Why the map could not hold `line`: an origin line without three numbers,
// a plane line without three points of three numbers, a token that is not
// a number. Empty when it can, and for every other kind of line.
std::string lineFault(const Line& line);

// The line written for `line` with its piece moved by `offset` units:
// origin and plane lines with every number moved (an origin line in the
// builder's own spacing), any other line as it stands.
void appendMovedLine(std::string& out, const Line& line, const std::array<int64_t, 3>& offset);

// True when `name` stays inside the source folder: not empty, not absolute,
// no drive letter, no ".." component (either separator counts).
bool isSafePieceName(std::string_view name);

}  // namespace cellforge::maptext

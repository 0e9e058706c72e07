#include "maptext/piece_model.h"

#include <algorithm>
#include <cstdlib>

namespace cellforge::maptext {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view stripZeros(std::string_view digits) {
  while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
  return digits;
}

// Magnitudes as decimal digit strings, most significant first.
int compareMagnitude(std::string_view a, std::string_view b) {
  a = stripZeros(a);
  b = stripZeros(b);
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

std::string addMagnitude(std::string_view a, std::string_view b) {
  std::string sum;
  int carry = 0;
  for (size_t i = 0; i < std::max(a.size(), b.size()) || carry; ++i) {
    int d = carry;
    if (i < a.size()) d += a[a.size() - 1 - i] - '0';
    if (i < b.size()) d += b[b.size() - 1 - i] - '0';
    sum.push_back(static_cast<char>('0' + d % 10));
    carry = d / 10;
  }
  std::reverse(sum.begin(), sum.end());
  return sum;
}

// a - b for a >= b.
std::string subtractMagnitude(std::string_view a, std::string_view b) {
  std::string diff;
  int borrow = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    int d = a[a.size() - 1 - i] - '0' - borrow;
    if (i < b.size()) d -= b[b.size() - 1 - i] - '0';
    borrow = d < 0 ? 1 : 0;
    diff.push_back(static_cast<char>('0' + (d + 10) % 10));
  }
  std::reverse(diff.begin(), diff.end());
  return diff;
}

// Reads the longest number from p on; the end of it, or null when no number
// starts there. `exact` tells whether `out` holds it. Bounded, it stops at
// `end`; unbounded, it relies on the character at `end` being no digit and
// no point (see scanPlane).
template <bool kBounded>
inline const char* scanNumber(const char* p, const char* end, Number& out, bool& exact) {
  constexpr size_t kExactDigits = 15;
  constexpr size_t kExactFraction = 6;
  auto more = [&] { return !kBounded || p < end; };
  const bool negative = more() && *p == '-';
  if (negative || (more() && *p == '+')) ++p;
  uint64_t value = 0;  // wraps for long tokens, which are not exact
  const char* const digits = p;
  for (; more() && isDigit(*p); ++p) value = value * 10 + static_cast<uint64_t>(*p - '0');
  if (p == digits) return nullptr;
  size_t count = static_cast<size_t>(p - digits);
  size_t fraction = 0;
  if (more() && *p == '.') [[unlikely]] {  // map coordinates are mostly whole
    const char* const fracStart = ++p;
    for (; more() && isDigit(*p); ++p) value = value * 10 + static_cast<uint64_t>(*p - '0');
    fraction = static_cast<size_t>(p - fracStart);
    if (fraction == 0) return nullptr;
    count += fraction;
  }
  exact = count <= kExactDigits && fraction <= kExactFraction;
  if (exact) [[likely]] {
    const auto v = static_cast<int64_t>(value);
    out = Number(negative ? -v : v, static_cast<unsigned>(fraction));
  }
  return p;
}

std::string_view nextWord(std::string_view s, size_t& p) {
  while (p < s.size() && isBlank(s[p])) ++p;
  const size_t start = p;
  while (p < s.size() && !isBlank(s[p])) ++p;
  return s.substr(start, p - start);
}

std::string notANumber(std::string_view token) {
  return "\"" + std::string(token) + "\" is not a number";
}

// The cause when an origin value would not move, else empty.
std::string originFault(std::string_view value) {
  size_t p = 0;
  for (int axis = 0; axis < 3; ++axis) {
    const std::string_view token = nextWord(value, p);
    if (token.empty()) return "origin line needs three numbers";
    if (!isNumber(token)) return notANumber(token);
  }
  return {};
}

// Walks a plane line's three points the way the builder does, handing each
// number token to `number`; the offset just past the third ")", or npos.
template <class F>
size_t walkPlane(std::string_view line, F&& number) {
  size_t p = 0;
  auto skipBlanks = [&] {
    while (p < line.size() && isBlank(line[p])) ++p;
  };
  for (size_t point = 0; point < 3; ++point) {
    skipBlanks();
    if (p >= line.size() || line[p] != '(') return std::string_view::npos;
    ++p;
    for (size_t axis = 0; axis < 3; ++axis) {
      skipBlanks();
      const size_t start = p;
      while (p < line.size() && !isBlank(line[p]) && line[p] != '(' && line[p] != ')') ++p;
      if (p == start) return std::string_view::npos;
      if (!number(point, axis, line.substr(start, p - start))) return std::string_view::npos;
    }
    skipBlanks();
    if (p >= line.size() || line[p] != ')') return std::string_view::npos;
    ++p;
  }
  return p;
}

std::string planeFault(std::string_view line) {
  std::string fault;
  const size_t end = walkPlane(line, [&](size_t, size_t, std::string_view token) {
    if (isNumber(token)) return true;
    fault = notANumber(token);
    return false;
  });
  if (!fault.empty()) return fault;
  if (end == std::string_view::npos) return "plane line needs three points of three numbers";
  return {};
}

// What may follow a number on a plane line (or its end).
constexpr std::array<bool, 256> kEndsNumber = [] {
  std::array<bool, 256> ends{};
  ends[' '] = ends['\t'] = ends['('] = ends[')'] = true;
  return ends;
}();

// Reads a plane line's nine numbers into `numbers`, walkPlane's grammar in
// one pass (a number must end where its word does); the offset just past
// the third ")", or null. `exact` tells whether every number is held.
//
// The line is a trimmed line of a piece's text, so the character at its
// end is a trimmed blank, a line break or the text's closing NUL: never a
// digit, a point or a parenthesis. The scan stops on it without checking
// the end, which the grammar cannot pass. (Reading a word of digits at a
// time was tried: slower on real pieces, whose number lengths the branch
// predictor learns.)
const char* scanPlane(const char* p, const char* end, Number* out, bool& exact) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  exact = true;
  for (size_t point = 0; point < 3; ++point) {
    while (blank(*p)) ++p;
    if (*p++ != '(') return nullptr;
    for (size_t axis = 0; axis < 3; ++axis) {
      // Numbers are mostly set off by one blank: that case takes no loop.
      if (*p == ' ' && !blank(p[1]))
        ++p;
      else
        while (blank(*p)) ++p;
      bool held = false;
      p = scanNumber<false>(p, end, *out++, held);
      if (p == nullptr || (!kEndsNumber[static_cast<unsigned char>(*p)] && p != end))
        return nullptr;
      exact = exact && held;
    }
    while (blank(*p)) ++p;
    if (*p++ != ')') return nullptr;
  }
  return p <= end ? p : nullptr;
}

// Reads the numbers of an origin or plane line into out[count...], which
// has room for nine, and counts them in when the line is exact (and sets
// firstNumber and rest). False, with nothing counted, when the line would
// not move (lineFault says why).
bool readLineNumbers(Line& line, Number* out, size_t& count) {
  bool exact = true;
  size_t read = 0;
  const char* const begin = line.text.data();
  const char* const end = begin + line.text.size();
  const char* p = begin;
  if (line.kind == LineKind::plane) {
    p = scanPlane(p, end, out + count, exact);
    if (p == nullptr) return false;
    read = 9;
  } else {
    KeyLine key;
    splitKeyLine(line.text, key);
    size_t at = 0;
    bool held = false;
    for (int axis = 0; axis < 3; ++axis) {
      const std::string_view word = nextWord(key.value, at);
      const char* const wordEnd = word.data() + word.size();
      if (word.empty() ||
          scanNumber<true>(word.data(), wordEnd, out[count + read++], held) != wordEnd)
        return false;
      exact = exact && held;
    }
  }
  const auto rest = static_cast<size_t>(p - begin);
  line.exact = exact && rest <= UINT32_MAX && count + read <= UINT32_MAX;
  if (line.exact) {
    line.firstNumber = static_cast<uint32_t>(count);
    line.rest = static_cast<uint32_t>(rest);
    count += read;
  }
  return true;
}

}  // namespace

bool isNumber(std::string_view token) {
  Number scratch;
  bool exact = false;
  const char* const end = token.data() + token.size();
  return !token.empty() && scanNumber<true>(token.data(), end, scratch, exact) == end;
}

void appendMovedNumber(std::string& out, std::string_view token, int64_t offset) {
  size_t p = 0;
  bool negative = false;
  if (token[p] == '-' || token[p] == '+') negative = token[p++] == '-';
  const size_t dot = token.find('.', p);
  std::string digits(
      token.substr(p, dot == std::string_view::npos ? std::string_view::npos : dot - p));
  const size_t fraction = dot == std::string_view::npos ? 0 : token.size() - dot - 1;
  if (fraction > 0) digits += token.substr(dot + 1);

  const bool offsetNegative = offset < 0;
  const uint64_t offsetMagnitude =
      offsetNegative ? uint64_t{0} - static_cast<uint64_t>(offset) : static_cast<uint64_t>(offset);
  const std::string shift = std::to_string(offsetMagnitude) + std::string(fraction, '0');

  std::string magnitude;
  bool resultNegative = negative;
  if (negative == offsetNegative) {
    magnitude = addMagnitude(digits, shift);
  } else if (compareMagnitude(digits, shift) >= 0) {
    magnitude = subtractMagnitude(digits, shift);
  } else {
    magnitude = subtractMagnitude(shift, digits);
    resultNegative = offsetNegative;
  }

  if (magnitude.size() < fraction + 1) magnitude.insert(0, fraction + 1 - magnitude.size(), '0');
  const std::string_view all(magnitude);
  const std::string_view whole = stripZeros(all.substr(0, all.size() - fraction));
  const bool zero = std::all_of(all.begin(), all.end(), [](char c) { return c == '0'; });
  if (resultNegative && !zero) out += '-';
  out += whole;
  if (fraction > 0) {
    out += '.';
    out += all.substr(all.size() - fraction);
  }
}

Expected<std::string> moveNumber(std::string_view token, int64_t offset) {
  if (!isNumber(token)) return fail(notANumber(token));
  std::string out;
  appendMovedNumber(out, token, offset);
  return out;
}

double numberValue(std::string_view number) {
  return std::strtod(std::string(number).c_str(), nullptr);
}

bool splitKeyLine(std::string_view line, KeyLine& out) {
  if (line.empty() || line.front() != '"') return false;
  const size_t keyEnd = line.find('"', 1);
  if (keyEnd == std::string_view::npos) return false;
  out.key = line.substr(1, keyEnd - 1);
  out.value = {};
  const size_t valueStart = line.find('"', keyEnd + 1);
  if (valueStart != std::string_view::npos) {
    const size_t valueEnd = line.find('"', valueStart + 1);
    out.value =
        line.substr(valueStart + 1, valueEnd == std::string_view::npos ? std::string_view::npos
                                                                       : valueEnd - valueStart - 1);
  }
  return true;
}

std::string_view PlaneLine::texture() const {
  size_t p = 0;
  return nextWord(rest, p);
}

std::vector<std::string_view> splitWords(std::string_view text) {
  std::vector<std::string_view> words;
  size_t p = 0;
  for (std::string_view w = nextWord(text, p); !w.empty(); w = nextWord(text, p))
    words.push_back(w);
  return words;
}

std::vector<std::string_view> PlaneLine::values() const {
  std::vector<std::string_view> words = splitWords(rest);
  if (!words.empty()) words.erase(words.begin());  // the texture
  return words;
}

PlaneLine splitPlaneLine(std::string_view line) {
  PlaneLine plane;
  const size_t end = walkPlane(line, [&](size_t point, size_t axis, std::string_view token) {
    plane.points[point][axis] = token;
    return true;
  });
  if (end != std::string_view::npos) plane.rest = line.substr(end);
  return plane;
}

Point splitOrigin(std::string_view value) {
  Point numbers;
  size_t p = 0;
  for (std::string_view& n : numbers) n = nextWord(value, p);
  return numbers;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char l, char r) {
    auto up = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    return up(l) == up(r);
  });
}

Expected<Piece> Piece::read(std::string text, std::string name) {
  Piece piece = parse(std::move(text), std::move(name));
  if (!piece.fault_.empty()) return fail(piece.fault_);
  return piece;
}

Piece Piece::parse(std::string text, std::string name) {
  Piece piece;
  piece.text_ = std::make_shared<const std::string>(std::move(text));
  piece.name_ = std::move(name);
  std::string_view rest(*piece.text_);
  // Room for lines of 16 bytes on average (a piece's are longer), so the
  // lines are not moved as they come; pages never written are never
  // touched.
  piece.lines_.reserve(rest.size() / 16 + 16);
  // Likewise for entities and brushes, which are fewer still.
  piece.entities_.reserve(rest.size() / 512 + 8);
  piece.brushes_.reserve(rest.size() / 256 + 8);
  // Numbers are read as their lines come, into room for the most a text
  // of this size can hold: nine on each line of at least 21 characters,
  // "(0 0 0)(0 0 0)(0 0 0)" (an origin line holds fewer).
  piece.numbers_ = std::make_unique_for_overwrite<Number[]>(9 * (rest.size() / 21 + 1));

  // Top-level groups by the first character of each trimmed line: a group
  // opens on "{" at depth 0 and ends on the "}" that brings it back to 0.
  // Lines are sorted into kinds, brushes and classes as they come.
  size_t number = 0;
  int depth = 0;
  bool strayReported = false;
  Entity entity;  // the group being read
  bool haveClass = false;
  size_t brushOpen = 0;
  // The first line of each entity that would not move, if any, and where
  // its brushes start in brushes_.
  size_t entityFault = SIZE_MAX;
  std::vector<size_t> faults;
  std::vector<size_t> firstBrushes;
  faults.reserve(piece.entities_.capacity());
  firstBrushes.reserve(piece.entities_.capacity());
  size_t firstBrush = 0;
  while (!rest.empty()) {
    bool closesEntity = false;
    const size_t end = rest.find('\n');
    Line line{.kind = LineKind::text, .number = ++number, .text = trim(rest.substr(0, end))};
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    const char first = line.text.empty() ? '\0' : line.text.front();
    if (first == '{') {
      line.kind = LineKind::open;
      if (++depth == 1) {
        entity = Entity{};
        entity.open = piece.lines_.size();
        haveClass = false;
        entityFault = SIZE_MAX;
        firstBrush = piece.brushes_.size();
      } else if (depth == 2) {
        brushOpen = piece.lines_.size();
      }
    } else if (first == '}') {
      line.kind = LineKind::close;
      --depth;
      closesEntity = depth == 0;
      if (depth == 1) piece.brushes_.push_back({brushOpen, piece.lines_.size()});
      if (depth < 0 && !strayReported) {
        strayReported = true;
        piece.warnings_.push_back(piece.name_ + ":" + std::to_string(line.number) +
                                  ": this \"}\" closes no entity, so the entities after it are "
                                  "left out of the map (until an extra \"{\" balances it)");
      }
    } else if (depth > 0) {
      KeyLine key;
      if (first == '(') {
        line.kind = LineKind::plane;
      } else if (splitKeyLine(line.text, key)) {
        line.kind = key.key == "origin" ? LineKind::origin : LineKind::key;
        if (!haveClass && key.key == "classname") {
          entity.className = key.value;
          haveClass = true;
        }
      }
      if ((line.kind == LineKind::plane || line.kind == LineKind::origin) &&
          !readLineNumbers(line, piece.numbers_.get(), piece.numberCount_) &&
          entityFault == SIZE_MAX)
        entityFault = piece.lines_.size();
    }
    if (depth <= 0 && !closesEntity) continue;
    piece.lines_.push_back(line);
    if (!closesEntity) continue;
    entity.close = piece.lines_.size() - 1;
    if (equalsNoCase(entity.className, "worldspawn")) {
      if (piece.world_ == SIZE_MAX) {
        piece.world_ = piece.entities_.size();
      } else {
        // The map never holds it, so it may hold anything: what
        // would not move is plain text there.
        entity.unused = true;
        entityFault = SIZE_MAX;
        for (size_t i = entity.open; i <= entity.close; ++i) {
          Line& l = piece.lines_[i];
          std::array<Number, 9> scratch;
          size_t none = 0;
          if ((l.kind == LineKind::plane || l.kind == LineKind::origin) &&
              !readLineNumbers(l, scratch.data(), none))
            l.kind = LineKind::text;
          l.exact = false;
        }
      }
    }
    piece.entities_.push_back(std::move(entity));
    faults.push_back(entityFault);
    firstBrushes.push_back(firstBrush);
  }
  if (depth > 0) {
    piece.warnings_.push_back(piece.name_ + ":" + std::to_string(piece.lines_[entity.open].number) +
                              ": the entity opened here is never closed (a \"}\" is missing); "
                              "it is left out of the map");
    piece.lines_.resize(entity.open);
    piece.brushes_.resize(firstBrush);
  }
  // The brushes stay where they are from here on.
  for (size_t e = 0; e < piece.entities_.size(); ++e) {
    const size_t end = e + 1 < firstBrushes.size() ? firstBrushes[e + 1] : piece.brushes_.size();
    piece.entities_[e].brushes =
        std::span<const Brush>(piece.brushes_).subspan(firstBrushes[e], end - firstBrushes[e]);
  }

  // The piece's fault is the first line that would not move in the order
  // the map is written: the world's lines, then the other entities'.
  auto report = [&](size_t e) {
    if (faults[e] == SIZE_MAX) return false;
    const Line& line = piece.lines_[faults[e]];
    piece.fault_ = piece.at(line) + lineFault(line);
    return true;
  };
  if (piece.world_ != SIZE_MAX && report(piece.world_)) return piece;
  for (size_t e = 0; e < piece.entities_.size(); ++e)
    if (e != piece.world_ && report(e)) return piece;
  return piece;
}

std::span<const Line> Piece::linesOf(const Entity& e) const {
  return std::span<const Line>(lines_).subspan(e.open, e.close - e.open + 1);
}

std::span<const Line> Piece::linesOf(const Brush& b) const {
  return std::span<const Line>(lines_).subspan(b.open, b.close - b.open + 1);
}

bool Piece::isPlayerStart(const Entity& e) const {
  return equalsNoCase(e.className, "info_player_start");
}

const Line* Piece::keyLine(const Entity& e, std::string_view key) const {
  const Line* found = nullptr;
  for (const Line& line : linesOf(e)) {
    KeyLine k;
    if ((line.kind == LineKind::key || line.kind == LineKind::origin) &&
        splitKeyLine(line.text, k) && k.key == key)
      found = &line;
  }
  return found;
}

std::string_view Piece::value(const Entity& e, std::string_view key) const {
  const Line* line = keyLine(e, key);
  KeyLine k;
  if (line == nullptr || !splitKeyLine(line->text, k)) return {};
  return k.value;
}

std::string Piece::at(const Line& line) const {
  return name_ + ":" + std::to_string(line.number) + ": ";
}

std::string lineFault(const Line& line) {
  if (line.kind == LineKind::plane) return planeFault(line.text);
  KeyLine key;
  if (line.kind == LineKind::origin && splitKeyLine(line.text, key)) return originFault(key.value);
  return {};
}

void appendMovedLine(std::string& out, const Line& line, const std::array<int64_t, 3>& offset) {
  if (line.kind == LineKind::origin) {
    KeyLine key;
    splitKeyLine(line.text, key);
    const Point numbers = splitOrigin(key.value);
    out += "\"origin\"        \"";
    for (size_t axis = 0; axis < 3; ++axis) {
      if (axis > 0) out += ' ';
      appendMovedNumber(out, numbers[axis], offset[axis]);
    }
    out += '"';
  } else if (line.kind == LineKind::plane) {
    const PlaneLine plane = splitPlaneLine(line.text);
    for (size_t point = 0; point < 3; ++point) {
      out += point == 0 ? "(" : " (";
      for (size_t axis = 0; axis < 3; ++axis) {
        out += ' ';
        appendMovedNumber(out, plane.points[point][axis], offset[axis]);
      }
      out += " )";
    }
    out += plane.rest;
  } else {
    out += line.text;
  }
}

bool isSafePieceName(std::string_view name) {
  if (name.empty() || name.front() == '/' || name.front() == '\\') return false;
  if (name.size() >= 2 && name[1] == ':') return false;  // a drive letter
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = name.size();
    if (name.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

}  // namespace cellforge::maptext

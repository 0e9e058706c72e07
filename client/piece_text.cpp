#include "client/piece_text.h"

#include <algorithm>

#include "platform/platform.h"

namespace cellforge {

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

bool equalsNoCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char l, char r) {
    auto up = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    return up(l) == up(r);
  });
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

std::string_view nextWord(std::string_view s, size_t& p) {
  while (p < s.size() && isBlank(s[p])) ++p;
  const size_t start = p;
  while (p < s.size() && !isBlank(s[p])) ++p;
  return s.substr(start, p - start);
}

std::string quoted(std::string_view token) { return "\"" + std::string(token) + "\""; }

Expected<std::string> translateOrigin(std::string_view value,
                                      const std::array<int64_t, 3>& offset) {
  std::string out = "\"origin\"        \"";
  size_t p = 0;
  for (size_t axis = 0; axis < 3; ++axis) {
    const std::string_view token = nextWord(value, p);
    if (token.empty()) return fail("origin line needs three numbers");
    auto moved = moveNumber(token, offset[axis]);
    if (!moved) return moved.error();
    if (axis > 0) out += ' ';
    out += *moved;
  }
  // Anything after the third number is dropped, as the map form has room
  // for three only.
  out += '"';
  return out;
}

Expected<std::string> translatePlane(std::string_view line, const std::array<int64_t, 3>& offset) {
  const Error malformed = fail("plane line needs three points of three numbers");
  std::string out;
  size_t p = 0;
  auto skipBlanks = [&] {
    while (p < line.size() && isBlank(line[p])) ++p;
  };
  for (int point = 0; point < 3; ++point) {
    skipBlanks();
    if (p >= line.size() || line[p] != '(') return malformed;
    ++p;
    out += point == 0 ? "(" : " (";
    for (size_t axis = 0; axis < 3; ++axis) {
      skipBlanks();
      const size_t start = p;
      while (p < line.size() && !isBlank(line[p]) && line[p] != '(' && line[p] != ')') ++p;
      if (p == start) return malformed;
      auto moved = moveNumber(line.substr(start, p - start), offset[axis]);
      if (!moved) return moved.error();
      out += ' ';
      out += *moved;
    }
    skipBlanks();
    if (p >= line.size() || line[p] != ')') return malformed;
    ++p;
    out += " )";
  }
  // The texture part stays exactly as it stood.
  out += line.substr(p);
  return out;
}

}  // namespace

Expected<std::string> moveNumber(std::string_view token, int64_t offset) {
  size_t p = 0;
  bool negative = false;
  if (p < token.size() && (token[p] == '-' || token[p] == '+')) negative = token[p++] == '-';
  const size_t intStart = p;
  while (p < token.size() && isDigit(token[p])) ++p;
  std::string digits(token.substr(intStart, p - intStart));
  size_t fraction = 0;
  bool valid = !digits.empty();
  if (valid && p < token.size() && token[p] == '.') {
    const size_t fracStart = ++p;
    while (p < token.size() && isDigit(token[p])) ++p;
    fraction = p - fracStart;
    digits += token.substr(fracStart, fraction);
    valid = fraction > 0;
  }
  if (!valid || p != token.size()) return fail(quoted(token) + " is not a number");

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
  std::string out;
  if (resultNegative && !zero) out += '-';
  out += whole;
  if (fraction > 0) {
    out += '.';
    out += all.substr(all.size() - fraction);
  }
  return out;
}

bool parseKeyLine(std::string_view line, KeyLine& out) {
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

Expected<std::string> translateLine(std::string_view line, const std::array<int64_t, 3>& offset) {
  KeyLine key;
  if (parseKeyLine(line, key) && key.key == "origin") return translateOrigin(key.value, offset);
  if (!line.empty() && line.front() == '(') return translatePlane(line, offset);
  return std::string(line);
}

std::string className(const PieceBlock& block) {
  for (const PieceLine& line : block) {
    KeyLine key;
    if (parseKeyLine(line.text, key) && key.key == "classname") return std::string(key.value);
  }
  return {};
}

void PieceText::read(std::string_view text, std::string name) {
  name_ = std::move(name);
  lines_.clear();
  size_t number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    lines_.push_back({std::string(line), ++number});
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  splitBlocks();
}

void PieceText::splitBlocks() {
  blocks_.clear();
  warnings_.clear();
  PieceBlock current;
  int depth = 0;
  bool strayReported = false;
  for (PieceLine& line : lines_) {
    line.text = std::string(trim(line.text));
    const char first = line.text.empty() ? '\0' : line.text.front();
    if (first == '{') ++depth;
    if (first == '}') {
      --depth;
      if (depth == 0) {
        current.push_back(line);
        blocks_.push_back(std::move(current));
        current.clear();
        continue;
      }
      if (depth < 0 && !strayReported) {
        strayReported = true;
        warnings_.push_back(name_ + ":" + std::to_string(line.number) +
                            ": this \"}\" closes no entity, so the entities after it are "
                            "left out of the map (until an extra \"{\" balances it)");
      }
    }
    if (depth > 0) current.push_back(line);
  }
  if (!current.empty())
    warnings_.push_back(name_ + ":" + std::to_string(current.front().number) +
                        ": the entity opened here is never closed (a \"}\" is missing); it is "
                        "left out of the map");
}

const PieceBlock* PieceText::worldBlock() const {
  for (const PieceBlock& block : blocks_)
    if (equalsNoCase(className(block), "worldspawn")) return &block;
  return nullptr;
}

Expected<std::string> PieceText::translate(const PieceLine& line, GridCoord position) const {
  const std::array<int64_t, 3> offset{int64_t{position.x} * pitch_[0],
                                      int64_t{position.y} * pitch_[1],
                                      int64_t{position.z} * pitch_[2]};
  auto moved = translateLine(line.text, offset);
  if (!moved) return fail(name_ + ":" + std::to_string(line.number) + ": " + moved.message());
  return moved;
}

Status PieceText::writeLine(std::string& out, const PieceLine& line, GridCoord position) const {
  auto moved = translate(line, position);
  if (!moved) return moved.error();
  out += *moved;
  out += '\n';
  return success();
}

Status PieceText::writeWorldBrushes(std::string& out, GridCoord position, bool firstCell) const {
  const PieceBlock* world = worldBlock();
  if (world == nullptr) {
    // The map must still begin with the world entity.
    if (firstCell) out += "{\n\"classname\" \"worldspawn\"\n";
    return success();
  }
  int depth = 0;
  bool started = false;
  // The block's last line is the entity's own "}"; the build closes the
  // single world entity itself.
  for (size_t i = 0; i + 1 < world->size(); ++i) {
    const PieceLine& line = (*world)[i];
    const char first = line.text.empty() ? '\0' : line.text.front();
    if (first == '{') ++depth;
    if (first == '}') --depth;
    if (depth == 2 && !started) started = true;
    if (started && depth == 0) break;
    if (firstCell || started) {
      if (Status s = writeLine(out, line, position); !s) return s;
    }
  }
  return success();
}

Status PieceText::writeEntities(std::string& out, GridCoord position, bool firstCell) const {
  for (const PieceBlock& block : blocks_) {
    const std::string cls = className(block);
    if (!firstCell && equalsNoCase(cls, "info_player_start")) continue;
    if (equalsNoCase(cls, "worldspawn")) continue;
    for (const PieceLine& line : block)
      if (Status s = writeLine(out, line, position); !s) return s;
  }
  return success();
}

Expected<PieceText> loadPieceText(const std::string& path, std::array<int32_t, 3> cellPitch) {
  auto bytes = platform::readFile(path);
  if (!bytes) return bytes.error();
  PieceText piece(cellPitch);
  piece.read(*bytes, path);
  return piece;
}

}  // namespace cellforge

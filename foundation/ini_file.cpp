#include "foundation/ini_file.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace cellforge {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && (isBlank(s.front()) || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (isBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The value as a key line must hold it to read back the same: one pair of
// quotes where reading would otherwise trim blanks or drop quotes.
bool needsQuotes(std::string_view value) {
  const bool quoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
  return quoted || trim(value).size() != value.size();
}

std::string keyLine(std::string_view key, std::string_view value) {
  const bool quote = needsQuotes(value);
  std::string line;
  line.reserve(key.size() + value.size() + 3);
  line.append(key);
  line.push_back('=');
  if (quote) line.push_back('"');
  line.append(value);
  if (quote) line.push_back('"');
  return line;
}

}  // namespace

int32_t leadingInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (isBlank(text[i]) || text[i] == '\n' || text[i] == '\r')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > int64_t{1} << 32) value = int64_t{1} << 32;  // far past either limit
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

double leadingDecimal(std::string_view text) {
  auto digit = [&](size_t i) { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
  size_t i = 0;
  while (i < text.size() && (isBlank(text[i]) || text[i] == '\n' || text[i] == '\r' ||
                             text[i] == '\v' || text[i] == '\f'))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const size_t start = i;
  size_t digits = 0;
  for (; digit(i); ++i) ++digits;
  if (i < text.size() && text[i] == '.')
    for (++i; digit(i); ++i) ++digits;
  if (digits == 0) return 0.0;
  bool tinyExponent = false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t e = i + 1;
    const bool minus = e < text.size() && text[e] == '-';
    if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
    if (digit(e)) {
      for (i = e; digit(i); ++i) {
      }
      tinyExponent = minus;
    }
  }
  double value = 0.0;
  const auto r = std::from_chars(text.data() + start, text.data() + i, value);
  if (r.ec == std::errc::result_out_of_range)
    value = tinyExponent ? 0.0 : std::numeric_limits<double>::infinity();
  return negative ? -value : value;
}

IniFile IniFile::parse(std::string_view text) {
  IniFile ini;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    Line line;
    if (nl == std::string_view::npos) {
      line.body = text.substr(pos);
      pos = text.size();
    } else {
      std::string_view body = text.substr(pos, nl - pos);
      if (!body.empty() && body.back() == '\r') {
        body.remove_suffix(1);
        line.end = "\r\n";
      } else {
        line.end = "\n";
      }
      line.body = body;
      pos = nl + 1;
    }
    ini.lines_.push_back(std::move(line));
  }
  return ini;
}

IniFile::Parsed IniFile::classify(std::string_view body) {
  Parsed p;
  const std::string_view t = trim(body);
  if (t.empty() || t.front() == ';') return p;
  if (t.front() == '[') {
    const size_t close = t.find(']');
    if (close == std::string_view::npos) return p;
    p.kind = Kind::kSection;
    p.name = trim(t.substr(1, close - 1));
    return p;
  }
  const size_t eq = t.find('=');
  if (eq == std::string_view::npos) return p;
  p.kind = Kind::kKey;
  p.name = trim(t.substr(0, eq));
  std::string_view v = trim(t.substr(eq + 1));
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  p.value = v;
  return p;
}

std::optional<std::string> IniFile::get(std::string_view section, std::string_view key) const {
  bool inSection = false;
  for (const Line& line : lines_) {
    const Parsed p = classify(line.body);
    if (p.kind == Kind::kSection) {
      inSection = sameName(p.name, section);
    } else if (p.kind == Kind::kKey && inSection && sameName(p.name, key)) {
      return std::string(p.value);
    }
  }
  return std::nullopt;
}

std::string IniFile::getString(std::string_view section, std::string_view key,
                               std::string_view fallback) const {
  if (auto v = get(section, key)) return *v;
  return std::string(fallback);
}

int32_t IniFile::getInt(std::string_view section, std::string_view key, int32_t fallback) const {
  if (auto v = get(section, key)) return leadingInt(*v);
  return fallback;
}

std::string IniFile::lineEnd() const {
  for (const Line& line : lines_)
    if (!line.end.empty()) return line.end;
  return "\n";
}

void IniFile::set(std::string_view section, std::string_view key, std::string_view value) {
  bool inSection = false;
  std::optional<size_t> sectionEnd;  // index after the section's last key line (or header)
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Parsed p = classify(lines_[i].body);
    if (p.kind == Kind::kSection) {
      if (sectionEnd && inSection) break;  // past the first matching section
      inSection = sameName(p.name, section);
      if (inSection) sectionEnd = i + 1;
    } else if (p.kind == Kind::kKey && inSection) {
      if (sameName(p.name, key)) {
        const std::string_view t = trim(lines_[i].body);
        const std::string_view keyText = trim(t.substr(0, t.find('=')));
        lines_[i].body = keyLine(keyText, value);
        return;
      }
      sectionEnd = i + 1;
    }
  }
  const std::string end = lineEnd();
  Line newLine{keyLine(key, value), end};
  if (sectionEnd) {
    const size_t at = *sectionEnd;
    if (at == lines_.size() && !lines_.empty() && lines_.back().end.empty())
      lines_.back().end = end;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(newLine));
    return;
  }
  if (!lines_.empty() && lines_.back().end.empty()) lines_.back().end = end;
  std::string header = "[";
  header.append(section);
  header.push_back(']');
  lines_.push_back(Line{std::move(header), end});
  lines_.push_back(std::move(newLine));
}

void IniFile::setInt(std::string_view section, std::string_view key, int32_t value) {
  set(section, key, std::to_string(value));
}

std::string IniFile::text() const {
  std::string out;
  for (const Line& line : lines_) {
    out += line.body;
    out += line.end;
  }
  return out;
}

}  // namespace cellforge

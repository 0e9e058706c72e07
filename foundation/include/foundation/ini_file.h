#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cellforge {

// A profile file: "[section]" headers, "key=value" lines and ";" comments.
// Section and key names match without regard to case and the first match
// wins; blanks around "=" and the value are ignored, and one pair of double
// quotes around a value is dropped. Writing changes only the line of the key
// it writes (or adds one); every other byte of the file stays as it was.
class IniFile {
 public:
  static IniFile parse(std::string_view text);

  std::optional<std::string> get(std::string_view section, std::string_view key) const;
  std::string getString(std::string_view section, std::string_view key,
                        std::string_view fallback) const;
  // The value read as a decimal integer (0 when it does not start with one),
  // or `fallback` when the key is absent.
  int32_t getInt(std::string_view section, std::string_view key, int32_t fallback) const;

  void set(std::string_view section, std::string_view key, std::string_view value);
  void setInt(std::string_view section, std::string_view key, int32_t value);

  std::string text() const;

 private:
  struct Line {
    std::string body;  // without its line end
    std::string end;   // "\n", "\r\n" or "" for a last line without one
  };
  enum class Kind { kOther, kSection, kKey };
  struct Parsed {
    Kind kind = Kind::kOther;
    std::string_view name;   // section or key name
    std::string_view value;  // key value, trimmed and unquoted
  };
  static Parsed classify(std::string_view body);
  std::string lineEnd() const;

  std::vector<Line> lines_;
};

// atoi-style reading: leading blanks, an optional sign, then digits; stops at
// the first other character; 0 when there is no digit. Saturates at the
// 32-bit limits instead of overflowing.
int32_t leadingInt(std::string_view text);

// atof-style reading of the longest leading decimal number (no hex, no
// "inf" or "nan", whatever the C library accepts); 0.0 when there is none.
double leadingDecimal(std::string_view text);

}  // namespace cellforge

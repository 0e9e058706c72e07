#pragma once

#include <string>
#include <string_view>

namespace cellforge {

// The map's fixed indentation: key lines of every entity two blanks, brush
// braces one blank, plane lines two blanks, everything else none. One brace
// depth runs over the whole map, line after line.
class LineIndenter {
 public:
  // The blanks that go before a line starting with `first` ('\n' for an
  // empty line); counts the line's brace.
  std::string_view before(char first) {
    if (first == '{') ++depth_;
    if (first == '}') --depth_;
    if ((depth_ == 1 && first == '"') || (depth_ == 2 && first == '(')) return "  ";
    if ((depth_ == 2 && first == '{') || (depth_ == 1 && first == '}')) return " ";
    return {};
  }

 private:
  int depth_ = 0;
};

struct MapIndenter {
  // The indented text. Lines are taken whole, whatever their length, and
  // keep their line breaks.
  static std::string indent(std::string_view text);
};

}  // namespace cellforge

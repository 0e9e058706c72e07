#pragma once

#include <string>
#include <string_view>

#include "foundation/result.h"

namespace cellforge {

// The map's fixed indentation: key lines of every entity two blanks, brush
// braces one blank, plane lines two blanks, everything else none. One brace
// depth runs over the whole text.
class MapIndenter {
 public:
  // The indented text. Lines are taken whole, whatever their length, and
  // keep their line breaks.
  static std::string indent(std::string_view text);
  // Rewrites the map file at `path` in place (through a temporary file).
  static Status indentFile(const std::string& path);
};

}  // namespace cellforge

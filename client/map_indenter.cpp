#include "client/map_indenter.h"

#include "platform/platform.h"

namespace cellforge {

std::string MapIndenter::indent(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  int depth = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = end == std::string_view::npos ? text : text.substr(0, end + 1);
    text.remove_prefix(line.size());
    const char first = line.front();
    if (first == '{') ++depth;
    if (first == '}') --depth;
    if ((depth == 1 && first == '"') || (depth == 2 && first == '('))
      out += "  ";
    else if ((depth == 2 && first == '{') || (depth == 1 && first == '}'))
      out += ' ';
    out += line;
  }
  return out;
}

Status MapIndenter::indentFile(const std::string& path) {
  auto bytes = platform::readFile(path);
  if (!bytes) return bytes.error();
  return platform::replaceFile(path, indent(*bytes));
}

}  // namespace cellforge

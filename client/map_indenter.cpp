#include "client/map_indenter.h"

namespace cellforge {

std::string MapIndenter::indent(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  LineIndenter indenter;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = end == std::string_view::npos ? text : text.substr(0, end + 1);
    text.remove_prefix(line.size());
    out += indenter.before(line.front());
    out += line;
  }
  return out;
}

}  // namespace cellforge

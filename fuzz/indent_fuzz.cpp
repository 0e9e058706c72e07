// The indenting pass on arbitrary text: it only ever puts blanks in front
// of lines, so the text with those blanks taken off is the input again.
#include <cstdlib>
#include <string>
#include <string_view>

#include "client/map_indenter.h"

namespace {

// Every line with its leading blanks removed.
std::string unindented(std::string_view text) {
  std::string out;
  bool lineStart = true;
  for (char c : text) {
    if (lineStart && c == ' ') continue;
    lineStart = c == '\n';
    out += c;
  }
  return out;
}

size_t count(std::string_view text, char c) {
  size_t n = 0;
  for (char x : text) n += x == c ? 1 : 0;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string out = cellforge::MapIndenter::indent(text);
  if (count(out, '\n') != count(text, '\n') || out.size() < text.size() ||
      out.size() > text.size() + 2 * (count(text, '\n') + 1) || unindented(out) != unindented(text))
    std::abort();
  return 0;
}

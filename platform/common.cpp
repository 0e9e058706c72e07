#include <algorithm>
#include <ostream>

#include "platform/platform.h"

namespace cellforge::platform {

namespace {
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

bool wildcardMatch(std::string_view pattern, std::string_view name) {
  // Iterative match with backtracking to the last star: linear for the
  // patterns we use, no recursion on hostile names.
  size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || upper(pattern[p]) == upper(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool folderOrderLess(std::string_view a, std::string_view b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const auto ua = static_cast<unsigned char>(upper(a[i]));
    const auto ub = static_cast<unsigned char>(upper(b[i]));
    if (ua != ub) return ua < ub;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;  // std::string_view compares as unsigned char
}

void showMessage(std::ostream& err, std::string_view program, std::string_view text) {
  err << program << ": " << text << '\n' << std::flush;
}

}  // namespace cellforge::platform

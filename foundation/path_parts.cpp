#include "foundation/path_parts.h"

#include "platform/platform.h"

namespace cellforge {

bool isSeparator(char c) {
  return c == platform::separator() || (platform::separator() == '\\' && c == '/');
}

void PathParts::split(std::string_view path) {
  drive_.clear();
  dir_.clear();
  name_.clear();
  ext_.clear();
  if (platform::separator() == '\\' && path.size() >= 2 && path[1] == ':') {
    drive_ = path.substr(0, 2);
    path.remove_prefix(2);
  }
  size_t lastSep = std::string_view::npos;
  for (size_t i = 0; i < path.size(); ++i)
    if (isSeparator(path[i])) lastSep = i;
  if (lastSep != std::string_view::npos) {
    dir_ = path.substr(0, lastSep + 1);
    path.remove_prefix(lastSep + 1);
  }
  const size_t dot = path.rfind('.');
  if (dot != std::string_view::npos) {
    ext_ = path.substr(dot);
    path = path.substr(0, dot);
  }
  name_ = path;
}

std::string folderOf(std::string_view path) {
  PathParts parts;
  parts.split(path);
  return parts.drive() + parts.dir();
}

std::string withTrailingSeparator(std::string_view folder) {
  std::string out(folder);
  if (out.empty() || !isSeparator(out.back())) out.push_back(platform::separator());
  return out;
}

}  // namespace cellforge

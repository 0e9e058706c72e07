#include "foundation/path_parts.h"

#include "platform/platform.h"

namespace cellforge {

bool isSeparator(char c) {
  return c == platform::separator() || (platform::separator() == '\\' && c == '/');
}

std::string folderOf(std::string_view path) {
  size_t end = platform::separator() == '\\' && path.size() >= 2 && path[1] == ':' ? 2 : 0;
  for (size_t i = end; i < path.size(); ++i)
    if (isSeparator(path[i])) end = i + 1;
  return std::string(path.substr(0, end));
}

std::string parentFolderOf(std::string_view folder) {
  std::string_view path = folder;
  while (!path.empty() && isSeparator(path.back())) path.remove_suffix(1);
  std::string parent = folderOf(path);
  return parent.empty() ? withTrailingSeparator(folder) + ".." + platform::separator() : parent;
}

std::string withTrailingSeparator(std::string_view folder) {
  std::string out(folder);
  if (out.empty() || !isSeparator(out.back())) out.push_back(platform::separator());
  return out;
}

}  // namespace cellforge

#pragma once

#include <string>
#include <string_view>

namespace cellforge {

// The folder part of a path (drive and folder), ending in a separator, or
// empty for a bare name. The drive ("C:") exists on Windows only.
std::string folderOf(std::string_view path);

// The folder holding `folder`, ending in a separator; for a bare relative
// name ("baseq2/") its parent is only reachable by "..".
std::string parentFolderOf(std::string_view folder);

// The system separator, and on Windows "/" as well.
bool isSeparator(char c);

// `folder` with a trailing separator added when its last character is not
// one; an empty folder becomes a lone separator.
std::string withTrailingSeparator(std::string_view folder);

}  // namespace cellforge

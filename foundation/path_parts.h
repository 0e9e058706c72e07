#pragma once

#include <string>
#include <string_view>

namespace cellforge {

// Splits a path into drive, folder, name and extension. The folder keeps
// its trailing separator, the extension its dot; the drive ("C:") exists on
// windows only.
class PathParts {
 public:
  void split(std::string_view path);

  const std::string& drive() const { return drive_; }
  const std::string& dir() const { return dir_; }
  const std::string& name() const { return name_; }
  const std::string& ext() const { return ext_; }

 private:
  std::string drive_, dir_, name_, ext_;
};

// The folder part of a path (drive and folder), ending in a separator, or
// empty for a bare name.
std::string folderOf(std::string_view path);

// The system separator, and on Windows "/" as well.
bool isSeparator(char c);

// `folder` with a trailing separator added when its last character is not
// one; an empty folder becomes a lone separator.
std::string withTrailingSeparator(std::string_view folder);

}  // namespace cellforge

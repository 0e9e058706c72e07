#pragma once

#include <string>
#include <string_view>

namespace cellforge {

// Splits a path into drive, folder, name and extension and joins selected
// parts again. The folder keeps its trailing separator, the extension its
// dot; the drive ("C:") exists on windows only.
class PathParts {
 public:
  static constexpr int PART_DRIVE = 1;
  static constexpr int PART_DIR = 2;
  static constexpr int PART_NAME = 4;
  static constexpr int PART_EXT = 8;

  void split(std::string_view path);
  std::string join(int parts) const;

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

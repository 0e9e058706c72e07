#include "foundation/path_parts.h"

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace cellforge {
namespace {

// Only the folder part is used (the INI beside the program).
TEST(PathParts, FolderOfEndsAtTheLastSeparator) {
  EXPECT_EQ(folderOf("/quake2/baseq2/maps/dummy.file"), "/quake2/baseq2/maps/");
  EXPECT_EQ(folderOf("a.b/c.tar.gz"), "a.b/");
  EXPECT_EQ(folderOf("/server"), "/");
  EXPECT_EQ(folderOf("server"), "");
  EXPECT_EQ(folderOf(""), "");
}

TEST(PathParts, TrailingSeparator) {
  const std::string sep(1, platform::separator());
  EXPECT_EQ(withTrailingSeparator(""), sep);
  EXPECT_EQ(withTrailingSeparator("maps"), "maps" + sep);
  EXPECT_EQ(withTrailingSeparator("maps/"), "maps/");
  // A backslash is a separator on Windows only.
  EXPECT_EQ(withTrailingSeparator("maps\\"), sep == "\\" ? "maps\\" : "maps\\/");
}

TEST(PathParts, WindowsDriveAndBothSeparators) {
  if (platform::separator() != '\\') GTEST_SKIP() << "drives and backslashes are Windows' own";
  EXPECT_EQ(folderOf("C:\\Quake2\\baseq2/maps\\dummy.file"), "C:\\Quake2\\baseq2/maps\\");
  EXPECT_EQ(folderOf("C:server.exe"), "C:");
}

}  // namespace
}  // namespace cellforge

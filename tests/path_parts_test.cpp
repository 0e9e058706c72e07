#include "foundation/path_parts.h"

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace cellforge {
namespace {

TEST(PathParts, SplitsAtTheLastSeparatorAndTheLastDot) {
  PathParts p;
  p.split("/quake2/baseq2/maps/dummy.file");
  EXPECT_EQ(p.drive(), "");
  EXPECT_EQ(p.dir(), "/quake2/baseq2/maps/");
  EXPECT_EQ(p.name(), "dummy");
  EXPECT_EQ(p.ext(), ".file");
  p.split("a.b/c.tar.gz");
  EXPECT_EQ(p.dir(), "a.b/");
  EXPECT_EQ(p.name(), "c.tar");
  EXPECT_EQ(p.ext(), ".gz");
  p.split("dir.d/noext");
  EXPECT_EQ(p.name(), "noext");
  EXPECT_EQ(p.ext(), "");
  p.split("bare");
  EXPECT_EQ(p.dir(), "");
  EXPECT_EQ(p.name(), "bare");
  p.split("");
  EXPECT_EQ(p.drive() + p.dir() + p.name() + p.ext(), "");
}

TEST(PathParts, FolderOfAndTrailingSeparator) {
  EXPECT_EQ(folderOf("/opt/cf/bin/server"), "/opt/cf/bin/");
  EXPECT_EQ(folderOf("/server"), "/");
  EXPECT_EQ(folderOf("server"), "");
  const std::string sep(1, platform::separator());
  EXPECT_EQ(withTrailingSeparator(""), sep);
  EXPECT_EQ(withTrailingSeparator("maps"), "maps" + sep);
  EXPECT_EQ(withTrailingSeparator("maps/"), "maps/");
  // A backslash is a separator on Windows only.
  EXPECT_EQ(withTrailingSeparator("maps\\"), sep == "\\" ? "maps\\" : "maps\\/");
}

TEST(PathParts, WindowsDriveAndBothSeparators) {
  if (platform::separator() != '\\') GTEST_SKIP() << "drives and backslashes are Windows' own";
  PathParts p;
  p.split("C:\\Quake2\\baseq2/maps\\dummy.file");
  EXPECT_EQ(p.drive(), "C:");
  EXPECT_EQ(p.dir(), "\\Quake2\\baseq2/maps\\");
  EXPECT_EQ(p.name(), "dummy");
  EXPECT_EQ(folderOf("C:\\Quake2\\baseq2/maps\\dummy.file"), "C:\\Quake2\\baseq2/maps\\");
  EXPECT_EQ(folderOf("C:server.exe"), "C:");
}

}  // namespace
}  // namespace cellforge

#include "foundation/path_parts.h"

#include <gtest/gtest.h>

namespace cellforge {
namespace {

TEST(PathParts, SplitsAndJoinsSelectedParts) {
  PathParts p;
  p.split("/quake2/baseq2/maps/dummy.file");
  EXPECT_EQ(p.drive(), "");
  EXPECT_EQ(p.dir(), "/quake2/baseq2/maps/");
  EXPECT_EQ(p.name(), "dummy");
  EXPECT_EQ(p.ext(), ".file");
  EXPECT_EQ(p.join(PathParts::PART_DRIVE | PathParts::PART_DIR), "/quake2/baseq2/maps/");
  EXPECT_EQ(p.join(PathParts::PART_NAME | PathParts::PART_EXT), "dummy.file");
  EXPECT_EQ(p.join(PathParts::PART_DIR | PathParts::PART_EXT), "/quake2/baseq2/maps/.file");
  EXPECT_EQ(p.join(15), "/quake2/baseq2/maps/dummy.file");
  EXPECT_EQ(p.join(0), "");
}

TEST(PathParts, LastDotAndLastSeparatorDecide) {
  PathParts p;
  p.split("a.b/c.tar.gz");
  EXPECT_EQ(p.dir(), "a.b/");
  EXPECT_EQ(p.name(), "c.tar");
  EXPECT_EQ(p.ext(), ".gz");
  p.split("dir.d/noext");
  EXPECT_EQ(p.name(), "noext");
  EXPECT_EQ(p.ext(), "");
  p.split("bare");
  EXPECT_EQ(p.join(PathParts::PART_DRIVE | PathParts::PART_DIR), "");
  EXPECT_EQ(p.name(), "bare");
  p.split("");
  EXPECT_EQ(p.join(15), "");
}

TEST(PathParts, FolderOfAndTrailingSeparator) {
  EXPECT_EQ(folderOf("/opt/cf/bin/server"), "/opt/cf/bin/");
  EXPECT_EQ(folderOf("/server"), "/");
  EXPECT_EQ(folderOf("server"), "");
  EXPECT_EQ(withTrailingSeparator(""), "/");
  EXPECT_EQ(withTrailingSeparator("maps"), "maps/");
  EXPECT_EQ(withTrailingSeparator("maps/"), "maps/");
  EXPECT_EQ(withTrailingSeparator("maps\\"), "maps\\/");
}

}  // namespace
}  // namespace cellforge

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/test_support.h"

namespace cellforge {
namespace {

using test::TempDir;

TEST(Wildcard, MatchesWithoutRegardToCase) {
  EXPECT_TRUE(platform::wildcardMatch("*.mmd", "room.mmd"));
  EXPECT_TRUE(platform::wildcardMatch("*.mmd", "ROOM.MMD"));
  EXPECT_TRUE(platform::wildcardMatch("*.mmd", ".mmd"));
  EXPECT_FALSE(platform::wildcardMatch("*.mmd", "room.mmd.bak"));
  EXPECT_FALSE(platform::wildcardMatch("*.mmd", "room.md"));
  EXPECT_TRUE(platform::wildcardMatch("r?om*", "ROOMS"));
  EXPECT_FALSE(platform::wildcardMatch("a*b*c", std::string(5000, 'a')));
}

TEST(ListFolder, SortsByUpperCasedBytesThenRawBytes) {
  TempDir dir;
  for (const char* name : {"b.mmd", "a_x.mmd", "A.mmd", "a.mmd", "Z.MMD", "notes.txt", "[.mmd"})
    test::writeText(dir / name, "x");
  test::makeFolders(dir / "sub.mmd");
  auto names = platform::listFolder(dir.path(), "*.mmd");
  ASSERT_TRUE(names.ok()) << names.message();
  // Upper-cased, '[' (0x5B) sorts after 'Z' (0x5A) and '_' (0x5F) after '.'.
  const std::vector<std::string> expected{"A.mmd", "a.mmd", "a_x.mmd", "b.mmd",
                                          "sub.mmd", "Z.MMD", "[.mmd"};
  EXPECT_EQ(*names, expected);
}

TEST(ListFolder, MissingFolderIsAnError) {
  TempDir dir;
  auto names = platform::listFolder(dir / "absent", "*");
  ASSERT_FALSE(names.ok());
  EXPECT_NE(names.message().find("absent"), std::string::npos);
}

TEST(Files, ReplaceWritesWholeFileAndLeavesNoTemporary) {
  TempDir dir;
  test::writeText(dir / "f.ini", "old");
  ASSERT_TRUE(platform::replaceFile(dir / "f.ini", "new text").ok());
  EXPECT_EQ(test::readText(dir / "f.ini"), "new text");
  auto names = platform::listFolder(dir.path(), "*");
  ASSERT_TRUE(names.ok());
  EXPECT_EQ(names->size(), 1u);
}

TEST(Files, ReplaceIntoReadOnlyFolderKeepsOldFile) {
  TempDir dir;
  test::makeFolders(dir / "ro");
  test::writeText(dir / "ro/f.ini", "old");
  test::makeReadOnly(dir / "ro");
  const int rc = test::asUnprivilegedUser([&] {
    const Status s = platform::replaceFile(dir / "ro/f.ini", "new");
    return s.ok() ? 1 : (s.message().find("f.ini") == std::string::npos ? 2 : 0);
  });
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(test::readText(dir / "ro/f.ini"), "old");
}

TEST(Files, ReplaceRefusesReadOnlyFileAndFolders) {
  TempDir dir;
  test::writeText(dir / "f.ini", "old");
  test::makeReadOnly(dir / "f.ini");
  EXPECT_FALSE(platform::replaceFile(dir / "f.ini", "new").ok());
  EXPECT_EQ(test::readText(dir / "f.ini"), "old");
  test::makeFolders(dir / "d");
  EXPECT_FALSE(platform::replaceFile(dir / "d", "new").ok());
}

TEST(Files, ReadFileRefusesFolderAndMissingFile) {
  TempDir dir;
  auto folder = platform::readFile(dir.path());
  ASSERT_FALSE(folder.ok());
  EXPECT_NE(folder.message().find("folder"), std::string::npos);
  EXPECT_FALSE(platform::readFile(dir / "missing").ok());
}

TEST(Files, MakeAndDeleteAreQuietAboutWhatIsAlreadyDone) {
  TempDir dir;
  EXPECT_TRUE(platform::makeFolder(dir / "new").ok());
  EXPECT_TRUE(platform::makeFolder(dir / "new").ok());
  EXPECT_TRUE(platform::isFolder(dir / "new"));
  EXPECT_FALSE(platform::makeFolder(dir / "no/such/parent").ok());
  EXPECT_TRUE(platform::deleteFile(dir / "missing").ok());
}

TEST(Processes, RunsInFolderWithArgumentsAndReportsExit) {
  TempDir dir;
  auto status = platform::runProgram({"/bin/sh", "-c", "pwd > out.txt; exit 3"}, dir.path());
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_FALSE(status->signalled);
  EXPECT_EQ(status->code, 3);
  EXPECT_EQ(test::readText(dir / "out.txt"), dir.path().substr(0, dir.path().size() - 1) + "\n");
}

TEST(Processes, ReportsSignalTimeoutAndMissingProgram) {
  TempDir dir;
  auto killed = platform::runProgram({"/bin/sh", "-c", "kill -SEGV $$"}, dir.path());
  ASSERT_TRUE(killed.ok());
  EXPECT_TRUE(killed->signalled);
  EXPECT_EQ(killed->code, 11);
  auto slow = platform::runProgram({"/bin/sleep", "30"}, dir.path(), 1);
  ASSERT_TRUE(slow.ok());
  EXPECT_TRUE(slow->timedOut);
  EXPECT_FALSE(platform::runProgram({dir / "nothing"}, dir.path()).ok());
  EXPECT_FALSE(platform::runProgram({"/bin/true"}, dir / "no-folder").ok());
}

}  // namespace
}  // namespace cellforge

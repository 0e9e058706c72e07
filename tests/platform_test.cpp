#include "platform/platform.h"

#include <gtest/gtest.h>

#include "platform/temp_files.h"
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
  for (const char* name : {"b.mmd", "a_x.mmd", "A.mmd", "Z.MMD", "notes.txt", "[.mmd"})
    test::writeText(dir / name, "x");
  // "A.mmd" and "a.mmd" are one file where names ignore case (Windows).
  const bool caseSensitive = !platform::exists(dir / "a.mmd");
  if (caseSensitive) test::writeText(dir / "a.mmd", "x");
  test::makeFolders(dir / "sub.mmd");
  auto names = platform::listFolder(dir.path(), "*.mmd");
  ASSERT_TRUE(names.ok()) << names.message();
  // Upper-cased, '[' (0x5B) sorts after 'Z' (0x5A) and '_' (0x5F) after '.'.
  std::vector<std::string> expected{"A.mmd", "a_x.mmd", "b.mmd", "sub.mmd", "Z.MMD", "[.mmd"};
  if (caseSensitive) expected.insert(expected.begin() + 1, "a.mmd");
  EXPECT_EQ(*names, expected);
  auto missing = platform::listFolder(dir / "absent", "*");
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.message().find("absent"), std::string::npos);
}

// The whole new text, and no temporary file left: neither its own nor one
// of a writer no longer running.
TEST(Files, ReplaceWritesWholeFileAndRemovesTemporariesOfWritersNoLongerRunning) {
  TempDir dir;
  test::writeText(dir / "f.ini", "old");
  // No system hands out 2147483646 as a process id; a file named with our
  // own id was left by an earlier process that had it.
  const std::string self = std::to_string(platform::currentProcessId());
  for (const std::string& name :
       {std::string("f.ini.2147483646-0.tmp"), "f.ini." + self + "-3.tmp"})
    test::writeText(dir / name, "part");
  const std::vector<std::string> kept{"f.ini.12-x.tmp",          "f.ini.2147483646-0.tmp.bak",
                                      "f.ini.2147483648-0.tmp",  "f.ini.backup",
                                      "f.ini.x2147483646-0.tmp", "g.ini.2147483646-0.tmp"};
  for (const std::string& name : kept) test::writeText(dir / name, "user's");
  ASSERT_TRUE(platform::replaceFile(dir / "f.ini", "new text").ok());
  EXPECT_EQ(test::readText(dir / "f.ini"), "new text");
  auto names = platform::listFolder(dir.path(), "*");
  ASSERT_TRUE(names.ok());
  std::vector<std::string> expected = kept;
  expected.insert(expected.begin(), "f.ini");
  EXPECT_EQ(*names, expected);
}

TEST(Files, ReplaceIntoReadOnlyFolderKeepsOldFile) {
  if (!test::folderPermissionsApply()) GTEST_SKIP() << "folders here do not refuse new files";
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

// Only a path that is not there is notFound: callers take that for "none
// yet" (the INI, the map) and report everything else.
TEST(Files, ReadFileRefusesFolderAndMissingFile) {
  TempDir dir;
  auto folder = platform::readFile(dir.path());
  ASSERT_FALSE(folder.ok());
  EXPECT_NE(folder.message().find("folder"), std::string::npos);
  EXPECT_EQ(folder.kind(), ErrorKind::invalid);
  EXPECT_EQ(platform::readFile(dir / "missing").kind(), ErrorKind::notFound);
  test::writeText(dir / "file", "");
  EXPECT_EQ(platform::readFile(dir / "file/below").kind(), ErrorKind::notFound);
}

// Small files take one read, larger ones more: every size around that
// first read comes back whole.
TEST(Files, ReadFileReturnsFilesOfEverySize) {
  TempDir dir;
  for (size_t size : {size_t{0}, size_t{1}, size_t{65535}, size_t{65536}, size_t{65537},
                      size_t{300001}}) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 23);
    test::writeText(dir / "f", bytes);
    auto read = platform::readFile(dir / "f");
    ASSERT_TRUE(read.ok()) << read.message();
    EXPECT_TRUE(*read == bytes) << size;
  }
}

// Reading through a folder is readFile of the joined path, errors and all,
// whether or not the folder could be opened.
TEST(Files, FolderReadsAreReadFileOfTheJoinedPath) {
  TempDir dir;
  test::writeText(dir / "a.txt", "alpha");
  test::makeFolders(dir / "sub");
  test::writeText(dir / "sub/b.txt", "beta");
  const std::string base = dir.path() + platform::separator();
  for (const std::string& folderPath : {base, base + "absent" + platform::separator()}) {
    const platform::Folder folder(folderPath);
    EXPECT_EQ(folder.path(), folderPath);
    for (std::string_view name : {"a.txt", "sub/b.txt", "missing", "sub", "a.txt/below"}) {
      auto viaFolder = folder.readFile(name);
      auto direct = platform::readFile(folderPath + std::string(name));
      ASSERT_EQ(viaFolder.ok(), direct.ok()) << folderPath << name;
      if (direct.ok()) {
        EXPECT_EQ(*viaFolder, *direct);
      } else {
        EXPECT_EQ(viaFolder.message(), direct.message());
        EXPECT_EQ(viaFolder.kind(), direct.kind());
      }
    }
  }
  platform::Folder moved(base);
  platform::Folder target(std::move(moved));
  EXPECT_EQ(*target.readFile("a.txt"), "alpha");
}

TEST(Files, MakeAndDeleteAreQuietAboutWhatIsAlreadyDone) {
  TempDir dir;
  EXPECT_TRUE(platform::makeFolder(dir / "new").ok());
  EXPECT_TRUE(platform::makeFolder(dir / "new").ok());
  EXPECT_TRUE(platform::isFolder(dir / "new"));
  EXPECT_FALSE(platform::makeFolder(dir / "no/such/parent").ok());
  EXPECT_TRUE(platform::deleteFile(dir / "missing").ok());
}

// The stand-in tool as <dir>/tool, logging to <dir>/calls.log.
std::string standIn(const TempDir& dir, std::string_view script) {
  test::writeText(dir / "tool.do", script);
  return test::installProgram(CELLFORGE_STAND_IN_EXE, test::native(dir / "tool"));
}

TEST(Processes, RunsInFolderWithArgumentsAndReportsExit) {
  TempDir dir;
  const std::string tool = standIn(dir, "exit 3\n");
  test::makeFolders(dir / "work");
  auto status = platform::runProgram({tool, "a", "b.map"}, test::native(dir / "work/"));
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_FALSE(status->signalled);
  EXPECT_EQ(status->code, 3);
  EXPECT_EQ(test::readText(dir / "calls.log"),
            "tool a b.map | " + test::native(dir / "work") + "\n");
}

TEST(Processes, ReportsCrashTimeoutAndMissingProgram) {
  TempDir dir;
  const test::Crash crash = test::crashScript();
  const std::string tool = standIn(dir, crash.script);
  auto crashed = platform::runProgram({tool}, dir.path());
  ASSERT_TRUE(crashed.ok()) << crashed.message();
  EXPECT_TRUE(crashed->signalled);
  EXPECT_EQ(platform::describeExit(*crashed), crash.described);

  standIn(dir, "sleep 30\n");
  auto slow = platform::runProgram({tool}, dir.path(), 1);
  ASSERT_TRUE(slow.ok()) << slow.message();
  EXPECT_TRUE(slow->timedOut);
  EXPECT_EQ(platform::describeExit(*slow), "ran too long and was stopped");

  EXPECT_EQ(platform::runProgram({dir / "nothing"}, dir.path()).kind(), ErrorKind::couldNotRun);
  EXPECT_EQ(platform::runProgram({tool}, dir / "no-folder").kind(), ErrorKind::couldNotRun);
}

}  // namespace
}  // namespace cellforge

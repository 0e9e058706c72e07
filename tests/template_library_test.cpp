#include "templates/template_library.h"

#include <gtest/gtest.h>

#include "templates/mmd_file.h"
#include "tests/test_support.h"

namespace cellforge {
namespace {

using test::TempDir;

void writeTemplate(const std::string& path, int32_t id, std::string name) {
  Template t = test::cellTemplate(id, 0);
  t.name = std::move(name);
  test::writeText(path, encodeMmd(t));
}

std::vector<std::string> namesOf(const TemplateLibrary& lib) {
  std::vector<std::string> names;
  for (const Template& t : lib.templates()) names.push_back(t.name);
  return names;
}

TEST(TemplateLibrary, LoadsMatchingFilesInSortedOrderOnce) {
  TempDir dir;
  writeTemplate(dir / "b.mmd", 2, "b");
  writeTemplate(dir / "A.MMD", 1, "A");
  writeTemplate(dir / "c.Mmd", 3, "c");
  test::writeText(dir / "notes.txt", "not a template");
  test::writeText(dir / "a.mmd.bak", "not a template");
  TemplateLibrary lib;
  const Status s = lib.load(dir.path());
  ASSERT_TRUE(s.ok()) << s.message();
  EXPECT_EQ(namesOf(lib), (std::vector<std::string>{"A", "b", "c"}));
  EXPECT_EQ(lib.fileOf(1), dir / "b.mmd");
  EXPECT_TRUE(lib.warnings().empty());
}

// A file that is no template, or a folder named like one.
TEST(TemplateLibrary, FirstFailingFileEndsTheLoadAndIsNamed) {
  for (const bool folder : {false, true}) {
    TempDir dir;
    writeTemplate(dir / "1.mmd", 1, "one");
    if (folder)
      test::makeFolders(dir / "2.mmd");
    else
      test::writeText(dir / "2.mmd", "ORVANDEL SOFTWORKS     .MMD (1.0)");
    writeTemplate(dir / "3.mmd", 3, "three");
    TemplateLibrary lib;
    EXPECT_EQ(lib.load(dir.path()).message(),
              dir / "2.mmd" + (folder ? ": is a folder, not a file"
                                      : ": not a template file (no \"ORVANDEL SOFTWORKS     "
                                        ".MMD (1.0)\" header)"));
    EXPECT_EQ(namesOf(lib), std::vector<std::string>{"one"});
  }
}

TEST(TemplateLibrary, EmptyOrMissingFolderFails) {
  TempDir dir;
  test::writeText(dir / "readme.txt", "x");
  TemplateLibrary lib;
  const Status empty = lib.load(dir.path());
  ASSERT_FALSE(empty.ok());
  EXPECT_EQ(empty.message(), dir.path() + ": no template files (*.mmd) in this folder");
  const Status missing = lib.load(dir / "absent/");
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.message().rfind(dir / "absent/: cannot list folder: ", 0), 0u);
  EXPECT_TRUE(lib.empty());
}

TEST(TemplateLibrary, DuplicateIdsWarnOnceAndTheFirstWins) {
  TempDir dir;
  writeTemplate(dir / "a.mmd", 5, "first");
  writeTemplate(dir / "b.mmd", 5, "second");
  writeTemplate(dir / "c.mmd", 6, "other");
  TemplateLibrary lib;
  ASSERT_TRUE(lib.load(dir.path()).ok());
  EXPECT_EQ(lib.size(), 3u);
  EXPECT_EQ(lib.findById(5)->name, "first");
  EXPECT_EQ(lib.warnings(),
            std::vector<std::string>{dir / "b.mmd" + ": template id 5 is also used by " +
                                     dir / "a.mmd" + "; layouts will always use that one"});
}

}  // namespace
}  // namespace cellforge

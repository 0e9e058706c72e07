#include "foundation/settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <sstream>

#include "platform/platform.h"
#include "tests/test_support.h"

namespace cellforge {
namespace {

using test::fill;
using test::native;
using test::program;
using test::TempDir;

constexpr std::string_view kP = "/opt/cf/bin/";

Settings readFrom(std::string_view iniText) {
  Settings s;
  setIniPath(s, "/opt/cf/bin/server");
  readSettings(s, IniFile::parse(iniText));
  return s;
}

// The README's key table holds every key, in the order of the declaration,
// with its default for a program in folder P.
TEST(Settings, ReadmeTableIsTheDeclaration) {
  if (platform::separator() != '/') GTEST_SKIP() << "the README gives the POSIX defaults";
  std::vector<std::string> declared, documented;
  std::set<std::string, std::less<>> sections;
  for (const SettingKey& key : settingKeys()) {
    sections.emplace(key.section->name);
    declared.push_back(std::string(key.section->name) + " " + std::string(key.name) + " = " +
                       defaultValue(key, "P"));
  }
  // Rows read "| section | `key`, `key` | `default`, `default` | meaning |".
  auto quoted = [](const std::string& cell) {
    std::vector<std::string> items;
    for (size_t at = cell.find('`'); at != std::string::npos; at = cell.find('`', at + 1)) {
      const size_t end = cell.find('`', at + 1);
      items.push_back(cell.substr(at + 1, end - at - 1));
      at = end;
    }
    return items;
  };
  std::istringstream readme(test::readText(std::string(CELLFORGE_SOURCE_DIR) + "/README.md"));
  for (std::string line; std::getline(readme, line);) {
    std::vector<std::string> cells;
    std::istringstream row(line);
    for (std::string cell; std::getline(row, cell, '|');) cells.push_back(cell);
    if (cells.size() < 5 || !sections.contains(cells[1].substr(1, cells[1].size() - 2))) continue;
    const auto keys = quoted(cells[2]);
    // "none": a key whose default is empty.
    const auto defaults =
        cells[3] == " none " ? std::vector<std::string>(keys.size()) : quoted(cells[3]);
    ASSERT_EQ(keys.size(), defaults.size()) << line;
    for (size_t i = 0; i < keys.size(); ++i)
      documented.push_back(cells[1].substr(1, cells[1].size() - 2) + " " + keys[i] + " = " +
                           defaults[i]);
  }
  EXPECT_EQ(documented, declared);
}

TEST(Settings, KeyEdgeCases) {
  Settings s = readFrom(
      "[globals]\n"
      "template_directory=\n"
      "source_directory=maps/\n"
      "target_directory=\"/games/q2/maps\"\n"
      "game_type=abc\n"
      "client_path=\n"
      "[template_settings]\n"
      "x=0\n"
      "y=-3\n"
      "z=7 storeys\n"
      "percent_to_fill=0.6xyz\n");
  EXPECT_EQ(s.template_directory, native("/"));
  EXPECT_EQ(s.source_directory, "maps/");
  EXPECT_EQ(s.target_directory, "/games/q2/maps" + native("/"));
  EXPECT_EQ(s.game_type, 0);
  EXPECT_EQ(s.game(), Game::quake2);
  EXPECT_EQ(s.client_path, "");
  EXPECT_EQ(s.quake_ii_qbsp, std::string(kP) + program("qbsp3"));
  EXPECT_EQ(s.x, 0);
  EXPECT_EQ(s.y, -3);
  EXPECT_EQ(s.z, 7);
  EXPECT_EQ(s.percent_to_fill, 0.6f);

  // Past float's range (the text itself reads as atof does).
  EXPECT_TRUE(std::isinf(readFrom("[template_settings]\npercent_to_fill=1e300").percent_to_fill));
  EXPECT_EQ(readFrom("[globals]\ngame_type=1").game(), Game::quake);
  EXPECT_EQ(readFrom("[globals]\ngame_type=3").game(), Game::quake2);
}

TEST(Settings, GridChecksNameTheKeyAndItsValue) {
  auto refusal = [](const std::string& grid, const std::string& share = "0.6") {
    Settings s = readFrom("[template_settings]\n" + grid + "\npercent_to_fill=" + share);
    const Status st = checkGridSettings(s);
    return st.ok() ? std::string("accepted") : st.message();
  };
  const std::string at = std::string(kP) + "Cellforge.INI: [template_settings] ";
  EXPECT_EQ(refusal("x=2"),
            at + "x = 2 is too small: the grid needs at least 3 cells along x, so the first room "
                 "can stand away from the side walls");
  EXPECT_EQ(refusal("y=-1"),
            at + "y = -1 is too small: the grid needs at least 3 cells along y, so the first room "
                 "can stand away from the side walls");
  EXPECT_EQ(refusal("z=0"), at + "z = 0 is too small: the grid needs at least one storey");
  for (const char* bad : {"abc", "1.5", "-0.1", "nan", "inf"})
    EXPECT_EQ(refusal("", bad), at + "percent_to_fill = " + bad + " is not a number from 0 to 1");
  // Every cell of an axis of 32768 is drawn; of 32769, not every one.
  EXPECT_EQ(refusal("x=3\ny=3\nz=32769"),
            at + "z = 32769 is too large: a random cell draw reaches every cell of at most 32768 "
                 "along an axis");
  EXPECT_EQ(refusal("x=3\ny=2147483647\nz=2147483647").substr(at.size(), 14), "y = 2147483647");
  EXPECT_EQ(refusal("z=513"), at + "grid 4 x 4 x 513 has 8208 cells, more than the 8192 a layout "
                                   "can be generated for in seconds");
  EXPECT_EQ(refusal("z=512"), "accepted");
  EXPECT_EQ(refusal("", "0.6xyz"), "accepted");
  EXPECT_EQ(refusal("", "0"), "accepted");
  EXPECT_EQ(refusal("", ""), "accepted");

  EXPECT_EQ(fillShareNotReached(readFrom("[template_settings]\npercent_to_fill=0.5"), "50 attempts",
                                "no attempt closed at all")
                .message,
            std::string(kP) +
                "Cellforge.INI: no layout reached [template_settings] percent_to_fill = 0.50 in 50 "
                "attempts (no attempt closed at all); lower percent_to_fill");
}

constexpr std::string_view kGlobalsTail = R"(client_path=@client!
quake_i_qbsp=@qbsp!
quake_i_light=@light!
quake_i_vis=@vis!
quake_ii_qbsp=@qbsp3!
quake_ii_vis=@qvis3!
quake_ii_light=@qrad3!
)";

TEST(Settings, WriteBackAddsTheElevenGlobalsAndKeepsTheRest) {
  TempDir dir;
  Settings s;
  setIniPath(s, dir / "server");
  test::writeText(s.ini_path, "; my notes\n[template_settings]\nx=5\ncolour=blue\n");
  ASSERT_TRUE(loadSettings(s).ok());
  EXPECT_EQ(s.x, 5);
  s.game_type = 1;
  ASSERT_TRUE(saveSettings(s).ok());
  EXPECT_EQ(test::readText(s.ini_path), fill(R"(; my notes
[template_settings]
x=5
colour=blue
[globals]
template_directory=@../maps/templates/
source_directory=@../maps/S2/
target_directory=%
game_type=1
)",
                                             dir.path()) +
                                            fill(kGlobalsTail, dir.path()));
}

TEST(Settings, WriteBackIntoHandEditedFileReplacesValuesInPlace) {
  TempDir dir;
  Settings s;
  setIniPath(s, dir / "server");
  test::writeText(s.ini_path, fill(R"(; keep this comment
[GLOBALS]
Target_Directory = /games/q2
; about the game
game_type=1
my_own_key=42

[template_settings]
percent_to_fill=0.5
)",
                                   "", true));
  ASSERT_TRUE(loadSettings(s).ok());
  s.target_directory = "/elsewhere/";
  ASSERT_TRUE(saveSettings(s).ok());
  const std::string after = test::readText(s.ini_path);
  EXPECT_EQ(after, fill(R"(; keep this comment
[GLOBALS]
Target_Directory=/elsewhere/
; about the game
game_type=1
my_own_key=42
template_directory=@../maps/templates/
source_directory=@../maps/S2/
)",
                        dir.path(), true) +
                       fill(kGlobalsTail, dir.path(), true) +
                       "\r\n[template_settings]\r\npercent_to_fill=0.5\r\n");
  // A second write changes nothing more.
  Settings again;
  setIniPath(again, dir / "server");
  ASSERT_TRUE(loadSettings(again).ok());
  ASSERT_TRUE(saveSettings(again).ok());
  EXPECT_EQ(test::readText(s.ini_path), after);
}

TEST(Settings, UnreadableIniReportsAndGivesDefaults) {
  TempDir dir;
  Settings s;
  setIniPath(s, dir / "server");
  test::makeFolders(s.ini_path);
  const Status st = loadSettings(s);
  EXPECT_FALSE(st.ok());
  EXPECT_EQ(st.message(), s.ini_path + ": is a folder, not a file");
  EXPECT_EQ(s.game_type, 2);
}

}  // namespace
}  // namespace cellforge

// The same seed and settings give the same layout and map on every system:
// the real server and client run on the Quake II kit and their output is
// compared with files a Linux build wrote. CELLFORGE_WRITE_GOLDEN=1 writes
// those files anew instead (only after a change that means to alter maps);
// it never touches the maps of the kits without exits.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/platform.h"
#include "tests/test_support.h"

namespace cellforge {
namespace {

namespace fs = std::filesystem;
using test::readText;
using test::TempDir;
using test::writeText;

std::string withoutCarriageReturns(std::string text) {
  std::erase(text, '\r');
  return text;
}

std::string goldenPath(const std::string& name) {
  return (fs::path(CELLFORGE_SOURCE_DIR) / "tests" / "fixtures" / "golden" / name).string();
}

struct Case {
  const char* kit;
  int gameType;
  const char* seed;
  const char* golden;  // the layout's and the map's file names, without .mtf and .map
};

// The first line where `map` and the golden file differ: a whole map in a
// failure message helps nobody.
void expectSameMap(const std::string& map, const std::string& golden) {
  const std::string expected = readText(golden);
  if (map == expected) return;
  size_t at = 0, line = 1;
  while (at < map.size() && at < expected.size() && map[at] == expected[at])
    line += map[at++] == '\n';
  ADD_FAILURE() << "map differs from " << golden << " at line " << line;
}

void runAndCompare(const Case& c) {
  const std::string sep(1, platform::separator());
  const std::string suffix(platform::programSuffix());
  TempDir root;
  const std::string bin = root / ("bin" + sep),
                    templates = root / ("maps" + sep + "templates" + sep),
                    source = root / ("maps" + sep + c.kit + sep),
                    target = root / ("baseq2" + sep + "maps" + sep);
  for (const std::string& folder : {bin, templates, source, target}) test::makeFolders(folder);
  fs::copy_file(CELLFORGE_SERVER_EXE, bin + "server" + suffix);
  fs::copy_file(CELLFORGE_CLIENT_EXE, bin + "client" + suffix);
  for (const auto& entry : fs::directory_iterator(fs::path(CELLFORGE_SOURCE_DIR) / "maps" / c.kit))
    fs::copy_file(entry.path(), source + entry.path().filename().string());
  writeText(bin + "Cellforge.INI",
            "[globals]\ntemplate_directory=" + templates + "\nsource_directory=" + source +
                "\ntarget_directory=" + target + "\ngame_type=" + std::to_string(c.gameType) +
                "\nclient_path=" + bin + "client" + suffix + "\n");

  auto ran = platform::runProgram({bin + "server" + suffix, "--seed", c.seed, "--no-compile"},
                                  root.path());
  ASSERT_TRUE(ran.ok()) << ran.message();
  ASSERT_EQ(ran->code, 0) << platform::describeExit(*ran);

  const std::string layout = readText(templates + "sample.mtf");
  const std::string map = withoutCarriageReturns(readText(target + "sample.map"));
  ASSERT_FALSE(layout.empty());
  ASSERT_FALSE(map.empty());
  const std::string mtfGolden = goldenPath(std::string(c.golden) + ".mtf");
  const std::string mapGolden = goldenPath(std::string(c.golden) + ".map");
  if (std::getenv("CELLFORGE_WRITE_GOLDEN") != nullptr) {
    writeText(mtfGolden, layout);
    writeText(mapGolden, map);
    GTEST_SKIP() << "wrote " << mtfGolden << " and " << mapGolden;
  }
  EXPECT_TRUE(layout == readText(mtfGolden)) << "layout differs from " << mtfGolden;
  expectSameMap(map, mapGolden);
}

// Pieces without exit entities, depth keys or linked names: the client
// writes the maps it wrote before levels had exits. The pieces are those of
// the kits of that time that the golden layouts place.
void runClientOnFrozenKit(const char* kit, int gameType, const std::string& golden) {
  const std::string sep(1, platform::separator());
  TempDir root;
  const std::string bin = root / ("bin" + sep), templates = root / ("mtf" + sep),
                    target = root / ("maps" + sep);
  const std::string source =
      (fs::path(CELLFORGE_SOURCE_DIR) / "tests" / "fixtures" / "no-exits" / kit).string() + sep;
  for (const std::string& folder : {bin, templates, target}) test::makeFolders(folder);
  const std::string client = bin + "client" + std::string(platform::programSuffix());
  fs::copy_file(CELLFORGE_CLIENT_EXE, client);
  fs::copy_file(goldenPath(golden + ".mtf"), templates + "sample.mtf");
  writeText(bin + "Cellforge.INI",
            "[globals]\ntemplate_directory=" + templates + "\nsource_directory=" + source +
                "\ntarget_directory=" + target + "\ngame_type=" + std::to_string(gameType) + "\n");
  auto ran = platform::runProgram({client}, root.path());
  ASSERT_TRUE(ran.ok()) << ran.message();
  ASSERT_EQ(ran->code, 0) << platform::describeExit(*ran);
  expectSameMap(withoutCarriageReturns(readText(target + "sample.map")),
                goldenPath(golden + ".map"));
}

TEST(SameSeedSameMap, QuakeTwoKit) {
  runAndCompare({"S2", 2, "20261207", "q2-seed-20261207-level"});
}

TEST(SameSeedSameMap, QuakeKit) { runAndCompare({"S1", 1, "4242", "q1-seed-4242-level"}); }

TEST(KitsWithoutExits, GiveTheMapsTheyGaveBefore) {
  runClientOnFrozenKit("S2", 2, "q2-seed-20261207");
  runClientOnFrozenKit("S1", 1, "q1-seed-4242");
}

}  // namespace
}  // namespace cellforge

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
using test::writeText;

std::string withoutCarriageReturns(std::string text) {
  std::erase(text, '\r');
  return text;
}

std::string goldenPath(const std::string& name) {
  return (fs::path(CELLFORGE_SOURCE_DIR) / "tests" / "fixtures" / "golden" / name).string();
}

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

void expectRuns(const test::InstallTree& tree, const std::vector<std::string>& argv) {
  auto ran = platform::runProgram(argv, tree.dir.path());
  ASSERT_TRUE(ran.ok()) << ran.message();
  ASSERT_EQ(ran->code, 0) << platform::describeExit(*ran);
}

// server --seed <seed> --no-compile in a tree with the shipped kit `kit`.
void runAndCompare(const char* kit, int gameType, const char* seed, const std::string& golden) {
  test::InstallTree tree(kit);
  const std::string server = tree.install(CELLFORGE_SERVER_EXE, "server");
  const std::string client = tree.install(CELLFORGE_CLIENT_EXE, "client");
  tree.copyKit((fs::path(CELLFORGE_SOURCE_DIR) / "maps" / kit).string());
  tree.writeIni("game_type=" + std::to_string(gameType) + "\nclient_path=" + client +
                "\n[game]\nkeys=0\n");
  ASSERT_NO_FATAL_FAILURE(expectRuns(tree, {server, "--seed", seed, "--no-compile"}));

  const std::string layout = readText(tree.layout());
  const std::string map = withoutCarriageReturns(readText(tree.map()));
  ASSERT_FALSE(layout.empty());
  ASSERT_FALSE(map.empty());
  const std::string mtfGolden = goldenPath(golden + ".mtf");
  const std::string mapGolden = goldenPath(golden + ".map");
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
  test::InstallTree tree;
  tree.source =
      (fs::path(CELLFORGE_SOURCE_DIR) / "tests" / "fixtures" / "no-exits" / kit).string() +
      platform::separator();
  const std::string client = tree.install(CELLFORGE_CLIENT_EXE, "client");
  fs::copy_file(goldenPath(golden + ".mtf"), tree.layout());
  tree.writeIni("game_type=" + std::to_string(gameType) + "\n[game]\nkeys=0\n");
  ASSERT_NO_FATAL_FAILURE(expectRuns(tree, {client}));
  expectSameMap(withoutCarriageReturns(readText(tree.map())), goldenPath(golden + ".map"));
}

TEST(SameSeedSameMap, QuakeTwoKit) { runAndCompare("S2", 2, "20261207", "q2-seed-20261207-level"); }

TEST(SameSeedSameMap, QuakeKit) { runAndCompare("S1", 1, "4242", "q1-seed-4242-level"); }

TEST(KitsWithoutExits, GiveTheMapsTheyGaveBefore) {
  runClientOnFrozenKit("S2", 2, "q2-seed-20261207");
  runClientOnFrozenKit("S1", 1, "q1-seed-4242");
}

}  // namespace
}  // namespace cellforge

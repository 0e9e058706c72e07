// The same seed and settings give the same layout and map on every system:
// the real server and client run on the Quake II kit and their output is
// compared with files a Linux build wrote. CELLFORGE_WRITE_GOLDEN=1 writes
// those files anew instead (only after a change that means to alter maps).
// The kits with their exits and depth keys taken out must still give the
// maps they gave before kits had them.
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
  const char* golden;     // the layout's file name, without .mtf
  const char* mapGolden;  // the map's, without .map
  bool withoutExits = false;
};

// A piece text as it stood before kits had exits and depth keys.
std::string withoutExits(const std::string& piece) {
  std::string kept;
  size_t at = 0;
  while (at < piece.size()) {
    size_t end = piece.find('\n', at);
    end = end == std::string::npos ? piece.size() : end + 1;
    const std::string_view line(piece.data() + at, end - at);
    if (line.starts_with("// the level's exit")) break;
    if (!line.starts_with("\"_depth\"")) kept += line;
    at = end;
  }
  return kept;
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
  for (const auto& entry :
       fs::directory_iterator(fs::path(CELLFORGE_SOURCE_DIR) / "maps" / c.kit)) {
    const std::string to = source + entry.path().filename().string();
    if (c.withoutExits && entry.path().extension() == ".map")
      writeText(to, withoutExits(readText(entry.path().string())));
    else
      fs::copy_file(entry.path(), to);
  }
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
  const std::string mapGolden = goldenPath(std::string(c.mapGolden) + ".map");
  if (std::getenv("CELLFORGE_WRITE_GOLDEN") != nullptr) {
    writeText(mtfGolden, layout);
    writeText(mapGolden, map);
    GTEST_SKIP() << "wrote " << mtfGolden << " and " << mapGolden;
  }
  EXPECT_TRUE(layout == readText(mtfGolden)) << "layout differs from " << mtfGolden;
  // A whole map in a failure message helps nobody: name the first line that differs.
  const std::string expected = readText(mapGolden);
  if (map != expected) {
    size_t at = 0, line = 1;
    while (at < map.size() && at < expected.size() && map[at] == expected[at])
      line += map[at++] == '\n';
    ADD_FAILURE() << "map differs from " << mapGolden << " at line " << line;
  }
}

TEST(SameSeedSameMap, QuakeTwoKit) {
  runAndCompare({"S2", 2, "20261207", "q2-seed-20261207", "q2-seed-20261207-level"});
  runAndCompare({"S2", 2, "20261207", "q2-seed-20261207", "q2-seed-20261207", true});
}

TEST(SameSeedSameMap, QuakeKit) {
  runAndCompare({"S1", 1, "4242", "q1-seed-4242", "q1-seed-4242-level"});
  runAndCompare({"S1", 1, "4242", "q1-seed-4242", "q1-seed-4242", true});
}

}  // namespace
}  // namespace cellforge

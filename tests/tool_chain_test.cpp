#include "server/tool_chain.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "platform/platform.h"
#include "tests/test_support.h"

namespace cellforge {
namespace {

using test::TempDir;

// client and all six compile tools stand-ins in <tmp>/bin, the target in
// <tmp>/quake2/baseq2/maps.
struct Chain {
  TempDir dir;
  Settings settings;
  std::string bin = dir / "bin/";
  std::string target = dir / "quake2/baseq2/maps/";

  Chain() {
    test::makeFolders(bin);
    test::makeFolders(target);
    for (const char* name : {"client", "qbsp", "light", "vis", "qbsp3", "qvis3", "qrad3"})
      std::filesystem::create_symlink(CELLFORGE_STAND_IN_EXE, bin + name);
    settings.client_path = bin + "client";
    settings.quake_i_qbsp = bin + "qbsp";
    settings.quake_i_light = bin + "light";
    settings.quake_i_vis = bin + "vis";
    settings.quake_ii_qbsp = bin + "qbsp3";
    settings.quake_ii_vis = bin + "qvis3";
    settings.quake_ii_light = bin + "qrad3";
    settings.target_directory = target;
    settings.game_type = 2;
  }
  void script(const char* tool, const char* text) { test::writeText(bin + tool + ".do", text); }
  std::string calls() const { return test::readText(bin + "calls.log"); }
  // The log with the working folders written as T (target) and C (our own).
  std::string shortCalls() const {
    std::string log = calls();
    const std::string here = std::filesystem::current_path().string();
    for (auto [from, to] : {std::pair{target.substr(0, target.size() - 1), std::string("T")},
                            {here, std::string("C")}}) {
      for (size_t at; (at = log.find(from)) != std::string::npos;) log.replace(at, from.size(), to);
    }
    return log;
  }
  Status run(bool compile = true) { return runToolChain(settings, {compile}, out); }
  std::ostringstream out;
};

TEST(ToolChain, QuakeTwoRunsClientThenBspVisLight) {
  Chain c;
  ASSERT_TRUE(c.run().ok());
  EXPECT_EQ(c.shortCalls(), R"(client | C
qbsp3 sample.map | T
qvis3 sample.bsp | T
qrad3 sample | T
)");
  EXPECT_EQ(c.out.str(), "client: " + c.bin + "client\nmap compiler: " + c.bin +
                             "qbsp3 sample.map\nvisibility tool: " + c.bin +
                             "qvis3 sample.bsp\nlight tool: " + c.bin + "qrad3 sample\n");
}

TEST(ToolChain, QuakeRunsLightBeforeVis) {
  Chain c;
  c.settings.game_type = 1;
  ASSERT_TRUE(c.run().ok());
  EXPECT_EQ(c.shortCalls(), R"(client | C
qbsp sample.map | T
light sample | T
vis sample.bsp | T
)");
}

TEST(ToolChain, WithoutCompilingOnlyClientRuns) {
  Chain c;
  ASSERT_TRUE(c.run(false).ok());
  EXPECT_EQ(c.shortCalls(), "client | C\n");
}

TEST(ToolChain, MissingCompilerStopsTheChainWithOneMessage) {
  Chain c;
  c.settings.quake_ii_qbsp = c.bin + "no-such-qbsp3";
  const Status s = c.run();
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.message(), "Couldn't execute " + c.bin + "no-such-qbsp3");
  EXPECT_EQ(c.shortCalls(), "client | C\n");
}

TEST(ToolChain, MissingTargetFolderFailsTheMapCompiler) {
  Chain c;
  c.settings.target_directory = c.dir / "nowhere/maps/";
  const Status s = c.run();
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.message(), "Couldn't execute " + c.bin + "qbsp3");
  EXPECT_EQ(c.shortCalls(), "client | C\n");
}

TEST(ToolChain, FailingToolStopsTheChainNamingItsStatus) {
  Chain c;
  c.script("qvis3", "exit 3\n");
  Status s = c.run();
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.message(), "visibility tool " + c.bin + "qvis3 failed with exit status 3");
  EXPECT_EQ(c.shortCalls(), "client | C\nqbsp3 sample.map | T\nqvis3 sample.bsp | T\n");

  c.script("qvis3", "signal 9\n");
  s = c.run();
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.message(), "visibility tool " + c.bin + "qvis3 was killed by signal 9");
}

TEST(ToolChain, FailingMapCompilerOutsideAQuake2FolderGetsAHint) {
  Chain c;
  c.settings.target_directory = c.dir.path();
  c.script("qbsp3", "exit 1\n");
  ASSERT_FALSE(c.run().ok());
  EXPECT_NE(c.out.str().find("hint: qbsp3 finds the game folder by a \"quake2\" folder"),
            std::string::npos);
  Chain inside;
  inside.script("qbsp3", "exit 1\n");
  ASSERT_FALSE(inside.run().ok());
  EXPECT_EQ(inside.out.str().find("hint:"), std::string::npos);
}

TEST(ToolChain, LeakFileStopsTheChainAndAStaleOneIsRemovedFirst) {
  Chain c;
  c.script("qbsp3", "touch sample.lin\n");
  const Status s = c.run();
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.message(), c.target +
                             "sample.lin: the map leaked (an opening leads out into the "
                             "void); visibility tool and light tool were not run");
  EXPECT_EQ(c.shortCalls(), "client | C\nqbsp3 sample.map | T\n");

  Chain stale;
  test::writeText(stale.target + "sample.lin", "old");
  EXPECT_TRUE(stale.run().ok());
  EXPECT_FALSE(platform::exists(stale.target + "sample.lin"));

  Chain quake;
  quake.settings.game_type = 1;
  quake.script("qbsp", "touch sample.pts\n");
  ASSERT_FALSE(quake.run().ok());
  EXPECT_EQ(quake.shortCalls(), "client | C\nqbsp sample.map | T\n");
}

TEST(ToolChain, FailingClientStopsBeforeTheMapCompiler) {
  Chain c;
  c.script("client", "exit 1\n");
  Status s = c.run();
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.message(), c.bin + "client failed with exit status 1; no compile tool was run");
  EXPECT_EQ(c.shortCalls(), "client | C\n");

  Chain missing;
  missing.settings.client_path = missing.bin + "no-client";
  s = missing.run();
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.message(), "Couldn't execute " + missing.bin + "no-client");
  EXPECT_EQ(missing.calls(), "");
}

}  // namespace
}  // namespace cellforge

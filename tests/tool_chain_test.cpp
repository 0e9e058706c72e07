#include "server/tool_chain.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
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
  std::string bin = test::native(dir / "bin/");
  std::string target = test::native(dir / "quake2/baseq2/maps/");

  Chain() {
    test::makeFolders(bin);
    test::makeFolders(target);
    for (const char* name : {"client", "qbsp", "light", "vis", "qbsp3", "qvis3", "qrad3"})
      test::installProgram(CELLFORGE_STAND_IN_EXE, bin + name);
    settings.client_path = tool("client");
    settings.quake_i_qbsp = tool("qbsp");
    settings.quake_i_light = tool("light");
    settings.quake_i_vis = tool("vis");
    settings.quake_ii_qbsp = tool("qbsp3");
    settings.quake_ii_vis = tool("qvis3");
    settings.quake_ii_light = tool("qrad3");
    settings.target_directory = target;
    settings.game_type = 2;
  }
  std::string tool(const char* name) const { return test::program(bin + name); }
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
  // Runs the chain; calls() then shows that run's calls only.
  Status run(bool compile = true, unsigned clientLimit = 600,
             std::function<Status()> afterClient = {}) {
    std::filesystem::remove(bin + "calls.log");
    return runToolChain(settings, {compile, clientLimit, std::move(afterClient), {}}, out);
  }
  // The run fails with `said` after the calls `ran`.
  void expectFails(const std::string& said, const std::string& ran) {
    const Status s = run();
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.message(), said);
    // The server's message box is for a program that could not be run.
    EXPECT_EQ(s.kind() == ErrorKind::couldNotRun, said.starts_with("Couldn't execute"));
    EXPECT_EQ(shortCalls(), ran);
  }
  std::ostringstream out;
};

TEST(ToolChain, RunsClientThenTheGamesCompileToolsInTheirOrder) {
  Chain c;
  ASSERT_TRUE(c.run().ok());
  EXPECT_EQ(c.shortCalls(),
            "client | C\nqbsp3 sample.map | T\nqvis3 sample.bsp | T\nqrad3 sample | T\n");
  EXPECT_EQ(c.out.str(), "client: " + c.tool("client") + "\nmap compiler: " + c.tool("qbsp3") +
                             " sample.map\nvisibility tool: " + c.tool("qvis3") +
                             " sample.bsp\nlight tool: " + c.tool("qrad3") + " sample\n");
  // Quake lights before vis.
  c.settings.game_type = 1;
  ASSERT_TRUE(c.run().ok());
  EXPECT_EQ(c.shortCalls(),
            "client | C\nqbsp sample.map | T\nlight sample | T\nvis sample.bsp | T\n");
  ASSERT_TRUE(c.run(false).ok());
  EXPECT_EQ(c.shortCalls(), "client | C\n");
}

TEST(ToolChain, CheckAfterTheClientStopsTheChainBeforeAnyCompileTool) {
  Chain c;
  int checks = 0;
  auto refuse = [&] {
    ++checks;
    return Status(fail("too many brushes"));
  };
  for (bool compile : {true, false}) {
    const Status s = c.run(compile, 600, refuse);
    EXPECT_EQ(s.message(), "too many brushes");
    EXPECT_EQ(c.shortCalls(), "client | C\n");
  }
  // A client that failed is not followed by the check.
  c.script("client", "exit 1\n");
  EXPECT_FALSE(c.run(true, 600, refuse).ok());
  EXPECT_EQ(checks, 2);
}

// A program that crashes or cannot start stops the chain with one message
// naming it, as this system describes it. Exit statuses and the other
// programs are the fault matrix's.
TEST(ToolChain, FailingProgramStopsTheChain) {
  const test::Crash crash = test::crashScript();
  Chain c;
  c.script("client", crash.script.c_str());
  c.expectFails(c.tool("client") + " " + crash.described + "; no compile tool was run",
                "client | C\n");
  c.settings.client_path = c.bin + "no-client";
  c.expectFails("Couldn't execute " + c.bin + "no-client", "");

  Chain tool;
  tool.script("qvis3", crash.script.c_str());
  tool.expectFails("visibility tool " + tool.tool("qvis3") + " " + crash.described,
                   "client | C\nqbsp3 sample.map | T\nqvis3 sample.bsp | T\n");

  // The map compiler runs in the target folder.
  Chain nowhere;
  nowhere.settings.target_directory = nowhere.dir / "nowhere/maps/";
  nowhere.expectFails("Couldn't execute " + nowhere.tool("qbsp3"), "client | C\n");
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
  c.expectFails(c.target +
                    "sample.lin: the map leaked (an opening leads out into the void); visibility "
                    "tool and light tool were not run",
                "client | C\nqbsp3 sample.map | T\n");
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

TEST(ToolChain, StuckClientIsStoppedAtTheLimit) {
  Chain c;
  c.script("client", "sleep 30\n");
  const Status s = c.run(true, 1);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.message(),
            c.tool("client") + " ran longer than 1 s and was stopped; no compile tool was run");
  EXPECT_EQ(c.shortCalls(), "client | C\n");
}

}  // namespace
}  // namespace cellforge

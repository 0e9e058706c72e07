#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "foundation/settings.h"
#include "layout/generator.h"
#include "layout/layout_file.h"
#include "layout/level_plan.h"
#include "layout/random_source.h"
#include "platform/platform.h"
#include "server/server_app.h"
#include "tests/test_support.h"

namespace cellforge {
namespace {

// An install tree whose bin/ holds stand-ins for client and the compile
// tools, its kit sixteen single-cell templates and two stairs; no INI yet.
struct Install : test::InstallTree {
  std::ostringstream out, err;

  Install() {
    for (const char* name : {"client", "qbsp3", "qvis3", "qrad3"})
      install(CELLFORGE_STAND_IN_EXE, name);
    const TemplateLibrary kit = test::singles();
    for (const Template& t : kit.templates()) writeTemplate(t);
  }
  int run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    return runServer(args, bin + "server", out, err);
  }
  // Windows has its own default game folder; the compile tools are to run
  // in this tree's.
  void useTreeTarget() { test::writeText(ini(), "[globals]\ntarget_directory=" + target + "\n"); }
  std::string calls() const { return test::readText(bin + "calls.log"); }
};

TEST(Server, SeededRunWritesTheLayoutRunsTheChainAndSavesSettings) {
  Install in;
  in.useTreeTarget();
  ASSERT_EQ(in.run({"--seed", "4242"}), 0) << in.err.str();
  EXPECT_EQ(in.err.str(), "");
  EXPECT_EQ(in.calls().find("client | "), 0u);
  EXPECT_NE(in.calls().find("qbsp3 sample.map | "), std::string::npos);
  EXPECT_NE(in.calls().find("qrad3 sample | "), std::string::npos);

  // The layout is the generator's for that seed.
  TemplateLibrary lib;
  ASSERT_TRUE(lib.load(in.source).ok());
  Settings s;
  setIniPath(s, in.bin + "server");
  ASSERT_TRUE(loadSettings(s).ok());
  RandomSource random(4242);
  Generator g({{s.x, s.y, s.z}, s.percent_to_fill}, lib, random);
  ASSERT_TRUE(g.prepare().ok());
  ASSERT_TRUE(g.fill());
  EXPECT_EQ(test::readText(in.layout()), encodeLayout(g.grid()));

  const std::string shown = in.out.str();
  EXPECT_EQ(shown.find("seed 4242 (run again with --seed 4242)\n"), 0u);
  EXPECT_NE(shown.find("attempts discarded: " + std::to_string(g.discardedAttempts()) + "\n"),
            std::string::npos);
  EXPECT_NE(shown.find("templates placed: " + std::to_string(g.templatesPlaced()) + "\n"),
            std::string::npos);
  // No piece texts here: the start is known, the exit is not.
  const LevelPlan level = planLevel(
      g.grid(), lib, [](const Template&) { return false; }, in.layout());
  EXPECT_NE(shown.find("start: cell (" + std::to_string(level.placements[0].anchor.x) + ", " +
                       std::to_string(level.placements[0].anchor.y) + ", 0)\nall " +
                       std::to_string(level.placements.size()) +
                       " rooms reachable on foot\nplan (S start"),
            std::string::npos);
  EXPECT_NE(shown.find(layoutPlan(g.grid(), level)), std::string::npos);
  EXPECT_NE(shown.find("Floor plan: cellforge-template plan " + in.bin +
                       test::native("../maps/templates/sample.mtf") + "\n"),
            std::string::npos);

  const std::string ini = test::readText(in.ini());
  EXPECT_NE(ini.find("quake_ii_light="), std::string::npos) << ini;
  EXPECT_EQ(ini.find("template_settings"), std::string::npos);

  // The same seed gives the same run.
  const std::string first = test::readText(in.layout());
  ASSERT_EQ(in.run({"--seed", "4242", "--no-compile"}), 0);
  EXPECT_EQ(test::readText(in.layout()), first);
  EXPECT_EQ(in.out.str().substr(0, shown.find("client:")), shown.substr(0, shown.find("client:")));
}

TEST(Server, BadOptionsAreUsageErrors) {
  Install in;
  for (std::vector<std::string> args : {std::vector<std::string>{"--fast"},
                                        {"--seed"},
                                        {"--seed", "x1"},
                                        {"--seed", "4294967296"}}) {
    EXPECT_EQ(in.run(args), 2) << args[0];
    const std::string said = in.err.str();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  }
  EXPECT_NE(in.err.str().find("4294967296"), std::string::npos);
  EXPECT_FALSE(platform::exists(in.ini()));
  EXPECT_FALSE(platform::exists(in.layout()));
  EXPECT_EQ(in.run({"--seed", "4294967295", "--no-compile"}), 0) << in.err.str();
}

// The INI stays as it was, or absent. The fault matrix has the other faults.
TEST(Server, RunsThatWriteNoLayoutLeaveTheIniAlone) {
  Install in;
  const std::string original = "[template_settings]\nx=2\n";
  test::writeText(in.ini(), original);
  EXPECT_EQ(in.run({}), 1);
  EXPECT_NE(in.err.str().find("x = 2 is too small"), std::string::npos) << in.err.str();
  EXPECT_EQ(test::readText(in.ini()), original);
  std::filesystem::remove(in.ini());
  std::filesystem::remove_all(in.templates);
  EXPECT_EQ(in.run({}), 1);
  EXPECT_NE(in.err.str().find("sample.mtf"), std::string::npos) << in.err.str();
  EXPECT_FALSE(platform::exists(in.ini()));
  EXPECT_EQ(in.calls(), "");
}

TEST(Server, FailedChainFailsTheRunButSavesTheSettings) {
  Install in;
  in.useTreeTarget();
  test::writeText(in.bin + "qbsp3.do", "touch sample.lin\n");
  EXPECT_EQ(in.run({"--seed", "5"}), 1);
  EXPECT_NE(in.err.str().find("sample.lin: the map leaked"), std::string::npos) << in.err.str();
  EXPECT_TRUE(platform::exists(in.layout()));
  EXPECT_TRUE(platform::exists(in.ini()));
  EXPECT_EQ(in.calls().find("qvis3"), std::string::npos);
}

}  // namespace
}  // namespace cellforge

#include "template_tool/template_tool.h"

#include <gtest/gtest.h>

#include <sstream>

#include "layout/cell_grid.h"
#include "layout/layout_file.h"
#include "platform/platform.h"
#include "template_tool/brush_geometry.h"
#include "template_tool/floor_plan.h"
#include "template_tool/manifest.h"
#include "templates/mmd_file.h"
#include "tests/test_support.h"

namespace cellforge {
namespace {

using test::TempDir;

const std::string kKit = std::string(CELLFORGE_SOURCE_DIR) + "/maps/S2/";

struct Ran {
  int status;
  std::string out, err;
};

Ran run(std::vector<std::string> args, const std::string& programPath = "/nonexistent/tool") {
  std::ostringstream out, err;
  const int status = runTemplateTool(args, programPath, out, err);
  return {status, out.str(), err.str()};
}

constexpr const char* kManifest = R"(id 40
piece room_2x1_a.map
triple 1 -2 3
cell 0 0 0 +y -y +x -x
cell 1 0 0 -x templateId 7 occupied 1
)";

TEST(Manifest, EveryShippedMmdShowsAndBuildsBackByteForByte) {
  for (const std::string kit : {"/maps/S2/", "/maps/S1/"}) {
    const std::string folder = std::string(CELLFORGE_SOURCE_DIR) + kit;
    auto names = platform::listFolder(folder, "*.mmd");
    ASSERT_TRUE(names.ok()) << names.message();
    ASSERT_FALSE(names->empty());
    for (const std::string& name : *names) {
      auto bytes = platform::readFile(folder + name);
      ASSERT_TRUE(bytes.ok());
      auto t = parseMmd(*bytes, name);
      ASSERT_TRUE(t.ok()) << t.message();
      auto again = parseManifest(formatManifest(*t), name);
      ASSERT_TRUE(again.ok()) << again.message();
      EXPECT_EQ(encodeMmd(*again), *bytes) << name;
    }
  }
}

TEST(Manifest, FaultsNameTheLine) {
  auto expectFault = [](std::string_view text, const std::string& message) {
    auto t = parseManifest(text, "m.txt");
    ASSERT_FALSE(t.ok());
    EXPECT_EQ(t.message(), message);
  };
  expectFault(
      "id 1\npiece a.map\n\ncell 0 0 0 +z\n",
      "m.txt:4: unknown word \"+z\" (sides are +y -y +x -x; also templateId N, occupied N)");
  expectFault("# a room\nid one\n", "m.txt:2: \"id\" needs one integer");
  expectFault("id 1\nid 2\n", "m.txt:2: second \"id\" line");
  expectFault("id 1\npiece a.map\ncell 0 0\n",
              "m.txt:3: \"cell\" needs its offset as three integers");
  expectFault("id 1\npiece a.map\ncell 0 0 0 +x +x\n", "m.txt:3: side +x named twice");
  expectFault("id 1\npiece a.map\ncell 0 0 0 occupied\n", "m.txt:3: \"occupied\" needs an integer");
  expectFault("id 1\nsize 3\n",
              "m.txt:2: unknown key \"size\" (expected id, piece, triple or cell)");
  expectFault("piece a.map\n", "m.txt: no \"id\" line");
  expectFault("id 1\n", "m.txt: no \"piece\" line");
  expectFault("id 1\npiece   \n", "m.txt:2: \"piece\" needs a file name");
}

TEST(Layout, ShowPrintsGridAndRecordsOrTheReadersFault) {
  TempDir dir;
  Template t;
  t.id = 9;
  t.cells.resize(1);
  CellGrid grid;
  grid.resize({3, 2, 1});
  grid.place({2, 1, 0}, t);
  grid.place({0, 0, 0}, t);
  ASSERT_TRUE(writeLayoutFile(dir / "sample.mtf", grid).ok());
  Ran shown = run({"show", dir / "sample.mtf"});
  EXPECT_EQ(shown.status, 0) << shown.err;
  EXPECT_EQ(shown.out, "grid 3 2 1\nplace 9 at 0 0 0 first\nplace 9 at 2 1 0\n");

  test::writeText(dir / "cut.mtf", encodeLayout(grid).substr(0, 60));
  Ran cut = run({"show", dir / "cut.mtf"});
  EXPECT_EQ(cut.status, 1);
  EXPECT_EQ(cut.err, "cellforge-template: " + (dir / "cut.mtf") +
                         ": record count 2 does not match the 10 bytes of records in the file\n");
}

std::vector<maptext::PlaneLine> planesOf(const std::vector<std::string>& lines) {
  std::vector<maptext::PlaneLine> planes;
  for (const std::string& l : lines) planes.push_back(maptext::splitPlaneLine(l));
  return planes;
}

TEST(BrushGeometry, AnyConvexBrushAndTheBoxesAgainstIt) {
  // A ramp: 0..128 along x rising from 0 to 64, 0..64 along y, a 16-unit
  // slab below it.
  const std::vector<std::string> ramp{
      "( 0 0 0 ) ( 0 1 0 ) ( 0 0 1 ) t 0 0 0 1 1",             // -x
      "( 0 0 0 ) ( 0 0 1 ) ( 1 0 0 ) t 0 0 0 1 1",             // -y
      "( 0 0 -16 ) ( 1 0 -16 ) ( 0 1 -16 ) t 0 0 0 1 1",       // bottom
      "( 0 64 0 ) ( 1 64 0 ) ( 0 64 1 ) t 0 0 0 1 1",          // +y
      "( 128 0 0 ) ( 128 0 1 ) ( 128 1 0 ) t 0 0 0 1 1",       // +x
      "( 0 0 0 ) ( 0 1 0 ) ( 128 0 64 ) t 0 0 0 1 1.5 0 0 0",  // the slope
  };
  ConvexBrush b;
  ASSERT_TRUE(makeBrush(planesOf(ramp), b));
  EXPECT_EQ(b.lo, (Vec3{0, 0, -16}));
  EXPECT_EQ(b.hi, (Vec3{128, 64, 64}));
  EXPECT_TRUE(brushContains(b, {64, 32, 31}, 0.5));
  EXPECT_FALSE(brushContains(b, {64, 32, 33}, 0));
  EXPECT_FALSE(brushContains(b, {64, 32, 32}, 1e-6));
  EXPECT_TRUE(brushContains(b, {64, 32, 32}, -1e-6));  // on its face

  // The player's box over the slope rests where its leading lower edge
  // meets it: at x 64 the edge at x 80 stands on 40, the origin 24 above.
  const BoxSize player{{-16, -16, -24}, {16, 16, 32}};
  const Interval over = boxOverlapHeights(b, player, 64, 32);
  EXPECT_NEAR(over.hi, 40 + 24, 1e-9);
  EXPECT_NEAR(over.lo, -16 - 32, 1e-9);
  // Past its end and beside it: the bevels keep the box off.
  const Interval beyond = boxOverlapHeights(b, player, 145, 32);
  EXPECT_GE(beyond.lo, beyond.hi);
  EXPECT_TRUE(boxOverlaps(b, player, {143, 32, 80}, 0.01));
  EXPECT_FALSE(boxOverlaps(b, player, {64, 32, 64}, 0.01));  // standing on it

  // Three points on a line, and planes that enclose nothing.
  EXPECT_FALSE(makeBrush(planesOf({"( 0 0 0 ) ( 1 1 1 ) ( 2 2 2 ) t 0 0 0 1 1"}), b));
  EXPECT_FALSE(makeBrush(planesOf({ramp[0], ramp[1], ramp[2]}), b));
}

TEST(Tool, BuildThenShowRoundTripsAndFaultsAreOneLine) {
  TempDir dir;
  test::writeText(dir / "m.txt", kManifest);
  Ran built = run({"build", dir / "m.txt", dir / "t.mmd"});
  EXPECT_EQ(built.status, 0) << built.err;
  EXPECT_EQ(built.out, "wrote " + (dir / "t.mmd") + " (template 40, 2 cells)\n");
  Ran shown = run({"show", dir / "t.mmd"});
  EXPECT_EQ(shown.status, 0);
  EXPECT_EQ(shown.out, kManifest);

  Ran missing = run({"show", dir / "absent.mmd"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1);
  EXPECT_NE(missing.err.find("absent.mmd"), std::string::npos);

  test::writeText(dir / "bad.txt", "id 1\npiece a.map\ncell x\n");
  Ran bad = run({"build", dir / "bad.txt", dir / "bad.mmd"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err, "cellforge-template: " + (dir / "bad.txt") +
                         ":3: \"cell\" needs its offset as three integers\n");
  EXPECT_FALSE(platform::exists(dir / "bad.mmd"));

  Ran full = run({"build", dir / "m.txt", "/dev/full"});
  EXPECT_EQ(full.status, 1);

  EXPECT_EQ(run({}).status, 2);
  EXPECT_EQ(run({"build", "only-one"}).status, 2);
  EXPECT_EQ(run({"check", "--game", "doom", "x"}).status, 2);
  EXPECT_EQ(run({"frobnicate"}).status, 2);
}

TEST(Tool, CheckPrintsOneLinePerProblemAndFailsOnAny) {
  Ran good = run({"check", kKit});
  EXPECT_EQ(good.status, 0) << good.out;
  EXPECT_EQ(good.out, kKit + ": 125 templates, no problems\n");
  Ran bad = run({"check", std::string(CELLFORGE_SOURCE_DIR) + "/tests/fixtures/kit"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(std::count(bad.out.begin(), bad.out.end(), '\n'), 13);
  EXPECT_EQ(bad.err, "cellforge-template: 13 problems in " + std::string(CELLFORGE_SOURCE_DIR) +
                         "/tests/fixtures/kit" + platform::separator() + "\n");
  EXPECT_EQ(run({"check"}).status, 2);
}

// A floor slab, a player start and an exit trigger: the whole picture.
TEST(Tool, RenderDrawsACutAwayWithItsEntities) {
  TempDir dir;
  test::writeText(dir / "p.map", R"({
"classname" "worldspawn"
"wad" "x.wad"
{
( 0 0 0 ) ( 0 1 0 ) ( 0 0 1 ) floor 0 0 0 1 1
( 0 0 0 ) ( 0 0 1 ) ( 1 0 0 ) floor 0 0 0 1 1
( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) floor 0 0 0 1 1
( 64 64 16 ) ( 64 65 16 ) ( 65 64 16 ) floor 0 0 0 1 1
( 64 64 16 ) ( 65 64 16 ) ( 64 64 17 ) floor 0 0 0 1 1
( 64 64 16 ) ( 64 64 17 ) ( 64 65 16 ) floor 0 0 0 1 1
}
}
{
"classname" "info_player_start"
"origin" "32 32 40"
}
{
"classname" "trigger_changelevel"
"map" "start"
{
( 16 16 16 ) ( 16 17 16 ) ( 16 16 17 ) trigger 0 0 0 1 1
( 16 16 16 ) ( 16 16 17 ) ( 17 16 16 ) trigger 0 0 0 1 1
( 16 16 16 ) ( 17 16 16 ) ( 16 17 16 ) trigger 0 0 0 1 1
( 48 48 72 ) ( 48 49 72 ) ( 49 48 72 ) trigger 0 0 0 1 1
( 48 48 72 ) ( 49 48 72 ) ( 48 48 73 ) trigger 0 0 0 1 1
( 48 48 72 ) ( 48 48 73 ) ( 48 49 72 ) trigger 0 0 0 1 1
}
}
)");
  Ran r = run({"render", dir / "p.map"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "wrote " + (dir / "p.svg") + "\n");
  EXPECT_EQ(
      test::readText(dir / "p.svg"),
      R"svg(<svg xmlns="http://www.w3.org/2000/svg" width="420.0" height="128.0" font-family="sans-serif">
<rect width="100%" height="100%" fill="white"/>
<text x="16.0" y="28.0" font-size="14">storey 0</text>
<polygon points="43.7,88.0 16.0,72.0 43.7,56.0 71.4,72.0" fill="hsl(141,22%,82%)" stroke="#333" stroke-width="0.4"/>
<polygon points="43.7,96.0 16.0,80.0 16.0,72.0 43.7,88.0" fill="hsl(141,22%,52%)" stroke="#333" stroke-width="0.4"/>
<polygon points="71.4,72.0 71.4,80.0 43.7,96.0 43.7,88.0" fill="hsl(141,22%,64%)" stroke="#333" stroke-width="0.4"/>
<polygon points="43.7,52.0 29.9,44.0 43.7,36.0 57.6,44.0" fill="#d22" fill-opacity="0.3" stroke="#333" stroke-width="0.4"/>
<polygon points="43.7,80.0 29.9,72.0 29.9,44.0 43.7,52.0" fill="#d22" fill-opacity="0.3" stroke="#333" stroke-width="0.4"/>
<polygon points="57.6,44.0 57.6,72.0 43.7,80.0 43.7,52.0" fill="#d22" fill-opacity="0.3" stroke="#333" stroke-width="0.4"/>
<g><title>info_player_start (line 13)</title><circle cx="43.7" cy="60.0" r="7.0" fill="#2a2" stroke="white" stroke-width="1"/><text x="43.7" y="62.8" font-size="8.4" fill="white" text-anchor="middle">S</text></g>
<g><title>trigger_changelevel (line 17)</title><circle cx="43.7" cy="72.0" r="7.0" fill="#d22" stroke="white" stroke-width="1"/><text x="43.7" y="74.8" font-size="8.4" fill="white" text-anchor="middle">E</text></g>
<text x="16.0" y="120.0" font-size="11">S start, E exit, M monster, I item, yellow: light; red box: exit trigger, violet: other trigger, blue: liquid. Walls cut 128 units above each storey's floor.</text>
</svg>
)svg");

  // A kit: every piece on one sheet, named.
  Ran sheet = run({"render", "--game", "quake2", kKit, dir / "kit.svg"});
  ASSERT_EQ(sheet.status, 0) << sheet.err;
  const std::string kit = test::readText(dir / "kit.svg");
  for (const char* name : {">end_n_a.map<", ">stair_up_e_a.map<", ">room_2x2_b.map<"})
    EXPECT_NE(kit.find(name), std::string::npos) << name;

  EXPECT_EQ(run({"render", dir / "none.map"}).status, 1);
  EXPECT_EQ(run({"render", "--game", "doom", dir / "p.map"}).status, 2);
}

TEST(Tool, PlanDrawsEveryStoreyAndMarksStartAndExit) {
  TempDir dir;
  TemplateLibrary library;
  ASSERT_TRUE(library.load(kKit).ok());
  // A stair up towards +x from (0, 0, 0), a dead end at its top.
  const Template* stair = nullptr;
  const Template* end = nullptr;
  for (const Template& t : library.templates()) {
    if (t.name == "stair_up_e_a.map") stair = &t;
    if (t.name == "end_w_a.map") end = &t;
  }
  ASSERT_NE(stair, nullptr);
  ASSERT_NE(end, nullptr);
  CellGrid grid;
  grid.resize({2, 1, 2});
  grid.place({0, 0, 0}, *stair);
  grid.place({1, 0, 1}, *end);
  ASSERT_TRUE(writeLayoutFile(dir / "sample.mtf", grid).ok());
  Ran r = run({"plan", dir / "sample.mtf", kKit});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "wrote " + (dir / "sample.svg") + "\n");
  const std::string svg = test::readText(dir / "sample.svg");
  EXPECT_NE(svg.find("storey 0"), std::string::npos);
  EXPECT_NE(svg.find("storey 1"), std::string::npos);
  EXPECT_NE(svg.find("&#9650; up"), std::string::npos);
  EXPECT_NE(svg.find("&#9660; down"), std::string::npos);
  // One start, in the first cell of the walk: (0, 0, 0), drawn at the left.
  EXPECT_EQ(svg.find("<title>player start"), svg.rfind("<title>player start"));
  EXPECT_NE(svg.find("<circle cx=\"48\" cy=\"64\""), std::string::npos);
  EXPECT_NE(svg.find("(stair_up_e_a.map) at 0 0 0"), std::string::npos);
  // The exit at the dead end upstairs, in the second cell of storey 1's panel.
  EXPECT_NE(svg.find("<g><title>exit at cell (1, 0, 1), 1 room from the start</title><circle "
                     "cx=\"216\" cy=\"64\""),
            std::string::npos)
      << svg;

  Ran noKit = run({"plan", dir / "sample.mtf", dir / "nokit"});
  EXPECT_EQ(noKit.status, 1);

  // Without a kit folder: the INI beside the program names it.
  test::writeText(dir / "Cellforge.INI", "[globals]\nsource_directory=" + kKit + "\n");
  Ran fromIni = run({"plan", dir / "sample.mtf", kKit, dir / "other.svg"});
  ASSERT_EQ(fromIni.status, 0) << fromIni.err;
  Ran byIni = run({"plan", dir / "sample.mtf"}, dir / "cellforge-template");
  ASSERT_EQ(byIni.status, 0) << byIni.err;
  EXPECT_EQ(test::readText(dir / "sample.svg"), test::readText(dir / "other.svg"));
}

}  // namespace
}  // namespace cellforge

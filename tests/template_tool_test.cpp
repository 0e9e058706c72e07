#include "template_tool/template_tool.h"

#include <gtest/gtest.h>

#include <sstream>

#include "layout/cell_grid.h"
#include "layout/layout_file.h"
#include "platform/platform.h"
#include "template_tool/floor_plan.h"
#include "template_tool/manifest.h"
#include "template_tool/piece_text.h"
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

TEST(Manifest, TextToMmdAndBackIsTheSameText) {
  auto t = parseManifest(kManifest, "m.txt");
  ASSERT_TRUE(t.ok()) << t.message();
  EXPECT_EQ(t->id, 40);
  EXPECT_EQ(t->name, "room_2x1_a.map");
  ASSERT_EQ(t->cells.size(), 2u);
  EXPECT_EQ(t->cells[1].templateId, 7);
  auto back = parseMmd(encodeMmd(*t), "m.mmd");
  ASSERT_TRUE(back.ok()) << back.message();
  EXPECT_EQ(formatManifest(*back), kManifest);
}

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

TEST(Layout, ShowsGridAndRecords) {
  TemplateLibrary library;
  Template t;
  t.id = 9;
  t.cells.resize(1);
  library.add(t);
  CellGrid grid;
  grid.resize({3, 2, 1});
  grid.place({2, 1, 0}, t);
  grid.place({0, 0, 0}, t);
  auto text = formatLayout(encodeLayout(grid), "sample.mtf");
  ASSERT_TRUE(text.ok()) << text.message();
  EXPECT_EQ(*text, "grid 3 2 1\nplace 9 at 0 0 0 first\nplace 9 at 2 1 0\n");
  const std::string bytes = encodeLayout(grid);
  for (size_t cut = 0; cut < bytes.size(); ++cut)
    EXPECT_FALSE(formatLayout(std::string_view(bytes).substr(0, cut), "s.mtf").ok()) << cut;
}

TEST(PieceText, ReadsEntitiesBrushesAndFaults) {
  auto p = parsePieceText(R"({
"classname" "worldspawn"
// a comment
{
( 0 0 0 ) ( 0 1 0 ) ( 0 0 1 ) base/floor 0 0 0 1 1
( 0 0 0 ) ( 0 0 1 ) ( 1 0 0 ) base/floor 0 0 0 1 1
( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) base/floor 0 0 0 1 1
( 64 64 16 ) ( 64 65 16 ) ( 65 64 16 ) base/floor 0 0 0 1 1 0 0 0
( 64 64 16 ) ( 65 64 16 ) ( 64 64 17 ) base/floor 0 0 0 1 1
( 64 64 16 ) ( 64 64 17 ) ( 64 65 16 ) base/floor 0 0 0 1 1
}
}
)",
                          "p.map");
  ASSERT_TRUE(p.ok()) << p.message();
  ASSERT_EQ(p->size(), 1u);
  ASSERT_EQ((*p)[0].brushes.size(), 1u);
  Bounds b;
  ASSERT_TRUE(brushBounds((*p)[0].brushes[0], b));
  EXPECT_EQ(b.lo, (std::array<double, 3>{0, 0, 0}));
  EXPECT_EQ(b.hi, (std::array<double, 3>{64, 64, 16}));
  EXPECT_TRUE(brushContains((*p)[0].brushes[0], {64, 0, 8}));
  EXPECT_FALSE(brushContainsStrictly((*p)[0].brushes[0], {64, 0, 8}));
  EXPECT_TRUE(brushContainsStrictly((*p)[0].brushes[0], {1, 1, 1}));

  auto fault = [](std::string_view text) { return parsePieceText(text, "p.map").message(); };
  EXPECT_EQ(fault("{\n\"classname\" \"worldspawn\"\n"), "p.map:1: \"{\" never closed");
  EXPECT_EQ(fault("}\n"), "p.map:1: \"}\" without its \"{\"");
  EXPECT_EQ(fault("{\nclassname worldspawn\n}\n"), "p.map:2: key line must be \"key\" \"value\"");
  EXPECT_EQ(fault("{\n{\n( 0 0 0.5 ) ( 0 1 0 ) ( 0 0 1 ) t 0 0 0 1 1\n}\n}\n"),
            "p.map:3: plane line must be three points of three integers in parentheses, a "
            "texture and its five values");
  EXPECT_EQ(fault("{\n{\n( 0 0 0 ) ( 0 1 0 ) ( 0 0 1 ) t 0 0 0 1 1\n}\n}\n"),
            "p.map:2: brush has fewer than four planes");
  EXPECT_EQ(fault("\"wad\" \"x\"\n"), "p.map:1: text outside any entity");
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
  EXPECT_EQ(good.out, kKit + ": 42 templates, no problems\n");
  Ran bad = run({"check", std::string(CELLFORGE_SOURCE_DIR) + "/tests/fixtures/kit"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(std::count(bad.out.begin(), bad.out.end(), '\n'), 11);
  EXPECT_EQ(bad.err, "cellforge-template: 11 problems in " + std::string(CELLFORGE_SOURCE_DIR) +
                         "/tests/fixtures/kit" + platform::separator() + "\n");
  EXPECT_EQ(run({"check"}).status, 2);
}

TEST(Tool, PlanDrawsEveryStoreyAndMarksTheStart) {
  TempDir dir;
  TemplateLibrary library;
  ASSERT_TRUE(library.load(kKit).ok());
  // A stair up towards +x from (0, 0, 0), a dead end at its top.
  const Template* stair = nullptr;
  const Template* end = nullptr;
  for (const Template& t : library.templates()) {
    if (t.name == "stair_up_e.map") stair = &t;
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
  EXPECT_EQ(svg.rfind("<svg ", 0), 0u);
  EXPECT_NE(svg.find("storey 0"), std::string::npos);
  EXPECT_NE(svg.find("storey 1"), std::string::npos);
  EXPECT_NE(svg.find("&#9650; up"), std::string::npos);
  EXPECT_NE(svg.find("&#9660; down"), std::string::npos);
  // One start, in the first cell of the walk: (0, 0, 0), drawn at the left.
  EXPECT_EQ(svg.find("<title>player start"), svg.rfind("<title>player start"));
  EXPECT_NE(svg.find("<circle cx=\"48\" cy=\"64\""), std::string::npos);
  EXPECT_NE(svg.find("(stair_up_e.map) at 0 0 0"), std::string::npos);

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

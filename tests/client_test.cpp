#include <gtest/gtest.h>

#include <sstream>

#include "client/client_app.h"
#include "layout/layout_file.h"
#include "platform/platform.h"
#include "templates/mmd_file.h"
#include "tests/test_support.h"

namespace cellforge {
namespace {

// An install tree whose INI names its folders, for runs of client.
struct Install : test::InstallTree {
  std::string out, err;

  Install() { writeIni(); }
  Template addTemplate(int32_t id, const std::string& name, std::string_view piece,
                       uint16_t openings = 0) {
    Template t = test::cellTemplate(id, openings);
    t.name = name;
    writeTemplate(t);
    if (!piece.empty()) test::writeText(source + name, piece);
    return t;
  }
  void writeLayout(GridCoord dims, const std::vector<std::pair<GridCoord, Template>>& placed) {
    CellGrid grid;
    grid.resize(dims);
    for (const auto& [at, t] : placed) grid.place(at, t);
    ASSERT_TRUE(writeLayoutFile(layout(), grid).ok());
  }
  int run(std::vector<std::string> args = {}) {
    std::ostringstream o, e;
    const int status = runClient(args, bin + "client", o, e);
    out = o.str();
    err = e.str();
    return status;
  }
  std::string mapText() const { return test::readText(map()); }
};

constexpr std::string_view kRoom = R"(// room piece
{
"classname" "worldspawn"
{
( 0 0 0 ) ( 0 64 0 ) ( 64 0 0 ) floor 0 0 0 1 1
( 0 0 16 ) ( 64 0 16 ) ( 0 64 16 ) floor 0 0 0 1 1
}
}
{
"classname" "info_player_start"
"origin" "32 32 24"
}
)";

TEST(Client, TheLowestCellGivesTheHeaderAndThePlayerStart) {
  Install in;
  const Template low = in.addTemplate(1, "low.map", R"({
"classname" "worldspawn"
"message" "low"
{
( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) a 0 0 0 1 1
}
}
{
"classname" "info_player_start"
"origin" "0 0 0"
}
)");
  const Template high = in.addTemplate(2, "high.map", R"({
"classname" "worldspawn"
"message" "high"
{
( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) b 0 0 0 1 1
}
}
{
"classname" "info_player_start"
"origin" "1 1 1"
}
)");
  in.writeLayout({2, 1, 2}, {{{0, 0, 1}, high}, {{1, 0, 0}, low}});
  ASSERT_EQ(in.run(), 0) << in.err;
  EXPECT_EQ(in.mapText(), R"({
  "classname" "worldspawn"
  "message" "low"
 {
  ( 256 0 0 ) ( 256 1 0 ) ( 257 0 0 ) a 0 0 0 1 1
 }
 {
  ( 0 0 256 ) ( 0 1 256 ) ( 1 0 256 ) b 0 0 0 1 1
 }
}
{
  "classname" "info_player_start"
  "origin"        "256 0 0"
}
)");
}

// Three placements in a row, the outer two of one piece: the far copy keeps
// the exit, the near one the player start; names get each placement's
// number; `_depth` keeps an entity only as deep as it asks, edges included.
TEST(Client, OneExitAtTheFarEndNamesPerPlacementAndDepth) {
  Install in;
  constexpr std::string_view kEnd = R"({
"classname" "worldspawn"
}
{
"classname" "info_player_start"
"origin" "32 32 24"
}
{
"classname" "trigger_multiple"
"target" "out"
{
( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) trigger 0 0 0 1 1
}
}
{
"classname" "target_changelevel"
"targetname" "out"
"map" "base1"
}
{
"classname" "func_door"
"targetname" "door"
"team" "pair"
}
{
"classname" "monster_soldier"
"_depth" "0.5 1"
"origin" "8 8 8"
}
{
"classname" "monster_tank"
"_depth" "0 0.5"
}
)";
  const Template west = in.addTemplate(1, "end.map", kEnd, 4);
  const Template east = in.addTemplate(3, "end.map", kEnd, 8);
  const Template middle = in.addTemplate(2, "middle.map", R"({
"classname" "worldspawn"
}
{
"classname" "light"
"_depth" "0.5 0.5"
"targetname" "lamp"
}
{
"classname" "light"
"_depth" "0 0.4999"
}
)",
                                         12);
  in.writeLayout({3, 1, 1}, {{{0, 0, 0}, west}, {{1, 0, 0}, middle}, {{2, 0, 0}, east}});
  ASSERT_EQ(in.run(), 0) << in.err;
  EXPECT_EQ(in.err, "");
  EXPECT_EQ(in.out, "Wrote " + in.map() + "\n");
  EXPECT_EQ(in.mapText(), R"({
  "classname" "worldspawn"
}
{
  "classname" "info_player_start"
  "origin"        "32 32 24"
}
{
  "classname" "func_door"
  "targetname" "door_1"
  "team" "pair_1"
}
{
  "classname" "monster_tank"
}
{
  "classname" "light"
  "targetname" "lamp_2"
}
{
  "classname" "trigger_multiple"
  "target" "out_3"
 {
  ( 512 0 0 ) ( 512 1 0 ) ( 513 0 0 ) trigger 0 0 0 1 1
 }
}
{
  "classname" "target_changelevel"
  "targetname" "out_3"
  "map" "base1"
}
{
  "classname" "func_door"
  "targetname" "door_3"
  "team" "pair_3"
}
{
  "classname" "monster_soldier"
  "origin"        "520 8 8"
}
)");
}

// Every failure is one line naming the file, status 1, and no map at all.
void expectFailure(Install& in, const std::string& line) {
  test::writeText(in.map(), "stale\n");
  EXPECT_EQ(in.run(), 1);
  EXPECT_EQ(in.err, "client: " + line + "\n");
  EXPECT_FALSE(platform::exists(in.map()));
}

TEST(Client, LayoutFailures) {
  Install in;
  const Template room = in.addTemplate(1, "room.map", kRoom);
  const std::string layout = in.layout();
  expectFailure(in, layout + ": cannot open: " + test::missingFileCause());
  test::writeText(layout, "not a layout");
  expectFailure(in, layout + ": not a layout file");
  in.writeLayout({2, 1, 1}, {});
  expectFailure(in, layout + ": no template is placed in this layout");
  Template stranger = room;
  stranger.id = 7;
  in.writeLayout({2, 1, 1}, {{{0, 0, 0}, stranger}});
  expectFailure(
      in, layout + ": record 1 of 1 names template id 7, which no template of the library has");
}

TEST(Client, PieceFailures) {
  Install in;
  const Template missing = in.addTemplate(1, "missing.map", "");
  in.writeLayout({1, 1, 1}, {{{0, 0, 0}, missing}});
  expectFailure(in, in.source + "missing.map: cannot open: " + test::missingFileCause());

  const Template bad = in.addTemplate(1, "bad.map",
                                      "{\n\"classname\" \"worldspawn\"\n{\n"
                                      "( 0 0 0 ) ( 0 1 0 ) ( 12.75abc 0 0 ) t\n}\n}\n");
  in.writeLayout({1, 1, 1}, {{{0, 0, 0}, bad}});
  expectFailure(in, in.source + "bad.map:4: \"12.75abc\" is not a number");

  const Template depth =
      in.addTemplate(1, "depth.map",
                     "{\n\"classname\" \"worldspawn\"\n}\n{\n"
                     "\"classname\" \"monster_tank\"\n\"_depth\" \"0.7 0.2\"\n}\n");
  in.writeLayout({1, 1, 1}, {{{0, 0, 0}, depth}});
  expectFailure(in, in.source +
                        "depth.map:6: _depth \"0.7 0.2\" must be two numbers from 0 to 1, the "
                        "lower first (as \"0.5 1\")");

  for (const std::string name : {"../room.map", "/etc/passwd", "sub\\..\\..\\x.map"}) {
    SCOPED_TRACE(name);
    const Template escape = in.addTemplate(1, name, "");
    in.writeLayout({1, 1, 1}, {{{0, 0, 0}, escape}});
    expectFailure(in, in.source + "t1.mmd: piece text name \"" + name +
                          "\" is not a file inside the source folder");
  }
}

TEST(Client, DuplicateIdsAreWarnedAbout) {
  Install in;
  const Template room = in.addTemplate(1, "room.map", kRoom);
  Template twin = room;
  test::writeText(in.source + "twin.mmd", encodeMmd(twin));
  in.writeLayout({1, 1, 1}, {{{0, 0, 0}, room}});
  ASSERT_EQ(in.run(), 0);
  EXPECT_EQ(in.err, "client: " + in.source + "twin.mmd: template id 1 is also used by " +
                        in.source + "t1.mmd; layouts will always use that one\n");
}

// The entities unbalanced braces cut off stay out of the map, as before,
// but the run says where the braces went wrong.
TEST(Client, UnbalancedBracesAreWarnedAbout) {
  Install in;
  const Template stray = in.addTemplate(1, "stray.map", R"({
"classname" "worldspawn"
{
( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) a 0 0 0 1 1
}
}
}
{
"classname" "light"
}
)");
  const Template open = in.addTemplate(2, "open.map", R"({
"classname" "info_null"
}
{
"classname" "light"
)");
  in.writeLayout({2, 1, 1}, {{{0, 0, 0}, stray}, {{1, 0, 0}, open}});
  ASSERT_EQ(in.run(), 0) << in.err;
  EXPECT_EQ(in.err, "client: " + in.source +
                        "stray.map:7: this \"}\" closes no entity, so the entities after it are "
                        "left out of the map (until an extra \"{\" balances it)\nclient: " +
                        in.source +
                        "open.map:4: the entity opened here is never closed (a \"}\" is "
                        "missing); it is left out of the map\nclient: " +
                        in.layout() +
                        ": the template at cell (1, 0, 0) cannot be reached on foot "
                        "from the start at (0, 0, 0); it has no distance and holds no exit\n");
  EXPECT_EQ(in.mapText(), R"({
  "classname" "worldspawn"
 {
  ( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) a 0 0 0 1 1
 }
}
{
  "classname" "info_null"
}
)");
}

TEST(Client, CommandLine) {
  Install in;
  EXPECT_EQ(in.run({"--help"}), 0);
  EXPECT_EQ(in.out.rfind("usage: client [--game-dir DIR]\n", 0), 0u);
  EXPECT_EQ(in.run({"--version"}), 0);
  EXPECT_EQ(in.out, std::string("client (Cellforge) ") + CELLFORGE_VERSION + "\n");
  EXPECT_EQ(in.run({"-x"}), 2);
  EXPECT_EQ(in.err,
            "client: unknown argument \"-x\" (client takes only --game-dir DIR; see --help)\n");
  EXPECT_EQ(in.run({"--game-dir"}), 2);
}

}  // namespace
}  // namespace cellforge

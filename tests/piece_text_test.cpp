#include "client/piece_text.h"

#include <gtest/gtest.h>

#include "client/map_builder.h"
#include "maptext/piece_model.h"

namespace cellforge {
namespace {

std::string moved(std::string_view token, int64_t offset) {
  auto r = moveNumber(token, offset);
  return r ? *r : "error: " + r.message();
}

std::string line(std::string_view text, std::array<int64_t, 3> offset) {
  auto r = translateLine(text, offset);
  return r ? *r : "error: " + r.message();
}

TEST(MoveNumber, IntegersStayIntegersAndFractionsKeepTheirDigits) {
  EXPECT_EQ(moved("16", 256), "272");
  EXPECT_EQ(moved("-16", 0), "-16");
  EXPECT_EQ(moved("-16", 256), "240");
  EXPECT_EQ(moved("+007", -8), "-1");
  EXPECT_EQ(moved("-0", 0), "0");
  EXPECT_EQ(moved("16.5", 256), "272.5");
  EXPECT_EQ(moved("16.50", 256), "272.50");
  EXPECT_EQ(moved("-0.5", 0), "-0.5");
  EXPECT_EQ(moved("-0.5", 256), "255.5");
  EXPECT_EQ(moved("0.25", -256), "-255.75");
  EXPECT_EQ(moved("-256.000", 256), "0.000");
  EXPECT_EQ(moved("99999999999999999999.9", 1), "100000000000000000000.9");
}

TEST(MoveNumber, RefusesWhatIsNotANumber) {
  EXPECT_EQ(moved("12.75abc", 0), "error: \"12.75abc\" is not a number");
  for (std::string_view bad : {"", "-", ".5", "16.", "1e5", "x", "1.2.3", "--1"})
    EXPECT_FALSE(moveNumber(bad, 0).ok()) << bad;
}

TEST(TranslateLine, PlaneRowsMoveEveryPoint) {
  EXPECT_EQ(line("( 0 0 0 ) ( 0 64 0 ) ( 64 0 0 ) base/floor 0 0 0 1 1", {512, 256, 0}),
            "( 512 256 0 ) ( 512 320 0 ) ( 576 256 0 ) base/floor 0 0 0 1 1");
  EXPECT_EQ(line("(  -16   0 0 ) ( 0 -16 0 ) ( 0 0 -16 ) wall 8 0 90 1 1", {0, 0, 256}),
            "( -16 0 256 ) ( 0 -16 256 ) ( 0 0 240 ) wall 8 0 90 1 1");
  // Tabs, no blanks at the parentheses, blanks before the last one, and a
  // ")" in the rest: the rest stays exactly as it stood.
  EXPECT_EQ(line("(0\t0 0.5)(0 64 0)(64 0 0  ) \tsky)x 0 0", {256, 0, 0}),
            "( 256 0 0.5 ) ( 256 64 0 ) ( 320 0 0 ) \tsky)x 0 0");
  EXPECT_EQ(line("( 0 0 0 ) ( 0 0 0 ) ( 0 0 0 )", {1, 2, 3}), "( 1 2 3 ) ( 1 2 3 ) ( 1 2 3 )");
  // A texture named after the origin key is still a plane line.
  EXPECT_EQ(line("( 0 0 0 ) ( 0 64 0 ) ( 64 0 0 ) origin_tex 0 0 0 1 1", {256, 0, 0}),
            "( 256 0 0 ) ( 256 64 0 ) ( 320 0 0 ) origin_tex 0 0 0 1 1");
}

TEST(TranslateLine, OriginKeyOnly) {
  EXPECT_EQ(line("\"origin\" \"16.5 -8 24\"", {256, 0, 512}), "\"origin\"        \"272.5 -8 536\"");
  EXPECT_EQ(line("\"origin\"\t\"32 32 24 7\" // x", {0, 0, 0}), "\"origin\"        \"32 32 24\"");
  EXPECT_EQ(line("\"targetname\" \"origin_door\"", {256, 0, 0}), "\"targetname\" \"origin_door\"");
  EXPECT_EQ(line("\"message\" \"the origin\"", {256, 0, 0}), "\"message\" \"the origin\"");
  EXPECT_EQ(line("// origin 1 2 3", {256, 0, 0}), "// origin 1 2 3");
}

TEST(TranslateLine, MalformedLinesAreErrors) {
  EXPECT_EQ(line("\"origin\" \"1 2\"", {0, 0, 0}), "error: origin line needs three numbers");
  EXPECT_EQ(line("\"origin\"", {0, 0, 0}), "error: origin line needs three numbers");
  EXPECT_EQ(line("\"origin\" \"1 2 x\"", {0, 0, 0}), "error: \"x\" is not a number");
  const std::string planeError = "error: plane line needs three points of three numbers";
  EXPECT_EQ(line("( 0 0 0 ) ( 0 64 0 ) tex", {0, 0, 0}), planeError);
  EXPECT_EQ(line("( 0 0 ) ( 0 64 0 ) ( 1 1 1 ) tex", {0, 0, 0}), planeError);
  EXPECT_EQ(line("( 0 0 0 0 ) ( 0 64 0 ) ( 1 1 1 ) tex", {0, 0, 0}), planeError);
  EXPECT_EQ(line("( 0 0 0 ) ( 0 6a 0 ) ( 1 1 1 ) tex", {0, 0, 0}), "error: \"6a\" is not a number");
}

TEST(PieceText, BlocksAreTrimmedTopLevelGroups) {
  PieceText piece;
  piece.read("// header\r\n  {  \r\n\"classname\" \"light\"\n}\n\njunk\n{\n{\n}\n", "p.map");
  ASSERT_EQ(piece.blocks().size(), 1u);  // the last group never closes
  const PieceBlock& b = piece.blocks()[0];
  ASSERT_EQ(b.size(), 3u);
  EXPECT_EQ(b[0].text, "{");
  EXPECT_EQ(b[0].number, 2u);
  EXPECT_EQ(className(b), "light");
  EXPECT_EQ(piece.warnings(),
            std::vector<std::string>{"p.map:7: the entity opened here is never closed (a \"}\" is "
                                     "missing); it is left out of the map"});

  piece.read("{\n}\n", "p.map");
  EXPECT_TRUE(piece.warnings().empty());
}

TEST(PieceText, ClassIsTheExactClassnameKey) {
  EXPECT_EQ(className({{"{", 1}, {"\"_classname_note\" \"x\"", 2}, {"\"classname\" \"door\"", 3}}),
            "door");
  EXPECT_EQ(className({{"{", 1}, {"\"target\" \"classname\"", 2}, {"}", 3}}), "");
}

TEST(PieceText, LongLinesStayWhole) {
  const std::string rest(3000, 'x');
  PieceText piece;
  piece.read(
      "{\n\"classname\" \"worldspawn\"\n{\n( 0 0 0 ) ( 0 0 0 ) ( 0 0 0 ) " + rest + "\n}\n}\n",
      "p.map");
  std::string out;
  ASSERT_TRUE(piece.writeWorldBrushes(out, {0, 0, 0}, false).ok());
  EXPECT_EQ(out, "{\n( 0 0 0 ) ( 0 0 0 ) ( 0 0 0 ) " + rest + "\n}\n");
}

constexpr std::string_view kRoom = R"(// a room
{
"classname" "WorldSpawn"
"message" "Room"
// before the brushes
{
( 0 0 0 ) ( 0 64 0 ) ( 64 0 0 ) floor 0 0 0 1 1
}
"sounds" "1"
}
{
"classname" "info_player_start"
"origin" "32 32 24"
}
{
"classname" "func_door"
"angle" "-1"
{
// door brush
( 0 0 0 ) ( 0 8 0 ) ( 8 0 0 ) door 0 0 0 1 1
}
}
)";

TEST(PieceText, FirstCellWritesTheWorldHeaderAndLaterCellsOnlyBrushes) {
  PieceText piece;
  piece.read(kRoom, "room.map");
  std::string first, later;
  ASSERT_TRUE(piece.writeWorldBrushes(first, {0, 0, 1}, true).ok());
  EXPECT_EQ(first, R"({
"classname" "WorldSpawn"
"message" "Room"
// before the brushes
{
( 0 0 256 ) ( 0 64 256 ) ( 64 0 256 ) floor 0 0 0 1 1
}
"sounds" "1"
)");
  ASSERT_TRUE(piece.writeWorldBrushes(later, {1, 0, 0}, false).ok());
  EXPECT_EQ(later, R"({
( 256 0 0 ) ( 256 64 0 ) ( 320 0 0 ) floor 0 0 0 1 1
}
"sounds" "1"
)");
}

TEST(PieceText, EntitiesSkipTheWorldAndLaterPlayerStarts) {
  PieceText piece;
  piece.read(kRoom, "room.map");
  const std::string door = R"({
"classname" "func_door"
"angle" "-1"
{
// door brush
( 256 0 0 ) ( 256 8 0 ) ( 264 0 0 ) door 0 0 0 1 1
}
}
)";
  std::string first, later;
  ASSERT_TRUE(piece.writeEntities(first, {1, 0, 0}, true).ok());
  EXPECT_EQ(first,
            "{\n\"classname\" \"info_player_start\"\n\"origin\"        \"288 32 24\"\n}\n" + door);
  ASSERT_TRUE(piece.writeEntities(later, {1, 0, 0}, false).ok());
  EXPECT_EQ(later, door);
}

TEST(PieceText, TheWorldStaysBalanced) {
  PieceText noBrushes, noWorld;
  noBrushes.read("{\n\"classname\" \"worldspawn\"\n}\n", "a.map");
  noWorld.read("{\n\"classname\" \"light\"\n}\n", "b.map");
  std::string out;
  ASSERT_TRUE(noBrushes.writeWorldBrushes(out, {0, 0, 0}, true).ok());
  EXPECT_EQ(out, "{\n\"classname\" \"worldspawn\"\n");
  out.clear();
  ASSERT_TRUE(noBrushes.writeWorldBrushes(out, {0, 0, 0}, false).ok());
  EXPECT_EQ(out, "");
  ASSERT_TRUE(noWorld.writeWorldBrushes(out, {0, 0, 0}, true).ok());
  EXPECT_EQ(out, "{\n\"classname\" \"worldspawn\"\n");
  out.clear();
  ASSERT_TRUE(noWorld.writeWorldBrushes(out, {0, 0, 0}, false).ok());
  EXPECT_EQ(out, "");
}

TEST(PieceText, ErrorsNameTheFileAndLine) {
  PieceText piece;
  piece.read("{\n\"classname\" \"light\"\n\"origin\" \"1 2\"\n}\n", "/src/lamp.map");
  std::string out;
  const Status s = piece.writeEntities(out, {0, 0, 0}, true);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.message(), "/src/lamp.map:3: origin line needs three numbers");
}

// The shared model against the builder's own functions on the same text:
// the same entities, warnings, classes and written lines, and the same
// first fault.
void expectModelAgrees(std::string_view text) {
  SCOPED_TRACE(std::string(text));
  PieceText client;
  client.read(text, "p.map");
  std::string written;
  Status built = client.writeWorldBrushes(written, {1, 2, 3}, true);
  if (built) built = client.writeEntities(written, {1, 2, 3}, true);
  auto model = maptext::Piece::read(std::string(text), "p.map");
  ASSERT_EQ(model.ok(), built.ok()) << (model ? built.message() : model.message());
  if (!model) {
    EXPECT_EQ(model.message(), built.message());
    return;
  }
  EXPECT_EQ(model->warnings(), client.warnings());
  ASSERT_EQ(model->entities().size(), client.blocks().size());
  const std::array<int64_t, 3> offset{256, 512, 768};
  for (size_t b = 0; b < client.blocks().size(); ++b) {
    const maptext::Entity& e = model->entities()[b];
    EXPECT_EQ(e.className, className(client.blocks()[b]));
    const auto lines = model->linesOf(e);
    ASSERT_EQ(lines.size(), client.blocks()[b].size());
    for (size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].number, client.blocks()[b][i].number);
      if (e.unused) continue;
      auto expected = translateLine(client.blocks()[b][i].text, offset);
      ASSERT_TRUE(expected.ok()) << expected.message();
      std::string out;
      maptext::appendMovedLine(out, lines[i], offset);
      EXPECT_EQ(out, *expected);
    }
  }
}

TEST(PieceModel, ReadsAsTheMapBuilderDoes) {
  expectModelAgrees(kRoom);
  expectModelAgrees("// header\r\n  {  \r\n\"classname\" \"light\"\n}\n\njunk\n{\n{\n}\n");
  expectModelAgrees("}\n{\n\"classname\" \"light\"\n}\n}\n{\n}\n");
  expectModelAgrees(
      "{\n\"classname\" \"worldspawn\"\n{\n(0\t0 0.5)(0 64 0)(64 0 0  ) \tsky)x 0 0\n}\n}\n"
      "{\n\"origin\"\t\"32 32 24 7\" // x\n\"targetname\" \"origin_door\"\n}\n");
  expectModelAgrees(
      "{\n\"classname\" \"Info_Player_Start\"\n\"origin\" \"-0.50 +7 "
      "99999999999999999999.9\"\n}\n");
  // A second worldspawn is never written, whatever it holds.
  expectModelAgrees(
      "{\n\"classname\" \"worldspawn\"\n}\n{\n\"classname\" \"WORLDSPAWN\"\n"
      "\"origin\" \"1\"\n{\n( x )\n}\n}\n");
  // Faults: the world's lines come first, as the map writes them.
  expectModelAgrees("{\n\"classname\" \"light\"\n\"origin\" \"1 2\"\n}\n");
  expectModelAgrees("{\n\"classname\" \"light\"\n\"origin\" \"1 x\"\n}\n");
  expectModelAgrees("{\n\"classname\" \"light\"\n\"origin\"\n}\n");
  expectModelAgrees(
      "{\n\"origin\" \"1 2 3\"\n}\n{\n\"classname\" \"worldspawn\"\n{\n( 0 0 ) t\n}\n}\n");
  expectModelAgrees(
      "{\n\"classname\" \"light\"\n\"origin\" \"a 2 3\"\n}\n{\n\"classname\" "
      "\"worldspawn\"\n{\n( 0 0 0 ) ( 0 6a 0 ) ( 1 1 1 ) t\n}\n}\n");
  expectModelAgrees("{\n{\n( 0 0 0 0 ) ( 0 64 0 ) ( 1 1 1 ) tex\n}\n}\n");
}

TEST(PieceModel, NumbersKeyLinesAndNamesAsTheMapBuilderHasThem) {
  for (std::string_view token :
       {"16", "-16", "+007", "-0", "16.50", "-0.5", "0.25", "-256.000", "99999999999999999999.9",
        "", "-", ".5", "16.", "1e5", "x", "1.2.3", "--1", "12.75abc"})
    for (int64_t offset : {int64_t{0}, int64_t{256}, int64_t{-8}, int64_t{-4096}}) {
      auto ours = maptext::moveNumber(token, offset);
      auto theirs = moveNumber(token, offset);
      ASSERT_EQ(ours.ok(), theirs.ok()) << token;
      EXPECT_EQ(ours ? *ours : ours.message(), theirs ? *theirs : theirs.message()) << token;
    }
  for (std::string_view line : {"\"a\" \"b\"", "\"a\"", "\"a\" \"b", "\"a", "a \"b\"", "",
                                "\"\" \"\" \"x\"", "\"key\"\t\"v a l\" trailing"}) {
    maptext::KeyLine ours;
    KeyLine theirs;
    ASSERT_EQ(maptext::splitKeyLine(line, ours), parseKeyLine(line, theirs)) << line;
    EXPECT_EQ(ours.key, theirs.key);
    EXPECT_EQ(ours.value, theirs.value);
  }
  for (std::string_view name :
       {"a.map", "end..a.map", "end:a.map", "sub/a.map", "../a.map", "a/../b.map", "..\\a.map",
        "/a.map", "\\a.map", "c:a.map", "", ".."})
    EXPECT_EQ(maptext::isSafePieceName(name), isSafePieceName(name)) << name;
}
}  // namespace
}  // namespace cellforge

#include "client/piece_writer.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "maptext/piece_model.h"

namespace cellforge {
namespace {

std::string moved(std::string_view token, int64_t offset) {
  auto r = maptext::moveNumber(token, offset);
  return r ? *r : "error: " + r.message();
}

// What the writer makes of one piece, as the map would hold it.
struct Written {
  std::string text;
  MapSink sink{[this](std::string_view bytes) {
    text += bytes;
    return success();
  }};
  std::string finish() {
    EXPECT_TRUE(sink.finish().ok());
    return text;
  }
};

PieceWriter writer(std::string_view text, std::string name = "p.map") {
  auto w = PieceWriter::make(std::string(text), std::move(name), Game::quake2);
  EXPECT_TRUE(w.ok()) << w.message();
  return std::move(*w);
}

// One line of an entity (a plane line inside a brush) moved to `cell`, as
// the map writes it, without its indent.
std::string line(std::string_view text, GridCoord cell) {
  const bool plane = !text.empty() && text.front() == '(';
  auto w = PieceWriter::make(
      plane ? "{\n{\n" + std::string(text) + "\n}\n}\n" : "{\n" + std::string(text) + "\n}\n",
      "p.map", Game::quake2);
  if (!w) return "error: " + w.message();
  Written out;
  w->writeEntities(out.sink, cell, PlacementOptions{true, true, LevelPlan::Ratio{}, "", 0, {}});
  std::string all = out.finish();
  const size_t from = all.find('\n', plane ? all.find('\n') + 1 : 0) + 1;
  std::string_view middle(all.data() + from, all.find('\n', from) - from);
  while (!middle.empty() && middle.front() == ' ') middle.remove_prefix(1);
  return std::string(middle);
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
  EXPECT_EQ(moved("12.75abc", 0), "error: \"12.75abc\" is not a number");
  for (std::string_view bad : {"", "-", ".5", "16.", "1e5", "x", "1.2.3", "--1"})
    EXPECT_FALSE(maptext::moveNumber(bad, 0).ok()) << bad;
}

// The writer cuts each line once and moves its numbers by integer sums;
// what it writes must be what moving each token exactly gives.
TEST(PieceWriter, MovesEveryNumberExactly) {
  for (std::string_view token : {"16",
                                 "-16",
                                 "+007",
                                 "-0",
                                 "16.50",
                                 "-0.5",
                                 "0.25",
                                 "-256.000",
                                 "-0.000001",
                                 "0.1234567",
                                 "7",
                                 "-42",
                                 "1234567",
                                 "-9999999",
                                 "0000007",
                                 "12345678",
                                 "-99999999",
                                 "1000000",
                                 "268435455",
                                 "268435456",
                                 "-268435456",
                                 "-268435457",
                                 "268.435456",
                                 "-26.8435455",
                                 "123456789012345",
                                 "1234567890123456",
                                 "99999999999999999999.9"})
    for (int32_t cell : {0, 1, -1, -16, 4096}) {
      const std::string zero = moved("0", int64_t{cell} * 256);
      const std::string expected = "( " + moved(token, int64_t{cell} * 256) + " 0 0 ) ( " + zero +
                                   " 0 0 ) ( " + zero + " 0 0 ) t";
      EXPECT_EQ(line("( " + std::string(token) + " 0 0 ) ( 0 0 0 ) ( 0 0 0 ) t", {cell, 0, 0}),
                expected)
          << token << " at " << cell;
    }
}

TEST(PieceWriter, PlaneRowsMoveEveryPoint) {
  EXPECT_EQ(line("( 0 0 0 ) ( 0 64 0 ) ( 64 0 0 ) base/floor 0 0 0 1 1", {2, 1, 0}),
            "( 512 256 0 ) ( 512 320 0 ) ( 576 256 0 ) base/floor 0 0 0 1 1");
  EXPECT_EQ(line("(  -16   0 0 ) ( 0 -16 0 ) ( 0 0 -16 ) wall 8 0 90 1 1", {0, 0, 1}),
            "( -16 0 256 ) ( 0 -16 256 ) ( 0 0 240 ) wall 8 0 90 1 1");
  // Tabs, no blanks at the parentheses, blanks before the last one, and a
  // ")" in the rest: the rest stays exactly as it stood.
  EXPECT_EQ(line("(0\t0 0.5)(0 64 0)(64 0 0  ) \tsky)x 0 0", {1, 0, 0}),
            "( 256 0 0.5 ) ( 256 64 0 ) ( 320 0 0 ) \tsky)x 0 0");
  // A texture named after the origin key is still a plane line.
  EXPECT_EQ(line("( 0 0 0 ) ( 0 64 0 ) ( 64 0 0 ) origin_tex 0 0 0 1 1", {1, 0, 0}),
            "( 256 0 0 ) ( 256 64 0 ) ( 320 0 0 ) origin_tex 0 0 0 1 1");
}

TEST(PieceWriter, OriginKeyOnly) {
  EXPECT_EQ(line("\"origin\" \"16.5 -8 24\"", {1, 0, 2}), "\"origin\"        \"272.5 -8 536\"");
  EXPECT_EQ(line("\"origin\"\t\"32 32 24 7\" // x", {0, 0, 0}), "\"origin\"        \"32 32 24\"");
  EXPECT_EQ(line("\"origin\" \"268435456 -0.5 -268435457\"", {1, 0, 1}),
            "\"origin\"        \"268435712 -0.5 -268435201\"");
  EXPECT_EQ(line("\"targetname\" \"origin_door\"", {1, 0, 0}), "\"targetname\" \"origin_door\"");
  EXPECT_EQ(line("\"message\" \"the origin\"", {1, 0, 0}), "\"message\" \"the origin\"");
}

TEST(PieceWriter, MalformedLinesNameTheFileAndLine) {
  EXPECT_EQ(line("\"origin\" \"1 2\"", {0, 0, 0}),
            "error: p.map:2: origin line needs three numbers");
  EXPECT_EQ(line("\"origin\"", {0, 0, 0}), "error: p.map:2: origin line needs three numbers");
  EXPECT_EQ(line("\"origin\" \"1 2 x\"", {0, 0, 0}), "error: p.map:2: \"x\" is not a number");
  const std::string planeError = "error: p.map:3: plane line needs three points of three numbers";
  EXPECT_EQ(line("( 0 0 0 ) ( 0 64 0 ) tex", {0, 0, 0}), planeError);
  EXPECT_EQ(line("( 0 0 ) ( 0 64 0 ) ( 1 1 1 ) tex", {0, 0, 0}), planeError);
  EXPECT_EQ(line("( 0 0 0 0 ) ( 0 64 0 ) ( 1 1 1 ) tex", {0, 0, 0}), planeError);
  EXPECT_EQ(line("( 0 0 0 ) ( 0 6a 0 ) ( 1 1 1 ) tex", {0, 0, 0}),
            "error: p.map:3: \"6a\" is not a number");
  // An entity never closed is left out, and its lines with it.
  auto open = maptext::Piece::read("{\n\"classname\" \"light\"\n\"origin\" \"x\"\n", "p.map");
  ASSERT_TRUE(open.ok());
  EXPECT_TRUE(open->lines().empty());
  // A malformed depth is named before any other fault of the piece.
  auto both =
      PieceWriter::make("{\n\"origin\" \"1\"\n\"_depth\" \"1 0\"\n}\n", "p.map", Game::quake2);
  ASSERT_FALSE(both.ok());
  EXPECT_EQ(both.message(),
            "p.map:3: _depth \"1 0\" must be two numbers from 0 to 1, the lower first (as \"0.5 "
            "1\")");
}

TEST(PieceWriter, BracesAndClassesAsTheModelReadsThem) {
  auto piece = maptext::Piece::read(
      "// header\r\n  {  \r\n\"_classname_note\" \"x\"\n\"classname\" \"light\"\n}\n\njunk\n"
      "{\n{\n}\n",
      "p.map");
  ASSERT_TRUE(piece.ok());
  ASSERT_EQ(piece->entities().size(), 1u);  // the last group never closes
  EXPECT_EQ(piece->entities()[0].className, "light");
  EXPECT_EQ(piece->lines()[0].number, 2u);
  EXPECT_EQ(piece->warnings(),
            std::vector<std::string>{"p.map:8: the entity opened here is never closed (a \"}\" is "
                                     "missing); it is left out of the map"});
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

TEST(PieceWriter, FirstCellWritesTheWorldHeaderAndLaterCellsOnlyBrushes) {
  const PieceWriter room = writer(kRoom, "room.map");
  Written first;
  room.writeWorld(first.sink, {0, 0, 1}, true);
  EXPECT_EQ(first.finish(), R"({
  "classname" "WorldSpawn"
  "message" "Room"
// before the brushes
 {
  ( 0 0 256 ) ( 0 64 256 ) ( 64 0 256 ) floor 0 0 0 1 1
 }
  "sounds" "1"
)");
  Written later;
  later.sink.line("{");  // as inside the map's world entity
  room.writeWorld(later.sink, {1, 0, 0}, false);
  EXPECT_EQ(later.finish(), R"({
 {
  ( 256 0 0 ) ( 256 64 0 ) ( 320 0 0 ) floor 0 0 0 1 1
 }
  "sounds" "1"
)");
}

TEST(PieceWriter, EntitiesSkipTheWorldAndLaterPlayerStarts) {
  const PieceWriter room = writer(kRoom, "room.map");
  const std::string door = R"({
  "classname" "func_door"
  "angle" "-1"
 {
// door brush
  ( 256 0 0 ) ( 256 8 0 ) ( 264 0 0 ) door 0 0 0 1 1
 }
}
)";
  Written first, later;
  room.writeEntities(first.sink, {1, 0, 0}, {true, true, LevelPlan::Ratio{}, "", 0, {}});
  EXPECT_EQ(
      first.finish(),
      "{\n  \"classname\" \"info_player_start\"\n  \"origin\"        \"288 32 24\"\n}\n" + door);
  room.writeEntities(later.sink, {1, 0, 0}, {false, true, LevelPlan::Ratio{}, "", 0, {}});
  EXPECT_EQ(later.finish(), door);
}

// A door is written only where its doorway is locked, a key spot only
// where a key lies, each with the key's own class, item or flags, and
// without the keys that mark them; a plain door gives way to the lock of
// its doorway.
TEST(PieceWriter, LocksAndKeySpots) {
  constexpr std::string_view kQuake2Piece = R"({
"classname" "func_door"
"_lock" "0 0 0 +y"
"targetname" "lock_py"
}
{
"classname" "trigger_key"
"_lock" "0 0 0 +y"
"item" "key_blue_key"
"origin" "8 8 8"
}
{
"classname" "func_door"
"_lock" "0 0 0 -x"
}
{
"classname" "func_door"
"_unlocked" "0 0 0 +y"
"targetname" "plain_py"
}
{
"classname" "func_door"
"_unlocked" "0 0 0 -x"
}
{
"classname" "key_blue_key"
"_key" "1"
"origin" "1 2 3"
}
)";
  PieceWriter q2 = writer(kQuake2Piece);
  EXPECT_TRUE(q2.hasKeySpot());
  EXPECT_TRUE(q2.hasLock({{0, 0, 0}, posY}));
  EXPECT_FALSE(q2.hasLock({{0, 0, 0}, negY}));
  Written none, locked;
  q2.writeEntities(none.sink, {0, 0, 0}, {true, true, LevelPlan::Ratio{}, "", 0, {}});
  EXPECT_EQ(none.finish(), R"({
  "classname" "func_door"
  "targetname" "plain_py"
}
{
  "classname" "func_door"
}
)");
  q2.writeEntities(locked.sink, {1, 0, 0},
                   {true, true, LevelPlan::Ratio{}, "_3", 2, {{{{0, 0, 0}, posY}, 2}}});
  EXPECT_EQ(locked.finish(), R"({
  "classname" "func_door"
  "targetname" "lock_py_3"
}
{
  "classname" "trigger_key"
  "item" "key_red_key"
  "origin"        "264 8 8"
}
{
  "classname" "func_door"
}
{
  "classname" "key_red_key"
  "origin"        "257 2 3"
}
)");

  auto q1 = PieceWriter::make(R"({
"classname" "func_door"
"spawnflags" "17"
"_lock" "0 0 0 +x"
}
{
"classname" "item_key1"
"_key" "1"
}
)",
                              "q.map", Game::quake);
  ASSERT_TRUE(q1.ok()) << q1.message();
  for (int key : {1, 2}) {
    Written out;
    q1->writeEntities(out.sink, {0, 0, 0},
                      {true, true, LevelPlan::Ratio{}, "", key, {{{{0, 0, 0}, posX}, key}}});
    EXPECT_EQ(out.finish(), std::string("{\n  \"classname\" \"func_door\"\n  \"spawnflags\" \"") +
                                (key == 1 ? "17" : "9") + "\"\n}\n{\n  \"classname\" \"" +
                                (key == 1 ? "item_key1" : "item_key2") + "\"\n}\n");
  }

  for (const auto& [text, said] : std::vector<std::pair<std::string, std::string>>{
           {"{\n\"_lock\" \"0 0 0 up\"\n}\n",
            "p.map:2: _lock \"0 0 0 up\" must be a cell of the piece and one of its sides, as "
            "\"0 0 0 +y\" (sides +y, -y, +x, -x)"},
           {"{\n\"_lock\" \"0 0.5 0 +y\"\n}\n", "p.map:2: _lock \"0 0.5 0 +y\" must be"},
           {"{\n\"_unlocked\" \"0 0 +y\"\n}\n", "p.map:2: _unlocked \"0 0 +y\" must be"},
           {"{\n\"_unlocked\" \"0 0 0 +y\"\n\"_lock\" \"0 0 0 +y\"\n}\n",
            "p.map:1: an entity marked _unlocked is written only where its doorway is not locked"},
           {"{\n\"_key\" \"2\"\n}\n",
            "p.map:2: _key \"2\" must be \"1\": it marks the spot where a key may lie"},
           {"{\n\"_key\" \"1\"\n\"_lock\" \"0 0 0 +y\"\n}\n",
            "p.map:1: an entity cannot be both a key spot and part of a door"}}) {
    auto w = PieceWriter::make(text, "p.map", Game::quake2);
    ASSERT_FALSE(w.ok()) << text;
    EXPECT_EQ(w.message().substr(0, said.size()), said);
  }
}

TEST(PieceWriter, TheWorldStaysBalanced) {
  const PieceWriter noBrushes = writer("{\n\"classname\" \"worldspawn\"\n}\n", "a.map");
  const PieceWriter noWorld = writer("{\n\"classname\" \"light\"\n}\n", "b.map");
  for (const PieceWriter* w : {&noBrushes, &noWorld}) {
    Written first, later;
    w->writeWorld(first.sink, {0, 0, 0}, true);
    EXPECT_EQ(first.finish(), "{\n  \"classname\" \"worldspawn\"\n");
    w->writeWorld(later.sink, {0, 0, 0}, false);
    EXPECT_EQ(later.finish(), "");
  }
}

// Faces mostly share their texture part, which the writer keeps once; the
// world's brushes and each entity start afresh, so any cell or placement
// can begin there.
TEST(PieceWriter, SharedTexturePartsAcrossBrushesAndEntities) {
  const PieceWriter w = writer(R"({
"classname" "worldspawn"
{
( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) a 0 0 0 1 1
( 0 0 8 ) ( 0 1 8 ) ( 1 0 8 ) a 0 0 0 1 1
( 0 0 9 ) ( 0 1 9 ) ( 1 0 9 ) b 0 0 0 1 1
}
{
( 0 0 2 ) ( 0 1 2 ) ( 1 0 2 ) b 0 0 0 1 1
}
}
{
"classname" "func_wall"
{
( 0 0 3 ) ( 0 1 3 ) ( 1 0 3 ) b 0 0 0 1 1
( 0 0 4 ) ( 0 1 4 ) ( 1 0 4 ) b 0 0 0 1 1
}
}
)");
  Written world, entities;
  world.sink.line("{");
  w.writeWorld(world.sink, {0, 0, 1}, false);
  EXPECT_EQ(world.finish(), R"({
 {
  ( 0 0 256 ) ( 0 1 256 ) ( 1 0 256 ) a 0 0 0 1 1
  ( 0 0 264 ) ( 0 1 264 ) ( 1 0 264 ) a 0 0 0 1 1
  ( 0 0 265 ) ( 0 1 265 ) ( 1 0 265 ) b 0 0 0 1 1
 }
 {
  ( 0 0 258 ) ( 0 1 258 ) ( 1 0 258 ) b 0 0 0 1 1
 }
)");
  w.writeEntities(entities.sink, {0, 1, 0}, {true, true, LevelPlan::Ratio{}, "", 0, {}});
  EXPECT_EQ(entities.finish(), R"({
  "classname" "func_wall"
 {
  ( 0 256 3 ) ( 0 257 3 ) ( 1 256 3 ) b 0 0 0 1 1
  ( 0 256 4 ) ( 0 257 4 ) ( 1 256 4 ) b 0 0 0 1 1
 }
}
)");
}

// More values on one axis than a short index holds.
TEST(PieceWriter, PiecesOfManyValues) {
  std::string text = "{\n\"classname\" \"worldspawn\"\n{\n", expected = "{\n {\n";
  for (int i = 0; i < 70000; ++i) {
    text += "( " + std::to_string(i) + " 0 0 ) ( 0 " + std::to_string(-i) + " 0 ) ( 0 0 0 ) t\n";
    expected += "  ( " + std::to_string(i + 256) + " 0 0 ) ( 256 " + std::to_string(-i) +
                " 0 ) ( 256 0 0 ) t\n";
  }
  const PieceWriter w = writer(text + "}\n}\n");
  Written out;
  out.sink.line("{");
  w.writeWorld(out.sink, {1, 0, 0}, false);
  const std::string got = out.finish();
  expected += " }\n";
  // Compared by hand: a failure shows where, not three megabytes.
  const auto at = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end());
  EXPECT_TRUE(got == expected) << "differs at byte " << (at.first - got.begin()) << ": "
                               << got.substr(static_cast<size_t>(at.first - got.begin()), 60);
}

TEST(PieceWriter, LongLinesStayWhole) {
  const std::string rest(3000, 'x');
  const PieceWriter w = writer(
      "{\n\"classname\" \"worldspawn\"\n{\n( 0 0 0 ) ( 0 0 0 ) ( 0 0 0 ) " + rest + "\n}\n}\n");
  Written out;
  out.sink.line("{");
  w.writeWorld(out.sink, {0, 0, 0}, false);
  EXPECT_EQ(out.finish(), "{\n {\n  ( 0 0 0 ) ( 0 0 0 ) ( 0 0 0 ) " + rest + "\n }\n");
}

// The sink hands on full buffers and keeps the first failure.
TEST(MapSink, DrainsWhenFullAndKeepsTheFirstFailure) {
  std::vector<std::string> drained;
  int calls = 0;
  MapSink sink(
      [&](std::string_view bytes) -> Status {
        drained.emplace_back(bytes);
        if (++calls == 2) return fail("m.map: cannot write: full");
        return success();
      },
      8);
  sink.line("{");
  sink.line("\"a\" \"b\"");  // past 8 bytes: drained
  EXPECT_FALSE(sink.failure());
  sink.line("\"c\" \"d\"");
  ASSERT_TRUE(sink.failure());
  sink.line("}");
  EXPECT_EQ(drained, (std::vector<std::string>{"{\n  \"a\" \"b\"\n", "  \"c\" \"d\"\n"}));
  EXPECT_EQ(sink.finish().message(), "m.map: cannot write: full");
}

}  // namespace
}  // namespace cellforge

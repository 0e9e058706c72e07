#include "server/map_limits.h"

#include <gtest/gtest.h>

#include "client/map_census.h"
#include "tests/test_support.h"

namespace cellforge {
namespace {

std::string box(int lo, int hi) { return test::boxBrush({lo, lo, lo}, {hi, hi, hi}); }

TEST(MapCensus, CountsBrushesEntitiesAndWhatKeepsAnEdict) {
  // A wedge: a box cut by a slope from (0, 0, 64) to (64, 0, 0).
  const std::string map =
      "{\n\"classname\" \"worldspawn\"\n" + box(0, 64) + box(-16, 4096) +
      "{\n( 0 0 64 ) ( 0 1 64 ) ( 64 0 0 ) t 0 0 0 1 1\n" + box(0, 64).substr(2) +
      "}\n{\n\"classname\" \"light\"\n\"origin\" \"-5000.5 0 0\"\n}\n"
      "{\n\"classname\" \"light\"\n\"targetname\" \"t1\"\n\"origin\" \"0 0 0\"\n}\n"
      "{\n\"classname\" \"info_null\"\n}\n{\n\"classname\" \"func_door\"\n" +
      box(8, 24) + "}\n{\n\"classname\" \"monster_soldier\"\n\"origin\" \"0 0 4100\"\n}\n";
  auto c = takeMapCensus(map, "m.map", kQuakeIILimits);
  ASSERT_TRUE(c.ok()) << c.message();
  EXPECT_EQ(c->brushes, 4);
  EXPECT_EQ(c->entities, 6);
  // The named light, the door and the soldier.
  EXPECT_EQ(c->spawned, 3);
  ASSERT_TRUE(c->anyPoint);
  // Corners, not the plane lines' points one unit beyond them.
  EXPECT_EQ(c->lo, (std::array<double, 3>{-5000.5, -16, -16}));
  EXPECT_EQ(c->hi, (std::array<double, 3>{4096, 4096, 4100}));

  auto bad = takeMapCensus("{\n{\n( 0 0 0 ) ( 1 x 0 ) ( 0 0 1 ) t\n}\n}\n", "m.map", kQuakeLimits);
  ASSERT_FALSE(bad.ok());
  EXPECT_EQ(bad.message(), "m.map:3: \"x\" is not a number");
}

MapCensus census(int64_t brushes, int64_t entities, int64_t spawned, double reach) {
  MapCensus c;
  c.brushes = brushes;
  c.entities = entities;
  c.spawned = spawned;
  c.anyPoint = true;
  c.lo = {0, -reach, 0};
  c.hi = {reach / 2, 0, 256};
  return c;
}

constexpr GridCoord kGrid{16, 16, 4};
const std::string kKept = ". No compile tool was run; the map is kept for tools that take more";

TEST(MapLimits, QuakeTwoRefusesOneOverEachLimitAndNotAtIt) {
  // Edicts: 10 for world, player and bodies, then the spawned entities.
  const LimitVerdict at = judgeMap(census(8192, 2048, 1014, 4096), kQuakeIILimits, kGrid, "m");
  EXPECT_TRUE(at.warnings.empty());
  EXPECT_EQ(at.refusal, "");
  const std::pair<MapCensus, std::string> over[] = {
      {census(9380, 1000, 300, 4096), "m: 9,380 brushes, Quake II allows 8,192; try x=13 y=13 z=4"},
      {census(8193, 1000, 300, 4096), "m: 8,193 brushes, Quake II allows 8,192; try x=14 y=14 z=4"},
      {census(100, 2049, 300, 4096), "m: 2,049 entities, Quake II allows 2,048; try x=14 y=14 z=4"},
      {census(100, 1000, 1015, 4096),
       "m: 1,025 entities in play when the level starts (world, player and 8 bodies included), "
       "Quake II allows 1,024; try x=14 y=14 z=4"},
      {census(100, 1000, 300, 4097),
       "m: coordinates reaching 4,097 units from the origin along y, Quake II allows 4,096; try "
       "x=16 y=15 z=4"},
      // The limit passed furthest is named; the grid keeps within all.
      {census(8300, 5000, 300, 8192), "m: 5,000 entities, Quake II allows 2,048; try x=13 y=6 z=4"},
  };
  for (const auto& [c, said] : over) {
    const LimitVerdict v = judgeMap(c, kQuakeIILimits, kGrid, "m");
    EXPECT_TRUE(v.warnings.empty());
    EXPECT_EQ(v.refusal, said + kKept);
  }
  EXPECT_EQ(judgeMap(census(9000, 10, 0, 0), kQuakeIILimits, {3, 3, 1}, "m").refusal,
            "m: 9,000 brushes, Quake II allows 8,192; no smaller grid helps with this kit" + kKept);
}

TEST(MapLimits, QuakeWarnsPastItsOriginalToolsAndEngine) {
  EXPECT_TRUE(judgeMap(census(4096, 1024, 594, 4096), kQuakeLimits, kGrid, "m").warnings.empty());
  const LimitVerdict v = judgeMap(census(4097, 1025, 595, 4097), kQuakeLimits, kGrid, "m");
  EXPECT_EQ(v.refusal, "");
  EXPECT_EQ(v.warnings,
            (std::vector<std::string>{
                "m: 4,097 brushes, more than the 4,096 id's original qbsp allows (ericw-tools' "
                "qbsp takes more, moving to BSP2 by itself); x=14 y=14 z=4 would keep within it",
                "m: 1,025 entities, more than the 1,024 id's original qbsp allows (ericw-tools' "
                "qbsp takes more); x=14 y=14 z=4 would keep within it",
                "m: 601 entities in play when the level starts (world, player and 4 bodies "
                "included), more than the 600 the original engine allows (later engines such as "
                "QuakeSpasm take more); x=14 y=14 z=4 would keep within it",
                "m: coordinates reaching 4,097 units from the origin along y, more than the 4,096 "
                "the original engine's network protocol allows (engines with a wider protocol "
                "take more); x=16 y=15 z=4 would keep within it"}));
}

}  // namespace
}  // namespace cellforge

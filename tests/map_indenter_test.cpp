#include "client/map_indenter.h"

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace cellforge {
namespace {

TEST(MapIndenter, IndentsKeysBracesAndPlanes) {
  const std::string raw = R"({
"classname" "worldspawn"
{
( 256 0 0 ) ( 256 64 0 ) ( 320 0 0 ) floor 0 0 0 1 1
// comment
( 256 0 16 ) ( 320 0 16 ) ( 256 64 16 ) floor 0 0 0 1 1
}
}
{
"classname" "func_door"
{
( 0 0 0 ) ( 0 8 0 ) ( 8 0 0 ) door 0 0 0 1 1
}
}
)";
  EXPECT_EQ(MapIndenter::indent(raw), R"({
  "classname" "worldspawn"
 {
  ( 256 0 0 ) ( 256 64 0 ) ( 320 0 0 ) floor 0 0 0 1 1
// comment
  ( 256 0 16 ) ( 320 0 16 ) ( 256 64 16 ) floor 0 0 0 1 1
 }
}
{
  "classname" "func_door"
 {
  ( 0 0 0 ) ( 0 8 0 ) ( 8 0 0 ) door 0 0 0 1 1
 }
}
)");
}

TEST(MapIndenter, DepthRunsOverTheWholeText) {
  EXPECT_EQ(MapIndenter::indent("}\n"), "}\n");
  // One "}" too many: nothing is indented until the depth is back.
  EXPECT_EQ(MapIndenter::indent("}\n{\n\"a\" \"b\"\n{\n\"c\" \"d\"\n"),
            "}\n{\n\"a\" \"b\"\n{\n  \"c\" \"d\"\n");
  EXPECT_EQ(MapIndenter::indent("{\n\n\"k\" \"v\""), "{\n\n  \"k\" \"v\"");
  const std::string longLine = "(" + std::string(5000, '1') + "\n";
  EXPECT_EQ(MapIndenter::indent("{\n{\n" + longLine), "{\n {\n  " + longLine);
}

}  // namespace
}  // namespace cellforge

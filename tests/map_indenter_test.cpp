#include "client/map_indenter.h"

#include <gtest/gtest.h>

namespace cellforge {
namespace {

// Whole maps are indented in the client's tests; here the edges.
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

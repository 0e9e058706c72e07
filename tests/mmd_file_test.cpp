#include "templates/mmd_file.h"

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace cellforge {
namespace {

using namespace std::string_literals;

const std::string kMagic = "\x22\0\0\0ORVANDEL SOFTWORKS     .MMD (1.0)\0"s;

// id 7, name "a.map", triple (1, 2, 3) and two cells.
const std::string kRoom = kMagic +
                          "\x07\0\0\0"
                          "\x06\0\0\0a.map\0"
                          "\x01\0\0\0\x02\0\0\0\x03\0\0\0"
                          "\x02\0\0\0"
                          "\x05\0"
                          "\0\0\0\0\0\0\0\0\0\0\0\0"
                          "\x07\0\0\0\x01\0\0\0"
                          "\x0A\0"
                          "\xFF\xFF\xFF\xFF\x01\0\0\0\0\0\0\0"
                          "\0\0\0\0\0\0\0\0"s;

Template room() {
  Template t;
  t.id = 7;
  t.name = "a.map";
  t.triple = {1, 2, 3};
  Cell anchor;
  anchor.setOpenings(0x5);
  anchor.templateId = 7;
  anchor.occupied = 1;
  Cell side;
  side.setOpenings(0xA);
  side.x = -1;
  side.y = 1;
  t.cells = {anchor, side};
  return t;
}

std::string withCells(int32_t count, const std::string& records) {
  std::string bytes = kMagic + "\x01\0\0\0\x01\0\0\0\0"s + std::string(12, '\0');
  for (int shift = 0; shift < 32; shift += 8)
    bytes.push_back(static_cast<char>((static_cast<uint32_t>(count) >> shift) & 0xFF));
  return bytes + records;
}

TEST(MmdFile, EncodesAndDecodesTheByteLayout) {
  ASSERT_EQ(kRoom.size(), 62u + 6u + 2 * 22u);
  EXPECT_EQ(encodeMmd(room()), kRoom);
  auto t = parseMmd(kRoom, "room.mmd");
  ASSERT_TRUE(t.ok()) << t.message();
  EXPECT_EQ(*t, room());
  EXPECT_TRUE(t->cells[0].openPosY && !t->cells[0].openNegY && t->cells[0].openPosX);
}

TEST(MmdFile, EveryCutNamesTheFieldItEndsIn) {
  for (size_t cut = 0; cut < kRoom.size(); ++cut) {
    std::string field;
    if (cut < 38)
      field = "not a template file";
    else if (cut < 42)
      field = "file ends inside the template id";
    else if (cut < 52)
      field = "file ends inside the piece name";
    else if (cut < 64)
      field = "file ends inside the triple";
    else if (cut < 68)
      field = "file ends inside the cell count";
    else
      field = "file ends inside cell record " + std::to_string((cut - 68) / 22 + 1) + " of 2";
    auto t = parseMmd(kRoom.substr(0, cut), "room.mmd");
    ASSERT_FALSE(t.ok()) << "cut at " << cut;
    EXPECT_EQ(t.message().rfind("room.mmd: " + field, 0), 0u)
        << "cut at " << cut << ": " << t.message();
  }
}

TEST(MmdFile, RefusesOtherMagicsAndBadNameLengths) {
  for (const std::string& magic :
       {"\x22\0\0\0ORVANDEL SOFTWORKS     .MMD (1.1)\0"s,
        "\x22\0\0\0orvandel softworks     .mmd (1.0)\0"s,
        "\x21\0\0\0ORVANDEL SOFTWORKS    .MMD (1.0)\0"s, ""s, "\0\0\0\0"s}) {
    auto t = parseMmd(magic + std::string(100, '\0'), "x.mmd");
    ASSERT_FALSE(t.ok());
    EXPECT_EQ(t.message(),
              "x.mmd: not a template file (no \"ORVANDEL SOFTWORKS     .MMD (1.0)\" header)");
  }
  for (const std::string& length : {"\0\0\0\0"s, "\xFB\xFF\xFF\xFF"s}) {
    auto t = parseMmd(kMagic + "\x01\0\0\0"s + length + std::string(40, '\0'), "x.mmd");
    ASSERT_FALSE(t.ok());
    EXPECT_EQ(t.message(), "x.mmd: piece name length " + std::string(length[0] == 0 ? "0" : "-5") +
                               " is below 1");
  }
}

TEST(MmdFile, LongerMagicPrefixAndZeroOrNegativeCounts) {
  const std::string longer =
      "\x28\0\0\0ORVANDEL SOFTWORKS     .MMD (1.0)\0junk!\0"s + kRoom.substr(kMagic.size());
  auto t = parseMmd(longer, "l.mmd");
  ASSERT_TRUE(t.ok()) << t.message();
  EXPECT_EQ(*t, room());
  for (int32_t count : {0, -1, -2147483647 - 1}) {
    auto empty = parseMmd(withCells(count, "trailing bytes are never read"), "e.mmd");
    ASSERT_TRUE(empty.ok()) << empty.message();
    EXPECT_TRUE(empty->cells.empty());
  }
}

TEST(MmdFile, OnlyTheLowFourOpeningBitsCount) {
  const std::string rest(20, '\0');
  auto all = parseMmd(withCells(1, "\xFF\xFF"s + rest), "o.mmd");
  ASSERT_TRUE(all.ok());
  EXPECT_EQ(all->cells[0].openings(), 0xF);
  EXPECT_EQ(encodeMmd(*all), withCells(1, "\x0F\0"s + rest));
  auto none = parseMmd(withCells(1, "\x10\0"s + rest), "o.mmd");
  ASSERT_TRUE(none.ok());
  EXPECT_EQ(none->cells[0], Cell{});
}

}  // namespace
}  // namespace cellforge

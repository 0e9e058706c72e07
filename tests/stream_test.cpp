#include "foundation/stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cellforge {
namespace {

using namespace std::string_literals;

// The rest of the byte layout is in the .mmd and .mtf goldens.
TEST(Stream, EmptyStringIsItsCountAndNul) {
  Stream out;
  out.writeString("");
  EXPECT_EQ(out.written(), "\x01\0\0\0\0"s);
  Stream in(out.written());
  std::string text = "x";
  ASSERT_TRUE(in.readString(text));
  EXPECT_EQ(text, "");
  EXPECT_EQ(in.remaining(), 0u);
}

// Every cut of a string, counts below one and counts beyond the bytes left.
TEST(Stream, RefusedStringsLeaveTextAndPosition) {
  const std::string whole = "\x04\0\0\0abc\0"s;
  std::vector<std::string> refused{"\0\0\0\0abc\0"s, "\xFF\xFF\xFF\xFF"s, "\0\0\0\x80xyz"s,
                                   "\xFF\xFF\xFF\x7F"s + std::string(16, 'a')};
  for (size_t cut = 0; cut < whole.size(); ++cut) refused.push_back(whole.substr(0, cut));
  for (const std::string& bytes : refused) {
    Stream in(bytes);
    std::string text = "kept";
    EXPECT_FALSE(in.readString(text)) << bytes.size();
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(in.position(), 0u);
  }
}

TEST(Stream, StringStopsAtFirstNulButConsumesItsWholeCount) {
  const std::string bytes = "\x06\0\0\0ab\0cd\0\x07\0"s;
  Stream in(bytes);
  std::string text;
  uint16_t next = 0;
  ASSERT_TRUE(in.readString(text));
  EXPECT_EQ(text, "ab");
  ASSERT_TRUE(in.readUInt16(next));
  EXPECT_EQ(next, 7);
}

TEST(TextStream, DeliversWholeLinesWithoutTheirEnds) {
  const std::string longLine(5000, 'q');
  const std::string text = "abc\r\n\n" + longLine + "\nlast";
  TextStream in(text);
  std::string line = "unchanged";
  for (const std::string& expected :
       {std::string("abc"), std::string(), longLine, std::string("last")}) {
    ASSERT_TRUE(in.readLine(line));
    EXPECT_EQ(line, expected);
  }
  EXPECT_FALSE(in.readLine(line));
  EXPECT_EQ(line, "last");
  EXPECT_EQ(readAllLines("x\r\n"), std::vector<std::string>{"x"});
  EXPECT_TRUE(readAllLines("").empty());
  std::string out = "a\n";
  TextStream::writeLine(out, "b");
  TextStream::writeLine(out, "");
  EXPECT_EQ(out, "a\nb\n\n");
}

}  // namespace
}  // namespace cellforge

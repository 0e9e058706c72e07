#include "foundation/ini_file.h"

#include <gtest/gtest.h>

#include <cmath>

namespace cellforge {
namespace {

TEST(IniFile, ReadsLikeAProfile) {
  const IniFile ini = IniFile::parse(
      "key=outside\n"
      "[Globals]\n"
      "; Game_Type=9\n"
      "  GAME_TYPE  =   1  \r\n"
      "game_type=2\n"
      "quoted = \"  spaced value  \"\n"
      "half=\"open\n"
      "empty=\n"
      "[other]\n"
      "key=other\n"
      "[globals]\n"
      "late=yes");
  EXPECT_EQ(ini.get("globals", "game_type"), "1");
  EXPECT_EQ(ini.getInt("GLOBALS", "game_type", 7), 1);
  EXPECT_EQ(ini.get("globals", "quoted"), "  spaced value  ");
  EXPECT_EQ(ini.get("globals", "half"), "\"open");
  EXPECT_EQ(ini.get("globals", "empty"), "");
  EXPECT_EQ(ini.get("globals", "key"), std::nullopt);
  EXPECT_EQ(ini.get("other", "key"), "other");
  EXPECT_EQ(ini.get("globals", "late"), "yes");
  EXPECT_EQ(ini.getString("globals", "absent", "dflt"), "dflt");
  EXPECT_EQ(ini.getInt("globals", "absent", -3), -3);
  EXPECT_EQ(ini.getInt("globals", "empty", -3), 0);
}

TEST(IniFile, IntegersAndDecimalsReadLikeAtoiAndAtof) {
  for (auto [text, value] : {std::pair{"  -12abc", -12},
                             {"abc", 0},
                             {"+7", 7},
                             {"99999999999", 2147483647},
                             {"-99999999999", -2147483647 - 1}})
    EXPECT_EQ(leadingInt(text), value) << text;
  for (auto [text, value] : {std::pair{"0.6xyz", 0.6},
                             {" .5", 0.5},
                             {"-2.5e1x", -25.0},
                             {"3e", 3.0},
                             {"abc", 0.0},
                             {".", 0.0},
                             {"0x10", 0.0},
                             {"inf", 0.0},
                             {"nan", 0.0},
                             {"1e-999", 0.0}})
    EXPECT_EQ(leadingDecimal(text), value) << text;
  EXPECT_TRUE(std::isinf(leadingDecimal("1e999")));
}

TEST(IniFile, WriteKeepsEveryOtherLineByteForByte) {
  IniFile ini = IniFile::parse(
      "; hand-edited, keep me\r\n"
      "[globals]\r\n"
      "  Game_Type = 1\r\n"
      "unknown_key=stays\r\n"
      "game_type=5\r\n"
      "\r\n"
      "; trailing comment\r\n"
      "[template_settings]\r\n"
      "x=3");
  ini.setInt("globals", "game_type", 2);
  ini.set("globals", "client_path", "/opt/client");
  ini.set("template_settings", "y", "4");
  ini.set("extra", "k", "v");
  EXPECT_EQ(ini.text(),
            "; hand-edited, keep me\r\n"
            "[globals]\r\n"
            "Game_Type=2\r\n"
            "unknown_key=stays\r\n"
            "game_type=5\r\n"
            "client_path=/opt/client\r\n"
            "\r\n"
            "; trailing comment\r\n"
            "[template_settings]\r\n"
            "x=3\r\n"
            "y=4\r\n"
            "[extra]\r\n"
            "k=v\r\n");
  EXPECT_EQ(IniFile::parse(ini.text()).getInt("globals", "game_type", 0), 2);
}

TEST(IniFile, WriteIntoEmptyFileAndIntoAnEmptySection) {
  IniFile ini;
  ini.set("globals", "a", "1");
  ini.set("globals", "b", "");
  EXPECT_EQ(ini.text(), "[globals]\na=1\nb=\n");
  IniFile headerOnly = IniFile::parse("[globals]\n[next]\nz=0\n");
  headerOnly.set("Globals", "a", "1");
  EXPECT_EQ(headerOnly.text(), "[globals]\na=1\n[next]\nz=0\n");
  // Values that reading would trim or unquote are written quoted.
  IniFile quoted;
  quoted.set("g", "padded", " x ");
  quoted.set("g", "wrapped", "\"q\"");
  EXPECT_EQ(quoted.text(), "[g]\npadded=\" x \"\nwrapped=\"\"q\"\"\n");
  EXPECT_EQ(IniFile::parse(quoted.text()).get("g", "padded"), " x ");
  EXPECT_EQ(IniFile::parse(quoted.text()).get("g", "wrapped"), "\"q\"");
}

}  // namespace
}  // namespace cellforge

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <tuple>

#include "game_files/game_folder.h"
#include "game_files/miptex.h"
#include "game_files/pak_file.h"
#include "game_files/wad_file.h"
#include "game_files/wal_file.h"
#include "platform/platform.h"
#include "tests/test_support.h"

// Every pak, level and texture here is made by the writers under test;
// none is the games' own data.
namespace cellforge::gamefiles {
namespace {

using test::native;
using test::TempDir;

void put32(std::string& bytes, size_t at, int64_t value) {
  for (size_t i = 0; i < 4; ++i)
    bytes[at + i] = static_cast<char>((static_cast<uint64_t>(value) >> (8 * i)) & 0xFF);
}

std::string failure(const auto& result) { return result.ok() ? "(accepted)" : result.message(); }

// A pak whose data is `data` and whose directory (last) lists `entries`
// just as given, sound or not.
std::string rawPak(const std::string& data,
                   const std::vector<std::tuple<std::string, int64_t, int64_t>>& entries) {
  std::string out = "PACK" + std::string(8, '\0') + data;
  put32(out, 4, static_cast<int64_t>(out.size()));
  put32(out, 8, static_cast<int64_t>(64 * entries.size()));
  for (const auto& [name, offset, size] : entries) {
    std::string entry(64, '\0');
    entry.replace(0, std::min<size_t>(name.size(), 64), name.substr(0, 64));
    put32(entry, 56, offset);
    put32(entry, 60, size);
    out += entry;
  }
  return out;
}

std::string pixels(uint32_t width, uint32_t height, char first) {
  std::string p(width * height * 85 / 64, first);
  for (size_t i = 0; i < p.size(); ++i) p[i] = static_cast<char>(first + static_cast<char>(i % 7));
  return p;
}

TEST(GameFilesPak, ReadsWhatWritePakWroteAndEmptyEntriesOverlapNothing) {
  const std::string pak = writePak({{"maps/e1m1.bsp", "level"}, {"Gfx/Pop.lmp", "pop"}});
  const auto entries = readPak(pak, "pak0.pak");
  ASSERT_TRUE(entries.ok()) << entries.message();
  ASSERT_EQ(entries->size(), 2u);
  EXPECT_EQ((*entries)[0].name, "maps/e1m1.bsp");
  EXPECT_EQ(pak.substr((*entries)[0].offset, (*entries)[0].size), "level");
  EXPECT_EQ((*entries)[1].name, "Gfx/Pop.lmp");
  EXPECT_EQ(pak.substr((*entries)[1].offset, (*entries)[1].size), "pop");
  // Zero-size entries may sit anywhere, even in the header.
  EXPECT_TRUE(readPak(rawPak("abcd", {{"a", 12, 4}, {"b", 13, 0}, {"c", 0, 0}}), "p").ok());
  EXPECT_TRUE(readPak(writePak({}), "empty.pak").ok());
}

TEST(GameFilesPak, EveryTruncationIsRefusedNamingHeaderOrDirectory) {
  const std::string pak = writePak({{"a", "12345"}, {"b/c", "xyz"}});
  for (size_t length = 0; length < pak.size(); ++length) {
    const auto read = readPak(pak.substr(0, length), "pak0.pak");
    const std::string n = std::to_string(length);
    if (length < kPakHeaderSize)
      EXPECT_EQ(failure(read),
                "pak0.pak: header: " + n + " bytes, shorter than the 12-byte header");
    else
      EXPECT_EQ(failure(read),
                "pak0.pak: header: directory offset 20 + length 128 reaches past "
                "the end of the file (" +
                    n + " bytes)");
  }
  // The directory read apart from the header (as GameFolder reads it).
  const PakHeader header{20, 128};
  for (size_t length = 0; length < 128; ++length) {
    EXPECT_EQ(failure(readPakDirectory(pak.substr(20, length), header, pak.size(), "p")),
              "p: directory: " + std::to_string(length) + " bytes, shorter than its length 128");
  }
}

TEST(GameFilesPak, RefusesEachBadHeaderField) {
  const std::string good = writePak({{"a", std::string(100, 'a')}});
  const std::vector<std::pair<std::function<void(std::string&)>, std::string>> cases = {
      {[](std::string& b) { b[3] = 'X'; }, "header: magic \"PACX\" is not \"PACK\""},
      {[](std::string& b) { b[0] = '\n'; }, "header: magic \"\\x0aACK\" is not \"PACK\""},
      {[](std::string& b) { put32(b, 4, -4); }, "header: directory offset -4 is negative"},
      {[](std::string& b) { put32(b, 8, -64); }, "header: directory length -64 is negative"},
      {[](std::string& b) { put32(b, 8, 63); },
       "header: directory length 63 is not a multiple of 64"},
      {[](std::string& b) { put32(b, 4, 4); },
       "header: directory offset 4 overlaps the 12-byte header"},
      {[](std::string& b) { put32(b, 4, 0x7FFFFFFF); },
       "header: directory offset 2147483647 + length 64 reaches past the end of the file (176 "
       "bytes)"},
  };
  for (const auto& [patch, message] : cases) {
    std::string bytes = good;
    patch(bytes);
    EXPECT_EQ(failure(readPak(bytes, "pak0.pak")), "pak0.pak: " + message);
  }
}

TEST(GameFilesPak, RefusesEachBadEntryNamingItsNumberAndField) {
  const std::string data(200, 'd');  // bytes 12 to 212; the directory follows
  const std::vector<std::pair<std::vector<std::tuple<std::string, int64_t, int64_t>>, std::string>>
      cases = {
          {{{"ok", 12, 4}, {std::string(56, 'x'), 16, 4}},
           "entry 1: name has no NUL in its 56 bytes"},
          {{{"", 12, 4}}, "entry 0: name is empty"},
          {{{"a", -1, 4}}, "entry 0 (\"a\"): offset -1 is negative"},
          {{{"a", 12, -4}}, "entry 0 (\"a\"): size -4 is negative"},
          {{{"a", 12, 4}, {"b", 12, 4}, {"maps/e1m1.bsp", 200, 400}},
           "entry 2 (\"maps/e1m1.bsp\"): offset 200 + size 400 reaches past the end of the file "
           "(404 bytes)"},
          {{{"a", 8, 10}}, "entry 0 (\"a\"): offset 8 overlaps the 12-byte header"},
          {{{"a", 200, 20}},
           "entry 0 (\"a\"): offset 200 + size 20 overlaps the directory (offset 212 + length 64)"},
          {{{"a", 100, 50}, {"b", 20, 10}, {"c", 149, 1}},
           "entry 2 (\"c\"): offset 149 + size 1 overlaps entry 0 (\"a\") (offset 100 + size 50)"},
          // The long one before reaches past the short one after.
          {{{"a", 20, 100}, {"b", 30, 5}, {"c", 110, 5}},
           "entry 1 (\"b\"): offset 30 + size 5 overlaps entry 0 (\"a\") (offset 20 + size 100)"},
      };
  for (const auto& [entries, message] : cases)
    EXPECT_EQ(failure(readPak(rawPak(data, entries), "pak0.pak")), "pak0.pak: " + message);
  // Touching entries do not overlap.
  EXPECT_TRUE(readPak(rawPak(data, {{"a", 12, 10}, {"b", 22, 10}}), "p").ok());
}

TEST(GameFilesMiptex, ReadsAnyLayoutIntoTheNormalOneAndRoundTripsThroughABsp) {
  const Miptex made = makeMiptex("sky1", 32, 16, pixels(32, 16, 'a'));
  EXPECT_EQ(made.name, "sky1");
  ASSERT_EQ(made.bytes.size(), 40u + 32 * 16 * 85 / 64);
  // Stored with the levels in reverse order, a gap and junk after the NUL.
  std::string odd = made.bytes.substr(0, 40);
  odd.replace(5, 3, "zzz");
  const std::string levels[4] = {made.bytes.substr(40, 512), made.bytes.substr(552, 128),
                                 made.bytes.substr(680, 32), made.bytes.substr(712, 8)};
  odd += "gap";
  for (int level = 3; level >= 0; --level) {
    put32(odd, 24 + 4 * static_cast<size_t>(level), static_cast<int64_t>(odd.size()));
    odd += levels[level];
  }
  const auto read = readMiptex(odd, "t");
  ASSERT_TRUE(read.ok()) << read.message();
  EXPECT_EQ(read->name, "sky1");
  EXPECT_EQ(read->bytes, made.bytes);

  const Miptex other = makeMiptex("+0lava", 16, 16, pixels(16, 16, 'b'));
  std::string bsp = writeBspTextures({made, other});
  auto back = readBspTextures(bsp, "e1m1.bsp");
  ASSERT_TRUE(back.ok()) << back.message();
  ASSERT_EQ(back->size(), 2u);
  EXPECT_EQ((*back)[0].bytes, made.bytes);
  EXPECT_EQ((*back)[1].bytes, other.bytes);
  // ericw-tools' BSP2 holds its textures the same way.
  bsp.replace(0, 4, "BSP2");
  EXPECT_TRUE(readBspTextures(bsp, "b").ok());
}

TEST(GameFilesMiptex, RefusesEachBadFieldAndEveryTruncation) {
  const Miptex good = makeMiptex("sky1", 16, 16, "");
  const std::vector<std::pair<std::function<void(std::string&)>, std::string>> cases = {
      {[](std::string& b) { b.replace(0, 16, std::string(16, 'n')); },
       "t: name has no NUL in its 16 bytes"},
      {[](std::string& b) { put32(b, 16, 0); }, "t (\"sky1\"): width is 0"},
      {[](std::string& b) { put32(b, 16, 17); }, "t (\"sky1\"): width 17 is not a multiple of 16"},
      {[](std::string& b) { put32(b, 20, 4112); }, "t (\"sky1\"): height 4112 is past 4096"},
      {[](std::string& b) { put32(b, 20, 48); },
       "t (\"sky1\"): level 0 offset 40 + size 768 reaches past the end of the texture (380 "
       "bytes)"},
      {[](std::string& b) { put32(b, 36, 0xFFFFFFFF); },
       "t (\"sky1\"): level 3 offset 4294967295 + size 4 reaches past the end of the texture "
       "(380 bytes)"},
  };
  for (const auto& [patch, message] : cases) {
    std::string bytes = good.bytes;
    patch(bytes);
    EXPECT_EQ(failure(readMiptex(bytes, "t")), message);
  }
  for (size_t length = 0; length < good.bytes.size(); ++length) {
    const std::string message = failure(readMiptex(good.bytes.substr(0, length), "t"));
    if (length < kMiptexHeaderSize)
      EXPECT_EQ(message, "t: header: " + std::to_string(length) +
                             " bytes, shorter than the 40-byte texture header");
    else
      EXPECT_NE(message.find("t (\"sky1\"): level "), std::string::npos) << message;
  }
}

TEST(GameFilesBsp, SkipsNoTextureAndExternalOnesAndRefusesEachBadField) {
  const Miptex sky = makeMiptex("sky1", 16, 16, "");
  const Miptex wall = makeMiptex("wall", 16, 32, "");
  std::string bsp = writeBspTextures({sky, wall, wall});
  // Offsets from the lump start (124): table 16 bytes, sky 380, wall 720.
  put32(bsp, 128, -1);                                                     // texture 0: none
  for (size_t i = 0; i < 16; ++i) bsp[124 + 16 + 380 + 720 + 24 + i] = 0;  // texture 2: external
  auto read = readBspTextures(bsp, "e1m1.bsp");
  ASSERT_TRUE(read.ok()) << read.message();
  ASSERT_EQ(read->size(), 1u);
  EXPECT_EQ((*read)[0].bytes, wall.bytes);

  const std::string good = writeBspTextures({sky, wall});
  const std::vector<std::pair<std::function<void(std::string&)>, std::string>> cases = {
      {[](std::string& b) { put32(b, 0, 38); }, "header: version 38 is not 29 or \"BSP2\""},
      {[](std::string& b) { b.replace(0, 4, "IBSP"); }, "header: a Quake II level, not Quake's"},
      {[](std::string& b) { put32(b, 20, -1); }, "header: texture lump offset -1 is negative"},
      {[](std::string& b) { put32(b, 24, -1); }, "header: texture lump length -1 is negative"},
      {[](std::string& b) { put32(b, 24, 2000); },
       "header: texture lump offset 124 + length 2000 reaches past the end of the file (1236 "
       "bytes)"},
      {[](std::string& b) { put32(b, 124, -2); }, "texture lump: count -2 is negative"},
      {[](std::string& b) { put32(b, 124, 300); },
       "texture lump: count 300 needs 1204 bytes, the lump has 1112"},
      {[](std::string& b) { put32(b, 132, 1112); },
       "texture 1: offset 1112 is outside the texture lump (1112 bytes)"},
      {[](std::string& b) { put32(b, 128, -5); },
       "texture 0: offset -5 is outside the texture lump (1112 bytes)"},
      {[](std::string& b) { put32(b, 124 + 12 + 16, 17); },
       "texture 0 (\"sky1\"): width 17 is not a multiple of 16"},
      // Texture 0 now ends where texture 1 starts, at 300: its levels do not fit.
      {[](std::string& b) { put32(b, 132, 300); },
       "texture 0 (\"sky1\"): level 0 offset 40 + size 256 reaches past the end of the texture "
       "(288 bytes)"},
  };
  for (const auto& [patch, message] : cases) {
    std::string bytes = good;
    patch(bytes);
    EXPECT_EQ(failure(readBspTextures(bytes, "e1m1.bsp")), "e1m1.bsp: " + message);
  }
  for (size_t length = 0; length < good.size(); ++length) {
    const std::string message = failure(readBspTextures(good.substr(0, length), "e1m1.bsp"));
    const std::string expected = length < 124 ? "e1m1.bsp: header: " + std::to_string(length) +
                                                    " bytes, shorter than the 124-byte header"
                                              : "e1m1.bsp: header: texture lump offset 124";
    EXPECT_EQ(message.substr(0, expected.size()), expected) << message;
  }
  // A texture lump cut inside its table or a miptex, its length fitting.
  for (size_t length = 1; length < good.size() - 124; ++length) {
    std::string cut = good.substr(0, 124 + length);
    put32(cut, 24, static_cast<int64_t>(length));
    EXPECT_FALSE(readBspTextures(cut, "e1m1.bsp").ok()) << length;
  }
}

TEST(GameFilesWad, RoundTripsCutsLongNamesAndRefusesEachBadField) {
  const std::vector<WadLump> lumps = {{"sky1", kWadMiptexType, "abc"},
                                      {"palette", 0x40, std::string(5, '\0')},
                                      {"sixteen_chars_ab", kWadMiptexType, ""}};
  const std::string wad = writeWad(lumps);
  const auto read = readWad(wad, "q.wad");
  ASSERT_TRUE(read.ok()) << read.message();
  ASSERT_EQ(read->size(), 3u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ((*read)[i].name, lumps[i].name);
    EXPECT_EQ((*read)[i].type, lumps[i].type);
    EXPECT_EQ((*read)[i].bytes, lumps[i].bytes);
  }
  EXPECT_EQ((*read)[2].name, "sixteen_chars_a");

  const size_t dir = 12 + 8;  // the directory follows the lumps' 8 bytes
  const std::vector<std::pair<std::function<void(std::string&)>, std::string>> cases = {
      {[](std::string& b) { b[0] = 'P'; }, "header: magic \"PAD2\" is not \"WAD2\""},
      {[](std::string& b) { put32(b, 4, -1); }, "header: lump count -1 is negative"},
      {[](std::string& b) { put32(b, 8, -1); }, "header: directory offset -1 is negative"},
      {[](std::string& b) { put32(b, 4, 4); },
       "header: directory offset 20 + length 128 reaches past the end of the file (116 bytes)"},
      {[&](std::string& b) { b.replace(dir + 32 + 16, 16, std::string(16, 'p')); },
       "lump 1: name has no NUL in its 16 bytes"},
      {[&](std::string& b) { b[dir + 13] = 1; },
       "lump 0 (\"sky1\"): compression 1 is not supported (only uncompressed lumps are)"},
      {[&](std::string& b) { put32(b, dir, -3); }, "lump 0 (\"sky1\"): position -3 is negative"},
      {[&](std::string& b) { put32(b, dir + 4, -3); }, "lump 0 (\"sky1\"): size -3 is negative"},
      {[&](std::string& b) { put32(b, dir + 32 + 4, 102); },
       "lump 1 (\"palette\"): position 15 + size 102 reaches past the end of the file (116 "
       "bytes)"},
  };
  for (const auto& [patch, message] : cases) {
    std::string bytes = wad;
    patch(bytes);
    EXPECT_EQ(failure(readWad(bytes, "q.wad")), "q.wad: " + message);
  }
  for (size_t length = 0; length < wad.size(); ++length)
    EXPECT_FALSE(readWad(wad.substr(0, length), "q.wad").ok()) << length;
}

TEST(GameFilesWal, ReadsMakeWalsHeaderAndRefusesEachBadField) {
  const std::string wal = makeWal("e1u1/floor1_1", 24, 8, "e1u1/floor1_2");
  ASSERT_EQ(wal.size(), 100u + 24 * 8 + 12 * 4 + 6 * 2 + 3 * 1);
  const auto header = readWalHeader(wal, "f.wal");
  ASSERT_TRUE(header.ok()) << header.message();
  EXPECT_EQ(header->name, "e1u1/floor1_1");
  EXPECT_EQ(header->animName, "e1u1/floor1_2");
  EXPECT_EQ(header->width, 24u);
  EXPECT_EQ(header->height, 8u);
  const std::vector<std::pair<std::function<void(std::string&)>, std::string>> cases = {
      {[](std::string& b) { b.replace(0, 32, std::string(32, 'n')); },
       "name has no NUL in its 32 bytes"},
      {[](std::string& b) { b.replace(56, 32, std::string(32, 'n')); },
       "texture \"e1u1/floor1_1\": animname has no NUL in its 32 bytes"},
      {[](std::string& b) { put32(b, 32, 0); }, "texture \"e1u1/floor1_1\": width is 0"},
      {[](std::string& b) { put32(b, 36, 4097); },
       "texture \"e1u1/floor1_1\": height 4097 is past 4096"},
      {[](std::string& b) { put32(b, 48, 400); },
       "texture \"e1u1/floor1_1\": level 2 offset 400 + size 12 reaches past the end of the file "
       "(355 bytes)"},
  };
  for (const auto& [patch, message] : cases) {
    std::string bytes = wal;
    patch(bytes);
    EXPECT_EQ(failure(readWalHeader(bytes, "f.wal")), "f.wal: " + message);
  }
  for (size_t length = 0; length < wal.size(); ++length)
    EXPECT_FALSE(readWalHeader(wal.substr(0, length), "f.wal").ok()) << length;
}

TEST(GameFilesPlatform, FileSizeAndRangeReadWithTheSystemsErrors) {
  const TempDir dir;
  test::writeText(dir / "f", "0123456789");
  EXPECT_EQ(*platform::fileSize(dir / "f"), 10u);
  EXPECT_EQ(*platform::readFileRange(dir / "f", 3, 4), "3456");
  EXPECT_EQ(*platform::readFileRange(dir / "f", 10, 0), "");
  const auto past = platform::readFileRange(dir / "f", 8, 3);
  EXPECT_EQ(past.kind(), ErrorKind::ioError);
  EXPECT_EQ(past.message(), dir / "f" + ": cannot read: the file ends at byte 10, before byte 11");
  EXPECT_EQ(failure(platform::fileSize(dir / "absent")),
            dir / "absent" + ": cannot open: " + test::missingFileCause());
  EXPECT_EQ(platform::readFileRange(dir / "absent", 0, 1).kind(), ErrorKind::notFound);
  EXPECT_EQ(platform::fileSize(dir.path()).kind(), ErrorKind::invalid);
}

// An install folder with baseq2/pak0.pak, pak1.pak and loose files.
struct Install {
  TempDir dir;
  std::string data = native(dir / "quake2/baseq2/");
  Install() { test::makeFolders(data); }
  void pak(int n, const std::vector<std::pair<std::string, std::string>>& files) const {
    test::writeText(data + "pak" + std::to_string(n) + ".pak", writePak(files));
  }
  void loose(const std::string& name, std::string_view bytes) const {
    const std::string path = data + native(name);
    test::makeFolders(path.substr(0, path.find_last_of(platform::separator()) + 1));
    test::writeText(path, bytes);
  }
  GameFolder open(std::string folder = {}, Game game = Game::quake2) const {
    auto g = GameFolder::open(folder.empty() ? native(dir / "quake2") : folder, game);
    if (!g.ok()) throw std::runtime_error(g.message());
    return std::move(*g);
  }
};

TEST(GameFilesFolder, OpensTheInstallOrTheDataFolderAndSaysWhatItLookedFor) {
  const Install in;
  const std::string sep(1, platform::separator());
  const std::string empty = native(in.dir / "empty");
  test::makeFolders(empty);
  const auto none = GameFolder::open(empty, Game::quake2);
  EXPECT_EQ(none.kind(), ErrorKind::notFound);
  EXPECT_EQ(failure(none), empty + ": no game data: looked for " + empty + sep + "baseq2" + sep +
                               "pak0.pak and " + empty + sep + "pak0.pak");
  in.pak(0, {{"a", "0"}});
  in.pak(2, {{"a", "2"}});  // after a missing pak1: not loaded
  for (const std::string& folder : {native(in.dir / "quake2"), in.data}) {
    const GameFolder g = in.open(folder);
    EXPECT_EQ(g.installFolder(), native(in.dir / "quake2/"));
    EXPECT_EQ(g.dataFolder(), in.data);
    EXPECT_EQ(g.paks(), std::vector<std::string>{in.data + "pak0.pak"});
  }
  EXPECT_FALSE(GameFolder::open(native(in.dir / "quake2"), Game::quake).ok());
  test::writeText(in.data + "pak1.pak", "PACK");
  EXPECT_EQ(failure(GameFolder::open(in.data, Game::quake2)),
            in.data + "pak1.pak: header: 4 bytes, shorter than the 12-byte header");
}

TEST(GameFilesFolder, LooseOverridesTheLaterPakWhichOverridesTheEarlier) {
  const Install in;
  in.pak(0,
         {{"pics/Colormap.pcx", "zero"}, {"maps/a.bsp", "0"}, {"only0", "o"}, {"maps/B.bsp", "0"}});
  in.pak(1, {{"maps/b.bsp", "1"}, {"PICS/COLORMAP.PCX", "one"}, {"maps/c.txt", "x"}});
  const GameFolder g = in.open();
  const auto read = [&](std::string_view name) { return *g.read(*g.find(name)); };
  EXPECT_EQ(read("pics/colormap.pcx"), "one");
  EXPECT_EQ(read("only0"), "o");
  EXPECT_EQ(g.find("pics/colormap.pcx")->path, in.data + "pak1.pak");
  in.loose("pics/colormap.pcx", "loose");
  EXPECT_TRUE(g.find("pics/colormap.pcx")->loose);
  EXPECT_EQ(read("pics/colormap.pcx"), "loose");
  EXPECT_EQ(*g.read(*g.findInPaks("pics/colormap.pcx")), "one");
  EXPECT_FALSE(g.find("absent").has_value());
  EXPECT_EQ(g.pakNames("MAPS/", ".BSP"), (std::vector<std::string>{"maps/b.bsp", "maps/a.bsp"}));
  EXPECT_FALSE(g.isShareware());  // Quake II's data is never shareware
}

TEST(GameFilesFolder, QuakeWithoutPopLmpIsShareware) {
  const Install in;
  const std::string id1 = native(in.dir / "quake/id1/");
  test::makeFolders(id1);
  test::writeText(id1 + "pak0.pak", writePak({{"gfx/palette.lmp", "p"}}));
  EXPECT_TRUE(in.open(native(in.dir / "quake"), Game::quake).isShareware());
  test::writeText(id1 + "pak1.pak", writePak({{"GFX/POP.LMP", "p"}}));
  EXPECT_FALSE(in.open(native(in.dir / "quake"), Game::quake).isShareware());
}

TEST(GameFilesToolData, WritesColormapAndTheAnimationChainByteForByteAndKeepsWhatIsThere) {
  const Install in;
  const std::string floor1 = makeWal("e1u1/floor_1", 16, 16, "e1u1/floor_2");
  const std::string floor2 = makeWal("e1u1/floor_2", 16, 16, "e1u1/FLOOR_1");  // back: a loop
  in.pak(0, {{"pics/colormap.pcx", "colormap bytes"},
             {"textures/e1u1/Floor_1.wal", floor1},
             {"textures/e1u1/floor_2.wal", "stale"}});
  in.pak(1, {{"textures/e1u1/floor_2.wal", floor2}});
  in.loose("textures/wall.wal", makeWal("wall", 16, 16));
  const GameFolder g = in.open();
  const std::string out = native(in.dir / "tools/");
  test::makeFolders(out + native("textures/e1u1/"));
  test::writeText(out + native("textures/e1u1/floor_2.wal"), floor2 + "mine");
  const std::vector<std::string> textures = {"e1u1/FLOOR_1", "wall", "nowhere", "wall"};
  const auto done = extractToolData(g, textures, out);
  ASSERT_TRUE(done.ok()) << done.message();
  // The chain goes on to floor_2, which is there already, and stops at
  // FLOOR_1, which it names again.
  EXPECT_EQ(done->written,
            (std::vector<std::string>{"pics/colormap.pcx", "textures/e1u1/FLOOR_1.wal",
                                      "textures/wall.wal"}));
  EXPECT_EQ(done->kept, std::vector<std::string>{"textures/e1u1/floor_2.wal"});
  EXPECT_EQ(done->missing, std::vector<std::string>{"nowhere"});
  EXPECT_EQ(test::readText(out + native("pics/colormap.pcx")), "colormap bytes");
  EXPECT_EQ(test::readText(out + native("textures/e1u1/FLOOR_1.wal")), floor1);
  EXPECT_EQ(test::readText(out + native("textures/e1u1/floor_2.wal")), floor2 + "mine");
  EXPECT_EQ(test::readText(out + native("textures/wall.wal")),
            test::readText(in.data + native("textures/wall.wal")));

  // Into the game's own folder: its loose file stays as it is; the chain
  // through floor_2 reaches FLOOR_1 again, which this folder lacks.
  in.loose("pics/colormap.pcx", "loose colormap");
  const auto own = extractToolData(g, std::vector<std::string>{"e1u1/floor_2"}, in.data);
  ASSERT_TRUE(own.ok()) << own.message();
  EXPECT_EQ(own->kept, std::vector<std::string>{"pics/colormap.pcx"});
  EXPECT_EQ(own->written,
            (std::vector<std::string>{"textures/e1u1/floor_2.wal", "textures/e1u1/FLOOR_1.wal"}));
  EXPECT_EQ(test::readText(in.data + native("pics/colormap.pcx")), "loose colormap");

  EXPECT_EQ(failure(extractToolData(g, std::vector<std::string>{"../up"}, out)),
            "texture \"../up\": not a name under textures/");
}

TEST(GameFilesToolData, MissingColormapNamesWhereItLooked) {
  const Install in;
  in.pak(0, {{"textures/a.wal", makeWal("a", 16, 16)}});
  const auto done = extractToolData(in.open(), {}, native(in.dir / "out/"));
  EXPECT_EQ(done.kind(), ErrorKind::notFound);
  EXPECT_EQ(failure(done), "no pics/colormap.pcx for the compile tools: looked in " + in.data +
                               native("pics/colormap.pcx") + ", " + in.data + "pak0.pak");
}

TEST(GameFilesTextureWad, HoldsEachTextureOnceFirstFoundWithItsFramesAndReadsBack) {
  const Install in;
  const Miptex sharedA = makeMiptex("shared", 16, 16, pixels(16, 16, 'a'));
  const Miptex sharedB = makeMiptex("SHARED", 16, 16, pixels(16, 16, 'b'));
  const Miptex lava0 = makeMiptex("+0lava", 16, 16, pixels(16, 16, 'c'));
  const Miptex lava1 = makeMiptex("+1LAVA", 16, 16, pixels(16, 16, 'd'));
  const Miptex lavaA = makeMiptex("+alava", 16, 16, pixels(16, 16, 'e'));
  const Miptex onlyA = makeMiptex("only_a", 32, 16, pixels(32, 16, 'f'));
  in.pak(0, {{"maps/a.bsp", writeBspTextures({sharedA, lava1, onlyA})},
             {"gfx/not_a_level.bsp", "junk"}});
  in.pak(1, {{"maps/b.bsp", writeBspTextures({lavaA, sharedB, lava0})}});
  const GameFolder g = in.open();

  const auto wad = buildTextureWad(g, std::vector<std::string>{"Shared", "+1lava", "nope", "NOPE"});
  ASSERT_TRUE(wad.ok()) << wad.message();
  EXPECT_EQ(wad->names, (std::vector<std::string>{"SHARED", "+1LAVA", "+0lava", "+alava"}));
  EXPECT_EQ(wad->missing, std::vector<std::string>{"nope"});
  const auto lumps = readWad(wad->bytes, "t.wad");
  ASSERT_TRUE(lumps.ok()) << lumps.message();
  const std::vector<const Miptex*> expected = {&sharedB, &lava1, &lava0, &lavaA};
  ASSERT_EQ(lumps->size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ((*lumps)[i].name, expected[i]->name);
    EXPECT_EQ((*lumps)[i].type, kWadMiptexType);
    EXPECT_EQ((*lumps)[i].bytes, expected[i]->bytes);
  }
  const auto all = buildTextureWad(g, {});
  ASSERT_TRUE(all.ok()) << all.message();
  EXPECT_EQ(all->names,
            (std::vector<std::string>{"+alava", "+0lava", "+1LAVA", "SHARED", "only_a"}));

  in.pak(2, {{"maps/bad.bsp", "BSP"}});
  EXPECT_EQ(failure(buildTextureWad(in.open(), {})),
            in.data + "pak2.pak: maps/bad.bsp: header: 3 bytes, shorter than the 124-byte header");
}

}  // namespace
}  // namespace cellforge::gamefiles

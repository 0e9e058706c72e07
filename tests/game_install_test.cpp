#include "server/game_install.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "foundation/ini_file.h"
#include "game_files/miptex.h"
#include "game_files/pak_file.h"
#include "game_files/wad_file.h"
#include "game_files/wal_file.h"
#include "platform/platform.h"
#include "server/server_app.h"
#include "tests/test_support.h"

namespace cellforge {
namespace {

namespace fs = std::filesystem;
using gamefiles::makeMiptex;
using gamefiles::makeWal;
using gamefiles::writePak;
using Files = std::vector<std::pair<std::string, std::string>>;

// The textures the brushes of these map texts name, sorted.
std::vector<std::string> texturesOf(const std::vector<std::string>& mapTexts) {
  std::vector<std::string> names;
  for (const std::string& text : mapTexts) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      const size_t close = line.rfind(')');
      if (line.find('(') == std::string::npos || close == std::string::npos) continue;
      std::istringstream rest(line.substr(close + 1));
      std::string name;
      if (rest >> name && std::find(names.begin(), names.end(), name) == names.end())
        names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> kitTextures(const std::string& kit) {
  std::vector<std::string> texts;
  for (const auto& entry : fs::directory_iterator(kit))
    if (entry.path().extension() == ".map") texts.push_back(test::readText(entry.path().string()));
  return texturesOf(texts);
}

// An install tree with the real client, a bundled kit and stand-ins for
// the compile tools and the engine, beside a game folder of its own.
struct Game : test::InstallTree {
  std::ostringstream out, err;
  std::string gameDir;
  std::string kitFolder;

  explicit Game(std::string_view kit, std::vector<std::string> tools)
      : test::InstallTree(kit),
        gameDir(test::native(dir / (kit == "S1" ? "quake/" : "quake2/"))),
        kitFolder((fs::path(CELLFORGE_SOURCE_DIR) / "maps" / std::string(kit)).string()) {
    install(CELLFORGE_CLIENT_EXE, "client");
    tools.push_back("engine");
    for (const std::string& tool : tools) install(CELLFORGE_STAND_IN_EXE, tool);
    copyKit(kitFolder);
    // The tree's own target is the default one; the game folder moves it.
    test::writeText(ini(), "[globals]\ntemplate_directory=" + templates + "\nsource_directory=" +
                               source + "\n" + (kit == "S1" ? "game_type=1\n" : ""));
  }
  std::string data() const {
    return gameDir + test::native(kitFolder.ends_with("S1") ? "id1/" : "baseq2/");
  }
  void pak(const std::string& name, const Files& files) const {
    test::makeFolders(data());
    test::writeText(data() + name, writePak(files));
  }
  int run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    return runServer(args, bin + "server", out, err);
  }
  std::string calls() const { return test::readText(bin + "calls.log"); }
};

TEST(GameInstall, WorldWadIsReplacedOrAdded) {
  EXPECT_EQ(withWorldWad("{\n  \"classname\" \"worldspawn\"\n  \"wad\" \"quake101.wad\"\n {\n  ( 0 "
                         "0 0 ) x\n }\n}\n{\n  \"wad\" \"other\"\n}\n",
                         "sample.wad"),
            "{\n  \"classname\" \"worldspawn\"\n  \"wad\" \"sample.wad\"\n {\n  ( 0 0 0 ) x\n "
            "}\n}\n{\n  \"wad\" \"other\"\n}\n");
  EXPECT_EQ(withWorldWad("{\r\n\"classname\" \"worldspawn\"\r\n}\r\n", "a.wad;sample.wad"),
            "{\r\n  \"wad\" \"a.wad;sample.wad\"\r\n\"classname\" \"worldspawn\"\r\n}\r\n");
  // A wad key of a brush's line or of a later entity is not the world's.
  EXPECT_EQ(withWorldWad("{\n{\n\"wad\" \"x\"\n}\n}\n", "s"),
            "{\n  \"wad\" \"s\"\n{\n\"wad\" \"x\"\n}\n}\n");
  EXPECT_EQ(withWorldWad("", "s"), "");
}

TEST(GameInstall, PlayCommands) {
  EXPECT_EQ(playCommand(cellforge::Game::quake2, "/g/quake2/"),
            "cd \"/g/quake2/\" && quake2 +set singleplayer 1 +map sample   (skill: +set skill 0, "
            "1, 2 or 3 before +map)");
  EXPECT_EQ(playCommand(cellforge::Game::quake, "/g/quake/"),
            "cd \"/g/quake/\" && quake +map sample   (skill: +skill 0, 1, 2 or 3 before +map)");
}

// Quake II: the colormap and the .wal of each texture the map uses are
// loose before qbsp3 runs, pak1 overriding pak0, the player's own loose
// file kept, a texture in no pak one warning; the level lands in the
// game's maps folder with the line that starts it.
TEST(GameInstall, Quake2ToolsFindTheGameDataLoose) {
  Game g("S2", {"qbsp3", "qvis3", "qrad3"});
  const std::string maps = g.data() + test::native("maps/");
  // Every piece has an exit trigger; the paks lack its texture.
  Files pak0{{"pics/colormap.pcx", "colormap bytes"}};
  for (const std::string& t : kitTextures(g.kitFolder))
    if (t != "e1u1/trigger") pak0.push_back({"textures/" + t + ".wal", makeWal(t, 64, 64)});
  g.pak("pak0.pak", pak0);
  ASSERT_EQ(g.run({"--seed", "7", "--game-dir", g.gameDir, "--no-compile"}), 0) << g.err.str();
  std::vector<std::string> used = texturesOf({test::readText(maps + "sample.map")});
  used.erase(std::find(used.begin(), used.end(), "e1u1/trigger"));
  ASSERT_GE(used.size(), 3u);
  g.pak("pak1.pak", {{"textures/" + used[1] + ".wal", makeWal(used[1], 32, 32)}});
  const std::string own = makeWal(used[2], 16, 16);
  test::makeFolders(g.data() + test::native("textures/e1u1"));
  test::writeText(g.data() + "textures/" + used[2] + ".wal", own);
  std::string checks = "check ../pics/colormap.pcx\n";
  for (const std::string& t : {used[0], used[1], std::string("e1u1/trigger")})
    checks += "check ../textures/" + t + ".wal\n";
  test::writeText(g.bin + "qbsp3.do", checks + "touch sample.bsp\n");

  ASSERT_EQ(g.run({"--seed", "7", "--game-dir", g.gameDir, "--play", g.bin + "engine"}), 0)
      << g.err.str();
  const std::string calls = g.calls();
  EXPECT_NE(calls.find("qbsp3 sample.map | " + maps.substr(0, maps.size() - 1) +
                       "\n  ../pics/colormap.pcx present\n  ../textures/" + used[0] +
                       ".wal present\n  ../textures/" + used[1] +
                       ".wal present\n  ../textures/e1u1/trigger.wal absent\n"),
            std::string::npos)
      << calls;
  EXPECT_EQ(test::readText(g.data() + "pics/colormap.pcx"), "colormap bytes");
  EXPECT_EQ(test::readText(g.data() + "textures/" + used[0] + ".wal"), makeWal(used[0], 64, 64));
  EXPECT_EQ(test::readText(g.data() + "textures/" + used[1] + ".wal"), makeWal(used[1], 32, 32));
  EXPECT_EQ(test::readText(g.data() + "textures/" + used[2] + ".wal"), own);
  // Only what the map uses.
  size_t extracted = 0;
  for (const auto& entry : fs::recursive_directory_iterator(g.data() + "textures"))
    extracted += entry.is_regular_file() ? 1 : 0;
  EXPECT_EQ(extracted, used.size());
  EXPECT_EQ(g.err.str(),
            "server: warning: texture e1u1/trigger is in no pak and no loose file of " + g.data() +
                "; the tools light it grey\n");
  const std::string shown = g.out.str();
  EXPECT_NE(shown.find("game data: " + std::to_string(used.size()) +
                       " files from the paks written into " + g.data() +
                       " as loose files for the tools (1 was there already and kept)\n"),
            std::string::npos)
      << shown;
  EXPECT_NE(shown.find("level: " + maps + "sample.bsp\nplay: cd \"" + g.gameDir +
                       "\" && quake2 +set singleplayer 1 +map sample"),
            std::string::npos)
      << shown;
  EXPECT_NE(calls.find("engine +set singleplayer 1 +map sample | " +
                       g.gameDir.substr(0, g.gameDir.size() - 1)),
            std::string::npos)
      << calls;
  // The INI keeps its own target folder; the game folder chose this run's.
  auto ini = IniFile::parse(test::readText(g.ini()));
  EXPECT_EQ(ini.getString("globals", "target_directory", ""),
            g.bin + test::native("../baseq2/maps/"));
  EXPECT_EQ(ini.getString("game", "game_directory", "none"), "none");
}

// Quake: the pieces' wad is missing, so the map gets one of the textures
// of the game's own levels, first found wins, before qbsp runs.
TEST(GameInstall, QuakeMapGetsAWadFromTheGameLevels) {
  Game g("S1", {"qbsp", "light", "vis"});
  const std::vector<std::string> textures = kitTextures(g.kitFolder);
  std::vector<gamefiles::Miptex> first, second;
  for (const std::string& t : textures)
    if (t != "sky4") first.push_back(makeMiptex(t, 16, 16, std::string(16 * 16 * 85 / 64, 'a')));
  second.push_back(makeMiptex(textures[0], 16, 16, std::string(16 * 16 * 85 / 64, 'b')));
  g.pak("pak0.pak", {{"maps/e1m1.bsp", gamefiles::writeBspTextures(first)},
                     {"maps/e1m2.bsp", gamefiles::writeBspTextures(second)}});
  g.pak("pak1.pak", {{"gfx/pop.lmp", "registered"}});
  test::writeText(g.bin + "qbsp.do", "check sample.wad\ntouch sample.bsp\n");

  ASSERT_EQ(g.run({"--seed", "3", "--game-dir", g.gameDir}), 0) << g.err.str();
  EXPECT_NE(g.calls().find("qbsp sample.map | "), std::string::npos);
  EXPECT_NE(g.calls().find("\n  sample.wad present\n"), std::string::npos) << g.calls();
  const std::string map = test::readText(g.data() + "maps/sample.map");
  EXPECT_NE(map.find("\"wad\" \"sample.wad\""), std::string::npos);
  EXPECT_EQ(map.find("quake101"), std::string::npos);
  auto wad = gamefiles::readWad(test::readText(g.data() + "maps/sample.wad"), "sample.wad");
  ASSERT_TRUE(wad.ok()) << wad.message();
  // Only the textures this level uses, each once, the first level's copy.
  ASSERT_FALSE(wad->empty());
  for (const gamefiles::WadLump& lump : *wad) {
    EXPECT_NE(std::find(textures.begin(), textures.end(), lump.name), textures.end());
    if (lump.name == textures[0]) {
      EXPECT_EQ(lump.bytes, first[0].bytes);
    }
  }
  EXPECT_EQ(g.err.str(), "server: warning: texture sky4 is in no pak and no loose file of " +
                             g.data() + "; it shows no texture\n");
  EXPECT_NE(g.out.str().find("play: cd \"" + test::native(g.gameDir) + "\" && quake +map sample"),
            std::string::npos)
      << g.out.str();
}

TEST(GameInstall, GameFoldersThatCannotServeAreOneLine) {
  Game q1("S1", {"qbsp", "light", "vis"});
  // No paks at all: what was looked for.
  test::makeFolders(q1.data());
  EXPECT_EQ(q1.run({"--game-dir", q1.gameDir}), 1);
  EXPECT_NE(q1.err.str().find("pak0.pak"), std::string::npos) << q1.err.str();
  const std::string said = q1.err.str();
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
  // Shareware: no level of its own ever loads.
  q1.pak("pak0.pak", {{"maps/e1m1.bsp", gamefiles::writeBspTextures({})}});
  EXPECT_EQ(q1.run({"--game-dir", q1.gameDir}), 1);
  EXPECT_NE(q1.err.str().find("shareware"), std::string::npos) << q1.err.str();
  EXPECT_FALSE(platform::exists(q1.layout()));
  // A pak that is not sound stops the run before anything is written.
  test::writeText(q1.data() + "pak0.pak", "PACK");
  EXPECT_EQ(q1.run({"--game-dir", q1.gameDir}), 1);
  EXPECT_EQ(q1.err.str().rfind("server: " + test::native(q1.data()) + "pak0.pak: ", 0), 0u)
      << q1.err.str();
  EXPECT_FALSE(platform::exists(q1.layout()));
  EXPECT_EQ(q1.run({"--play", "x", "--no-compile"}), 2);
  EXPECT_EQ(q1.run({"--game-dir"}), 2);
}

// A target folder of the user's own keeps the game folder unwritten but
// for the level, copied into its maps folder.
TEST(GameInstall, OwnTargetFolderTakesTheDataAndTheLevelIsCopied) {
  Game g("S2", {"qbsp3", "qvis3", "qrad3"});
  g.pak("pak0.pak", {{"pics/colormap.pcx", "colormap"}});
  g.writeIni("[game]\ngame_directory=" + g.gameDir + "\n");
  test::writeText(g.bin + "qbsp3.do", "touch sample.bsp\n");
  ASSERT_EQ(g.run({"--seed", "2"}), 0) << g.err.str();
  EXPECT_TRUE(platform::exists(g.map()));
  EXPECT_EQ(test::readText(g.dir / test::native("baseq2/pics/colormap.pcx")), "colormap");
  EXPECT_FALSE(platform::exists(g.data() + "pics"));
  EXPECT_EQ(test::readText(g.data() + "maps/sample.bsp"), "stand-in\n");
  EXPECT_NE(g.out.str().find("level: " + test::native(g.data() + "maps/sample.bsp")),
            std::string::npos)
      << g.out.str();
}

}  // namespace
}  // namespace cellforge

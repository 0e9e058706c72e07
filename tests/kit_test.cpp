#include <gtest/gtest.h>

#include <array>
#include <cinttypes>
#include <cstdio>
#include <functional>
#include <map>
#include <set>

#include "client/map_builder.h"
#include "foundation/settings.h"
#include "layout/layout_file.h"
#include "maptext/piece_model.h"
#include "platform/platform.h"
#include "template_tool/kit_check.h"
#include "template_tool/kit_generator.h"
#include "templates/mmd_file.h"
#include "templates/template_library.h"
#include "tests/test_support.h"

namespace cellforge {
namespace {

const std::string kSource = std::string(CELLFORGE_SOURCE_DIR) + "/";

struct Kit {
  const char* folder;
  Game game;
};
const Kit kKits[] = {{"maps/S2/", Game::quake2}, {"maps/S1/", Game::quake}};
// Pieces of an earlier kit, kept as they were for the cases that change them.
const std::string kPieces = kSource + "tests/fixtures/kit_pieces/";

std::vector<std::string> relative(std::vector<std::string> lines) {
  for (std::string& l : lines)
    for (size_t at; (at = l.find(kSource)) != std::string::npos;) l.erase(at, kSource.size());
  return lines;
}

void replace(std::string& text, std::string_view from, std::string_view to) {
  const size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text.replace(at, from.size(), to);
}

// What the map builder makes of one template placed alone: its error (""
// when the map is written) and its warnings.
struct Built {
  std::string error;
  std::vector<std::string> warnings;
};

Built buildAlone(const std::string& folder, const std::string& mmdPath, const Template& t) {
  test::TempDir dir;
  TemplateLibrary library;
  library.add(t, mmdPath);
  GridCoord lo = t.cells[0].coord(), hi = lo;
  for (const Cell& c : t.cells) {
    lo = {std::min(lo.x, c.x), std::min(lo.y, c.y), std::min(lo.z, c.z)};
    hi = {std::max(hi.x, c.x), std::max(hi.y, c.y), std::max(hi.z, c.z)};
  }
  CellGrid grid;
  grid.resize({hi.x - lo.x + 1, hi.y - lo.y + 1, hi.z - lo.z + 1});
  grid.place({-lo.x, -lo.y, -lo.z}, t);
  EXPECT_TRUE(writeLayoutFile(dir / "sample.mtf", grid).ok());
  Settings settings;
  settings.source_directory = folder;
  MapBuilder builder(settings, library);
  const Status s = builder.build(dir / "sample.mtf", dir / "sample.map");
  return {s ? "" : s.message(), builder.warnings()};
}

// Each template of a kit placed alone: what check says about it against
// what the map builder does. Check refuses all the builder refuses, with the
// builder's own line, and the builder builds all that check passes.
void expectAgreement(const std::string& folder) {
  const std::vector<std::string> problems = checkKit(folder, std::nullopt);
  auto names = platform::listFolder(folder, "*.mmd");
  ASSERT_TRUE(names.ok());
  for (const std::string& name : *names) {
    auto t = parseMmd(*platform::readFile(folder + name), folder + name);
    const bool anchored = t && std::any_of(t->cells.begin(), t->cells.end(),
                                           [](const Cell& c) { return c.coord() == GridCoord{}; });
    if (!anchored) continue;  // check refuses it; no layout can place it
    const Built built = buildAlone(folder, folder + name, *t);
    std::vector<std::string> about;
    for (const std::string& p : problems)
      if (p.rfind(folder + name + ":", 0) == 0 || p.rfind(folder + t->name + ":", 0) == 0)
        about.push_back(p);
    if (!built.error.empty()) {
      EXPECT_TRUE(std::any_of(about.begin(), about.end(), [&](const std::string& p) {
        return p == built.error ||
               (p.rfind(folder + name + ":", 0) == 0 && p.find(built.error) != std::string::npos);
      })) << built.error;
    }
    for (const std::string& w : built.warnings)
      EXPECT_NE(std::find(problems.begin(), problems.end(), w), problems.end()) << w;
    if (about.empty()) {
      EXPECT_EQ(built.error, "") << name;
      EXPECT_EQ(built.warnings, std::vector<std::string>{}) << name;
    }
  }
}

// A kit of one-cell pieces open to +x, written into `dir`.
void writeKit(const test::TempDir& dir,
              const std::vector<std::pair<std::string, std::string>>& pieces) {
  int32_t id = 0;
  for (const auto& [name, text] : pieces) {
    Template t;
    t.id = ++id;
    t.name = name;
    t.cells.push_back(Cell{});
    t.cells.back().openPosX = true;
    test::writeText(dir / ("t" + std::to_string(id) + ".mmd"), encodeMmd(t));
    if (maptext::isSafePieceName(name)) test::writeText(dir / name, text);
  }
}

TEST(Kit, CommittedFilesAreTheGeneratorsOutput) {
  for (const Kit& kit : kKits) {
    const std::vector<KitFile> files = generateKit(kit.game);
    auto names = platform::listFolder(kSource + kit.folder, "*");
    ASSERT_TRUE(names.ok()) << names.message();
    std::vector<std::string> expected;
    for (const KitFile& f : files) {
      expected.push_back(f.name);
      auto bytes = platform::readFile(kSource + kit.folder + f.name);
      ASSERT_TRUE(bytes.ok()) << bytes.message() << " (regenerate: cellforge-template kit)";
      EXPECT_TRUE(*bytes == f.bytes)
          << kit.folder << f.name << " differs from the generator's; run cellforge-template kit";
    }
    EXPECT_EQ(*names, expected) << kit.folder;
  }
}

TEST(Kit, ShippedKitsPassTheCheck) {
  for (const Kit& kit : kKits) {
    EXPECT_EQ(relative(checkKit(kSource + kit.folder, std::nullopt)), std::vector<std::string>{})
        << kit.folder;
    EXPECT_EQ(relative(checkKit(kSource + kit.folder, kit.game)), std::vector<std::string>{});
    expectAgreement(kSource + kit.folder);
  }
}

// Reads an entity's origin; false when it has none.
bool originOf(const maptext::Piece& piece, const maptext::Entity& e, std::array<int64_t, 3>& o) {
  return std::sscanf(std::string(piece.value(e, "origin")).c_str(),
                     "%" SCNd64 " %" SCNd64 " %" SCNd64, &o[0], &o[1], &o[2]) == 3;
}

TEST(Kit, CoversEveryOpeningSetStairsBigRoomsAndMonsters) {
  for (const Kit& kit : kKits) {
    TemplateLibrary library;
    ASSERT_TRUE(library.load(kSource + kit.folder).ok());
    std::map<int, int> singles;  // openings word -> looks
    std::set<std::string> stairs, shapes, monsters;
    int secrets = 0, doors = 0, water = 0, sky = 0;
    for (const Template& t : library.templates()) {
      if (t.cells.size() == 1) ++singles[t.cells[0].openings()];
      int32_t zMin = 0, zMax = 0;
      for (const Cell& c : t.cells) {
        zMin = std::min(zMin, c.z);
        zMax = std::max(zMax, c.z);
      }
      // That each stair climbs is the walk check's (ShippedKitsPassTheCheck).
      const bool stair = t.cells.size() == 2 && zMax - zMin == 1;
      if (stair) {
        // Climbing direction: the side the upper cell opens to.
        for (const Cell& c : t.cells)
          if (c.z == zMax) stairs.insert(std::to_string(c.openings()) + (zMin < 0 ? "down" : "up"));
      } else if (t.cells.size() > 1) {
        std::string shape;
        for (const Cell& c : t.cells)
          shape += std::to_string(c.x) + std::to_string(c.y) + std::to_string(c.z - zMin) + " ";
        shapes.insert(shape);
      }

      // Every cell lit, every piece with its own start, every monster and
      // item with the skill flags.
      auto text = platform::readFile(kSource + kit.folder + t.name);
      ASSERT_TRUE(text.ok());
      water += text->find(kit.game == Game::quake ? "*water1" : "water1_8") != std::string::npos;
      sky += text->find(kit.game == Game::quake ? " sky4 " : "e1u1/sky1") != std::string::npos;
      auto piece = maptext::Piece::read(*text, t.name);
      ASSERT_TRUE(piece.ok()) << piece.message();
      int starts = 0, keySpots = 0, locks = 0;
      std::set<std::array<int64_t, 3>> lit;
      for (const maptext::Entity& e : piece->entities()) {
        starts += piece->isPlayerStart(e);
        // That every doorway has its lock is the check's.
        keySpots += !piece->value(e, "_key").empty();
        locks += !piece->value(e, "_lock").empty();
        secrets += e.className == "trigger_secret" || e.className == "target_secret";
        doors += e.className == "func_door";
        const bool monster = e.className.starts_with("monster_");
        if (monster) monsters.insert(std::string(e.className));
        if (monster || e.className.starts_with("item_") || e.className.starts_with("weapon_") ||
            e.className.starts_with("ammo_")) {
          EXPECT_FALSE(piece->value(e, "spawnflags").empty()) << t.name << " " << e.className;
        }
        if (monster) {
          EXPECT_FALSE(piece->value(e, "_depth").empty()) << t.name;
        }
        if (e.className != "light") continue;
        std::array<int64_t, 3> o{};
        ASSERT_TRUE(originOf(*piece, e, o));
        lit.insert({o[0] / 256, o[1] / 256, (o[2] + 256) / 256 - 1});
      }
      EXPECT_EQ(starts, 1) << t.name;
      EXPECT_EQ(keySpots, 1) << t.name;
      EXPECT_GT(locks, 0) << t.name;
      for (const Cell& c : t.cells)
        EXPECT_TRUE(lit.count({c.x, c.y, c.z})) << t.name << " leaves a cell dark";
    }
    EXPECT_GE(library.templates().size(), 120u) << kit.folder;
    EXPECT_EQ(singles.size(), 15u) << kit.folder;
    for (const auto& [word, looks] : singles) EXPECT_GE(looks, 4) << word;
    EXPECT_EQ(stairs.size(), 8u) << kit.folder;  // four directions, from below and above
    EXPECT_GE(shapes.size(), 10u) << kit.folder;
    EXPECT_GE(monsters.size(), 5u) << kit.folder;
    EXPECT_GT(secrets, 0);
    EXPECT_GT(doors, 0);
    EXPECT_GT(water, 0);
    EXPECT_GT(sky, 0);
  }
}

const std::string kFixtures = "tests/fixtures/kit/";

TEST(KitCheck, NamesEveryFaultOfTheBrokenFixtures) {
  const std::vector<std::string> expected{
      kFixtures + "cut.mmd: file ends inside the template id",
      kFixtures + "leak.mmd: id 1 is already used by " + kFixtures + "dup.mmd",
      kFixtures + "missing.mmd: piece text \"absent.map\" is missing (" + kFixtures +
          "absent.map: cannot open: " + test::missingFileCause() + ")",
      kFixtures + "plane.map:44: plane line needs three points of three numbers",
      kFixtures + "anchor.mmd: no anchor cell (no cell at offset 0 0 0)",
      kFixtures +
          "anchor.map:83: info_player_start lies outside the anchor cell (0..256 on each axis)",
      kFixtures +
          "anchor.map:90: target_changelevel has no \"map\"; the game drops it and the "
          "level cannot end",
      kFixtures +
          "anchor.map:97: \"target\" \"nowhere\" names no entity of this piece; names are "
          "made per placement, so it cannot reach another piece",
      kFixtures +
          "doorway.map: the piece leaks: air at 252 36 20 reaches the outside (only the doorways "
          "of open sides, x/y 64..192 and 16..144 above the cell's floor, may be open)",
      kFixtures +
          "doorway.map: cell (0 0 0) side +x is open but has no passage through the middle of "
          "its face (64..192 across, 16..144 above the cell's floor), so it won't line up with "
          "the neighbour's",
      kFixtures +
          "leak.map: the piece leaks: air at 20 244 4 reaches the outside (only the doorways of "
          "open sides, x/y 64..192 and 16..144 above the cell's floor, may be open)",
      kFixtures +
          "longtex.map:20: texture name \"e1u1/a_texture_name_far_too_long_1\" has 34 "
          "characters; Quake II allows 31",
      kFixtures +
          "mismatch.mmd: cell (0 0 0) and cell (1 0 0) disagree about their shared face "
          "(+x open, -x closed)",
  };
  EXPECT_EQ(relative(checkKit(kSource + kFixtures, std::nullopt)), expected);
  expectAgreement(kSource + kFixtures);
}

// A piece of the earlier kit (`name` below kPieces) changed by `edit`,
// checked as "p.map" for `game`.
std::vector<std::string> checkChanged(const std::string& name,
                                      const std::function<void(std::string&)>& edit,
                                      Game game = Game::quake2) {
  const std::string folder = kPieces + name.substr(0, name.rfind('/') + 1);
  const std::string file = name.substr(name.rfind('/') + 1);
  TemplateLibrary library;
  EXPECT_TRUE(library.load(folder).ok());
  const Template* t = nullptr;
  for (const Template& each : library.templates())
    if (each.name == file) t = &each;
  EXPECT_NE(t, nullptr) << name;
  std::string text = *platform::readFile(folder + file);
  edit(text);
  auto piece = maptext::Piece::read(text, "p.map");
  EXPECT_TRUE(piece.ok()) << piece.message();
  return t && piece ? checkPiece(*t, "p.mmd", *piece, game) : std::vector<std::string>{};
}

TEST(KitCheck, QuakeRulesForTexturesAndTheWadKey) {
  // The Quake II kit read as a Quake kit: long names and no "wad" key.
  const auto problems = relative(checkKit(kSource + "maps/S2/", Game::quake));
  ASSERT_FALSE(problems.empty());
  EXPECT_NE(std::find(problems.begin(), problems.end(),
                      "maps/S2/corner_ne_a.map:1: worldspawn has no \"wad\" key; Quake's compiler "
                      "needs it for the textures"),
            problems.end());
  // A Quake piece with a texture name one past Quake's limit.
  auto longer = [](std::string& t) { replace(t, "wbrick1_5", "wbrick1_5_longer"); };
  EXPECT_EQ(checkChanged("quake/end_e_a.map", longer, Game::quake),
            std::vector<std::string>{"p.map:21: texture name \"wbrick1_5_longer\" has 16 "
                                     "characters; Quake allows 15"});
  EXPECT_EQ(checkChanged("quake/end_e_a.map", longer, Game::quake2), std::vector<std::string>{});
}

TEST(KitCheck, EmptyOrMissingFolder) {
  EXPECT_EQ(relative(checkKit(kSource + "tests/fixtures/", std::nullopt)),
            std::vector<std::string>{"tests/fixtures/: no .mmd template files"});
  const auto missing = checkKit(kSource + "tests/no-such-kit/", std::nullopt);
  ASSERT_EQ(missing.size(), 1u);
  EXPECT_NE(missing[0].find("no-such-kit"), std::string::npos);
}

TEST(KitCheck, AcceptsWhatTheMapBuilderBuilds) {
  // Pieces the map builder builds as they are, which check once refused.
  std::string base = *platform::readFile(kPieces + "end_e_a.map");
  replace(base, "\"worldspawn\"", "\"WorldSpawn\"");
  auto changed = [&](const std::function<void(std::string&)>& edit) {
    std::string text = base;
    edit(text);
    return text;
  };
  const std::string light = "{\n\"classname\" \"light\"\n\"origin\" \"128 128 200\"\n";
  std::vector<std::pair<std::string, std::string>> pieces{
      {"long.map", changed([](std::string& t) {
         replace(t, "\"WorldSpawn\"\n", "\"WorldSpawn\"\n// " + std::string(600, '=') + "\n");
       })},
      {"mention.map", changed([&](std::string& t) {
         t = light + "\"_note\" \"lit before the worldspawn\"\n}\n" + t;
       })},
      {"texture.map",
       changed([](std::string& t) { replace(t, "e1u1/metal1_1", "e1u1/origin_metal"); })},
      {"keys.map", changed([](std::string& t) {
         replace(t, "\"light\" \"300\"\n",
                 "\"light\" \"300\"\n\"targetname\" \"origin_lamp\"\n\"_origin\" \"the origin\"\n");
       })},
      {"capitals.map",
       changed([](std::string& t) { replace(t, "info_player_start", "Info_Player_Start"); })},
      {"end..a.map", base},
  };
  if (platform::separator() == '/')
    pieces.emplace_back("end:a.map", base);  // a name Windows refuses
  test::TempDir kit;
  writeKit(kit, pieces);
  EXPECT_EQ(checkKit(kit.path(), std::nullopt), std::vector<std::string>{});
  expectAgreement(kit.path());
}

TEST(KitCheck, RefusesWhatTheMapBuilderRefusesOnTheSameLine) {
  const std::string base = *platform::readFile(kPieces + "end_e_a.map");
  auto changed = [&](std::string_view from, std::string_view to) {
    std::string text = base;
    replace(text, from, to);
    return text;
  };
  test::TempDir kit;
  writeKit(kit,
           {
               {"two.map", changed("\"128 128 200\"", "\"128 128\"")},
               // Built, but not by id's compilers.
               {"half.map", changed("( 16 16 0 )", "( 16 16 0.5 )")},
               {"exp.map", changed("( 16 16 0 )", "( 16 16 1e5 )")},
               // The world is written first, so its fault is the one named.
               {"order.map", "{\n\"classname\" \"light\"\n\"origin\" \"x 1 2\"\n}\n" +
                                 changed("( 16 16 0 )", "( 16 16 1e5 )")},
               // A later worldspawn is never written, whatever it holds.
               {"second.map", base + "{\n\"classname\" \"worldspawn\"\n{\n( 0 0 ) t\n}\n}\n"},
               {"open.map", base + "{\n\"classname\" \"light\"\n"},
               // The builder reads _depth as it loads a piece, before it
               // writes a line.
               {"depth.map",
                changed("\"light\" \"300\"\n", "\"light\" \"300\"\n\"_depth\" \"1 0.5\"\n")},
               {"both.map", changed("\"light\" \"300\"\n",
                                    "\"light\" \"300\"\n\"_depth\" \"1 0.5\"\n\"origin\" \"1\"\n")},
               {"../up.map", base},
           });
  std::vector<std::string> problems = checkKit(kit.path(), std::nullopt);
  for (std::string& p : problems) p.erase(0, kit.path().size());
  EXPECT_EQ(problems,
            (std::vector<std::string>{
                "two.map:78: origin line needs three numbers", "exp.map:4: \"1e5\" is not a number",
                "order.map:8: \"1e5\" is not a number",
                "open.map:109: the entity opened here is never closed (a \"}\" is missing); it is "
                "left out of the map",
                "both.map:80: _depth \"1 0.5\" must be two numbers from 0 to 1, the lower first "
                "(as \"0.5 1\")",
                "both.map:81: origin line needs three numbers",
                "t9.mmd: piece text name \"../up.map\" is not a file inside the source folder",
                "half.map:4: plane points must be integers (id's compilers for both games read "
                "them as integers)",
                "depth.map:80: _depth \"1 0.5\" must be two numbers from 0 to 1, the lower first "
                "(as \"0.5 1\")"}));
  expectAgreement(kit.path());
}

std::string boxBrush(int x0, int y0, int z0, int x1, int y1, int z1) {
  return test::boxBrush({x0, y0, z0}, {x1, y1, z1}, "e1u1/metal1_1");
}

void addBrush(std::string& text, const std::string& brush) {
  const std::string world = "\"classname\" \"worldspawn\"\n";
  text.insert(text.find(world) + world.size(), brush);
}

TEST(KitWalk, PiecesThatCannotBeWalkedAreNamed) {
  // A pillar across the dead end, in front of its only doorway (the
  // brush's lines shift the entities' by 8).
  EXPECT_EQ(checkChanged("end_e_a.map",
                         [](std::string& t) { addBrush(t, boxBrush(192, 16, 16, 224, 240, 240)); }),
            (std::vector<std::string>{
                "p.map:91: info_player_start can't be reached on foot from the doorway of cell "
                "(0 0 0) side +x",
                "p.map:96: item_health can't be reached on foot from the doorway of cell (0 0 0) "
                "side +x",
                "p.map:99: trigger_multiple can't be reached on foot from the doorway of cell "
                "(0 0 0) side +x",
                "p.map: the doorway of cell (0 0 0) side +x can't be reached on foot from the "
                "player start (line 91)"}));
  // A ledge 24 high across the hall, and the same ledge with a step of 12
  // at each end.
  EXPECT_EQ(checkChanged("hall_ew_a.map",
                         [](std::string& t) { addBrush(t, boxBrush(160, 16, 16, 208, 240, 40)); }),
            (std::vector<std::string>{
                "p.map: the doorway of cell (0 0 0) side -x can't be reached on foot from the "
                "doorway of cell (0 0 0) side +x",
                "p.map:115: info_player_start can't be reached on foot from the doorway of cell "
                "(0 0 0) side +x",
                "p.map:119: trigger_multiple can't be reached on foot from the doorway of cell "
                "(0 0 0) side +x",
                "p.map: the doorway of cell (0 0 0) side +x can't be reached on foot from the "
                "doorway of cell (0 0 0) side -x"}));
  EXPECT_EQ(checkChanged("hall_ew_a.map",
                         [](std::string& t) {
                           addBrush(t, boxBrush(160, 16, 16, 208, 240, 40));
                           addBrush(t, boxBrush(144, 16, 16, 160, 240, 28));
                           addBrush(t, boxBrush(208, 16, 16, 224, 240, 28));
                         }),
            std::vector<std::string>{});
  // The health pack walled into the room's north-east corner.
  EXPECT_EQ(checkChanged("end_e_a.map",
                         [](std::string& t) {
                           addBrush(t, boxBrush(16, 152, 16, 240, 160, 240));
                           addBrush(t, boxBrush(224, 160, 16, 240, 240, 240));
                         }),
            std::vector<std::string>{"p.map:104: item_health can't be reached on foot from the "
                                     "doorway of cell (0 0 0) side +x"});
  // A soldier pushed into the east wall.
  EXPECT_EQ(checkChanged("tee_nse_b.map",
                         [](std::string& t) { replace(t, "\"184 184 48\"", "\"232 184 48\""); }),
            std::vector<std::string>{
                "p.map:149: the box of this monster_soldier_light (-16 -16 -24 to 16 16 32 about "
                "its origin) overlaps the brush of line 91"});
  // One riser of 20 on the stairs: a 4-unit plate on the eighth tread.
  EXPECT_EQ(
      checkChanged("stair_up_e.map",
                   [](std::string& t) { addBrush(t, boxBrush(114, 16, 144, 240, 240, 148)); }),
      (std::vector<std::string>{
          "p.map: the doorway of cell (0 0 1) side +x can't be reached on foot from the "
          "doorway of cell (0 0 0) side -x"}));
}

// A lock for the +x doorway of a one-cell piece: a door filling the hole in
// the wall, with "_lock" `spot`; and a key spot.
std::string lockDoor(const std::string& spot, std::array<int, 3> hi = {256, 192, 144},
                     const std::string& texture = "e1u1/metal1_2") {
  return "{\n\"classname\" \"func_door\"\n\"targetname\" \"lock\"\n\"_lock\" \"" + spot + "\"\n" +
         test::boxBrush({240, 64, 16}, hi, texture) + "}\n";
}
std::string keySpot(const std::string& origin, const std::string& cls = "key_blue_key",
                    const std::string& value = "1") {
  return "{\n\"classname\" \"" + cls + "\"\n\"origin\" \"" + origin + "\"\n\"_key\" \"" + value +
         "\"\n}\n";
}

std::vector<std::string> withLocks(const std::string& piece, const std::string& added,
                                   Game game = Game::quake2) {
  return checkChanged(
      piece, [&](std::string& t) { t += added; }, game);
}

TEST(KitCheck, LocksAndKeySpots) {
  using Lines = std::vector<std::string>;
  // The dead end's only doorway locked, and its key spot: sound, in both games.
  EXPECT_EQ(withLocks("end_e_a.map", lockDoor("0 0 0 +x") + keySpot("64 64 40")), Lines{});
  EXPECT_EQ(withLocks("quake/end_e_a.map",
                      lockDoor("0 0 0 +x", {256, 192, 144}, "metal2_1") +
                          keySpot("64 64 40", "item_key1"),
                      Game::quake),
            Lines{});
  // Values that name no doorway of the piece.
  EXPECT_EQ(withLocks("end_e_a.map", lockDoor("0 0 0 +z")),
            Lines{"p.map:112: _lock \"0 0 0 +z\" must be a cell of the piece and one of its sides, "
                  "as \"0 0 0 +y\" (sides +y, -y, +x, -x)"});
  for (const char* bad : {"0 0 0", "0 0 0 +x 1", "0 0 0.5 +x", "a 0 0 +x"}) {
    const Lines problems = withLocks("end_e_a.map", lockDoor(bad));
    ASSERT_EQ(problems.size(), 1u) << bad;
    EXPECT_EQ(problems[0].rfind("p.map:112: _lock \"" + std::string(bad) + "\" must be", 0), 0u);
  }
  EXPECT_EQ(withLocks("end_e_a.map", lockDoor("1 0 0 +x")),
            Lines{"p.map:112: _lock \"1 0 0 +x\": the piece has no cell (1 0 0)"});
  EXPECT_EQ(withLocks("end_e_a.map", lockDoor("0 0 0 -x")),
            Lines{"p.map:112: _lock \"0 0 0 -x\": side -x of cell (0 0 0) is closed: there is no "
                  "doorway to lock"});
  EXPECT_EQ(withLocks("end_e_a.map",
                      lockDoor("0 0 0 +x") + keySpot("64 64 40") +
                          "{\n\"classname\" \"func_door\"\n\"_unlocked\" \"0 0 0 -x\"\n}\n"),
            Lines{"p.map:129: _unlocked \"0 0 0 -x\": side -x of cell (0 0 0) is closed: there is "
                  "no doorway to lock"});
  // Some doorways locked, not all.
  EXPECT_EQ(withLocks("hall_ew_a.map", lockDoor("0 0 0 +x")),
            Lines{"p.map: the doorway of cell (0 0 0) side -x has no lock; a piece with locks has "
                  "one in every doorway"});
  // A lock of nothing but a trigger, a door leaving a gap, and a Quake II
  // trigger the player can't reach.
  EXPECT_EQ(withLocks("end_e_a.map", lockDoor("0 0 0 +x", {256, 192, 144}, "e1u1/trigger")),
            Lines{"p.map:112: the lock of the doorway of cell (0 0 0) side +x has no door: no "
                  "brush of its entities blocks the player"});
  EXPECT_EQ(withLocks("end_e_a.map", lockDoor("0 0 0 +x", {256, 144, 144})),
            Lines{"p.map:112: the lock of the doorway of cell (0 0 0) side +x does not shut it: "
                  "with the doors shut the player still gets from beyond it to the player start "
                  "(line 83)"});
  EXPECT_EQ(
      withLocks("end_e_a.map",
                lockDoor("0 0 0 +x") +
                    "{\n\"classname\" \"trigger_multiple\"\n\"_lock\" \"0 0 0 +x\"\n" +
                    test::boxBrush({208, 64, 200}, {240, 192, 230}, "e1u1/trigger") + "}\n"),
      Lines{"p.map:112: the lock of the doorway of cell (0 0 0) side +x can't be opened: with "
            "the doors shut the player can't touch what opens it from the player start "
            "(line 83)"});
  // Key spots that are none, and ones standing where they should not.
  std::string onDoor = lockDoor("0 0 0 +x");
  replace(onDoor, "\"_lock\"", "\"_key\" \"1\"\n\"_lock\"");
  EXPECT_EQ(
      withLocks("end_e_a.map", keySpot("64 64 40", "key_blue_key", "2") +
                                   keySpot("64 200 40", "item_health") + keySpot("200 64 40") +
                                   onDoor),
      (Lines{"p.map:112: _key \"2\" must be \"1\" (the level writes the class of the key it "
             "holds)",
             "p.map:117: _key on a point entity of class item_health; a key spot is a "
             "key_blue_key (the level writes the class of the key it holds)",
             "p.map:122: a second key spot (the first is on line 112); a piece has at most one",
             "p.map:127: _key on a brush entity (func_door); a key spot is a point entity, a "
             "key_blue_key"}));
  EXPECT_EQ(
      withLocks("end_e_a.map", keySpot("236 128 40")),
      Lines{"p.map:111: the key spot's box reaches into the doorway of cell (0 0 0) side +x"});
  EXPECT_EQ(withLocks("end_e_a.map", keySpot("176 176 40")),
            Lines{"p.map:111: the key spot's box overlaps the box of the item_health of line 88"});
  EXPECT_EQ(
      withLocks("end_e_a.map",
                lockDoor("0 0 0 +x") +
                    "{\n\"classname\" \"trigger_multiple\"\n\"_lock\" \"0 0 0 +x\"\n" +
                    test::boxBrush({208, 64, 16}, {240, 192, 144}, "e1u1/trigger") + "}\n" +
                    keySpot("200 128 40")),
      Lines{"p.map:136: the key spot's box overlaps the brush of line 125 (trigger_multiple)"});
}

}  // namespace
}  // namespace cellforge

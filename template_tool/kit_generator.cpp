#include "template_tool/kit_generator.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <functional>
#include <numbers>

#include "client/level_rules.h"
#include "platform/platform.h"
#include "template_tool/kit_pieces.h"
#include "template_tool/walk_check.h"
#include "templates/mmd_file.h"

// The bundled kits: the shapes and looks of kit_pieces, filled with each
// game's monsters, items and lights.

namespace cellforge {
namespace {

using namespace kit;

// What ends a level: Quake's trigger_changelevel names the map itself;
// Quake II's trigger fires a target_changelevel that names it.
struct Exit {
  const char* trigger;
  const char* map;
};

struct Item {
  const char* classname;
  int flags;  // the class's own spawnflags (Quake's rotten or mega health)
};

struct Arm {
  Item weapon;
  Item ammo;
  int tier;
};

struct GameKit {
  Game game;
  std::array<Theme, 4> themes;
  Surfaces surfaces;
  Exit exit;
  std::vector<std::string> worldKeys;
  // Monsters from the weakest (tier 0) to the strongest (tier 3).
  std::array<std::vector<const char*>, 4> monsters;
  Item healthSmall, health, healthLarge;
  std::array<Item, 3> armour;  // light, medium, heavy
  std::vector<Arm> arms;
  std::array<Item, 3> secrets;  // what a secret niche holds
};

const GameKit& kitFor(Game game) {
  static const GameKit quake2{
      Game::quake2,
      {{{"e1u1/floor3_1", "e1u1/ceil1_1", "e1u1/metal1_1", "e1u1/flat1_1", "e1u1/c_met5_2",
         "e1u1/c_met7_1", "e1u1/crate1_1"},
        {"e1u1/floor1_3", "e1u1/ceil1_3", "e1u1/wswall1_1", "e1u1/flat1_2", "e1u1/metal1_2",
         "e1u1/c_met7_1", "e1u1/crate1_1"},
        {"e1u1/floor3_1", "e1u1/ceil1_3", "e1u1/metal1_2", "e1u1/flat1_1", "e1u1/c_met5_2",
         "e1u1/metal1_1", "e1u1/crate1_1"},
        {"e1u1/floor1_3", "e1u1/ceil1_1", "e1u1/wswall1_1", "e1u1/flat1_2", "e1u1/floor3_1",
         "e1u1/c_met5_2", "e1u1/crate1_1"}}},
      // Quake II's contents and flags: water (32) with the warp of its
      // surface (8); sky (flag 4) over solid.
      {"e1u1/water1_8", " 32 8 0", "e1u1/sky1", " 0 4 0", "e1u1/trigger", "e1u1/metal1_2"},
      // "*" starts a new unit: the stats screen, then the game's first map
      // with what the player carries.
      {"trigger_multiple", "*base1"},
      {"\"classname\" \"worldspawn\""},
      {{{"monster_soldier_light", "monster_soldier"},
        {"monster_soldier_ss", "monster_infantry", "monster_parasite"},
        {"monster_gunner", "monster_berserk", "monster_medic"},
        {"monster_gladiator", "monster_tank"}}},
      {"item_health_small", 0},
      {"item_health", 0},
      {"item_health_large", 0},
      {{{"item_armor_shard", 0}, {"item_armor_jacket", 0}, {"item_armor_combat", 0}}},
      {{{"weapon_shotgun", 0}, {"ammo_shells", 0}, 0},
       {{"weapon_machinegun", 0}, {"ammo_bullets", 0}, 0},
       {{"weapon_supershotgun", 0}, {"ammo_shells", 0}, 1},
       {{"weapon_grenadelauncher", 0}, {"ammo_grenades", 0}, 1},
       {{"weapon_chaingun", 0}, {"ammo_bullets", 0}, 2},
       {{"weapon_rocketlauncher", 0}, {"ammo_rockets", 0}, 2},
       {{"weapon_hyperblaster", 0}, {"ammo_cells", 0}, 3}},
      {{{"item_health_mega", 0}, {"item_quad", 0}, {"item_armor_combat", 0}}}};
  static const GameKit quake{
      Game::quake,
      {{{"ground1_6", "ceil1_1", "wbrick1_5", "metal1_3", "city4_2", "wizmet1_2", "city1_4"},
        {"sfloor4_1", "tech02_1", "tech01_1", "metal1_3", "metal2_1", "city1_4", "wizmet1_2"},
        {"ground1_6", "tech02_1", "city4_2", "metal2_1", "metal1_3", "wbrick1_5", "wizmet1_2"},
        {"sfloor4_1", "ceil1_1", "wbrick1_5", "metal2_1", "tech01_1", "metal1_3", "city1_4"}}},
      {"*water1", "", "sky4", "", "trigger", "metal2_1"},
      // The hub map, where every episode starts.
      {"trigger_changelevel", "start"},
      {"\"classname\" \"worldspawn\"", "\"wad\" \"quake101.wad\""},
      {{{"monster_army", "monster_dog"},
        {"monster_knight", "monster_enforcer"},
        {"monster_ogre", "monster_hell_knight"},
        {"monster_demon1", "monster_shambler"}}},
      {"item_health", 1},  // rotten: 15
      {"item_health", 0},
      {"item_health", 0},
      {{{"item_armor1", 0}, {"item_armor1", 0}, {"item_armor2", 0}}},
      {{{"weapon_supershotgun", 0}, {"item_shells", 0}, 0},
       {{"weapon_nailgun", 0}, {"item_spikes", 0}, 0},
       {{"weapon_grenadelauncher", 0}, {"item_rockets", 0}, 1},
       {{"weapon_supernailgun", 0}, {"item_spikes", 0}, 2},
       {{"weapon_rocketlauncher", 0}, {"item_rockets", 0}, 2},
       {{"weapon_lightning", 0}, {"item_cells", 0}, 3}},
      {{{"item_health", 2}, {"item_artifact_super_damage", 0}, {"item_armor2", 0}}}};
  return game == Game::quake ? quake : quake2;
}

// The games' skill spawnflags.
constexpr int kNotEasy = 256, kNotMedium = 512, kNotHard = 1024;
constexpr int kMediumAndHard = kNotEasy, kHardOnly = kNotEasy | kNotMedium;
constexpr int kEasyOnly = kNotMedium | kNotHard, kEasyAndMedium = kNotHard;

// Where along the way from start to exit each tier of monster stands, and
// each tier of weapon lies. None in the first tenth, so the start room is
// quiet.
const char* const kMonsterDepth[4] = {"0.1 0.6", "0.3 0.85", "0.5 1", "0.7 1"};
const char* const kWeaponDepth[4] = {"0 0.5", "0.2 0.7", "0.4 1", "0.6 1"};
const char* const kAmmoDepth[4] = {"", "0.2 1", "0.4 1", "0.6 1"};

// A Quake II lock's trigger runs from the door to this far in from the face:
// a player at the shut door stands in it.
constexpr int kLockTriggerDepth = 32;

std::string key(const char* k, const std::string& v) {
  return "\"" + std::string(k) + "\" \"" + v + "\"";
}

// Puts entities on free floor: each box on flat tiles, clear of crates,
// pillars, water and the others, with room overhead.
class Placer {
 public:
  Placer(const Piece& p, Game game) : p_(p), game_(game) {}

  // The free spot nearest (x, y, z) for the class, as an origin; false when
  // there is none. `anchorOnly` keeps it in the anchor cell.
  // `margin` is the room kept round the box, from walls and from the others.
  bool place(const std::string& cls, int x, int y, int z, int awayFromStart, bool anchorOnly,
             std::array<int, 3>& origin, int margin = 8) {
    const WalkClass kind = walkClassOf(cls, game_);
    const int mx0 = int(kind.box.mins[0]), mx1 = int(kind.box.maxs[0]);
    const int my0 = int(kind.box.mins[1]), my1 = int(kind.box.maxs[1]);
    const int height = int(kind.box.maxs[2] - kind.box.mins[2]);
    long best = LONG_MAX;
    for (int k = 0; k < p_.nz; ++k) {
      const int base = (k + p_.zMin) * kCellSize;
      for (int cy = 8; cy < p_.ny * kTile; cy += 8)
        for (int cx = 8; cx < p_.nx * kTile; cx += 8) {
          const int ox = cx - (mx0 + mx1) / 2, oy = cy - (my0 + my1) / 2;
          const int x0 = ox + mx0 - margin, x1 = ox + mx1 + margin;
          const int y0 = oy + my0 - margin, y1 = oy + my1 + margin;
          if (x0 < 0 || y0 < 0 || x1 > p_.nx * kTile || y1 > p_.ny * kTile) continue;
          if (anchorOnly && (x1 > kCellSize || y1 > kCellSize || k + p_.zMin != 0)) continue;
          int floor = -1;
          bool ok = true;
          for (int j = y0 / kTile; ok && j <= (y1 - 1) / kTile; ++j)
            for (int i = x0 / kTile; ok && i <= (x1 - 1) / kTile; ++i) {
              const Tile& t = *p_.tile(i, j, k);
              ok = t.floor != kWallTile && !t.blocked && !t.hole && t.water == 0 &&
                   t.floor < t.ceiling && (floor < 0 || floor == t.floor) &&
                   t.floor + height + margin <= t.ceiling;
              floor = t.floor;
            }
          if (!ok) continue;
          const int bz0 = base + floor, bz1 = bz0 + height;
          for (const auto& b : taken_)
            ok = ok && (x1 <= b[0] || x0 >= b[3] || y1 <= b[1] || y0 >= b[4] || bz1 <= b[2] ||
                        bz0 >= b[5]);
          if (!ok) continue;
          if (awayFromStart > 0 && hasStart_ &&
              std::hypot(cx - start_[0], cy - start_[1]) < awayFromStart &&
              std::abs(bz0 - start_[2]) < 64)
            continue;
          const long d =
              long(cx - x) * (cx - x) + long(cy - y) * (cy - y) + long(bz0 - z) * (bz0 - z);
          if (d < best) {
            best = d;
            // Never resting on the floor: Quake II takes a box touching a
            // brush for stuck and deletes the item as the level loads.
            origin = {ox, oy, bz0 + std::max(margin, 8) - int(kind.box.mins[2])};
            chosen_ = {x0, y0, bz0, x1, y1, bz1};
          }
        }
    }
    if (best == LONG_MAX) return false;
    taken_.push_back(chosen_);
    if (kind.role == WalkRole::playerStart) {
      hasStart_ = true;
      start_ = {origin[0], origin[1], chosen_[2]};
    }
    return true;
  }

  // Keeps what comes after out of the box x0..x1, y0..y1, z0..z1.
  void reserve(const Box& b) { taken_.push_back({b.x0, b.y0, b.z0, b.x1, b.y1, b.z1}); }

 private:
  const Piece& p_;
  Game game_;
  std::vector<std::array<int, 6>> taken_;
  std::array<int, 6> chosen_{};
  bool hasStart_ = false;
  std::array<int, 3> start_{};
};

struct Light {
  int strength;
  const char* colour;  // "" for white
};

// How a piece is filled.
enum class Kind { end, hall, corner, tee, cross, room };

struct Fill {
  Kind kind;
  int variant;    // varies the choices from piece to piece
  int strongest;  // the toughest tier of monster that may stand here
  int monsters;   // how many monster slots
  Light light;
  bool secret = false;
  Box niche{};
};

PointEntity lightAt(int x, int y, int z, const Light& l) {
  PointEntity e{"light", x, y, z, {key("light", std::to_string(l.strength))}};
  if (*l.colour) e.extra.push_back(key("_color", l.colour));
  return e;
}

int facing(int fromX, int fromY, int toX, int toY) {
  const double a = std::atan2(double(toY - fromY), double(toX - fromX)) * 180 / std::numbers::pi;
  return (int(std::lround(a / 45)) * 45 + 360) % 360;
}

// Lights, the start, monsters and items of a piece.
void populate(const GameKit& kit, Piece& p, const Fill& f) {
  for (const PieceCell& pc : p.cells) {
    const int base = pc.cell.z * kCellSize;
    p.entities.push_back(lightAt(pc.cell.x * kCellSize + 128, pc.cell.y * kCellSize + 128,
                                 base + std::min(pc.ceilingAt, 240) - 40, f.light));
  }
  Placer placer(p, kit.game);
  std::array<int, 3> o{};
  const int anchorZ = p.cells[0].cell.z * kCellSize;
  if (!placer.place("info_player_start", 128, 128, anchorZ, 0, true, o)) return;
  const int sx = o[0], sy = o[1];
  p.entities.push_back({"info_player_start",
                        o[0],
                        o[1],
                        o[2],
                        {key("angle", std::to_string(facing(sx, sy, p.nx * 8, p.ny * 8)))}});

  // Corners of the footprint, the farthest from the start first.
  const int w = p.nx * kTile, d = p.ny * kTile;
  std::vector<std::array<int, 2>> corners = {
      {40, 40}, {w - 40, 40}, {40, d - 40}, {w - 40, d - 40}, {w / 2, d / 2}};
  std::stable_sort(corners.begin(), corners.end(), [&](const auto& a, const auto& b) {
    return std::hypot(a[0] - sx, a[1] - sy) > std::hypot(b[0] - sx, b[1] - sy);
  });
  auto add = [&](const std::string& cls, int flags, const char* depth, std::array<int, 2> at,
                 int storey, int away) {
    const int z = (p.zMin + storey) * kCellSize + 16;
    if (!placer.place(cls, at[0], at[1], z, away, false, o)) return false;
    PointEntity e{cls, o[0], o[1], o[2], {}};
    if (cls.rfind("monster_", 0) == 0)
      e.extra.push_back(key("angle", std::to_string(facing(o[0], o[1], sx, sy))));
    e.extra.push_back(key("spawnflags", std::to_string(flags)));
    if (*depth) e.extra.push_back(key("_depth", depth));
    p.entities.push_back(std::move(e));
    return true;
  };

  // Monsters: every skill meets the first; the others only on medium and
  // hard, or only on hard (which comes second from piece to piece), so each
  // skill has more than the one below.
  const int kSkill[3] = {0, f.variant % 2 ? kMediumAndHard : kHardOnly,
                         f.variant % 2 ? kHardOnly : kMediumAndHard};
  const int weakest = std::max(0, f.strongest - 2);
  for (int m = 0; m < f.monsters; ++m) {
    const int tiers = f.strongest - weakest + 1;
    const int tier = weakest + (f.variant + m) % tiers;
    const auto& kinds = kit.monsters[size_t(tier)];
    // A big one that finds no room gives way to another of its tier.
    const size_t first = size_t((f.variant + m) / tiers);
    for (size_t k = 0; k < kinds.size(); ++k)
      if (add(kinds[(first + k) % kinds.size()], kSkill[m % 3], kMonsterDepth[tier],
              corners[size_t(m) % 4], m % p.nz, 96))
        break;
  }

  // Items: health everywhere, more of it on easy; a weapon, armour or
  // ammunition by turns.
  auto item = [&](const Item& it, int skill, const char* depth, size_t corner) {
    add(it.classname, it.flags | skill, depth, corners[4 - corner % 5], 0, 0);
  };
  const int v = f.variant;
  item(v % 3 == 0 ? kit.healthLarge : kit.health, v % 2 ? kEasyAndMedium : 0, "", 0);
  const Arm& arm = kit.arms[size_t(v / 4) % kit.arms.size()];
  const bool big = f.kind == Kind::room;
  switch (big ? 4 : v % 4) {
    case 0:
      item(arm.weapon, 0, kWeaponDepth[arm.tier], 1);
      item(arm.ammo, 0, kAmmoDepth[arm.tier], 2);
      break;
    case 1:
      item(kit.armour[size_t(v / 4) % 2], 0, "", 1);
      break;
    case 2:
      item(arm.ammo, 0, kAmmoDepth[arm.tier], 1);
      break;
    case 3:
      item(kit.healthSmall, kEasyOnly, "", 1);
      break;
    default:
      item(kit.healthLarge, kEasyOnly, "", 1);
      item(arm.weapon, 0, kWeaponDepth[arm.tier], 2);
      item(arm.ammo, 0, kAmmoDepth[arm.tier], 3);
      item(kit.armour[size_t(1 + v % 2)], 0, "", 4);
      break;
  }

  if (f.secret) {
    // The niche's prize, and what counts the secret as found.
    const Box& n = f.niche;
    const Item& prize = kit.secrets[size_t(v) % kit.secrets.size()];
    add(prize.classname, prize.flags, "", {(n.x0 + n.x1) / 2, (n.y0 + n.y1) / 2},
        p.cells[0].cell.z - p.zMin, 0);
    if (kit.game == Game::quake) {
      p.brushEntities.push_back({{key("classname", "trigger_secret")}, {n}});
    } else {
      p.brushEntities.push_back({{key("classname", "trigger_once"), key("target", "secret")}, {n}});
      p.entities.push_back({"target_secret",
                            (n.x0 + n.x1) / 2,
                            (n.y0 + n.y1) / 2,
                            n.z0 + 48,
                            {key("targetname", "secret")}});
    }
  }

  // The key spot, placed last so nothing else moves: nearest the middle,
  // out of the room in front of every doorway, and at least out of the
  // locks' triggers.
  Placer crowded = placer;
  for (const PieceCell& pc : p.cells)
    for (int side : doorways(p, pc.cell)) {
      placer.reserve(doorwayFront(pc.cell, side, 0, 48, 0, kCellSize, ""));
      crowded.reserve(doorwayFront(pc.cell, side, 0, kLockTriggerDepth, 0, kCellSize, ""));
    }
  const std::string keyClass(keyKind(kit.game, 1).itemClass);
  // Where the room is full, the key takes a spot with less room round it,
  // and then one nearer a doorway.
  const int keyZ = p.zMin * kCellSize + 16;
  if (placer.place(keyClass, w / 2, d / 2, keyZ, 0, false, o) ||
      placer.place(keyClass, w / 2, d / 2, keyZ, 0, false, o, 0) ||
      crowded.place(keyClass, w / 2, d / 2, keyZ, 0, false, o, 0))
    p.keySpot.push_back({keyClass, o[0], o[1], o[2], {key("spawnflags", "0"), key("_key", "1")}});
}

std::string plane(int ax, int ay, int az, int bx, int by, int bz, int cx, int cy, int cz,
                  const Box& b) {
  auto p = [](int x, int y, int z) {
    return "( " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z) + " )";
  };
  return p(ax, ay, az) + " " + p(bx, by, bz) + " " + p(cx, cy, cz) + " " + b.texture +
         " 0 0 0 1 1" + b.suffix + "\n";
}

// Six planes, normals outward, in the order -x -y -z +z +y +x.
std::string brushText(const Box& b) {
  const int x1 = b.x0, y1 = b.y0, z1 = b.z0, x2 = b.x1, y2 = b.y1, z2 = b.z1;
  return "{\n" + plane(x1, y1, z1, x1, y1 + 1, z1, x1, y1, z1 + 1, b) +
         plane(x1, y1, z1, x1, y1, z1 + 1, x1 + 1, y1, z1, b) +
         plane(x1, y1, z1, x1 + 1, y1, z1, x1, y1 + 1, z1, b) +
         plane(x2, y2, z2, x2, y2 + 1, z2, x2 + 1, y2, z2, b) +
         plane(x2, y2, z2, x2 + 1, y2, z2, x2, y2, z2 + 1, b) +
         plane(x2, y2, z2, x2, y2, z2 + 1, x2, y2 + 1, z2, b) + "}\n";
}

// The exit stands where the player would start, in the player's own box
// (32 x 32, 24 below and 32 above the origin), so it is clear of walls and
// doorways wherever the start is. The map keeps one exit, in the room
// farthest from the start.
std::string exitText(const GameKit& kit, const Piece& p) {
  const auto start = std::find_if(p.entities.begin(), p.entities.end(), [](const PointEntity& e) {
    return e.classname == "info_player_start";
  });
  const Box box{start->x - 16, start->y - 16, start->z - 24,       start->x + 16,
                start->y + 16, start->z + 32, kit.surfaces.trigger};
  const std::string map = "\"map\" \"" + std::string(kit.exit.map) + "\"\n";
  std::string out =
      "// the level's exit\n{\n\"classname\" \"" + std::string(kit.exit.trigger) + "\"\n";
  if (kit.game == Game::quake) return out + map + brushText(box) + "}\n";
  return out + "\"target\" \"exit\"\n" + brushText(box) +
         "}\n{\n\"classname\" \"target_changelevel\"\n\"targetname\" \"exit\"\n" + map +
         "\"origin\" \"" + std::to_string(start->x) + " " + std::to_string(start->y) + " " +
         std::to_string(start->z) + "\"\n}\n";
}

std::string pointText(const PointEntity& e) {
  std::string out = "{\n\"classname\" \"" + e.classname + "\"\n";
  out += "\"origin\" \"" + std::to_string(e.x) + " " + std::to_string(e.y) + " " +
         std::to_string(e.z) + "\"\n";
  for (const std::string& k : e.extra) out += k + "\n";
  return out + "}\n";
}

// What only a level with keys writes, after all the rest: for every doorway
// a door that shuts it, marked with the doorway's "_lock", and the key spot.
// The door fills this piece's half of the doorway, the hole in its own wall,
// and rises 124 to 128 units (Quake and Quake II spread a model's box by a
// unit each way), into the lintel and no higher than the slab above. It has
// a name in both games: a Quake door touching another (the neighbour's half
// of the doorway) joins its team, and a team with a name spawns no trigger
// that would open it without the key.
std::string lockText(const GameKit& kit, const Piece& p) {
  const KeyKind& first = keyKind(kit.game, 1);
  std::string out;
  for (const PieceCell& pc : p.cells)
    for (int side : doorways(p, pc.cell)) {
      const Cell& c = pc.cell;
      const std::string where = lockSpotText({{c.x, c.y, c.z}, static_cast<SideIndex>(side)});
      const std::string name = "lock_" + std::to_string(c.x) + "_" + std::to_string(c.y) + "_" +
                               std::to_string(c.z) + "_" + std::string(kSides[side].name);
      const std::string mark = key(kLockKey.data(), where) + "\n";
      out += "// the lock of cell (" + where.substr(0, where.rfind(' ')) + ") side " +
             std::string(kSides[side].name) + "\n{\n" + key("classname", "func_door") + "\n" +
             key("targetname", name) + "\n\"angle\" \"-1\"\n\"lip\" \"4\"\n\"wait\" \"-1\"\n";
      if (kit.game == Game::quake)
        out += key("spawnflags", std::to_string(first.doorFlag)) + "\n\"sounds\" \"2\"\n";
      out += mark +
             brushText(doorwayFront(c, side, 0, 16, kDoorBottom, kDoorTop, kit.surfaces.door)) +
             "}\n";
      if (kit.game == Game::quake) continue;  // the door opens to a player with the key
      // Quake II: stepping up to the door fires a trigger_key, which opens
      // it for a player with the key. The trigger keeps its short wait, so
      // a player without the key can come back.
      out += "{\n" + key("classname", "trigger_multiple") + "\n" + key("target", name + "_key") +
             "\n" + mark +
             brushText(doorwayFront(c, side, 16, kLockTriggerDepth, kDoorBottom, kDoorTop,
                                    kit.surfaces.trigger)) +
             "}\n";
      const Box at = doorwayFront(c, side, 24, 24, 128, 128, "");
      out +=
          pointText({"trigger_key",
                     (at.x0 + at.x1) / 2,
                     (at.y0 + at.y1) / 2,
                     at.z0,
                     {key("targetname", name + "_key"), key("target", name),
                      key("item", std::string(first.itemClass)), mark.substr(0, mark.size() - 1)}});
    }
  for (const PointEntity& e : p.keySpot) out += "// the key spot\n" + pointText(e);
  return out;
}

std::string pieceText(const GameKit& kit, const Piece& p) {
  std::string out = "{\n";
  for (const std::string& k : kit.worldKeys) out += k + "\n";
  for (const Box& b : p.boxes) out += brushText(b);
  out += "}\n";
  for (const PointEntity& e : p.entities) {
    out += "{\n\"classname\" \"" + e.classname + "\"\n";
    out += "\"origin\" \"" + std::to_string(e.x) + " " + std::to_string(e.y) + " " +
           std::to_string(e.z) + "\"\n";
    for (const std::string& k : e.extra) out += k + "\n";
    out += "}\n";
  }
  for (const BrushEntity& e : p.brushEntities) {
    out += "{\n";
    for (const std::string& k : e.keys) out += k + "\n";
    for (const Box& b : e.boxes) out += brushText(b);
    out += "}\n";
  }
  return out + exitText(kit, p) + lockText(kit, p);
}

constexpr const char* kSideLetter = "nsew";  // +y -y +x -x

// The looks of a one-cell piece.
enum Look { plain, courtyard, narrow, raised, pool, stores, kLooks };

const Light kLights[kLooks] = {{300, ""},           {350, "1 0.95 0.85"}, {220, "1 0.7 0.4"},
                               {400, "0.6 0.75 1"}, {300, "0.5 0.9 1"},   {260, "1 0.85 0.6"}};

Piece singleCell(const GameKit& kit, const std::vector<int>& sides, int look, int variant) {
  Piece p;
  p.cells.push_back({makeCell(0, 0, 0, sides)});
  const Cell& c = p.cells[0].cell;
  const int openCount = static_cast<int>(sides.size());
  const Kind kind = openCount == 1   ? Kind::end
                    : openCount == 4 ? Kind::cross
                    : openCount == 3 ? Kind::tee
                    : (isOpen(c, posX) && isOpen(c, negX)) || (isOpen(c, posY) && isOpen(c, negY))
                        ? Kind::hall
                        : Kind::corner;
  static const char* kKindName[] = {"end", "hall", "corner", "tee", "cross"};
  std::string code;
  for (int s = 0; s < 4; ++s)
    if (isOpen(c, s)) code += kSideLetter[s];
  p.name = std::string(kKindName[int(kind)]) + "_" + code + "_" + static_cast<char>('a' + look);
  p.theme = &kit.themes[size_t(look) % kit.themes.size()];
  if (look == narrow) p.cells[0].ceilingAt = 176;
  if (look == courtyard) p.cells[0].sky = true;
  startTiles(p);
  Fill f{kind, variant, 2, kind == Kind::hall || kind == Kind::corner ? 1 : 2, kLights[look]};
  // One more where there is most floor, or most ways in.
  if (kind == Kind::cross || look == raised || look == pool) ++f.monsters;
  switch (look) {
    case courtyard:
      colonnade(p, 0);
      break;
    case narrow:
      narrowPassages(p, 0);
      p.brushEntities.push_back(doorIn(c, sides[0], kit.surfaces, kit.game));
      break;
    case raised:
      dais(p, 0, 3);
      break;
    case pool:
      raisedWithPool(p, 0);
      break;
    case stores:
      f.secret = alcove(p, kit.surfaces, f.niche);
      crates(p, 0);
      break;
    default:
      break;
  }
  finish(p, kit.surfaces);
  populate(kit, p, f);
  return p;
}

// Two storeys joined by 16 steps of 16 units. Drawn climbing towards +x (in
// at -x below, out at +x above) and turned for the other directions. With
// `anchorAbove` the upper cell is the anchor, so the generator can also
// place the stairs from an open cell of the upper storey.
Piece stairs(const GameKit& kit, int turns, bool anchorAbove, int look) {
  static const char* kDir[4] = {"e", "n", "w", "s"};
  const int lowZ = anchorAbove ? -1 : 0;
  int inSide = negX, outSide = posX;
  static const int kTurned[4] = {negX, posX, posY, negY};  // side after one turn: +y->-x ...
  for (int t = 0; t < turns; ++t) {
    inSide = kTurned[inSide];
    outSide = kTurned[outSide];
  }
  Piece p;
  p.name = std::string("stair_") + (anchorAbove ? "down_" : "up_") + kDir[turns] + "_" +
           static_cast<char>('a' + look);
  p.cells.push_back({makeCell(0, 0, lowZ, {inSide}), true, false});
  p.cells.push_back({makeCell(0, 0, lowZ + 1, {outSide}), false, true});
  if (anchorAbove) std::swap(p.cells[0], p.cells[1]);  // the anchor first
  p.theme = &kit.themes[size_t(turns % 2 + 2 * look)];
  startTiles(p);
  straightStairs(p, turns, anchorAbove);
  if (look == 1)
    p.brushEntities.push_back(
        doorIn(p.cells[anchorAbove ? 1 : 0].cell, inSide, kit.surfaces, kit.game));
  finish(p, kit.surfaces);
  // The start stands on the anchor's floor: the bottom step, or the
  // landing at the top.
  const int angle = (turns * 90) % 360;
  auto at = [&](PointEntity e) {
    for (int t = 0; t < turns; ++t) turn(e.x, e.y);
    e.z += lowZ * kCellSize;
    p.entities.push_back(e);
  };
  const Light light = look == 0 ? Light{300, ""} : Light{260, "0.8 0.9 1"};
  at(lightAt(128, 128, 208, light));
  at(lightAt(128, 128, kCellSize + 160, light));
  if (anchorAbove)
    at({"info_player_start",
        224,
        128,
        kCellSize + 48,
        {key("angle", std::to_string((angle + 180) % 360))}});
  else
    at({"info_player_start", 40, 128, 96, {key("angle", std::to_string(angle))}});
  // The key spot halfway up, over the tread its box comes to rest on (the
  // highest under it), clear of the starts at either end.
  const std::string keyClass(keyKind(kit.game, 1).itemClass);
  const BoxSize keyBox = walkClassOf(keyClass, kit.game).box;
  const int keyX = 128, reach = int(keyBox.maxs[0]);
  int tread = 0;
  for (int i = 1; i <= 16; ++i)
    if (16 + 14 * (i - 1) < keyX + reach) tread = 16 * i + 16;
  PointEntity spot{keyClass,
                   keyX,
                   128,
                   tread + 8 - int(keyBox.mins[2]),
                   {key("spawnflags", "0"), key("_key", "1")}};
  for (int t = 0; t < turns; ++t) turn(spot.x, spot.y);
  spot.z += lowZ * kCellSize;
  p.keySpot.push_back(spot);
  return p;
}

// A room of one storey over the listed cells; inner faces open, outer faces
// with a doorway where `door` says.
Piece room(const GameKit& kit, std::string name, const std::vector<std::array<int, 2>>& cells,
           const std::function<bool(int x, int y, int side)>& door, int look, int variant) {
  Piece p;
  p.name = std::move(name);
  auto has = [&](int x, int y) {
    return std::find(cells.begin(), cells.end(), std::array<int, 2>{x, y}) != cells.end();
  };
  for (const auto& [x, y] : cells) {
    Cell c = makeCell(x, y, 0, {});
    const std::array<std::array<int, 2>, 4> next = {
        {{x, y + 1}, {x, y - 1}, {x + 1, y}, {x - 1, y}}};
    for (int s = 0; s < 4; ++s)
      if (has(next[size_t(s)][0], next[size_t(s)][1]) || door(x, y, s)) setOpen(c, s);
    p.cells.push_back({c});
  }
  p.theme = &kit.themes[size_t(look) % kit.themes.size()];
  if (look == courtyard)
    for (PieceCell& pc : p.cells) pc.sky = true;
  startTiles(p);
  const int n = int(cells.size());
  Fill f{Kind::room, variant, n >= 4 ? 3 : 2, std::min(8, n + 1), kLights[look]};
  switch (look) {
    case courtyard:
      colonnade(p, 0);
      break;
    case raised:
      dais(p, 0, 3);
      break;
    case pool:
      raisedWithPool(p, 0);
      break;
    case stores:
      crates(p, 0);
      break;
    default:
      break;
  }
  finish(p, kit.surfaces);
  populate(kit, p, f);
  return p;
}

// Two storeys over a w x d footprint with a stair up to a balcony; doorways
// on the outer faces of both storeys but the -y side (where the stair is).
Piece twoStoreys(const GameKit& kit, std::string name, int w, int d, bool anchorAbove,
                 int variant) {
  Piece p;
  p.name = std::move(name);
  const int lowZ = anchorAbove ? -1 : 0;
  for (int z = lowZ; z <= lowZ + 1; ++z)
    for (int y = 0; y < d; ++y)
      for (int x = 0; x < w; ++x) {
        Cell c = makeCell(x, y, z, {});
        if (x + 1 < w) setOpen(c, posX);
        if (x > 0) setOpen(c, negX);
        if (y + 1 < d) setOpen(c, posY);
        if (y > 0) setOpen(c, negY);
        const int storey = z - lowZ;
        if (x == 0 && (y + storey) % 2 == 0) setOpen(c, negX);
        if (x == w - 1 && (y + storey) % 2 != 0) setOpen(c, posX);
        if (y == d - 1 && (x + storey) % 2 == 0) setOpen(c, posY);
        const bool lower = z == lowZ;
        p.cells.push_back({c, lower, !lower});
      }
  // The anchor first.
  std::stable_partition(p.cells.begin(), p.cells.end(), [](const PieceCell& pc) {
    return pc.cell.x == 0 && pc.cell.y == 0 && pc.cell.z == 0;
  });
  // Cells on the outer faces keep their walls: open only where they should.
  p.theme = &kit.themes[size_t(variant) % kit.themes.size()];
  startTiles(p);
  atrium(p);
  finish(p, kit.surfaces);
  Fill f{Kind::room, variant, 3, std::min(8, w * d * 2), {320, variant % 2 ? "0.9 0.9 1" : ""}};
  populate(kit, p, f);
  return p;
}

}  // namespace

std::vector<KitFile> generateKit(Game game) {
  const GameKit& kit = kitFor(game);
  std::vector<Piece> pieces;
  int variant = 0;
  // All fifteen opening sets, each in every look.
  for (int set = 1; set < 16; ++set) {
    std::vector<int> sides;
    for (int s = 0; s < 4; ++s)
      if (set & (1 << s)) sides.push_back(s);
    for (int look = 0; look < kLooks; ++look)
      pieces.push_back(singleCell(kit, sides, look, variant++));
  }
  for (int turns = 0; turns < 4; ++turns)
    for (int look = 0; look < 2; ++look) {
      pieces.push_back(stairs(kit, turns, false, look));
      pieces.push_back(stairs(kit, turns, true, look));
    }
  using Cells = std::vector<std::array<int, 2>>;
  auto grid = [](int w, int d) {
    Cells cells;
    for (int y = 0; y < d; ++y)
      for (int x = 0; x < w; ++x) cells.push_back({x, y});
    return cells;
  };
  auto everyFace = [](int, int, int) { return true; };
  // One doorway on each side of a w x d room: the ends of its diagonal.
  auto onePerSide = [](int w, int d) {
    return [w, d](int x, int y, int side) {
      return (side == negX && x == 0 && y == 0) || (side == negY && x == w - 1 && y == 0) ||
             (side == posX && x == w - 1 && y == d - 1) || (side == posY && x == 0 && y == d - 1);
    };
  };
  // The middle cell of each side.
  auto middles = [](int w, int d) {
    return [w, d](int x, int y, int side) {
      return ((side == negX || side == posX) && y == d / 2) ||
             ((side == negY || side == posY) && x == w / 2);
    };
  };
  pieces.push_back(room(kit, "room_2x2_a", grid(2, 2), everyFace, plain, variant++));
  pieces.push_back(room(kit, "room_2x2_b", grid(2, 2), onePerSide(2, 2), courtyard, variant++));
  pieces.push_back(room(kit, "room_2x2_c", grid(2, 2), everyFace, pool, variant++));
  pieces.push_back(room(kit, "room_2x2_d", grid(2, 2), onePerSide(2, 2), raised, variant++));
  pieces.push_back(room(kit, "room_3x3_a", grid(3, 3), middles(3, 3), raised, variant++));
  pieces.push_back(room(kit, "room_3x3_b", grid(3, 3), everyFace, courtyard, variant++));
  pieces.push_back(room(kit, "gallery_3x1_a", grid(3, 1), everyFace, courtyard, variant++));
  pieces.push_back(room(kit, "gallery_1x3_a", grid(1, 3), everyFace, courtyard, variant++));
  pieces.push_back(room(kit, "room_2x1_a", grid(2, 1), everyFace, plain, variant++));
  pieces.push_back(room(kit, "room_1x2_a", grid(1, 2), everyFace, plain, variant++));
  pieces.push_back(room(kit, "room_2x1_b", grid(2, 1), everyFace, stores, variant++));
  pieces.push_back(room(kit, "room_1x2_b", grid(1, 2), everyFace, stores, variant++));
  pieces.push_back(room(kit, "room_l_a", {{0, 0}, {1, 0}, {0, 1}}, everyFace, plain, variant++));
  pieces.push_back(
      room(kit, "room_l_b", {{0, 0}, {1, 0}, {1, 1}}, everyFace, courtyard, variant++));
  pieces.push_back(room(kit, "room_l_c", {{0, 0}, {0, 1}, {1, 1}}, everyFace, stores, variant++));
  pieces.push_back(twoStoreys(kit, "atrium_up", 2, 2, false, variant++));
  pieces.push_back(twoStoreys(kit, "atrium_down", 2, 2, true, variant++));
  pieces.push_back(twoStoreys(kit, "shaft_up", 2, 1, false, variant++));
  pieces.push_back(twoStoreys(kit, "shaft_down", 2, 1, true, variant++));

  std::sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) {
    return platform::folderOrderLess(a.name + ".mmd", b.name + ".mmd");
  });
  std::vector<KitFile> files;
  int32_t id = 0;
  for (const Piece& p : pieces) {
    Template t;
    t.id = ++id;
    t.name = p.name + ".map";
    for (const PieceCell& pc : p.cells) t.cells.push_back(pc.cell);
    files.push_back({p.name + ".map", pieceText(kit, p)});
    files.push_back({p.name + ".mmd", encodeMmd(t)});
  }
  std::sort(files.begin(), files.end(), [](const KitFile& a, const KitFile& b) {
    return platform::folderOrderLess(a.name, b.name);
  });
  return files;
}

}  // namespace cellforge

#include "template_tool/kit_generator.h"

#include <algorithm>
#include <array>

#include "platform/platform.h"
#include "templates/mmd_file.h"

// Every piece is drawn from the same few rules so that any two pieces join:
// walls 16 thick inside the cell's own box, floor and ceiling slabs 16 thick,
// and on every open side a doorway 128 wide and 128 tall in the middle of
// the face. Each piece seals itself; only its doorways are open.

namespace cellforge {
namespace {

enum Side { posY = 0, negY = 1, posX = 2, negX = 3 };

struct Theme {
  const char* floor;
  const char* ceiling;
  const char* wall;
  const char* trim;
  const char* step;
  const char* pillar;
};

// What ends a level: Quake's trigger_changelevel names the map itself;
// Quake II's trigger fires a target_changelevel that names it.
struct Exit {
  const char* trigger;
  const char* texture;
  const char* map;
};

struct GameKit {
  Theme looks[2];
  Exit exit;
  std::vector<std::string> worldKeys;
  const char* health;
  const char* armor;
  const char* ammo;
  const char* weapon;
  const char* monster;
};

const GameKit& kitFor(Game game) {
  static const GameKit quake2{{{"e1u1/floor3_1", "e1u1/ceil1_1", "e1u1/metal1_1", "e1u1/flat1_1",
                                "e1u1/c_met5_2", "e1u1/crate1_1"},
                               {"e1u1/floor1_3", "e1u1/ceil1_3", "e1u1/wswall1_1", "e1u1/flat1_2",
                                "e1u1/metal1_2", "e1u1/c_met7_1"}},
                              // "*" starts a new unit: the stats screen, then the
                              // game's first map with what the player carries.
                              {"trigger_multiple", "e1u1/trigger", "*base1"},
                              {"\"classname\" \"worldspawn\""},
                              "item_health",
                              "item_armor_shard",
                              "ammo_shells",
                              "weapon_shotgun",
                              "monster_soldier_light"};
  static const GameKit quake{
      {{"ground1_6", "ceil1_1", "wbrick1_5", "metal1_3", "city4_2", "wizmet1_2"},
       {"sfloor4_1", "tech02_1", "tech01_1", "metal1_3", "metal2_1", "city1_4"}},
      // The hub map, where every episode starts.
      {"trigger_changelevel", "trigger", "start"},
      {"\"classname\" \"worldspawn\"", "\"wad\" \"quake101.wad\""},
      "item_health",
      "item_armor1",
      "item_shells",
      "weapon_supershotgun",
      "monster_army"};
  return game == Game::quake ? quake : quake2;
}

struct Box {
  int x0, y0, z0, x1, y1, z1;
  const char* texture;
};

struct PointEntity {
  std::string classname;
  int x, y, z;
  std::vector<std::string> extra;  // further key lines
};

struct PieceCell {
  Cell cell;
  bool floor = true, ceiling = true;
};

struct Piece {
  std::string name;
  std::vector<PieceCell> cells;
  std::vector<Box> boxes;
  std::vector<PointEntity> entities;
};

std::string plane(int ax, int ay, int az, int bx, int by, int bz, int cx, int cy, int cz,
                  const char* texture) {
  auto p = [](int x, int y, int z) {
    return "( " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z) + " )";
  };
  return p(ax, ay, az) + " " + p(bx, by, bz) + " " + p(cx, cy, cz) + " " + texture + " 0 0 0 1 1\n";
}

// Six planes, normals outward, in the order -x -y -z +z +y +x.
std::string brushText(const Box& b) {
  const int x1 = b.x0, y1 = b.y0, z1 = b.z0, x2 = b.x1, y2 = b.y1, z2 = b.z1;
  const char* t = b.texture;
  return "{\n" + plane(x1, y1, z1, x1, y1 + 1, z1, x1, y1, z1 + 1, t) +
         plane(x1, y1, z1, x1, y1, z1 + 1, x1 + 1, y1, z1, t) +
         plane(x1, y1, z1, x1 + 1, y1, z1, x1, y1 + 1, z1, t) +
         plane(x2, y2, z2, x2, y2 + 1, z2, x2 + 1, y2, z2, t) +
         plane(x2, y2, z2, x2 + 1, y2, z2, x2, y2, z2 + 1, t) +
         plane(x2, y2, z2, x2, y2, z2 + 1, x2, y2 + 1, z2, t) + "}\n";
}

bool open(const Cell& c, int side) {
  return side == posY   ? c.openPosY
         : side == negY ? c.openNegY
         : side == posX ? c.openPosX
                        : c.openNegX;
}

void setOpen(Cell& c, int side) {
  (side == posY   ? c.openPosY
   : side == negY ? c.openNegY
   : side == posX ? c.openPosX
                  : c.openNegX) = true;
}

bool hasCell(const Piece& p, int x, int y, int z) {
  return std::any_of(p.cells.begin(), p.cells.end(), [&](const PieceCell& c) {
    return c.cell.x == x && c.cell.y == y && c.cell.z == z;
  });
}

// Walls, doorways and slabs of every cell. A face between two cells of the
// piece has no wall; the room runs on through it.
void addShell(Piece& p, const Theme& look) {
  for (const PieceCell& pc : p.cells) {
    const Cell& c = pc.cell;
    const int bx = c.x * kCellSize, by = c.y * kCellSize, bz = c.z * kCellSize;
    const bool inner[4] = {hasCell(p, c.x, c.y + 1, c.z), hasCell(p, c.x, c.y - 1, c.z),
                           hasCell(p, c.x + 1, c.y, c.z), hasCell(p, c.x - 1, c.y, c.z)};
    const int xa = inner[negX] ? 0 : 16, xb = inner[posX] ? 256 : 240;
    const int ya = inner[negY] ? 0 : 16, yb = inner[posY] ? 256 : 240;
    if (pc.floor) p.boxes.push_back({bx + xa, by + ya, bz, bx + xb, by + yb, bz + 16, look.floor});
    if (pc.ceiling)
      p.boxes.push_back({bx + xa, by + ya, bz + 240, bx + xb, by + yb, bz + 256, look.ceiling});
    for (int s = 0; s < 4; ++s) {
      if (inner[s]) continue;
      const bool alongY = s == posX || s == negX;  // the wall runs along y
      const int f0 = s == posX ? 240 : s == posY ? 240 : 0, f1 = f0 + 16;
      const int l0 = alongY ? 0 : xa, l1 = alongY ? 256 : xb;
      auto add = [&](int a0, int a1, int z0, int z1, const char* tex) {
        if (alongY)
          p.boxes.push_back({bx + f0, by + a0, bz + z0, bx + f1, by + a1, bz + z1, tex});
        else
          p.boxes.push_back({bx + a0, by + f0, bz + z0, bx + a1, by + f1, bz + z1, tex});
      };
      if (!open(c, s)) {
        add(l0, l1, 0, 256, look.wall);
        continue;
      }
      add(l0, kDoorLow, 0, 256, look.wall);
      add(kDoorHigh, l1, 0, 256, look.wall);
      add(kDoorLow, kDoorHigh, 0, kDoorBottom, look.trim);
      add(kDoorLow, kDoorHigh, kDoorTop, 256, look.trim);
    }
  }
}

Cell makeCell(int x, int y, int z, const std::vector<int>& sides) {
  Cell c;
  c.x = x;
  c.y = y;
  c.z = z;
  for (int s : sides) setOpen(c, s);
  return c;
}

const char* kSideLetter = "nsew";  // +y -y +x -x

// Monsters stay out of the first rooms: none in the first fifth of the way
// from start to exit, the second of a big room only from halfway in.
const std::string kFromAFifthIn = "\"_depth\" \"0.2 1\"";
const std::string kFromAQuarterIn = "\"_depth\" \"0.25 1\"";
const std::string kFromHalfwayIn = "\"_depth\" \"0.5 1\"";

std::string sideCode(const Cell& c) {
  std::string code;
  for (int s = 0; s < 4; ++s)
    if (open(c, s)) code += kSideLetter[s];
  return code;
}

PointEntity light(int x, int y, int z) { return {"light", x, y, z, {"\"light\" \"300\""}}; }
PointEntity start(int x, int y, int z, int angle) {
  return {"info_player_start", x, y, z, {"\"angle\" \"" + std::to_string(angle) + "\""}};
}

// One cell: the fifteen opening sets, in one or two looks.
Piece singleCell(const GameKit& kit, const std::vector<int>& sides, int look) {
  Piece p;
  p.cells.push_back({makeCell(0, 0, 0, sides), true, true});
  const Cell& c = p.cells[0].cell;
  const int openCount = static_cast<int>(sides.size());
  const char* kind = openCount == 1   ? "end"
                     : openCount == 4 ? "cross"
                     : openCount == 3 ? "tee"
                     : (open(c, posX) && open(c, negX)) || (open(c, posY) && open(c, negY))
                         ? "hall"
                         : "corner";
  p.name = std::string(kind) + "_" + sideCode(c) + "_" + static_cast<char>('a' + look);
  addShell(p, kit.looks[look]);
  const bool pillar = look == 1 && openCount >= 3;
  if (pillar) {
    p.boxes.push_back({112, 112, 16, 144, 144, 240, kit.looks[look].pillar});
    p.entities.push_back(light(64, 192, 200));
    p.entities.push_back(light(192, 64, 200));
    p.entities.push_back(start(72, 72, 48, 45));
  } else {
    p.entities.push_back(light(128, 128, 200));
    p.entities.push_back(start(128, 128, 48, 90));
  }
  if (openCount == 1) p.entities.push_back({look == 0 ? kit.health : kit.ammo, 176, 176, 32, {}});
  if (std::string(kind) == "corner" && look == 0)
    p.entities.push_back({kit.armor, 184, 72, 32, {}});
  if (std::string(kind) == "tee" && look == 1)
    p.entities.push_back({kit.monster, 184, 184, 48, {"\"angle\" \"225\"", kFromAQuarterIn}});
  return p;
}

// Turns a point of the cell a quarter to the left about the cell's middle.
void turn(int& x, int& y) {
  const int nx = kCellSize - y;
  y = x;
  x = nx;
}

// Two storeys joined by 16 steps of 16 units. Drawn climbing towards +x (in
// at -x below, out at +x above) and turned for the other directions. With
// `anchorAbove` the upper cell is the anchor, so the generator can also
// place the stairs from an open cell of the upper storey.
Piece stairs(const GameKit& kit, int turns, bool anchorAbove) {
  static const char* kDir[4] = {"e", "n", "w", "s"};
  const int lowZ = anchorAbove ? -1 : 0;
  const int dz = lowZ * kCellSize;
  int inSide = negX, outSide = posX;
  static const int kTurned[4] = {negX, posX, posY, negY};  // side after one turn: +y->-x ...
  for (int t = 0; t < turns; ++t) {
    inSide = kTurned[inSide];
    outSide = kTurned[outSide];
  }
  Piece p;
  p.name = std::string("stair_") + (anchorAbove ? "down_" : "up_") + kDir[turns];
  p.cells.push_back({makeCell(0, 0, lowZ, {inSide}), true, false});
  p.cells.push_back({makeCell(0, 0, lowZ + 1, {outSide}), false, true});
  if (anchorAbove) std::swap(p.cells[0], p.cells[1]);  // the anchor first
  const Theme& look = kit.looks[turns % 2];
  addShell(p, look);
  auto place = [&](Box b) {
    for (int t = 0; t < turns; ++t) {
      turn(b.x0, b.y0);
      turn(b.x1, b.y1);
    }
    if (b.x0 > b.x1) std::swap(b.x0, b.x1);
    if (b.y0 > b.y1) std::swap(b.y0, b.y1);
    b.z0 += dz;
    b.z1 += dz;
    p.boxes.push_back(b);
  };
  for (int i = 1; i <= 16; ++i)
    place({16 + 14 * (i - 1), 16, 16 * i, 240, 240, 16 * i + 16, look.step});
  auto at = [&](PointEntity e) {
    for (int t = 0; t < turns; ++t) turn(e.x, e.y);
    e.z += dz;
    p.entities.push_back(e);
  };
  at(light(128, 128, 208));
  at(light(128, 128, kCellSize + 160));
  const int angle = (turns * 90) % 360;
  if (anchorAbove)
    at(start(224, 128, kCellSize + 48, (angle + 180) % 360));
  else
    at(start(40, 128, 96, angle));
  return p;
}

// Big rooms: one room over several cells, doorways on the outer faces.
Piece room(const GameKit& kit, std::string name, int w, int d, bool allDoors, int look) {
  Piece p;
  p.name = std::move(name);
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < d; ++y) {
      Cell c = makeCell(x, y, 0, {});
      if (x + 1 < w) setOpen(c, posX);
      if (x > 0) setOpen(c, negX);
      if (y + 1 < d) setOpen(c, posY);
      if (y > 0) setOpen(c, negY);
      // Outer faces: every one, or one door on each side of the room.
      const bool first = x == 0 && y == 0, last = x == w - 1 && y == d - 1;
      if (x == 0 && (allDoors || first)) setOpen(c, negX);
      if (x == w - 1 && (allDoors || last)) setOpen(c, posX);
      if (y == 0 && (allDoors || x == w - 1)) setOpen(c, negY);
      if (y == d - 1 && (allDoors || x == 0)) setOpen(c, posY);
      p.cells.push_back({c, true, true});
    }
  addShell(p, kit.looks[look]);
  for (const PieceCell& pc : p.cells)
    p.entities.push_back(light(pc.cell.x * kCellSize + 128, pc.cell.y * kCellSize + 128, 200));
  p.entities.push_back(start(96, 96, 48, 45));
  const int fx = (w - 1) * kCellSize, fy = (d - 1) * kCellSize;
  p.entities.push_back({kit.monster, fx + 160, fy + 160, 48, {"\"angle\" \"225\"", kFromAFifthIn}});
  p.entities.push_back({kit.ammo, fx + 96, 176, 32, {}});
  if (w * d >= 4) {
    p.entities.push_back({kit.weapon, 176, fy + 96, 32, {}});
    p.entities.push_back({kit.monster, fx + 176, 80, 48, {"\"angle\" \"180\"", kFromHalfwayIn}});
  }
  return p;
}

// The exit stands where the player would start, in the player's own box
// (32 x 32, 24 below and 32 above the origin), so it is clear of walls and
// doorways wherever the start is. The map keeps one exit, in the room
// farthest from the start.
std::string exitText(const GameKit& kit, const Piece& p) {
  const auto start = std::find_if(p.entities.begin(), p.entities.end(), [](const PointEntity& e) {
    return e.classname == "info_player_start";
  });
  const Box box{start->x - 16, start->y - 16, start->z - 24,   start->x + 16,
                start->y + 16, start->z + 32, kit.exit.texture};
  const std::string map = "\"map\" \"" + std::string(kit.exit.map) + "\"\n";
  std::string out =
      "// the level's exit\n{\n\"classname\" \"" + std::string(kit.exit.trigger) + "\"\n";
  if (std::string(kit.exit.trigger) == "trigger_changelevel")
    return out + map + brushText(box) + "}\n";
  return out + "\"target\" \"exit\"\n" + brushText(box) +
         "}\n{\n\"classname\" \"target_changelevel\"\n\"targetname\" \"exit\"\n" + map +
         "\"origin\" \"" + std::to_string(start->x) + " " + std::to_string(start->y) + " " +
         std::to_string(start->z) + "\"\n}\n";
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
  return out + exitText(kit, p);
}

}  // namespace

std::vector<KitFile> generateKit(Game game) {
  const GameKit& kit = kitFor(game);
  std::vector<Piece> pieces;
  // All fifteen opening sets; corridors, junctions and crossroads (which
  // keep a layout growing) in two looks, dead ends and corners too.
  for (int set = 1; set < 16; ++set) {
    std::vector<int> sides;
    for (int s = 0; s < 4; ++s)
      if (set & (1 << s)) sides.push_back(s);
    for (int look = 0; look < 2; ++look) pieces.push_back(singleCell(kit, sides, look));
  }
  for (int turns = 0; turns < 4; ++turns) {
    pieces.push_back(stairs(kit, turns, false));
    pieces.push_back(stairs(kit, turns, true));
  }
  pieces.push_back(room(kit, "room_2x2_a", 2, 2, true, 0));
  pieces.push_back(room(kit, "room_2x2_b", 2, 2, false, 1));
  pieces.push_back(room(kit, "room_2x1_a", 2, 1, true, 1));
  pieces.push_back(room(kit, "room_1x2_a", 1, 2, true, 0));

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

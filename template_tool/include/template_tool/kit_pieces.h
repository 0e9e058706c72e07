#pragma once

#include <string>
#include <vector>

#include "foundation/game_limits.h"
#include "templates/records.h"

// The geometry of the bundled kits' pieces: shells, floors, looks and
// shapes. What stands in them (monsters, items, lights) is kit_generator's.

namespace cellforge::kit {

struct Theme {
  const char* floor;
  const char* ceiling;
  const char* wall;
  const char* trim;
  const char* step;
  const char* pillar;
  const char* crate;
};

// A game's special surfaces. The suffixes follow the texture values on a
// plane line (Quake II's contents, flags and value; empty for Quake).
struct Surfaces {
  const char* water;
  const char* waterSuffix;
  const char* sky;
  const char* skySuffix;
  const char* trigger;
  const char* door;
};

struct Box {
  int x0, y0, z0, x1, y1, z1;
  const char* texture;
  const char* suffix = "";
};

// A brush entity: its key lines and its brushes.
struct BrushEntity {
  std::vector<std::string> keys;
  std::vector<Box> boxes;
};

struct PointEntity {
  std::string classname;
  int x, y, z;
  std::vector<std::string> extra;  // further key lines
};

struct PieceCell {
  Cell cell;
  bool floor = true, ceiling = true;
  int ceilingAt = 240;  // bottom of the ceiling slab above the cell's floor
  bool sky = false;
};

// Floor tiles 16 units square over the piece's footprint, one layer per
// storey: what stands where, for the shell's extra brushes and for placing
// entities. Heights are above the storey's base.
inline constexpr int kTile = 16;
inline constexpr int kWallTile = -1;  // wall, or no cell of the piece

struct Tile {
  int floor = 16;        // top of the floor; a tile at its ceiling is solid
  int ceiling = 240;     // bottom of what is overhead
  int water = 0;         // top of water standing on it, 0 for none
  bool blocked = false;  // a crate or other obstacle stands on it
  bool hole = false;     // no floor: open to the storey below
};

struct Piece {
  std::string name;
  std::vector<PieceCell> cells;
  std::vector<Box> boxes;
  std::vector<PointEntity> entities;
  std::vector<BrushEntity> brushEntities;
  // The tile map, filled by shape() and changed by the looks.
  int nx = 0, ny = 0, nz = 0, zMin = 0;
  std::vector<Tile> tiles;
  Tile* tile(int i, int j, int k) {
    return &tiles[(size_t(k) * size_t(ny) + size_t(j)) * size_t(nx) + size_t(i)];
  }
  const Tile* tile(int i, int j, int k) const {
    return &tiles[(size_t(k) * size_t(ny) + size_t(j)) * size_t(nx) + size_t(i)];
  }
  bool inside(int i, int j, int k) const { return tile(i, j, k)->floor != kWallTile; }
  const Theme* theme = nullptr;
  int look = 0;
  // Written after everything else, so a level without keys is the same
  // without them: the key spot (at most one).
  std::vector<PointEntity> keySpot;
};

Cell makeCell(int x, int y, int z, const std::vector<int>& sides);
void setOpen(Cell& c, int side);
const PieceCell* cellAt(const Piece& p, int x, int y, int z);

// Sets up the tile map of a piece whose cells are listed.
void startTiles(Piece& p);
// Walls, doorways, slabs, and the floor tiles' brushes (raised floors,
// solid fill, water).
void finish(Piece& p, const Surfaces& s);

// Looks: each changes the tiles of storey `k` (or adds brushes).
void narrowPassages(Piece& p, int k);   // 128-wide ways to each doorway, the rest solid
void colonnade(Piece& p, int k);        // pillars at every cell's corners
void dais(Piece& p, int k, int steps);  // stepped platform in the middle
void raisedWithPool(Piece& p, int k);   // floor up 32 with steps down at doorways, a pool
void crates(Piece& p, int k);           // crates in a corner of the anchor cell
// A niche in a closed wall of the anchor cell: true with its floor spot
// and its volume when the cell has a closed side.
bool alcove(Piece& p, const Surfaces& s, Box& volume);
// A door in the doorway of the cell's side.
BrushEntity doorIn(const Cell& c, int side, const Surfaces& s, Game game);
// The room in front of the doorway of the cell's side, from `depth0` to
// `depth1` in from the face, across the doorway (64..192) and `z0` to `z1`
// above the cell's floor. Depth 0 to 16 is the doorway's hole in the wall.
Box doorwayFront(const Cell& c, int side, int depth0, int depth1, int z0, int z1,
                 const char* texture);
// The cell's sides with a doorway: open, and no cell of the piece beyond.
std::vector<int> doorways(const Piece& p, const Cell& c);

// Two storeys over a footprint: a stair along the -y wall climbs from the
// lower floor to a balcony running round the upper storey.
void atrium(Piece& p);

// The straight stairs of the kits: 16 steps of 16 over one cell.
void straightStairs(Piece& p, int turns, bool anchorAbove);

// Turns a point of a cell a quarter to the left about the cell's middle.
void turn(int& x, int& y);

}  // namespace cellforge::kit

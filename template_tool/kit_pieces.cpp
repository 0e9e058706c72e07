#include "template_tool/kit_pieces.h"

#include <algorithm>
#include <functional>
#include <set>

#include "client/level_rules.h"
#include "template_tool/kit_check.h"

// Every piece is drawn from the same few rules so that any two pieces join:
// walls 16 thick inside the cell's own box, floor and ceiling slabs 16 thick,
// and on every open side a doorway 128 wide and 128 tall in the middle of
// the face. Each piece seals itself; only its doorways are open. What a look
// changes stays inside the walls.

namespace cellforge::kit {

namespace {

constexpr int kTilesPerCell = kCellSize / kTile;
// The tiles in front of a doorway, across the face.
constexpr int kLaneLow = kDoorLow / kTile, kLaneHigh = kDoorHigh / kTile - 1;

bool hasCell(const Piece& p, int x, int y, int z) { return cellAt(p, x, y, z) != nullptr; }

bool inner(const Piece& p, const Cell& c, int side) {
  const GridCoord n = c.coord() + kSides[side].step;
  return hasCell(p, n.x, n.y, n.z);
}

// Calls back with each rectangle (i0, j0, i1, j1; ends excluded) of the
// tiles of storey k that `match`, greedily: rows first, then down.
void rectangles(const Piece& p, int k, const std::function<bool(int, int, const Tile&)>& match,
                const std::function<void(int, int, int, int)>& emit) {
  std::vector<char> used(size_t(p.nx) * size_t(p.ny), 0);
  auto ok = [&](int i, int j) {
    return p.inside(i, j, k) && !used[size_t(j) * size_t(p.nx) + size_t(i)] &&
           match(i, j, *p.tile(i, j, k));
  };
  for (int j = 0; j < p.ny; ++j)
    for (int i = 0; i < p.nx; ++i) {
      if (!ok(i, j)) continue;
      int i1 = i;
      while (i1 < p.nx && ok(i1, j)) ++i1;
      int j1 = j + 1;
      auto rowOk = [&](int jj) {
        for (int ii = i; ii < i1; ++ii)
          if (!ok(ii, jj)) return false;
        return true;
      };
      while (j1 < p.ny && rowOk(j1)) ++j1;
      for (int jj = j; jj < j1; ++jj)
        for (int ii = i; ii < i1; ++ii) used[size_t(jj) * size_t(p.nx) + size_t(ii)] = 1;
      emit(i, j, i1, j1);
    }
}

// Walls, doorways and slabs of every cell. A face between two cells of the
// piece has no wall; the room runs on through it.
void addShell(Piece& p, const Surfaces& s) {
  const Theme& look = *p.theme;
  for (const PieceCell& pc : p.cells) {
    const Cell& c = pc.cell;
    const int bx = c.x * kCellSize, by = c.y * kCellSize, bz = c.z * kCellSize;
    const bool in[4] = {inner(p, c, posY), inner(p, c, negY), inner(p, c, posX), inner(p, c, negX)};
    const int xa = in[negX] ? 0 : 16, xb = in[posX] ? kCellSize : 240;
    const int ya = in[negY] ? 0 : 16, yb = in[posY] ? kCellSize : 240;
    if (pc.floor) p.boxes.push_back({bx + xa, by + ya, bz, bx + xb, by + yb, bz + 16, look.floor});
    if (pc.ceiling) {
      if (pc.sky)
        p.boxes.push_back({bx + xa, by + ya, bz + pc.ceilingAt, bx + xb, by + yb, bz + kCellSize,
                           s.sky, s.skySuffix});
      else
        p.boxes.push_back(
            {bx + xa, by + ya, bz + pc.ceilingAt, bx + xb, by + yb, bz + kCellSize, look.ceiling});
    }
    for (int side = 0; side < 4; ++side) {
      if (in[side]) continue;
      const bool alongY = side == posX || side == negX;  // the wall runs along y
      const int f0 = side == posX || side == posY ? 240 : 0, f1 = f0 + 16;
      const int l0 = alongY ? 0 : xa, l1 = alongY ? kCellSize : xb;
      auto add = [&](int a0, int a1, int z0, int z1, const char* tex) {
        if (alongY)
          p.boxes.push_back({bx + f0, by + a0, bz + z0, bx + f1, by + a1, bz + z1, tex});
        else
          p.boxes.push_back({bx + a0, by + f0, bz + z0, bx + a1, by + f1, bz + z1, tex});
      };
      if (!isOpen(c, side)) {
        add(l0, l1, 0, kCellSize, look.wall);
        continue;
      }
      add(l0, kDoorLow, 0, kCellSize, look.wall);
      add(kDoorHigh, l1, 0, kCellSize, look.wall);
      add(kDoorLow, kDoorHigh, 0, kDoorBottom, look.trim);
      add(kDoorLow, kDoorHigh, kDoorTop, kCellSize, look.trim);
    }
  }
}

// The cell holding tile (i, j) of storey k.
const PieceCell* cellOfTile(const Piece& p, int i, int j, int k) {
  return cellAt(p, i / kTilesPerCell, j / kTilesPerCell, k + p.zMin);
}

// Local tile coordinates of a cell's side: `along` runs across the face,
// `depth` in from it (depth 0 is the wall).
void sideTile(const Cell& c, int side, int along, int depth, int& i, int& j) {
  const int bi = c.x * kTilesPerCell, bj = c.y * kTilesPerCell, last = kTilesPerCell - 1;
  switch (side) {
    case posX:
      i = bi + last - depth, j = bj + along;
      break;
    case negX:
      i = bi + depth, j = bj + along;
      break;
    case posY:
      i = bi + along, j = bj + last - depth;
      break;
    default:
      i = bi + along, j = bj + depth;
      break;
  }
}

}  // namespace

Cell makeCell(int x, int y, int z, const std::vector<int>& sides) {
  Cell c;
  c.x = x;
  c.y = y;
  c.z = z;
  for (int s : sides) setOpen(c, s);
  return c;
}

void setOpen(Cell& c, int side) { c.*kSides[side].open = true; }

const PieceCell* cellAt(const Piece& p, int x, int y, int z) {
  for (const PieceCell& c : p.cells)
    if (c.cell.x == x && c.cell.y == y && c.cell.z == z) return &c;
  return nullptr;
}

void startTiles(Piece& p) {
  int w = 0, d = 0, zMax = p.cells[0].cell.z;
  p.zMin = zMax;
  for (const PieceCell& pc : p.cells) {
    w = std::max(w, pc.cell.x + 1);
    d = std::max(d, pc.cell.y + 1);
    p.zMin = std::min(p.zMin, pc.cell.z);
    zMax = std::max(zMax, pc.cell.z);
  }
  p.nx = w * kTilesPerCell;
  p.ny = d * kTilesPerCell;
  p.nz = zMax - p.zMin + 1;
  p.tiles.assign(size_t(p.nx) * size_t(p.ny) * size_t(p.nz), Tile{kWallTile, 0, 0, false, false});
  for (const PieceCell& pc : p.cells) {
    const Cell& c = pc.cell;
    const bool in[4] = {inner(p, c, posY), inner(p, c, negY), inner(p, c, posX), inner(p, c, negX)};
    for (int a = 0; a < kTilesPerCell; ++a)
      for (int b = 0; b < kTilesPerCell; ++b) {
        const bool wall = (a == 0 && !in[negX]) || (a == kTilesPerCell - 1 && !in[posX]) ||
                          (b == 0 && !in[negY]) || (b == kTilesPerCell - 1 && !in[posY]);
        if (wall) continue;
        Tile& t = *p.tile(c.x * kTilesPerCell + a, c.y * kTilesPerCell + b, c.z - p.zMin);
        t.floor = 16;
        t.ceiling = pc.ceilingAt;
        t.hole = !pc.floor;
      }
  }
}

void finish(Piece& p, const Surfaces& s) {
  addShell(p, s);
  const Theme& look = *p.theme;
  for (int k = 0; k < p.nz; ++k) {
    const int base = (k + p.zMin) * kCellSize;
    auto box = [&](int i0, int j0, int i1, int j1, int z0, int z1, const char* tex,
                   const char* suffix) {
      p.boxes.push_back(
          {i0 * kTile, j0 * kTile, base + z0, i1 * kTile, j1 * kTile, base + z1, tex, suffix});
    };
    // Floors of cells whose slab is partly open (a balcony).
    rectangles(
        p, k,
        [&](int i, int j, const Tile& t) { return !t.hole && !cellOfTile(p, i, j, k)->floor; },
        [&](int i0, int j0, int i1, int j1) { box(i0, j0, i1, j1, 0, 16, look.floor, ""); });
    std::set<int> heights;
    for (int j = 0; j < p.ny; ++j)
      for (int i = 0; i < p.nx; ++i)
        if (p.inside(i, j, k) && !p.tile(i, j, k)->hole && p.tile(i, j, k)->floor > 16)
          heights.insert(p.tile(i, j, k)->floor);
    for (int h : heights)
      rectangles(
          p, k, [&](int, int, const Tile& t) { return !t.hole && t.floor == h; },
          [&](int i0, int j0, int i1, int j1) {
            const bool solid = p.tile(i0, j0, k)->floor >= p.tile(i0, j0, k)->ceiling;
            box(i0, j0, i1, j1, 16, h, solid ? look.wall : look.step, "");
          });
    std::set<int> wetFloors;
    for (const Tile& t : p.tiles)
      if (t.water > t.floor) wetFloors.insert(t.floor);
    for (int h : wetFloors)
      rectangles(
          p, k, [&](int, int, const Tile& t) { return t.water > t.floor && t.floor == h; },
          [&](int i0, int j0, int i1, int j1) {
            box(i0, j0, i1, j1, h, p.tile(i0, j0, k)->water, s.water, s.waterSuffix);
          });
  }
}

void narrowPassages(Piece& p, int k) {
  for (const PieceCell& pc : p.cells) {
    const Cell& c = pc.cell;
    if (c.z - p.zMin != k) continue;
    for (int a = 0; a < kTilesPerCell; ++a)
      for (int b = 0; b < kTilesPerCell; ++b) {
        const bool acrossX = a >= kLaneLow && a <= kLaneHigh,
                   acrossY = b >= kLaneLow && b <= kLaneHigh;
        const bool centre = acrossX && acrossY;
        const bool arm = (acrossY && ((a > kLaneHigh && (isOpen(c, posX) || inner(p, c, posX))) ||
                                      (a < kLaneLow && (isOpen(c, negX) || inner(p, c, negX))))) ||
                         (acrossX && ((b > kLaneHigh && (isOpen(c, posY) || inner(p, c, posY))) ||
                                      (b < kLaneLow && (isOpen(c, negY) || inner(p, c, negY)))));
        Tile& t = *p.tile(c.x * kTilesPerCell + a, c.y * kTilesPerCell + b, k);
        if (t.floor != kWallTile && !centre && !arm) t.floor = t.ceiling;
      }
  }
}

void colonnade(Piece& p, int k) {
  for (const PieceCell& pc : p.cells) {
    const Cell& c = pc.cell;
    if (c.z - p.zMin != k) continue;
    for (int a : {2, 12})
      for (int b : {2, 12}) {
        const int i = c.x * kTilesPerCell + a, j = c.y * kTilesPerCell + b;
        const int base = c.z * kCellSize;
        p.boxes.push_back({i * kTile, j * kTile, base + 16, (i + 2) * kTile, (j + 2) * kTile,
                           base + pc.ceilingAt, p.theme->pillar});
        for (int di = 0; di < 2; ++di)
          for (int dj = 0; dj < 2; ++dj) p.tile(i + di, j + dj, k)->blocked = true;
      }
  }
}

void dais(Piece& p, int k, int steps) {
  const int ci = p.nx / 2, cj = p.ny / 2;
  for (int level = 1; level <= steps; ++level) {
    const int r = 2 + steps - level;  // half-width in tiles
    for (int j = cj - r; j < cj + r; ++j)
      for (int i = ci - r; i < ci + r; ++i) {
        Tile& t = *p.tile(i, j, k);
        if (t.floor != kWallTile && !t.hole) t.floor = 16 + 16 * level;
      }
  }
}

void raisedWithPool(Piece& p, int k) {
  for (int j = 0; j < p.ny; ++j)
    for (int i = 0; i < p.nx; ++i)
      if (p.inside(i, j, k)) p.tile(i, j, k)->floor = 48;
  // Two steps down to each doorway's sill.
  for (const PieceCell& pc : p.cells) {
    if (pc.cell.z - p.zMin != k) continue;
    for (int side = 0; side < 4; ++side) {
      if (!isOpen(pc.cell, side) || inner(p, pc.cell, side)) continue;
      for (int along = kLaneLow; along <= kLaneHigh; ++along)
        for (int depth = 1; depth <= 2; ++depth) {
          int i = 0, j = 0;
          sideTile(pc.cell, side, along, depth, i, j);
          p.tile(i, j, k)->floor = std::min(p.tile(i, j, k)->floor, 16 * depth);
        }
    }
  }
  // The pool: a ring of steps under water round a floor at the slab.
  const int ci = p.nx / 2, cj = p.ny / 2;
  for (int j = cj - 3; j < cj + 3; ++j)
    for (int i = ci - 3; i < ci + 3; ++i) {
      Tile& t = *p.tile(i, j, k);
      const bool ring = i == ci - 3 || i == ci + 2 || j == cj - 3 || j == cj + 2;
      t.floor = ring ? 32 : 16;
      t.water = 40;
    }
}

void crates(Piece& p, int k) {
  const Cell& c = p.cells[0].cell;
  const int base = c.z * kCellSize;
  // The first corner of the anchor cell with plain floor: a big crate and a
  // small one beside it.
  for (int corner = 0; corner < 4; ++corner) {
    const bool hiX = corner & 1, hiY = corner & 2;
    auto at = [&](int a, int b, int& i, int& j) {
      i = c.x * kTilesPerCell + (hiX ? kTilesPerCell - 1 - a : a);
      j = c.y * kTilesPerCell + (hiY ? kTilesPerCell - 1 - b : b);
    };
    bool plain = true;
    for (int a = 1; a <= 5; ++a)
      for (int b = 1; b <= 3; ++b) {
        int i = 0, j = 0;
        at(a, b, i, j);
        const Tile& t = *p.tile(i, j, k);
        plain = plain && t.floor == 16 && !t.blocked && !t.hole && t.water == 0;
      }
    if (!plain) continue;
    auto crate = [&](int a0, int b0, int a1, int b1, int height) {
      int i0 = 0, j0 = 0, i1 = 0, j1 = 0;
      at(a0, b0, i0, j0);
      at(a1, b1, i1, j1);
      if (i0 > i1) std::swap(i0, i1);
      if (j0 > j1) std::swap(j0, j1);
      p.boxes.push_back({i0 * kTile, j0 * kTile, base + 16, (i1 + 1) * kTile, (j1 + 1) * kTile,
                         base + 16 + height, p.theme->crate});
      for (int j = j0; j <= j1; ++j)
        for (int i = i0; i <= i1; ++i) p.tile(i, j, k)->blocked = true;
    };
    crate(1, 1, 3, 3, 48);
    crate(4, 1, 5, 2, 32);
    return;
  }
}

bool alcove(Piece& p, const Surfaces& s, Box& volume) {
  const Cell& c = p.cells[0].cell;
  const int k = c.z - p.zMin, base = c.z * kCellSize;
  for (int side = 0; side < 4; ++side) {
    if (isOpen(c, side) || inner(p, c, side)) continue;
    // A wall thickened to 64 along the side, with a niche 64 wide in its
    // middle, one step up and 128 high.
    for (int along = 1; along < kTilesPerCell - 1; ++along)
      for (int depth = 1; depth <= 3; ++depth) {
        int i = 0, j = 0;
        sideTile(c, side, along, depth, i, j);
        Tile& t = *p.tile(i, j, k);
        if (t.floor == kWallTile) continue;
        const bool niche = along >= 6 && along <= 9;
        if (niche) {
          t.floor = 32;
          t.ceiling = 144;
        } else {
          t.floor = t.ceiling;
        }
      }
    int i0 = 0, j0 = 0, i1 = 0, j1 = 0;
    sideTile(c, side, 6, 1, i0, j0);
    sideTile(c, side, 9, 3, i1, j1);
    if (i0 > i1) std::swap(i0, i1);
    if (j0 > j1) std::swap(j0, j1);
    ++i1;
    ++j1;
    // The lintel over the niche.
    p.boxes.push_back({i0 * kTile, j0 * kTile, base + 144, i1 * kTile, j1 * kTile,
                       base + p.cells[0].ceilingAt, p.theme->wall});
    volume = {i0 * kTile, j0 * kTile, base + 32, i1 * kTile, j1 * kTile, base + 144, s.trigger};
    return true;
  }
  return false;
}

Box doorwayFront(const Cell& c, int side, int depth0, int depth1, int z0, int z1,
                 const char* texture) {
  const int bx = c.x * kCellSize, by = c.y * kCellSize, bz = c.z * kCellSize;
  switch (side) {
    case posX:
      return {bx + kCellSize - depth1, by + kDoorLow, bz + z0, bx + kCellSize - depth0,
              by + kDoorHigh,          bz + z1,       texture};
    case negX:
      return {bx + depth0, by + kDoorLow, bz + z0, bx + depth1, by + kDoorHigh, bz + z1, texture};
    case posY:
      return {bx + kDoorLow,  by + kCellSize - depth1, bz + z0,
              bx + kDoorHigh, by + kCellSize - depth0, bz + z1,
              texture};
    default:
      return {bx + kDoorLow, by + depth0, bz + z0, bx + kDoorHigh, by + depth1, bz + z1, texture};
  }
}

std::vector<int> doorways(const Piece& p, const Cell& c) {
  std::vector<int> sides;
  for (int side = 0; side < 4; ++side)
    if (isOpen(c, side) && !inner(p, c, side)) sides.push_back(side);
  return sides;
}

BrushEntity doorIn(const Cell& c, int side, const Surfaces& s, Game game) {
  const Box b = doorwayFront(c, side, 0, 16, kDoorBottom, kDoorTop, s.door);
  // Up into the lintel; once open it stays open, so nothing is shut in.
  BrushEntity door{
      {"\"classname\" \"func_door\"", "\"angle\" \"-1\"", "\"lip\" \"24\"", "\"wait\" \"-1\""},
      {b}};
  if (game == Game::quake) door.keys.push_back("\"sounds\" \"2\"");
  // The lock door of this doorway fills the same hole, and replaces it.
  door.keys.push_back("\"" + std::string(kUnlockedKey) + "\" \"" +
                      lockSpotText({{c.x, c.y, c.z}, static_cast<SideIndex>(side)}) + "\"");
  return door;
}

void atrium(Piece& p) {
  const int k = 1, last = p.ny - 2, lastI = p.nx - 2;
  for (int j = 0; j < p.ny; ++j)
    for (int i = 0; i < p.nx; ++i) {
      if (!p.inside(i, j, k)) continue;
      Tile& up = *p.tile(i, j, k);
      Tile& down = *p.tile(i, j, 0);
      const bool stairGap = j <= 4 && i >= 5 && i < 21;
      const bool ring = (i <= 4 || i >= lastI - 3 || j <= 4 || j >= last - 3) && !stairGap;
      up.hole = !ring;
      down.ceiling = ring ? 240 : kCellSize + up.ceiling;
    }
  // The stair: 16 steps of 16 units, 16 deep and 48 wide, along the -y wall.
  for (int step = 1; step <= 16; ++step) {
    const int i = 4 + step;
    p.boxes.push_back({i * kTile, 16, p.zMin * kCellSize + 16, (i + 1) * kTile, 64,
                       p.zMin * kCellSize + 16 + 16 * step, p.theme->step});
    for (int j = 1; j <= 3; ++j) p.tile(i, j, 0)->blocked = true;
  }
}

void turn(int& x, int& y) {
  const int nx = kCellSize - y;
  y = x;
  x = nx;
}

void straightStairs(Piece& p, int turns, bool anchorAbove) {
  const int lowZ = anchorAbove ? -1 : 0;
  const int dz = lowZ * kCellSize;
  for (int i = 1; i <= 16; ++i) {
    Box b{16 + 14 * (i - 1), 16, 16 * i, 240, 240, 16 * i + 16, p.theme->step};
    for (int t = 0; t < turns; ++t) {
      turn(b.x0, b.y0);
      turn(b.x1, b.y1);
    }
    if (b.x0 > b.x1) std::swap(b.x0, b.x1);
    if (b.y0 > b.y1) std::swap(b.y0, b.y1);
    b.z0 += dz;
    b.z1 += dz;
    p.boxes.push_back(b);
  }
  // Nothing else stands on the stairs.
  for (Tile& t : p.tiles) t.blocked = true;
}

}  // namespace cellforge::kit

#include "template_tool/kit_check.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <deque>
#include <map>
#include <set>

#include "platform/platform.h"
#include "templates/mmd_file.h"

namespace cellforge {
namespace {

constexpr int kVoxel = 8;
constexpr int kPerCell = kCellSize / kVoxel;

std::string cellName(const Cell& c) {
  return "cell (" + std::to_string(c.x) + " " + std::to_string(c.y) + " " + std::to_string(c.z) +
         ")";
}

std::string at(std::string_view file, int line) {
  return std::string(file) + ":" + std::to_string(line) + ": ";
}

bool parseOrigin(std::string_view v, Point3& p) {
  size_t i = 0;
  for (int64_t& c : p) {
    while (i < v.size() && v[i] == ' ') ++i;
    const size_t start = i;
    while (i < v.size() && v[i] != ' ') ++i;
    const char* end = v.data() + i;
    auto [q, ec] = std::from_chars(v.data() + start, end, c);
    if (ec != std::errc() || q != end || i == start) return false;
  }
  while (i < v.size() && v[i] == ' ') ++i;
  return i == v.size();
}

// Brushes that stop the compiler's flood: world brushes that are neither
// liquid, clip nor trigger.
bool seals(const Brush& b) {
  for (const PlaneLine& p : b.planes) {
    const std::string& t = p.texture;
    const std::string_view base =
        std::string_view(t).substr(t.rfind('/') == std::string::npos ? 0 : t.rfind('/') + 1);
    if (!base.empty() && base.front() == '*') return false;
    if (base == "clip" || base == "trigger") return false;
    if (p.hasContents && p.contents != 0 && (p.contents & 1) == 0) return false;
  }
  return true;
}

struct CellBox {
  GridCoord lo, hi;  // in cells, inclusive
};

class VoxelGrid {
 public:
  VoxelGrid(const Template& t, const CellBox& box) : box_(box) {
    for (size_t a = 0; a < 3; ++a) {
      const int32_t cells = (a == 0   ? box.hi.x - box.lo.x
                             : a == 1 ? box.hi.y - box.lo.y
                                      : box.hi.z - box.lo.z) +
                            1;
      n_[a] = cells * kPerCell + 2;
    }
    origin_ = {int64_t{box.lo.x} * kCellSize - kVoxel, int64_t{box.lo.y} * kCellSize - kVoxel,
               int64_t{box.lo.z} * kCellSize - kVoxel};
    solid_.assign(static_cast<size_t>(n_[0] * n_[1] * n_[2]), 0);
    inside_.assign(solid_.size(), 0);
    for (const Cell& c : t.cells) {
      for (int32_t i = 0; i < kPerCell; ++i)
        for (int32_t j = 0; j < kPerCell; ++j)
          for (int32_t k = 0; k < kPerCell; ++k)
            inside_[index((c.x - box.lo.x) * kPerCell + i + 1, (c.y - box.lo.y) * kPerCell + j + 1,
                          (c.z - box.lo.z) * kPerCell + k + 1)] = 1;
    }
  }

  Point3 centre(int32_t i, int32_t j, int32_t k) const {
    return {origin_[0] + i * kVoxel + kVoxel / 2, origin_[1] + j * kVoxel + kVoxel / 2,
            origin_[2] + k * kVoxel + kVoxel / 2};
  }
  int32_t voxelOf(size_t axis, double world) const {
    return static_cast<int32_t>(std::floor((world - static_cast<double>(origin_[axis])) / kVoxel));
  }

  void addBrush(const Brush& b, const Bounds& bb) {
    int32_t lo[3], hi[3];
    for (size_t a = 0; a < 3; ++a) {
      lo[a] = std::max(0, voxelOf(a, bb.lo[a]) - 1);
      hi[a] = std::min(n_[a] - 1, voxelOf(a, bb.hi[a]) + 1);
    }
    for (int32_t i = lo[0]; i <= hi[0]; ++i)
      for (int32_t j = lo[1]; j <= hi[1]; ++j)
        for (int32_t k = lo[2]; k <= hi[2]; ++k)
          if (brushContains(b, centre(i, j, k))) solid_[index(i, j, k)] = 1;
  }

  // Fills the doorway rectangle of one face, `layer` voxels from the face
  // (negative: outside it), with `value`, or tests it for air.
  template <class F>
  void forDoorway(const Cell& c, int side, int layer, F&& f) {
    const int32_t cx = (c.x - box_.lo.x) * kPerCell + 1, cy = (c.y - box_.lo.y) * kPerCell + 1,
                  cz = (c.z - box_.lo.z) * kPerCell + 1;
    const int32_t lat0 = kDoorLow / kVoxel, lat1 = kDoorHigh / kVoxel;
    const int32_t z0 = cz + kDoorBottom / kVoxel, z1 = cz + kDoorTop / kVoxel;
    for (int32_t l = lat0; l < lat1; ++l)
      for (int32_t z = z0; z < z1; ++z) {
        int32_t i = 0, j = 0;
        switch (side) {
          case 0:
            i = cx + l;
            j = cy + kPerCell - 1 - layer;
            break;  // +y
          case 1:
            i = cx + l;
            j = cy + layer;
            break;  // -y
          case 2:
            i = cx + kPerCell - 1 - layer;
            j = cy + l;
            break;  // +x
          default:
            i = cx + layer;
            j = cy + l;
            break;  // -x
        }
        f(index(i, j, z));
      }
  }

  std::vector<uint8_t>& solid() { return solid_; }

  // Floods from outside the template's cells; the first cell voxel reached,
  // if any.
  bool leak(Point3& where) {
    std::vector<uint8_t> seen(solid_.size(), 0);
    std::deque<size_t> queue;
    for (size_t v = 0; v < solid_.size(); ++v)
      if (!solid_[v] && !inside_[v]) {
        seen[v] = 1;
        queue.push_back(v);
      }
    const size_t sx = static_cast<size_t>(n_[1] * n_[2]), sy = static_cast<size_t>(n_[2]);
    while (!queue.empty()) {
      const size_t v = queue.front();
      queue.pop_front();
      if (inside_[v]) {
        const auto i = static_cast<int32_t>(v / sx), j = static_cast<int32_t>((v % sx) / sy),
                   k = static_cast<int32_t>(v % sy);
        where = centre(i, j, k);
        return true;
      }
      const auto i = static_cast<int32_t>(v / sx), j = static_cast<int32_t>((v % sx) / sy),
                 k = static_cast<int32_t>(v % sy);
      const int32_t step[6][3] = {{1, 0, 0},  {-1, 0, 0}, {0, 1, 0},
                                  {0, -1, 0}, {0, 0, 1},  {0, 0, -1}};
      for (const auto& s : step) {
        const int32_t a = i + s[0], b = j + s[1], c = k + s[2];
        if (a < 0 || b < 0 || c < 0 || a >= n_[0] || b >= n_[1] || c >= n_[2]) continue;
        const size_t w = index(a, b, c);
        if (seen[w] || solid_[w]) continue;
        seen[w] = 1;
        queue.push_back(w);
      }
    }
    return false;
  }

 private:
  size_t index(int32_t i, int32_t j, int32_t k) const {
    return (static_cast<size_t>(i) * static_cast<size_t>(n_[1]) + static_cast<size_t>(j)) *
               static_cast<size_t>(n_[2]) +
           static_cast<size_t>(k);
  }

  CellBox box_;
  int32_t n_[3]{};
  Point3 origin_{};
  std::vector<uint8_t> solid_, inside_;
};

const char* kSideNames[4] = {"+y", "-y", "+x", "-x"};

bool isOpen(const Cell& c, int side) {
  return side == 0 ? c.openPosY : side == 1 ? c.openNegY : side == 2 ? c.openPosX : c.openNegX;
}

GridCoord neighbour(const Cell& c, int side) {
  switch (side) {
    case 0:
      return {c.x, c.y + 1, c.z};
    case 1:
      return {c.x, c.y - 1, c.z};
    case 2:
      return {c.x + 1, c.y, c.z};
    default:
      return {c.x - 1, c.y, c.z};
  }
}

std::string num(double v) { return std::to_string(static_cast<long long>(std::llround(v))); }

}  // namespace

std::vector<std::string> checkPiece(const Template& t, std::string_view mmdName,
                                    const std::vector<Entity>& piece, std::string_view pieceName,
                                    Game game) {
  std::vector<std::string> problems;
  const std::string mmd(mmdName), file(pieceName);
  if (t.cells.empty()) {
    problems.push_back(mmd + ": template has no cells");
    return problems;
  }
  std::map<std::array<int32_t, 3>, const Cell*> cells;
  CellBox box{t.cells[0].coord(), t.cells[0].coord()};
  for (const Cell& c : t.cells) {
    if (!cells.emplace(std::array<int32_t, 3>{c.x, c.y, c.z}, &c).second)
      problems.push_back(mmd + ": " + cellName(c) + " is listed twice");
    box.lo = {std::min(box.lo.x, c.x), std::min(box.lo.y, c.y), std::min(box.lo.z, c.z)};
    box.hi = {std::max(box.hi.x, c.x), std::max(box.hi.y, c.y), std::max(box.hi.z, c.z)};
  }
  auto inTemplate = [&](GridCoord g) { return cells.count({g.x, g.y, g.z}) != 0; };
  if (!inTemplate({0, 0, 0}))
    problems.push_back(mmd + ": no anchor cell (no cell at offset 0 0 0)");
  if (box.hi.x - box.lo.x > 15 || box.hi.y - box.lo.y > 15 || box.hi.z - box.lo.z > 15) {
    problems.push_back(mmd + ": template spans more than 16 cells on an axis");
    return problems;
  }
  for (const Cell& c : t.cells)
    for (int s = 0; s < 4; ++s) {
      const GridCoord n = neighbour(c, s);
      auto it = cells.find({n.x, n.y, n.z});
      if (it == cells.end()) continue;
      const bool facing = isOpen(*it->second, s ^ 1);
      if (isOpen(c, s) != facing && (s & 1) == 0)
        problems.push_back(mmd + ": " + cellName(c) + " and " + cellName(*it->second) +
                           " disagree about their shared face (" + kSideNames[s] + " " +
                           (isOpen(c, s) ? "open" : "closed") + ", " + kSideNames[s ^ 1] + " " +
                           (facing ? "open" : "closed") + ")");
    }

  const double lo[3] = {double(box.lo.x) * kCellSize, double(box.lo.y) * kCellSize,
                        double(box.lo.z) * kCellSize};
  const double hi[3] = {double(box.hi.x + 1) * kCellSize, double(box.hi.y + 1) * kCellSize,
                        double(box.hi.z + 1) * kCellSize};
  auto insideBox = [&](const Point3& p) {
    for (size_t a = 0; a < 3; ++a)
      if (double(p[a]) < lo[a] || double(p[a]) > hi[a]) return false;
    return true;
  };

  const Entity* world = nullptr;
  for (const Entity& e : piece) {
    if (e.value("classname") == "worldspawn") {
      world = &e;
      break;
    }
    for (const KeyLine& k : e.keys)
      if (k.key.find("worldspawn") != std::string::npos ||
          k.value.find("worldspawn") != std::string::npos)
        problems.push_back(at(file, k.line) +
                           "mentions \"worldspawn\" before the worldspawn entity; the map "
                           "builder would take this entity for the world");
  }
  if (world == nullptr) {
    problems.push_back(file + ": no worldspawn entity");
  } else if (world->brushes.empty()) {
    problems.push_back(at(file, world->line) + "worldspawn has no brushes");
  }
  if (world != nullptr && game == Game::quake && !world->has("wad"))
    problems.push_back(at(file, world->line) +
                       "worldspawn has no \"wad\" key; Quake's compiler needs it for the textures");

  const size_t maxTexture = game == Game::quake ? 15 : 31;
  VoxelGrid voxels(t, box);
  std::vector<std::pair<const Brush*, Bounds>> solids;
  for (const Entity& e : piece)
    for (const Brush& b : e.brushes) {
      for (const PlaneLine& p : b.planes) {
        if (p.texture.size() > maxTexture)
          problems.push_back(at(file, p.line) + "texture name \"" + p.texture + "\" has " +
                             std::to_string(p.texture.size()) + " characters; " +
                             (game == Game::quake ? "Quake" : "Quake II") + " allows " +
                             std::to_string(maxTexture));
        if (p.texture.find("origin") != std::string::npos)
          problems.push_back(at(file, p.line) + "texture name \"" + p.texture +
                             "\" contains \"origin\"; the map builder would read the line as an "
                             "origin");
      }
      Bounds bb;
      if (!brushBounds(b, bb)) {
        problems.push_back(at(file, b.line) + "brush encloses no volume");
        continue;
      }
      bool out = false;
      for (size_t a = 0; a < 3; ++a)
        if (bb.lo[a] < lo[a] - 1e-6 || bb.hi[a] > hi[a] + 1e-6) out = true;
      if (out)
        problems.push_back(at(file, b.line) +
                           "brush reaches outside the template's cells (it spans " + num(bb.lo[0]) +
                           " " + num(bb.lo[1]) + " " + num(bb.lo[2]) + " to " + num(bb.hi[0]) +
                           " " + num(bb.hi[1]) + " " + num(bb.hi[2]) + ", the cells " + num(lo[0]) +
                           " " + num(lo[1]) + " " + num(lo[2]) + " to " + num(hi[0]) + " " +
                           num(hi[1]) + " " + num(hi[2]) + ")");
      if (&e == world && seals(b)) {
        voxels.addBrush(b, bb);
        solids.emplace_back(&b, bb);
      }
    }

  int starts = 0;
  for (const Entity& e : piece) {
    for (const KeyLine& k : e.keys)
      if (k.key != "origin" && (k.key.find("origin") != std::string::npos ||
                                k.value.find("origin") != std::string::npos))
        problems.push_back(at(file, k.line) +
                           "line contains \"origin\" but is not an origin key; the map builder "
                           "would rewrite it");
    if (!e.has("classname")) problems.push_back(at(file, e.line) + "entity has no classname");
    const std::string cls = e.value("classname");
    if (!e.has("origin")) {
      if (cls == "info_player_start")
        problems.push_back(at(file, e.line) + "info_player_start has no origin");
      continue;
    }
    int line = e.line;
    for (const KeyLine& k : e.keys)
      if (k.key == "origin") line = k.line;
    Point3 o{};
    if (!parseOrigin(e.value("origin"), o)) {
      problems.push_back(at(file, line) + "origin must be three integers");
      continue;
    }
    if (cls == "info_player_start") ++starts;
    if (!insideBox(o)) {
      problems.push_back(at(file, line) + cls + " origin lies outside the template's cells");
      continue;
    }
    for (const auto& [b, bb] : solids)
      if (brushContainsStrictly(*b, o)) {
        problems.push_back(at(file, line) + cls + " origin lies inside the brush of line " +
                           std::to_string(b->line));
        break;
      }
    if (cls == "info_player_start") {
      for (size_t a = 0; a < 3; ++a)
        if (o[a] < 0 || o[a] >= kCellSize) {
          problems.push_back(at(file, line) +
                             "info_player_start lies outside the anchor cell (0..256 on each "
                             "axis)");
          break;
        }
      // The player's box: 32 x 32, 24 below the origin and 32 above.
      const double plo[3] = {double(o[0]) - 16, double(o[1]) - 16, double(o[2]) - 24};
      const double phi[3] = {double(o[0]) + 16, double(o[1]) + 16, double(o[2]) + 32};
      for (const auto& [b, bb] : solids) {
        bool overlap = true;
        for (size_t a = 0; a < 3; ++a)
          if (bb.hi[a] <= plo[a] || bb.lo[a] >= phi[a]) overlap = false;
        if (overlap) {
          problems.push_back(at(file, line) +
                             "the player's box at this start overlaps the brush of line " +
                             std::to_string(b->line));
          break;
        }
      }
    }
  }
  if (starts == 0)
    problems.push_back(file +
                       ": no info_player_start (the first occupied cell's start is the "
                       "map's)");

  if (world == nullptr || world->brushes.empty()) return problems;
  // Seal: cap every open side's doorway from outside, then flood inwards.
  for (const Cell& c : t.cells)
    for (int s = 0; s < 4; ++s)
      if (isOpen(c, s) && !inTemplate(neighbour(c, s)))
        voxels.forDoorway(c, s, -1, [&](size_t v) { voxels.solid()[v] = 1; });
  Point3 w{};
  if (voxels.leak(w))
    problems.push_back(file + ": the piece leaks: air at " + std::to_string(w[0]) + " " +
                       std::to_string(w[1]) + " " + std::to_string(w[2]) +
                       " reaches the outside (only the doorways of open sides, x/y 64..192 and "
                       "16..144 above the cell's floor, may be open)");
  for (const Cell& c : t.cells)
    for (int s = 0; s < 4; ++s) {
      if (!isOpen(c, s) || inTemplate(neighbour(c, s))) continue;
      bool blocked = false;
      voxels.forDoorway(c, s, 0, [&](size_t v) { blocked = blocked || voxels.solid()[v] != 0; });
      if (blocked)
        problems.push_back(file + ": " + cellName(c) + " side " + kSideNames[s] +
                           " is open but has no passage through the middle of its face (64..192 "
                           "across, 16..144 above the cell's floor), so it won't line up with the "
                           "neighbour's");
    }
  return problems;
}

std::vector<std::string> checkKit(const std::string& folder, Game game) {
  std::vector<std::string> problems;
  auto names = platform::listFolder(folder, "*.mmd");
  if (!names) return {names.message()};
  if (names->empty()) return {folder + ": no .mmd template files"};

  struct Loaded {
    std::string mmd;
    Template t;
    std::vector<Entity> piece;
    bool havePiece = false;
  };
  std::vector<Loaded> loaded;
  std::map<int32_t, std::string> ids;
  for (const std::string& name : *names) {
    const std::string path = folder + name;
    auto bytes = platform::readFile(path);
    if (!bytes) {
      problems.push_back(bytes.message());
      continue;
    }
    auto t = parseMmd(*bytes, path);
    if (!t) {
      problems.push_back(t.message());
      continue;
    }
    if (t->id == 0) problems.push_back(path + ": template id 0 never produces geometry");
    if (auto [it, fresh] = ids.emplace(t->id, path); !fresh)
      problems.push_back(path + ": id " + std::to_string(t->id) + " is already used by " +
                         it->second);
    Loaded l{path, std::move(*t), {}, false};
    const std::string& piece = l.t.name;
    if (piece.empty() || piece.front() == '/' || piece.front() == '\\' ||
        piece.find(':') != std::string::npos || piece.find("..") != std::string::npos) {
      problems.push_back(path + ": piece name \"" + piece +
                         "\" must be a plain name inside the kit folder");
    } else if (auto text = platform::readFile(folder + piece); !text) {
      problems.push_back(path + ": piece text \"" + piece + "\" is missing (" + text.message() +
                         ")");
    } else if (auto parsed = parsePieceText(*text, folder + piece); !parsed) {
      problems.push_back(parsed.message());
    } else {
      l.piece = std::move(*parsed);
      l.havePiece = true;
    }
    loaded.push_back(std::move(l));
  }

  if (game == Game::automatic) {
    game = Game::quake2;
    for (const Loaded& l : loaded)
      for (const Entity& e : l.piece)
        if (e.value("classname") == "worldspawn" && e.has("wad")) game = Game::quake;
  }
  const Loaded* firstWorld = nullptr;
  std::vector<std::pair<std::string, std::string>> worldKeys;
  for (const Loaded& l : loaded) {
    if (!l.havePiece) continue;
    std::vector<std::string> found = checkPiece(l.t, l.mmd, l.piece, folder + l.t.name, game);
    problems.insert(problems.end(), found.begin(), found.end());
    for (const Entity& e : l.piece) {
      if (e.value("classname") != "worldspawn") continue;
      std::vector<std::pair<std::string, std::string>> keys;
      for (const KeyLine& k : e.keys) keys.emplace_back(k.key, k.value);
      if (firstWorld == nullptr) {
        firstWorld = &l;
        worldKeys = keys;
      } else if (keys != worldKeys) {
        problems.push_back(at(folder + l.t.name, e.line) + "worldspawn keys differ from those of " +
                           folder + firstWorld->t.name +
                           " (the map keeps only the first occupied cell's)");
      }
      break;
    }
  }
  return problems;
}

}  // namespace cellforge

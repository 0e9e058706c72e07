#include "template_tool/kit_check.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <deque>

#include "client/level_rules.h"
#include "platform/platform.h"
#include "template_tool/walk_check.h"
#include "templates/mmd_file.h"

namespace cellforge {
namespace {

using maptext::Line;
using maptext::LineKind;

constexpr int kVoxel = 8;
constexpr int kPerCell = kCellSize / kVoxel;
constexpr int kMaxSpan = 16;  // cells along an axis

std::string cellName(const Cell& c) {
  return "cell (" + std::to_string(c.x) + " " + std::to_string(c.y) + " " + std::to_string(c.z) +
         ")";
}

GridCoord neighbour(const Cell& c, int side) { return c.coord() + kSides[side].step; }

std::string num(double v) { return std::to_string(static_cast<long long>(std::llround(v))); }

std::string_view textureBase(std::string_view texture) {
  const size_t slash = texture.rfind('/');
  return slash == std::string_view::npos ? texture : texture.substr(slash + 1);
}

bool integer(std::string_view s, int64_t& v) {
  const char* end = s.data() + s.size();
  auto [p, ec] = std::from_chars(s.data(), end, v);
  return ec == std::errc() && p == end;
}

bool decimal(std::string_view s) {
  double d = 0;
  const char* end = s.data() + s.size();
  auto [p, ec] = std::from_chars(s.data(), end, d);
  return ec == std::errc() && p == end;
}

// Quake II contents flags after the texture values, when given.
bool contentsOf(const maptext::PlaneLine& plane, int64_t& contents) {
  const auto values = plane.values();
  return values.size() == 8 && integer(values[5], contents);
}

void classify(BrushFacts& b, bool world) {
  b.seals = b.blocksShut = b.hasVolume;
  for (const Line* line : b.planeLines) {
    const maptext::PlaneLine plane = maptext::splitPlaneLine(line->text);
    const std::string_view base = textureBase(plane.texture());
    int64_t contents = 0;
    const bool flagged = contentsOf(plane, contents) && contents != 0;
    if ((!base.empty() && base.front() == '*') || base == "trigger" ||
        (flagged && (contents & (8 | 16 | 32)) != 0)) {
      b.seals = b.blocksShut = false;  // liquids and triggers
    }
    if (base == "clip" || (flagged && (contents & 1) == 0)) b.seals = false;
    // Solid, window or player clip.
    if (flagged && (contents & (1 | 2 | 0x10000)) == 0) b.blocksShut = false;
  }
  b.seals = b.seals && world;
  b.blocksPlayer = b.blocksShut && world;
}

}  // namespace

PieceFacts::PieceFacts(const Template& tmpl, std::string_view mmdName, const maptext::Piece& p,
                       Game g)
    : t(tmpl), mmd(mmdName), piece(p), file(p.name()), game(g) {
  if (!t.cells.empty()) {
    lo = hi = t.cells[0].coord();
    for (const Cell& c : t.cells) {
      cells.emplace(std::array<int32_t, 3>{c.x, c.y, c.z}, &c);
      lo = {std::min(lo.x, c.x), std::min(lo.y, c.y), std::min(lo.z, c.z)};
      hi = {std::max(hi.x, c.x), std::max(hi.y, c.y), std::max(hi.z, c.z)};
    }
    cellsUsable = hi.x - lo.x < kMaxSpan && hi.y - lo.y < kMaxSpan && hi.z - lo.z < kMaxSpan;
  }
  for (const maptext::Entity* e : entities())
    for (const maptext::Brush& brush : e->brushes) {
      ++brushCount;
      for (const Line& line : piece.linesOf(brush)) sideCount += line.kind == LineKind::plane;
    }
  if (!withinBounds()) return;
  for (const maptext::Entity* e : entities())
    for (const maptext::Brush& brush : e->brushes) {
      BrushFacts b;
      b.entity = e;
      b.brush = &brush;
      b.line = piece.linesOf(brush).front().number;
      std::vector<maptext::PlaneLine> planes;
      for (const Line& line : piece.linesOf(brush))
        if (line.kind == LineKind::plane) {
          b.planeLines.push_back(&line);
          planes.push_back(maptext::splitPlaneLine(line.text));
        }
      b.hasVolume = planes.size() <= kMaxPlanesPerBrush && makeBrush(planes, b.shape);
      classify(b, e == piece.world());
      brushes.push_back(std::move(b));
    }
}

std::vector<const maptext::Entity*> PieceFacts::entities() const {
  std::vector<const maptext::Entity*> used;
  for (const maptext::Entity& e : piece.entities())
    if (!e.unused) used.push_back(&e);
  return used;
}

bool PieceFacts::origin(const maptext::Entity& e, Vec3& at, const Line*& line) const {
  line = piece.keyLine(e, "origin");
  if (line == nullptr) return false;
  maptext::KeyLine key;
  maptext::splitKeyLine(line->text, key);
  const maptext::Point numbers = maptext::splitOrigin(key.value);
  for (size_t axis = 0; axis < 3; ++axis) at[axis] = maptext::numberValue(numbers[axis]);
  return true;
}

namespace {

std::string at(const PieceFacts& f, size_t line) {
  return f.file + ":" + std::to_string(line) + ": ";
}

bool insideCells(const PieceFacts& f, const Vec3& p, double margin) {
  const double lo[3] = {double(f.lo.x) * kCellSize, double(f.lo.y) * kCellSize,
                        double(f.lo.z) * kCellSize};
  const double hi[3] = {double(f.hi.x + 1) * kCellSize, double(f.hi.y + 1) * kCellSize,
                        double(f.hi.z + 1) * kCellSize};
  for (size_t a = 0; a < 3; ++a)
    if (p[a] < lo[a] - margin || p[a] > hi[a] + margin) return false;
  return true;
}

// --- the rules -------------------------------------------------------------

// The template's cells: listed once, the anchor among them, at most 16 along
// an axis, and touching cells agreeing about their shared face.
std::vector<std::string> cellRule(const PieceFacts& f) {
  std::vector<std::string> problems;
  if (f.t.cells.empty()) return {f.mmd + ": template has no cells"};
  std::map<std::array<int32_t, 3>, int> seen;
  for (const Cell& c : f.t.cells)
    if (++seen[{c.x, c.y, c.z}] == 2)
      problems.push_back(f.mmd + ": " + cellName(c) + " is listed twice");
  if (!f.inTemplate({0, 0, 0}))
    problems.push_back(f.mmd + ": no anchor cell (no cell at offset 0 0 0)");
  if (!f.cellsUsable) {
    problems.push_back(f.mmd + ": template spans more than " + std::to_string(kMaxSpan) +
                       " cells on an axis");
    return problems;
  }
  for (const Cell& c : f.t.cells)
    for (const Side& side : kSides) {
      // Each shared face once, from the cell on its lower side.
      if (side.step.x + side.step.y < 0) continue;
      const GridCoord n = c.coord() + side.step;
      auto it = f.cells.find({n.x, n.y, n.z});
      if (it == f.cells.end()) continue;
      const bool open = c.*side.open, facing = it->second->*side.facing;
      if (open != facing)
        problems.push_back(f.mmd + ": " + cellName(c) + " and " + cellName(*it->second) +
                           " disagree about their shared face (" + std::string(side.name) + " " +
                           (open ? "open" : "closed") + ", " +
                           std::string(kSides[side.opposite].name) + " " +
                           (facing ? "open" : "closed") + ")");
    }
  return problems;
}

// Few enough brushes for the geometric rules to end quickly.
std::vector<std::string> sizeRule(const PieceFacts& f) {
  if (f.withinBounds()) return {};
  return {f.file + ": " + std::to_string(f.brushCount) + " brushes with " +
          std::to_string(f.sideCount) + " planes; the check takes at most " +
          std::to_string(kMaxBrushes) + " brushes and " + std::to_string(kMaxBrushSides) +
          " planes in a piece"};
}

// Every `_depth` value as the map builder reads it, in any entity.
std::vector<std::string> depthProblems(const maptext::Piece& piece) {
  std::vector<std::string> problems;
  for (const Line& line : piece.lines()) {
    maptext::KeyLine k;
    if (line.kind != LineKind::key || !maptext::splitKeyLine(line.text, k) || k.key != kDepthKey)
      continue;
    if (auto range = parseDepthRange(k.value); !range)
      problems.push_back(piece.at(line) + range.message());
  }
  return problems;
}

std::vector<std::string> depthRule(const PieceFacts& f) { return depthProblems(f.piece); }

// A worldspawn with brushes; Quake's also names its wad.
std::vector<std::string> worldRule(const PieceFacts& f) {
  const maptext::Entity* world = f.piece.world();
  if (world == nullptr) return {f.file + ": no worldspawn entity"};
  std::vector<std::string> problems;
  const size_t line = f.piece.linesOf(*world).front().number;
  if (world->brushes.empty()) problems.push_back(at(f, line) + "worldspawn has no brushes");
  if (f.game == Game::quake && !namesWad(f.piece))
    problems.push_back(at(f, line) +
                       "worldspawn has no \"wad\" key; Quake's compiler needs it for the textures");
  return problems;
}

// Lines the compile tools read: in an entity key lines, brushes and
// comments; in a brush plane lines and comments; braces alone on their line.
std::vector<std::string> structureRule(const PieceFacts& f) {
  std::vector<std::string> problems;
  for (const maptext::Entity* e : f.entities()) {
    int depth = 0;
    for (const Line& line : f.piece.linesOf(*e)) {
      const bool comment = line.text.empty() || line.text.substr(0, 2) == "//";
      const char* fault = nullptr;
      if (line.kind == LineKind::open || line.kind == LineKind::close) {
        if (line.kind == LineKind::open && ++depth > 2) fault = "\"{\" inside a brush";
        if (line.kind == LineKind::close) --depth;
        if (!fault && line.text.size() > 1)
          fault = line.kind == LineKind::open ? "text after \"{\"" : "text after \"}\"";
      } else if (depth > 2) {
        continue;  // reported at its "{"
      } else if (depth == 1) {
        if (line.kind == LineKind::plane) fault = "plane line outside a brush";
        if (line.kind == LineKind::text && !comment)
          fault = "neither a key line (\"key\" \"value\"), a brush nor a comment";
      } else if (line.kind != LineKind::plane && !comment) {
        fault = "a brush holds only plane lines and comments";
      }
      if (fault) problems.push_back(at(f, line.number) + fault);
    }
  }
  return problems;
}

// Plane lines as the compilers take them: integer points, a texture whose
// name fits the game, and its five values (Quake II: three more optional).
std::vector<std::string> planeRule(const PieceFacts& f) {
  std::vector<std::string> problems;
  const size_t maxTexture = f.game == Game::quake ? 15 : 31;
  for (const BrushFacts& b : f.brushes)
    for (const Line* line : b.planeLines) {
      const maptext::PlaneLine plane = maptext::splitPlaneLine(line->text);
      bool integers = true;
      for (const maptext::Point& p : plane.points)
        for (std::string_view n : p) integers = integers && n.find('.') == std::string_view::npos;
      if (!integers)
        problems.push_back(
            at(f, line->number) +
            "plane points must be integers (id's compilers for both games read them as integers)");
      const std::string_view texture = plane.texture();
      const auto values = plane.values();
      const bool valuesOk =
          !texture.empty() && (values.size() == 5 || values.size() == 8) &&
          std::all_of(values.begin(), values.end(), [](std::string_view v) { return decimal(v); });
      int64_t contents = 0;
      if (!valuesOk || (values.size() == 8 && !contentsOf(plane, contents)))
        problems.push_back(at(f, line->number) +
                           "plane line needs a texture and its five values (Quake II: and "
                           "optionally contents, flags and value)");
      if (texture.size() > maxTexture)
        problems.push_back(at(f, line->number) + "texture name \"" + std::string(texture) +
                           "\" has " + std::to_string(texture.size()) + " characters; " +
                           std::string(gameLimits(f.game).game) + " allows " +
                           std::to_string(maxTexture));
    }
  return problems;
}

// Every brush encloses a volume inside the template's cells.
std::vector<std::string> brushRule(const PieceFacts& f) {
  std::vector<std::string> problems;
  for (const BrushFacts& b : f.brushes) {
    if (!b.hasVolume) {
      problems.push_back(at(f, b.line) + (b.planeLines.size() > kMaxPlanesPerBrush
                                              ? "brush has more than " +
                                                    std::to_string(kMaxPlanesPerBrush) + " planes"
                                              : std::string("brush encloses no volume")));
      continue;
    }
    if (!f.cellsUsable) continue;
    if (!insideCells(f, b.shape.lo, 1e-3) || !insideCells(f, b.shape.hi, 1e-3)) {
      const Vec3 clo{double(f.lo.x) * kCellSize, double(f.lo.y) * kCellSize,
                     double(f.lo.z) * kCellSize};
      const Vec3 chi{double(f.hi.x + 1) * kCellSize, double(f.hi.y + 1) * kCellSize,
                     double(f.hi.z + 1) * kCellSize};
      problems.push_back(at(f, b.line) + "brush reaches outside the template's cells (it spans " +
                         num(b.shape.lo[0]) + " " + num(b.shape.lo[1]) + " " + num(b.shape.lo[2]) +
                         " to " + num(b.shape.hi[0]) + " " + num(b.shape.hi[1]) + " " +
                         num(b.shape.hi[2]) + ", the cells " + num(clo[0]) + " " + num(clo[1]) +
                         " " + num(clo[2]) + " to " + num(chi[0]) + " " + num(chi[1]) + " " +
                         num(chi[2]) + ")");
    }
  }
  return problems;
}

// Every entity has a class; origins lie inside the cells and outside the
// sealing brushes.
std::vector<std::string> originRule(const PieceFacts& f) {
  std::vector<std::string> problems;
  for (const maptext::Entity* e : f.entities()) {
    if (f.piece.keyLine(*e, "classname") == nullptr)
      problems.push_back(at(f, f.piece.linesOf(*e).front().number) + "entity has no classname");
    Vec3 o{};
    const Line* line = nullptr;
    if (!f.cellsUsable || !f.origin(*e, o, line)) continue;
    const std::string cls(e->className);
    if (!insideCells(f, o, 0)) {
      problems.push_back(at(f, line->number) + cls + " origin lies outside the template's cells");
      continue;
    }
    for (const BrushFacts& b : f.brushes)
      if (b.seals && brushContains(b.shape, o, 1e-6)) {
        problems.push_back(at(f, line->number) + cls + " origin lies inside the brush of line " +
                           std::to_string(b.line));
        break;
      }
  }
  return problems;
}

// One player start at least, with an origin in the anchor cell: the map
// keeps the first occupied cell's, and any piece may be that one.
std::vector<std::string> playerStartRule(const PieceFacts& f) {
  std::vector<std::string> problems;
  int starts = 0;
  for (const maptext::Entity* e : f.entities()) {
    if (!f.piece.isPlayerStart(*e)) continue;
    Vec3 o{};
    const Line* line = nullptr;
    if (!f.origin(*e, o, line)) {
      problems.push_back(at(f, f.piece.linesOf(*e).front().number) + std::string(e->className) +
                         " has no origin");
      continue;
    }
    ++starts;
    for (size_t a = 0; a < 3; ++a)
      if (o[a] < 0 || o[a] >= kCellSize) {
        problems.push_back(at(f, line->number) + std::string(e->className) +
                           " lies outside the anchor cell (0..256 on each axis)");
        break;
      }
  }
  if (starts == 0)
    problems.push_back(f.file +
                       ": no info_player_start (the first occupied cell's start is the map's)");
  return problems;
}

// Links between entities stay inside the piece: names are made unique per
// placement, so a target naming nothing here can never fire. A changelevel
// without a map is dropped by the game, and the level could not end.
std::vector<std::string> linkRule(const PieceFacts& f) {
  std::vector<std::string_view> names;
  for (const maptext::Entity* e : f.entities())
    if (std::string_view n = f.piece.value(*e, "targetname"); !n.empty()) names.push_back(n);
  std::vector<std::string> problems;
  for (const maptext::Entity* e : f.entities()) {
    for (const Line& line : f.piece.linesOf(*e)) {
      maptext::KeyLine k;
      if (line.kind != LineKind::key || !maptext::splitKeyLine(line.text, k) ||
          !isTargetKey(k.key, f.game) || k.value.empty() ||
          std::find(names.begin(), names.end(), k.value) != names.end())
        continue;
      problems.push_back(at(f, line.number) + "\"" + std::string(k.key) + "\" \"" +
                         std::string(k.value) +
                         "\" names no entity of this piece; names are made per placement, so "
                         "it cannot reach another piece");
    }
    const bool changelevel = maptext::equalsNoCase(e->className, changelevelClass(f.game));
    if (changelevel && f.piece.value(*e, "map").empty())
      problems.push_back(at(f, f.piece.linesOf(*e).front().number) + std::string(e->className) +
                         " has no \"map\"; the game drops it and the level cannot end");
  }
  return problems;
}

std::string coordName(GridCoord c) {
  return std::to_string(c.x) + " " + std::to_string(c.y) + " " + std::to_string(c.z);
}

std::string doorwayName(GridCoord c, int side) {
  return "the doorway of cell (" + coordName(c) + ") side " + std::string(kSides[side].name);
}

// An entity marked with a doorway ("_lock", or "_unlocked"): its line and
// the doorway it names, or why that is no doorway of the piece.
struct LockMark {
  const maptext::Entity* entity = nullptr;
  const Line* line = nullptr;
  const Cell* cell = nullptr;  // null with a fault
  LockSpot spot;
  std::string fault;
};

std::vector<LockMark> lockMarks(const PieceFacts& f, std::string_view mark = kLockKey) {
  std::vector<LockMark> marks;
  for (const maptext::Entity* e : f.entities()) {
    const Line* line = f.piece.keyLine(*e, mark);
    if (line == nullptr) continue;
    maptext::KeyLine k;
    maptext::splitKeyLine(line->text, k);
    LockMark m{e, line, nullptr, {}, {}};
    const std::string said = std::string(mark) + " \"" + std::string(k.value) + "\": ";
    if (auto spot = parseLockSpot(mark, k.value); !spot) {
      m.fault = spot.message();
    } else {
      m.spot = *spot;
      const GridCoord c = spot->cell;
      const std::string side(kSides[spot->side].name);
      const auto it = f.cells.find({c.x, c.y, c.z});
      if (it == f.cells.end())
        m.fault = said + "the piece has no cell (" + coordName(c) + ")";
      else if (!isOpen(*it->second, spot->side))
        m.fault = said + "side " + side + " of cell (" + coordName(c) +
                  ") is closed: there is no doorway to lock";
      else if (f.inTemplate(neighbour(*it->second, spot->side)))
        m.fault = said + "side " + side + " of cell (" + coordName(c) + ") opens into cell (" +
                  coordName(neighbour(*it->second, spot->side)) +
                  ") of the piece, not onto a doorway";
      else
        m.cell = it->second;
    }
    marks.push_back(std::move(m));
  }
  return marks;
}

using LockSets = std::map<std::array<int32_t, 4>, std::vector<const LockMark*>>;

// The entities of each doorway's lock, by cell and side.
LockSets lockSets(const std::vector<LockMark>& marks) {
  LockSets sets;
  for (const LockMark& m : marks)
    if (m.cell != nullptr)
      sets[{m.cell->x, m.cell->y, m.cell->z, int32_t{m.spot.side}}].push_back(&m);
  return sets;
}

// Every "_lock" names a doorway of the piece; a piece with locks locks
// every doorway (the level picks which it writes), each with a door.
std::vector<std::string> lockRule(const PieceFacts& f) {
  std::vector<std::string> problems;
  const std::vector<LockMark> marks = lockMarks(f);
  const auto faults = [&](const std::vector<LockMark>& some) {
    for (const LockMark& m : some)
      if (!m.fault.empty()) problems.push_back(at(f, m.line->number) + m.fault);
  };
  faults(marks);
  faults(lockMarks(f, kUnlockedKey));
  const LockSets sets = lockSets(marks);
  if (sets.empty()) return problems;
  for (const Cell& c : f.t.cells)
    for (int s = 0; s < 4; ++s)
      if (isOpen(c, s) && !f.inTemplate(neighbour(c, s)) && !sets.count({c.x, c.y, c.z, s}))
        problems.push_back(f.file + ": " + doorwayName(c.coord(), s) +
                           " has no lock; a piece with locks has one in every doorway");
  if (!f.withinBounds()) return problems;
  // Clang 14 lambdas can't capture structured bindings.
  for (const auto& entry : sets) {
    const auto& where = entry.first;
    const auto& set = entry.second;
    const bool door = std::any_of(f.brushes.begin(), f.brushes.end(), [&](const BrushFacts& b) {
      return b.blocksShut && std::any_of(set.begin(), set.end(),
                                         [&](const LockMark* m) { return m->entity == b.entity; });
    });
    if (!door)
      problems.push_back(at(f, set.front()->line->number) + "the lock of " +
                         doorwayName({where[0], where[1], where[2]}, where[3]) +
                         " has no door: no brush of its entities blocks the player");
  }
  return problems;
}

bool boxesMeet(const Vec3& alo, const Vec3& ahi, const Vec3& blo, const Vec3& bhi) {
  for (size_t a = 0; a < 3; ++a)
    if (ahi[a] <= blo[a] + 0.01 || bhi[a] <= alo[a] + 0.01) return false;
  return true;
}

// A key spot: one point entity of the game's first key, marked "_key" "1",
// its box clear of the doorways' holes, of brush entities (locks, exits,
// triggers) and of the boxes of the start, items and monsters.
std::vector<std::string> keySpotRule(const PieceFacts& f) {
  std::vector<std::string> problems;
  const std::string keyClass(keyKind(f.game, 1).itemClass);
  size_t first = 0;
  for (const maptext::Entity* e : f.entities()) {
    const Line* line = f.piece.keyLine(*e, kKeySpotKey);
    if (line == nullptr) continue;
    maptext::KeyLine k;
    maptext::splitKeyLine(line->text, k);
    const std::string cls(e->className);
    if (k.value != "1")
      problems.push_back(at(f, line->number) + std::string(kKeySpotKey) + " \"" +
                         std::string(k.value) +
                         "\" must be \"1\" (the level writes the class of the key it holds)");
    if (!e->brushes.empty()) {
      problems.push_back(at(f, line->number) + std::string(kKeySpotKey) + " on a brush entity (" +
                         cls + "); a key spot is a point entity, a " + keyClass);
      continue;
    }
    if (!maptext::equalsNoCase(cls, keyClass)) {
      problems.push_back(at(f, line->number) + std::string(kKeySpotKey) +
                         " on a point entity of class " + cls + "; a key spot is a " + keyClass +
                         " (the level writes the class of the key it holds)");
      continue;
    }
    if (first != 0) {
      problems.push_back(at(f, line->number) + "a second key spot (the first is on line " +
                         std::to_string(first) + "); a piece has at most one");
      continue;
    }
    first = line->number;
    Vec3 o{};
    const Line* originLine = nullptr;
    if (!f.geometric() || !f.origin(*e, o, originLine)) continue;
    const BoxSize box = walkClassOf(cls, f.game).box;
    const Vec3 lo{o[0] + box.mins[0], o[1] + box.mins[1], o[2] + box.mins[2]};
    const Vec3 hi{o[0] + box.maxs[0], o[1] + box.maxs[1], o[2] + box.maxs[2]};
    const std::string prefix = at(f, originLine->number) + "the key spot's box ";
    for (const Cell& c : f.t.cells)
      for (int s = 0; s < 4; ++s) {
        if (!isOpen(c, s) || f.inTemplate(neighbour(c, s))) continue;
        // The hole in the wall, 16 deep.
        const GridCoord step = kSides[s].step;
        const double bx = double(c.x) * kCellSize, by = double(c.y) * kCellSize,
                     bz = double(c.z) * kCellSize;
        Vec3 hlo{bx + kDoorLow, by + kDoorLow, bz + kDoorBottom};
        Vec3 hhi{bx + kDoorHigh, by + kDoorHigh, bz + kDoorTop};
        if (step.x != 0) {
          hlo[0] = step.x > 0 ? bx + kCellSize - 16 : bx;
          hhi[0] = hlo[0] + 16;
        } else {
          hlo[1] = step.y > 0 ? by + kCellSize - 16 : by;
          hhi[1] = hlo[1] + 16;
        }
        if (boxesMeet(lo, hi, hlo, hhi))
          problems.push_back(prefix + "reaches into " + doorwayName(c.coord(), s));
      }
    for (const BrushFacts& b : f.brushes)
      if (b.entity != f.piece.world() && b.hasVolume && boxOverlaps(b.shape, box, o, 0.01))
        problems.push_back(prefix + "overlaps the brush of line " + std::to_string(b.line) + " (" +
                           std::string(b.entity->className) + ")");
    for (const maptext::Entity* other : f.entities()) {
      const WalkClass kind = walkClassOf(other->className, f.game);
      Vec3 p{};
      const Line* otherLine = nullptr;
      if (other == e || kind.role == WalkRole::none || kind.role == WalkRole::exit ||
          !f.origin(*other, p, otherLine))
        continue;
      const Vec3 plo{p[0] + kind.box.mins[0], p[1] + kind.box.mins[1], p[2] + kind.box.mins[2]};
      const Vec3 phi{p[0] + kind.box.maxs[0], p[1] + kind.box.maxs[1], p[2] + kind.box.maxs[2]};
      if (boxesMeet(lo, hi, plo, phi))
        problems.push_back(prefix + "overlaps the box of the " + std::string(other->className) +
                           " of line " + std::to_string(otherLine->number));
    }
  }
  return problems;
}

// The boxes of the player start, items and monsters (each class its own)
// clear of every brush the player collides with.
std::vector<std::string> entityBoxRule(const PieceFacts& f) {
  std::vector<std::string> problems;
  for (const maptext::Entity* e : f.entities()) {
    const WalkClass kind = walkClassOf(e->className, f.game);
    Vec3 o{};
    const Line* line = nullptr;
    if (kind.role == WalkRole::none || kind.role == WalkRole::exit || !f.origin(*e, o, line))
      continue;
    for (const BrushFacts& b : f.brushes)
      if (b.blocksPlayer && boxOverlaps(b.shape, kind.box, o, 0.01)) {
        problems.push_back(at(f, line->number) + "the box of this " + std::string(e->className) +
                           " (" + num(kind.box.mins[0]) + " " + num(kind.box.mins[1]) + " " +
                           num(kind.box.mins[2]) + " to " + num(kind.box.maxs[0]) + " " +
                           num(kind.box.maxs[1]) + " " + num(kind.box.maxs[2]) +
                           " about its origin) overlaps the brush of line " +
                           std::to_string(b.line));
        break;
      }
  }
  return problems;
}

class VoxelGrid {
 public:
  explicit VoxelGrid(const PieceFacts& f) : f_(f) {
    const GridCoord span{f.hi.x - f.lo.x + 1, f.hi.y - f.lo.y + 1, f.hi.z - f.lo.z + 1};
    n_ = {span.x * kPerCell + 2, span.y * kPerCell + 2, span.z * kPerCell + 2};
    origin_ = {int64_t{f.lo.x} * kCellSize - kVoxel, int64_t{f.lo.y} * kCellSize - kVoxel,
               int64_t{f.lo.z} * kCellSize - kVoxel};
    solid_.assign(
        static_cast<size_t>(n_[0]) * static_cast<size_t>(n_[1]) * static_cast<size_t>(n_[2]), 0);
    inside_.assign(solid_.size(), 0);
    for (const Cell& c : f.t.cells)
      for (int32_t i = 0; i < kPerCell; ++i)
        for (int32_t j = 0; j < kPerCell; ++j)
          for (int32_t k = 0; k < kPerCell; ++k)
            inside_[index((c.x - f.lo.x) * kPerCell + i + 1, (c.y - f.lo.y) * kPerCell + j + 1,
                          (c.z - f.lo.z) * kPerCell + k + 1)] = 1;
  }

  Vec3 centre(int32_t i, int32_t j, int32_t k) const {
    return {double(origin_[0] + i * kVoxel + kVoxel / 2),
            double(origin_[1] + j * kVoxel + kVoxel / 2),
            double(origin_[2] + k * kVoxel + kVoxel / 2)};
  }
  int32_t voxelOf(size_t axis, double world) const {
    return static_cast<int32_t>(std::floor((world - double(origin_[axis])) / kVoxel));
  }

  void addBrush(const ConvexBrush& b) {
    int32_t lo[3], hi[3];
    for (size_t a = 0; a < 3; ++a) {
      lo[a] = std::max(0, voxelOf(a, b.lo[a]) - 1);
      hi[a] = std::min(n_[a] - 1, voxelOf(a, b.hi[a]) + 1);
    }
    for (int32_t i = lo[0]; i <= hi[0]; ++i)
      for (int32_t j = lo[1]; j <= hi[1]; ++j)
        for (int32_t k = lo[2]; k <= hi[2]; ++k)
          if (brushContains(b, centre(i, j, k), -1e-6)) solid_[index(i, j, k)] = 1;
  }

  // The doorway rectangle of one face, `layer` voxels in from the face
  // (negative: outside it).
  template <class F>
  void forDoorway(const Cell& c, int side, int layer, F&& f) {
    const int32_t cx = (c.x - f_.lo.x) * kPerCell + 1, cy = (c.y - f_.lo.y) * kPerCell + 1,
                  cz = (c.z - f_.lo.z) * kPerCell + 1;
    for (int32_t l = kDoorLow / kVoxel; l < kDoorHigh / kVoxel; ++l)
      for (int32_t z = cz + kDoorBottom / kVoxel; z < cz + kDoorTop / kVoxel; ++z) {
        int32_t i = 0, j = 0;
        switch (side) {
          case posY:
            i = cx + l;
            j = cy + kPerCell - 1 - layer;
            break;
          case negY:
            i = cx + l;
            j = cy + layer;
            break;
          case posX:
            i = cx + kPerCell - 1 - layer;
            j = cy + l;
            break;
          default:
            i = cx + layer;
            j = cy + l;
            break;
        }
        f(index(i, j, z));
      }
  }

  std::vector<uint8_t>& solid() { return solid_; }

  // Floods from outside the template's cells; the first cell voxel reached,
  // if any.
  bool leak(Vec3& where) {
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
      const auto i = static_cast<int32_t>(v / sx), j = static_cast<int32_t>((v % sx) / sy),
                 k = static_cast<int32_t>(v % sy);
      if (inside_[v]) {
        where = centre(i, j, k);
        return true;
      }
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

  const PieceFacts& f_;
  std::array<int32_t, 3> n_{};
  std::array<int64_t, 3> origin_{};
  std::vector<uint8_t> solid_, inside_;
};

// Sealed: with the doorways of its open sides capped, a flood over an 8-unit
// voxel grid of the sealing brushes reaches no air inside, and each open
// side's doorway is clear.
std::vector<std::string> sealRule(const PieceFacts& f) {
  const maptext::Entity* world = f.piece.world();
  if (!f.geometric() || world == nullptr || world->brushes.empty()) return {};
  std::vector<std::string> problems;
  double volume = 0;
  for (const BrushFacts& b : f.brushes)
    if (b.seals)
      volume += (b.shape.hi[0] - b.shape.lo[0] + 2 * kVoxel) *
                (b.shape.hi[1] - b.shape.lo[1] + 2 * kVoxel) *
                (b.shape.hi[2] - b.shape.lo[2] + 2 * kVoxel) / (kVoxel * kVoxel * kVoxel);
  if (volume > kMaxSealVoxels)
    return {f.file + ": too many brushes over too much room to check the seal (" + num(volume) +
            " brush voxels; the check takes at most " + num(kMaxSealVoxels) + ")"};
  VoxelGrid voxels(f);
  for (const BrushFacts& b : f.brushes)
    if (b.seals) voxels.addBrush(b.shape);
  for (const Cell& c : f.t.cells)
    for (int s = 0; s < 4; ++s)
      if (isOpen(c, s) && !f.inTemplate(neighbour(c, s)))
        voxels.forDoorway(c, s, -1, [&](size_t v) { voxels.solid()[v] = 1; });
  Vec3 w{};
  if (voxels.leak(w))
    problems.push_back(f.file + ": the piece leaks: air at " + num(w[0]) + " " + num(w[1]) + " " +
                       num(w[2]) +
                       " reaches the outside (only the doorways of open sides, x/y 64..192 and "
                       "16..144 above the cell's floor, may be open)");
  for (const Cell& c : f.t.cells)
    for (int s = 0; s < 4; ++s) {
      if (!isOpen(c, s) || f.inTemplate(neighbour(c, s))) continue;
      bool blocked = false;
      voxels.forDoorway(c, s, 0, [&](size_t v) { blocked = blocked || voxels.solid()[v] != 0; });
      if (blocked)
        problems.push_back(f.file + ": " + cellName(c) + " side " + std::string(kSides[s].name) +
                           " is open but has no passage through the middle of its face (64..192 "
                           "across, 16..144 above the cell's floor), so it won't line up with the "
                           "neighbour's");
    }
  return problems;
}

// Walkable: see walkPiece.
std::vector<std::string> walkRule(const PieceFacts& f) {
  if (!f.geometric() || f.piece.world() == nullptr) return {};
  WalkPiece walk;
  walk.file = f.file;
  walk.t = &f.t;
  for (const BrushFacts& b : f.brushes)
    if (b.blocksPlayer) walk.solids.push_back(&b.shape);
  std::vector<std::string> problems;
  const std::vector<bool> exits = exitEntities(f.piece, f.game);
  for (const maptext::Entity* e : f.entities()) {
    WalkEntity w;
    w.className = std::string(e->className);
    w.line = f.piece.linesOf(*e).front().number;
    // The player touches the exit's trigger: Quake's changelevel itself, the
    // brush entity that fires Quake II's.
    const auto index = static_cast<size_t>(e - f.piece.entities().data());
    if (exits[index] && (f.game == Game::quake || !e->brushes.empty())) {
      w.role = WalkRole::exit;
      for (const BrushFacts& b : f.brushes)
        if (b.entity == e && b.hasVolume) w.brushes.push_back(&b.shape);
      if (w.brushes.empty()) {
        problems.push_back(at(f, w.line) + w.className + " has no brush for the player to touch");
        continue;
      }
      walk.entities.push_back(std::move(w));
      continue;
    }
    const WalkClass kind = walkClassOf(e->className, f.game);
    const Line* line = nullptr;
    if (kind.role == WalkRole::none || !f.origin(*e, w.origin, line)) continue;
    w.line = line->number;
    w.role = kind.role;
    w.box = kind.box;
    w.drops = kind.drops;
    walk.entities.push_back(std::move(w));
  }
  // Each doorway's lock: its doors' brushes, solid while shut, and what the
  // player touches to open it (its triggers; a Quake door itself).
  const std::vector<LockMark> marks = lockMarks(f);
  for (const auto& entry : lockSets(marks)) {
    const auto& set = entry.second;
    WalkLock lock{set.front()->cell, set.front()->spot.side, set.front()->line->number, {}, {}};
    for (const BrushFacts& b : f.brushes)
      if (b.hasVolume && std::any_of(set.begin(), set.end(),
                                     [&](const LockMark* m) { return m->entity == b.entity; }))
        (b.blocksShut ? lock.doors : lock.opener).push_back(&b.shape);
    if (lock.opener.empty()) lock.opener = lock.doors;
    if (!lock.doors.empty()) walk.locks.push_back(std::move(lock));
  }
  const std::vector<std::string> more = walkPiece(walk);
  problems.insert(problems.end(), more.begin(), more.end());
  return problems;
}

constexpr PieceRule kPieceRules[] = {
    {"cells", cellRule},
    {"size", sizeRule},
    {"depth", depthRule},
    {"worldspawn", worldRule},
    {"structure", structureRule},
    {"planes", planeRule},
    {"brushes", brushRule},
    {"origins", originRule},
    {"player start", playerStartRule},
    {"links", linkRule},
    {"locks", lockRule},
    {"key spot", keySpotRule},
    {"entity boxes", entityBoxRule},
    {"seal", sealRule},
    {"walk", walkRule},
};

}  // namespace

std::span<const PieceRule> pieceRules() { return kPieceRules; }

std::vector<std::string> checkPiece(const Template& t, std::string_view mmdName,
                                    const maptext::Piece& piece, Game game) {
  const PieceFacts facts(t, mmdName, piece, game);
  std::vector<std::string> problems;
  for (const PieceRule& rule : pieceRules()) {
    std::vector<std::string> found = rule.check(facts);
    problems.insert(problems.end(), found.begin(), found.end());
  }
  return problems;
}

bool namesWad(const maptext::Piece& piece) {
  return piece.world() != nullptr && piece.keyLine(*piece.world(), "wad") != nullptr;
}

std::vector<std::string> checkKit(const std::string& folder, std::optional<Game> chosen) {
  std::vector<std::string> problems;
  auto names = platform::listFolder(folder, "*.mmd");
  if (!names) return {names.message()};
  if (names->empty()) return {folder + ": no .mmd template files"};

  struct Loaded {
    std::string mmd;
    Template t;
    std::vector<maptext::Piece> piece;  // none when it could not be read
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
    Loaded l{path, std::move(*t), {}};
    const std::string& piece = l.t.name;
    // The map builder's own words for what it refuses.
    if (!maptext::isSafePieceName(piece)) {
      problems.push_back(path + ": piece text name \"" + piece +
                         "\" is not a file inside the source folder");
    } else if (auto text = platform::readFile(folder + piece); !text) {
      problems.push_back(path + ": piece text \"" + piece + "\" is missing (" + text.message() +
                         ")");
    } else {
      maptext::Piece read = maptext::Piece::parse(std::move(*text), folder + piece);
      problems.insert(problems.end(), read.warnings().begin(), read.warnings().end());
      if (read.fault().empty()) {
        l.piece.push_back(std::move(read));
      } else {
        // What the map builder says first: a malformed _depth as it loads
        // the piece, then the line it could not write.
        const std::vector<std::string> depth = depthProblems(read);
        problems.insert(problems.end(), depth.begin(), depth.end());
        problems.push_back(read.fault());
      }
    }
    loaded.push_back(std::move(l));
  }

  const bool wad = std::any_of(loaded.begin(), loaded.end(), [](const Loaded& l) {
    return !l.piece.empty() && namesWad(l.piece.front());
  });
  const Game game = chosen ? *chosen : wad ? Game::quake : Game::quake2;
  const Loaded* firstWorld = nullptr;
  std::vector<std::pair<std::string_view, std::string_view>> worldKeys;
  for (const Loaded& l : loaded) {
    if (l.piece.empty()) continue;
    const maptext::Piece& piece = l.piece.front();
    std::vector<std::string> found = checkPiece(l.t, l.mmd, piece, game);
    problems.insert(problems.end(), found.begin(), found.end());
    const maptext::Entity* world = piece.world();
    if (world == nullptr) continue;
    std::vector<std::pair<std::string_view, std::string_view>> keys;
    for (const Line& line : piece.linesOf(*world)) {
      maptext::KeyLine k;
      if ((line.kind == LineKind::key || line.kind == LineKind::origin) &&
          maptext::splitKeyLine(line.text, k))
        keys.emplace_back(k.key, k.value);
    }
    if (firstWorld == nullptr) {
      firstWorld = &l;
      worldKeys = keys;
    } else if (keys != worldKeys) {
      problems.push_back(piece.at(piece.linesOf(*world).front()) +
                         "worldspawn keys differ from those of " + folder + firstWorld->t.name +
                         " (the map keeps only the first occupied cell's)");
    }
  }
  return problems;
}

}  // namespace cellforge

#include "template_tool/render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>

#include "client/level_rules.h"
#include "template_tool/brush_geometry.h"
#include "template_tool/kit_check.h"
#include "template_tool/walk_check.h"

namespace cellforge {
namespace {

constexpr double kStorey = kCellSize;
// Walls are cut here above each storey's base: below the doorways' lintels
// (144), so doorways show as gaps, and well below the ceilings.
constexpr double kCut = 128;
constexpr double kCos30 = 0.8660254037844386;

// Seen from +x, +y, above: a point further along (1, 1, 1) is nearer.
struct Projected {
  double x = 0, y = 0;
};
Projected project(const Vec3& p) { return {(p[0] - p[1]) * kCos30, (p[0] + p[1]) * 0.5 - p[2]}; }

using Polygon = std::vector<Vec3>;

// The part of `poly` with n·p <= d.
Polygon clip(const Polygon& poly, const HalfSpace& h) {
  Polygon out;
  for (size_t i = 0; i < poly.size(); ++i) {
    const Vec3& a = poly[i];
    const Vec3& b = poly[(i + 1) % poly.size()];
    const double da = h.n[0] * a[0] + h.n[1] * a[1] + h.n[2] * a[2] - h.d;
    const double db = h.n[0] * b[0] + h.n[1] * b[1] + h.n[2] * b[2] - h.d;
    if (da <= 1e-6) out.push_back(a);
    if ((da < -1e-6 && db > 1e-6) || (da > 1e-6 && db < -1e-6)) {
      const double t = da / (da - db);
      out.push_back({a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]), a[2] + t * (b[2] - a[2])});
    }
  }
  return out;
}

// The faces of the brush cut to the slab between `low` and `high`.
std::vector<std::pair<Polygon, Vec3>> faces(const ConvexBrush& brush, double low, double high) {
  std::vector<HalfSpace> planes = brush.planes;
  planes.push_back({{0, 0, 1}, high});
  planes.push_back({{0, 0, -1}, -low});
  std::vector<std::pair<Polygon, Vec3>> out;
  for (size_t i = 0; i < planes.size(); ++i) {
    const Vec3& n = planes[i].n;
    // Two directions along the plane, then a square far larger than any map.
    const Vec3 helper = std::fabs(n[2]) < 0.9 ? Vec3{0, 0, 1} : Vec3{1, 0, 0};
    Vec3 u{n[1] * helper[2] - n[2] * helper[1], n[2] * helper[0] - n[0] * helper[2],
           n[0] * helper[1] - n[1] * helper[0]};
    const double len = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    for (double& c : u) c /= len;
    const Vec3 v{n[1] * u[2] - n[2] * u[1], n[2] * u[0] - n[0] * u[2], n[0] * u[1] - n[1] * u[0]};
    const Vec3 centre{n[0] * planes[i].d, n[1] * planes[i].d, n[2] * planes[i].d};
    constexpr double kFar = 1 << 20;
    Polygon poly;
    for (auto [a, b] : {std::pair{-1.0, -1.0}, {1.0, -1.0}, {1.0, 1.0}, {-1.0, 1.0}})
      poly.push_back({centre[0] + kFar * (a * u[0] + b * v[0]),
                      centre[1] + kFar * (a * u[1] + b * v[1]),
                      centre[2] + kFar * (a * u[2] + b * v[2])});
    for (size_t j = 0; j < planes.size() && poly.size() >= 3; ++j)
      if (j != i) poly = clip(poly, planes[j]);
    if (poly.size() >= 3) out.emplace_back(std::move(poly), n);
  }
  return out;
}

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", v);
  return buf;
}

std::string escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else if (c == '&')
      out += "&amp;";
    else if (c == '"')
      out += "&quot;";
    else
      out += c;
  }
  return out;
}

enum class Kind { start, exit, monster, item, light, other };

struct Marker {
  Vec3 at{};
  Kind kind = Kind::other;
  std::string title;
};

struct Face {
  Polygon poly;
  std::string fill;
  double opacity = 1;
};

// The visible faces of one brush within one storey, with their box.
struct Solid {
  std::vector<Face> faces;
  Vec3 lo{}, hi{};
};

// One storey's drawing, in map units.
struct Panel {
  int storey = 0;
  std::vector<Solid> solids;
  std::vector<Marker> markers;
};

// Whether `a` is drawn before `b`: a lies wholly behind b along some axis
// (we look from +x, +y, above). Boxes that overlap go by their low corner.
bool behind(const Solid& a, const Solid& b) {
  for (size_t axis = 0; axis < 3; ++axis)
    if (a.hi[axis] <= b.lo[axis] + 1e-6) return true;
  return false;
}

double lowSum(const Solid& s) { return s.lo[0] + s.lo[1] + s.lo[2]; }

// Far solids first, so nearer ones paint over them. Disjoint boxes always
// have an axis that separates them, which gives the order; only solids whose
// pictures overlap are compared.
void sortFarFirst(std::vector<Solid>& solids) {
  const size_t n = solids.size();
  std::vector<std::array<double, 4>> screen(n);  // x0, y0, x1, y1
  for (size_t i = 0; i < n; ++i) {
    screen[i] = {1e30, 1e30, -1e30, -1e30};
    for (const Face& f : solids[i].faces)
      for (const Vec3& v : f.poly) {
        const Projected q = project(v);
        screen[i] = {std::min(screen[i][0], q.x), std::min(screen[i][1], q.y),
                     std::max(screen[i][2], q.x), std::max(screen[i][3], q.y)};
      }
  }
  std::vector<std::vector<size_t>> after(n);
  std::vector<size_t> pending(n, 0);
  for (size_t i = 0; i < n; ++i)
    for (size_t j = i + 1; j < n; ++j) {
      if (screen[i][2] <= screen[j][0] || screen[j][2] <= screen[i][0] ||
          screen[i][3] <= screen[j][1] || screen[j][3] <= screen[i][1])
        continue;
      const bool ij = behind(solids[i], solids[j]), ji = behind(solids[j], solids[i]);
      const bool first = ij != ji ? ij : lowSum(solids[i]) <= lowSum(solids[j]);
      const size_t from = first ? i : j, to = first ? j : i;
      after[from].push_back(to);
      ++pending[to];
    }
  // Kahn's order, taking the lowest corner first among the ready ones; a
  // cycle (only from overlapping boxes) is broken the same way.
  std::vector<Solid> sorted;
  std::vector<bool> done(n, false);
  auto lower = [&](size_t a, size_t b) { return lowSum(solids[a]) > lowSum(solids[b]); };
  std::vector<size_t> ready;
  for (size_t i = 0; i < n; ++i)
    if (pending[i] == 0) ready.push_back(i);
  std::make_heap(ready.begin(), ready.end(), lower);
  while (sorted.size() < n) {
    size_t next = n;
    if (!ready.empty()) {
      std::pop_heap(ready.begin(), ready.end(), lower);
      next = ready.back();
      ready.pop_back();
    } else {
      for (size_t i = 0; i < n; ++i)
        if (!done[i] && (next == n || lowSum(solids[i]) < lowSum(solids[next]))) next = i;
    }
    if (done[next]) continue;
    done[next] = true;
    for (size_t to : after[next])
      if (--pending[to] == 0 && !done[to]) {
        ready.push_back(to);
        std::push_heap(ready.begin(), ready.end(), lower);
      }
    sorted.push_back(std::move(solids[next]));
  }
  solids = std::move(sorted);
}

std::string colourOf(std::string_view texture, const Vec3& n) {
  uint32_t hash = 2166136261u;
  for (char c : texture) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  const int hue = static_cast<int>(hash % 360u);
  // Light from above and from +x: tops bright, the two visible sides apart.
  const int light = n[2] > 0.5 ? 82 : n[0] > 0.5 ? 64 : n[1] > 0.5 ? 52 : 58;
  return "hsl(" + std::to_string(hue) + ",22%," + std::to_string(light) + "%)";
}

bool isLiquid(std::string_view texture) {
  auto has = [&](std::string_view word) {
    return std::search(texture.begin(), texture.end(), word.begin(), word.end(),
                       [](char a, char b) { return (a >= 'A' && a <= 'Z' ? a + 32 : a) == b; }) !=
           texture.end();
  };
  return texture.starts_with("*") || has("water") || has("slime") || has("lava");
}

Kind kindOf(std::string_view className, Game game) {
  if (className.size() >= 5 && maptext::equalsNoCase(className.substr(0, 5), "light"))
    return Kind::light;
  switch (walkClassOf(className, game).role) {
    case WalkRole::playerStart:
      return Kind::start;
    case WalkRole::monster:
      return Kind::monster;
    case WalkRole::item:
      return Kind::item;
    case WalkRole::exit:
      return Kind::exit;
    case WalkRole::none:
      break;
  }
  return Kind::other;
}

std::optional<Vec3> originOf(const maptext::Piece& map, const maptext::Entity& e) {
  const maptext::Line* line = map.keyLine(e, "origin");
  if (line == nullptr || line->kind != maptext::LineKind::origin) return std::nullopt;
  maptext::KeyLine k;
  if (!maptext::splitKeyLine(line->text, k)) return std::nullopt;
  const maptext::Point p = maptext::splitOrigin(k.value);
  return Vec3{maptext::numberValue(p[0]), maptext::numberValue(p[1]), maptext::numberValue(p[2])};
}

int storeyOf(double z) { return static_cast<int>(std::floor(z / kStorey)); }

// Every storey of the map as its own panel, lowest first.
std::vector<Panel> draw(const maptext::Piece& map, Game game) {
  std::map<int, Panel> panels;
  auto panel = [&](int storey) -> Panel& {
    Panel& p = panels[storey];
    p.storey = storey;
    return p;
  };
  const std::vector<bool> exits = exitEntities(map, game);
  const auto& entities = map.entities();
  for (size_t i = 0; i < entities.size(); ++i) {
    const maptext::Entity& e = entities[i];
    if (e.unused) continue;
    const bool trigger =
        e.className.size() >= 8 && maptext::equalsNoCase(e.className.substr(0, 8), "trigger_");
    const std::string title =
        std::string(e.className) + " (line " + std::to_string(map.lines()[e.open].number) + ")";
    Vec3 lo{1e30, 1e30, 1e30}, hi{-1e30, -1e30, -1e30};
    for (const maptext::Brush& b : e.brushes) {
      std::vector<maptext::PlaneLine> planes;
      for (const maptext::Line& l : map.linesOf(b))
        if (l.kind == maptext::LineKind::plane) planes.push_back(maptext::splitPlaneLine(l.text));
      ConvexBrush brush;
      if (planes.empty() || !makeBrush(planes, brush)) continue;
      for (size_t a = 0; a < 3; ++a) {
        lo[a] = std::min(lo[a], brush.lo[a]);
        hi[a] = std::max(hi[a], brush.hi[a]);
      }
      const std::string_view texture = planes.front().texture();
      for (int s = storeyOf(brush.lo[2]); s <= storeyOf(brush.hi[2] - 1e-6); ++s) {
        const double low = s * kStorey, high = low + kCut;
        if (brush.lo[2] >= high) continue;  // wholly above the cut
        Solid solid;
        solid.lo = {brush.lo[0], brush.lo[1], std::max(brush.lo[2], low)};
        solid.hi = {brush.hi[0], brush.hi[1], std::min(brush.hi[2], high)};
        for (auto& [poly, n] : faces(brush, low, high)) {
          if (n[0] + n[1] + n[2] <= 1e-9) continue;  // faces away from us
          Face f;
          f.poly = std::move(poly);
          if (trigger) {
            f.fill = exits[i] ? "#d22" : "#a4c";
            f.opacity = 0.35;
          } else if (isLiquid(texture)) {
            f.fill = "#38c";
            f.opacity = 0.55;
          } else {
            f.fill = colourOf(texture, n);
          }
          solid.faces.push_back(std::move(f));
        }
        if (!solid.faces.empty()) panel(s).solids.push_back(std::move(solid));
      }
    }
    if (maptext::equalsNoCase(e.className, "worldspawn")) continue;
    Kind kind = exits[i] ? Kind::exit : kindOf(e.className, game);
    std::optional<Vec3> at = originOf(map, e);
    if (!at && !e.brushes.empty() && lo[0] <= hi[0])
      at = Vec3{(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, lo[2]};
    // A Quake II exit is drawn once, at its trigger.
    if (!at || kind == Kind::other || (kind == Kind::exit && e.brushes.empty())) continue;
    panel(storeyOf((*at)[2])).markers.push_back({*at, kind, title});
  }
  std::vector<Panel> out;
  for (auto& [storey, p] : panels) {
    sortFarFirst(p.solids);
    out.push_back(std::move(p));
  }
  return out;
}

struct Box2 {
  double x0 = 1e30, y0 = 1e30, x1 = -1e30, y1 = -1e30;
  void add(Projected p) {
    x0 = std::min(x0, p.x);
    y0 = std::min(y0, p.y);
    x1 = std::max(x1, p.x);
    y1 = std::max(y1, p.y);
  }
  bool empty() const { return x0 > x1; }
};

Box2 boundsOf(const Panel& p) {
  Box2 b;
  for (const Solid& s : p.solids)
    for (const Face& f : s.faces)
      for (const Vec3& v : f.poly) b.add(project(v));
  for (const Marker& m : p.markers) b.add(project(m.at));
  if (b.empty()) b.add({0, 0});
  return b;
}

// The panel drawn with its top left corner at (left, top) and `scale`
// pixels per unit.
std::string drawPanel(const Panel& p, const Box2& bounds, double left, double top, double scale,
                      double markerSize) {
  auto at = [&](const Vec3& v) {
    const Projected q = project(v);
    return std::pair{left + (q.x - bounds.x0) * scale, top + (q.y - bounds.y0) * scale};
  };
  std::string svg;
  for (const Solid& s : p.solids)
    for (const Face& f : s.faces) {
      svg += "<polygon points=\"";
      for (size_t i = 0; i < f.poly.size(); ++i) {
        const auto [x, y] = at(f.poly[i]);
        svg += (i ? " " : "") + number(x) + "," + number(y);
      }
      svg += "\" fill=\"" + f.fill + "\"";
      if (f.opacity < 1) svg += " fill-opacity=\"" + number(f.opacity) + "\"";
      svg += " stroke=\"#333\" stroke-width=\"0.4\"/>\n";
    }
  for (const Marker& m : p.markers) {
    const auto [x, y] = at(m.at);
    static const std::map<Kind, std::pair<const char*, const char*>> kStyle{
        {Kind::start, {"#2a2", "S"}},
        {Kind::exit, {"#d22", "E"}},
        {Kind::monster, {"#e80", "M"}},
        {Kind::item, {"#27d", "I"}},
        {Kind::light, {"#ec2", ""}}};
    const auto& [colour, letter] = kStyle.at(m.kind);
    const double r = m.kind == Kind::light ? markerSize * 0.45 : markerSize;
    svg += "<g><title>" + escape(m.title) + "</title><circle cx=\"" + number(x) + "\" cy=\"" +
           number(y) + "\" r=\"" + number(r) + "\" fill=\"" + colour +
           "\" stroke=\"white\" stroke-width=\"1\"/>";
    if (*letter != '\0')
      svg += "<text x=\"" + number(x) + "\" y=\"" + number(y + r * 0.4) + "\" font-size=\"" +
             number(r * 1.2) + "\" fill=\"white\" text-anchor=\"middle\">" + letter + "</text>";
    svg += "</g>\n";
  }
  return svg;
}

constexpr double kMargin = 16;
constexpr const char* kLegend =
    "S start, E exit, M monster, I item, yellow: light; red box: exit trigger, violet: other "
    "trigger, blue: liquid. Walls cut 128 units above each storey's floor.";

std::string svgOpen(double width, double height) {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(width) + "\" height=\"" +
         number(height) +
         "\" font-family=\"sans-serif\">\n<rect width=\"100%\" height=\"100%\" "
         "fill=\"white\"/>\n";
}

}  // namespace

std::string renderMap(const maptext::Piece& map, Game game) {
  const std::vector<Panel> panels = draw(map, game);
  std::vector<Box2> bounds;
  double widest = 1, tallest = 1;
  for (const Panel& p : panels) {
    bounds.push_back(boundsOf(p));
    widest = std::max(widest, bounds.back().x1 - bounds.back().x0);
    tallest = std::max(tallest, bounds.back().y1 - bounds.back().y0);
  }
  // Pieces at half size; a big level shrinks so a panel stays about 1200
  // pixels wide.
  const double scale = std::min(0.5, 1200 / widest);
  const double panelW = widest * scale, panelH = tallest * scale, title = 20;
  const double width = kMargin + static_cast<double>(panels.size()) * (panelW + kMargin);
  const double height = kMargin + title + panelH + kMargin + 16;
  std::string svg = svgOpen(std::max(width, 420.0), height);
  for (size_t i = 0; i < panels.size(); ++i) {
    const double left = kMargin + static_cast<double>(i) * (panelW + kMargin);
    svg += "<text x=\"" + number(left) + "\" y=\"" + number(kMargin + 12) +
           "\" font-size=\"14\">storey " + std::to_string(panels[i].storey) + "</text>\n";
    svg += drawPanel(panels[i], bounds[i], left, kMargin + title, scale, 7);
  }
  svg += "<text x=\"" + number(kMargin) + "\" y=\"" + number(height - 8) + "\" font-size=\"11\">" +
         kLegend + "</text>\n</svg>\n";
  return svg;
}

std::string renderSheet(const std::vector<std::pair<std::string, maptext::Piece>>& pieces,
                        Game game) {
  constexpr double kTile = 200, kLabel = 16;
  constexpr size_t kColumns = 6;
  const size_t rows = (pieces.size() + kColumns - 1) / kColumns;
  const double width = kMargin + kColumns * (kTile + kMargin);
  const double height = kMargin + static_cast<double>(rows) * (kTile + kLabel + kMargin) + 20;
  std::string svg = svgOpen(width, height);
  for (size_t i = 0; i < pieces.size(); ++i) {
    const double left = kMargin + static_cast<double>(i % kColumns) * (kTile + kMargin);
    const double top = kMargin + static_cast<double>(i / kColumns) * (kTile + kLabel + kMargin);
    // Every storey in one view: each cut at its own height.
    Panel all;
    for (Panel& p : draw(pieces[i].second, game)) {
      all.solids.insert(all.solids.end(), p.solids.begin(), p.solids.end());
      all.markers.insert(all.markers.end(), p.markers.begin(), p.markers.end());
    }
    sortFarFirst(all.solids);
    const Box2 b = boundsOf(all);
    const double scale =
        std::min(kTile / std::max(1.0, b.x1 - b.x0), kTile / std::max(1.0, b.y1 - b.y0));
    const double dx = (kTile - (b.x1 - b.x0) * scale) / 2, dy = (kTile - (b.y1 - b.y0) * scale) / 2;
    svg += "<rect x=\"" + number(left) + "\" y=\"" + number(top) + "\" width=\"" + number(kTile) +
           "\" height=\"" + number(kTile + kLabel) + "\" fill=\"#f6f6f6\"/>\n";
    svg += drawPanel(all, b, left + dx, top + dy, scale, 5);
    svg += "<text x=\"" + number(left + kTile / 2) + "\" y=\"" + number(top + kTile + 12) +
           "\" font-size=\"11\" text-anchor=\"middle\">" + escape(pieces[i].first) + "</text>\n";
  }
  svg += "<text x=\"" + number(kMargin) + "\" y=\"" + number(height - 8) + "\" font-size=\"11\">" +
         kLegend + "</text>\n</svg>\n";
  return svg;
}

}  // namespace cellforge

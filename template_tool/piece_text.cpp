#include "template_tool/piece_text.h"

#include <charconv>
#include <cmath>

#include "foundation/stream.h"

namespace cellforge {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

bool integer(std::string_view s, int64_t& v) {
  const char* end = s.data() + s.size();
  auto [p, ec] = std::from_chars(s.data(), end, v);
  return ec == std::errc() && p == end;
}

// "( x y z ) ( x y z ) ( x y z ) texture xoff yoff rot xscale yscale [c f v]"
bool parsePlane(std::string_view line, PlaneLine& out) {
  std::vector<std::string_view> tok;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    if (line[i] == '(' || line[i] == ')') {
      tok.push_back(line.substr(i, 1));
      ++i;
      continue;
    }
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '(' && line[i] != ')')
      ++i;
    tok.push_back(line.substr(start, i - start));
  }
  size_t k = 0;
  for (Point3& p : out.points) {
    if (k >= tok.size() || tok[k++] != "(") return false;
    for (int64_t& c : p)
      if (k >= tok.size() || !integer(tok[k++], c)) return false;
    if (k >= tok.size() || tok[k++] != ")") return false;
  }
  if (k >= tok.size() || tok[k] == "(" || tok[k] == ")") return false;
  out.texture = std::string(tok[k++]);
  // Offsets, rotation and scales: five numbers; three more for Quake II.
  const size_t rest = tok.size() - k;
  if (rest != 5 && rest != 8) return false;
  for (size_t j = k; j < tok.size(); ++j) {
    double d = 0;
    auto [p, ec] = std::from_chars(tok[j].data(), tok[j].data() + tok[j].size(), d);
    if (ec != std::errc() || p != tok[j].data() + tok[j].size()) return false;
  }
  if (rest == 8) {
    out.hasContents = true;
    if (!integer(tok[k + 5], out.contents)) return false;
  }
  return true;
}

bool parseKey(std::string_view line, KeyLine& out) {
  std::string* fields[2] = {&out.key, &out.value};
  size_t i = 0;
  for (std::string* f : fields) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size() || line[i] != '"') return false;
    const size_t close = line.find('"', i + 1);
    if (close == std::string_view::npos) return false;
    *f = std::string(line.substr(i + 1, close - i - 1));
    i = close + 1;
  }
  return trim(line.substr(i)).empty();
}

struct Plane {
  std::array<int64_t, 3> n;
  int64_t d;
};

Plane planeOf(const PlaneLine& p) {
  // The map compilers' convention: normal = (p0 - p1) x (p2 - p1), outward.
  const Point3& a = p.points[0];
  const Point3& b = p.points[1];
  const Point3& c = p.points[2];
  const int64_t t1[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
  const int64_t t2[3] = {c[0] - b[0], c[1] - b[1], c[2] - b[2]};
  Plane pl{
      {t1[1] * t2[2] - t1[2] * t2[1], t1[2] * t2[0] - t1[0] * t2[2], t1[0] * t2[1] - t1[1] * t2[0]},
      0};
  pl.d = pl.n[0] * a[0] + pl.n[1] * a[1] + pl.n[2] * a[2];
  return pl;
}

int64_t side(const Plane& pl, const Point3& p) {
  return pl.n[0] * p[0] + pl.n[1] * p[1] + pl.n[2] * p[2] - pl.d;
}

}  // namespace

std::string Entity::value(std::string_view key) const {
  for (const KeyLine& k : keys)
    if (k.key == key) return k.value;
  return {};
}

bool Entity::has(std::string_view key) const {
  for (const KeyLine& k : keys)
    if (k.key == key) return true;
  return false;
}

Expected<std::vector<Entity>> parsePieceText(std::string_view text, std::string_view where) {
  std::vector<Entity> entities;
  const std::vector<std::string> lines = readAllLines(text);
  int depth = 0;
  Entity entity;
  Brush brush;
  for (size_t i = 0; i < lines.size(); ++i) {
    const int lineNo = static_cast<int>(i + 1);
    const std::string at = std::string(where) + ":" + std::to_string(lineNo) + ": ";
    const std::string_view line = trim(lines[i]);
    if (lines[i].size() > 511)
      return fail(at + "line is longer than 511 characters; the map builder would cut it");
    if (line.empty() || line.substr(0, 2) == "//") continue;
    if (line.front() == '{') {
      if (line.size() > 1) return fail(at + "text after \"{\"");
      if (depth == 0) {
        entity = Entity{};
        entity.line = lineNo;
      } else if (depth == 1) {
        brush = Brush{};
        brush.line = lineNo;
      } else {
        return fail(at + "\"{\" inside a brush");
      }
      ++depth;
    } else if (line.front() == '}') {
      if (line.size() > 1) return fail(at + "text after \"}\"");
      if (depth == 0) return fail(at + "\"}\" without its \"{\"");
      --depth;
      if (depth == 1) {
        if (brush.planes.size() < 4)
          return fail(std::string(where) + ":" + std::to_string(brush.line) +
                      ": brush has fewer than four planes");
        entity.brushes.push_back(std::move(brush));
      } else {
        entities.push_back(std::move(entity));
      }
    } else if (depth == 0) {
      return fail(at + "text outside any entity");
    } else if (depth == 1) {
      KeyLine k;
      k.line = lineNo;
      if (!parseKey(line, k)) return fail(at + "key line must be \"key\" \"value\"");
      entity.keys.push_back(std::move(k));
    } else {
      PlaneLine p;
      p.line = lineNo;
      if (!parsePlane(line, p))
        return fail(at +
                    "plane line must be three points of three integers in parentheses, a "
                    "texture and its five values");
      brush.planes.push_back(std::move(p));
    }
  }
  if (depth != 0)
    return fail(std::string(where) + ":" + std::to_string(depth == 1 ? entity.line : brush.line) +
                ": \"{\" never closed");
  return entities;
}

bool brushBounds(const Brush& b, Bounds& out) {
  std::vector<Plane> planes;
  for (const PlaneLine& p : b.planes) planes.push_back(planeOf(p));
  bool any = false;
  for (size_t i = 0; i < planes.size(); ++i)
    for (size_t j = i + 1; j < planes.size(); ++j)
      for (size_t k = j + 1; k < planes.size(); ++k) {
        const auto& a = planes[i].n;
        const auto& c = planes[j].n;
        const auto& e = planes[k].n;
        // Cramer's rule on the three plane equations.
        auto det3 = [](const std::array<double, 3>& r0, const std::array<double, 3>& r1,
                       const std::array<double, 3>& r2) {
          return r0[0] * (r1[1] * r2[2] - r1[2] * r2[1]) - r0[1] * (r1[0] * r2[2] - r1[2] * r2[0]) +
                 r0[2] * (r1[0] * r2[1] - r1[1] * r2[0]);
        };
        auto dbl = [](const std::array<int64_t, 3>& v) {
          return std::array<double, 3>{static_cast<double>(v[0]), static_cast<double>(v[1]),
                                       static_cast<double>(v[2])};
        };
        const auto r0 = dbl(a), r1 = dbl(c), r2 = dbl(e);
        const double det = det3(r0, r1, r2);
        if (std::fabs(det) < 1e-9) continue;
        const std::array<double, 3> d{static_cast<double>(planes[i].d),
                                      static_cast<double>(planes[j].d),
                                      static_cast<double>(planes[k].d)};
        std::array<double, 3> v{};
        for (int axis = 0; axis < 3; ++axis) {
          auto m0 = r0, m1 = r1, m2 = r2;
          m0[static_cast<size_t>(axis)] = d[0];
          m1[static_cast<size_t>(axis)] = d[1];
          m2[static_cast<size_t>(axis)] = d[2];
          v[static_cast<size_t>(axis)] = det3(m0, m1, m2) / det;
        }
        bool inside = true;
        for (const Plane& pl : planes) {
          const double s = static_cast<double>(pl.n[0]) * v[0] +
                           static_cast<double>(pl.n[1]) * v[1] +
                           static_cast<double>(pl.n[2]) * v[2] - static_cast<double>(pl.d);
          const double len = std::sqrt(
              static_cast<double>(pl.n[0] * pl.n[0] + pl.n[1] * pl.n[1] + pl.n[2] * pl.n[2]));
          if (s > 1e-6 * len + 1e-6) inside = false;
        }
        if (!inside) continue;
        for (size_t axis = 0; axis < 3; ++axis) {
          if (!any || v[axis] < out.lo[axis]) out.lo[axis] = v[axis];
          if (!any || v[axis] > out.hi[axis]) out.hi[axis] = v[axis];
        }
        if (!any) {
          any = true;
          out.lo = out.hi = v;
        }
      }
  if (!any) return false;
  for (size_t axis = 0; axis < 3; ++axis)
    if (out.hi[axis] - out.lo[axis] < 1e-6) return false;
  return true;
}

bool brushContains(const Brush& b, const Point3& p) {
  for (const PlaneLine& pl : b.planes)
    if (side(planeOf(pl), p) > 0) return false;
  return true;
}

bool brushContainsStrictly(const Brush& b, const Point3& p) {
  for (const PlaneLine& pl : b.planes)
    if (side(planeOf(pl), p) >= 0) return false;
  return true;
}

}  // namespace cellforge

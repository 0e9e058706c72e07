#include "client/map_census.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "client/piece_text.h"

namespace cellforge {

namespace {

using Vec = std::array<double, 3>;

Vec minus(const Vec& a, const Vec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec cross(const Vec& a, const Vec& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double dot(const Vec& a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// The half-space n . p <= d behind a plane line's three points, with the
// normal the compilers use: (p0 - p1) x (p2 - p1).
struct Plane {
  Vec n;
  double d;
};

bool equalsNoCase(std::string_view a, std::string_view b) {
  auto up = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char l, char r) { return up(l) == up(r); });
}

class Counter {
 public:
  explicit Counter(const PieceText& text) : text_(text) {}

  void add(const Vec& p) {
    for (size_t i = 0; i < 3; ++i) {
      if (!census.anyPoint || p[i] < census.lo[i]) census.lo[i] = p[i];
      if (!census.anyPoint || p[i] > census.hi[i]) census.hi[i] = p[i];
    }
    census.anyPoint = true;
  }

  // The plane of a plane line, read from the line as translating it by
  // nothing writes it: "( x y z ) ( x y z ) ( x y z ) texture...".
  Status addPlane(const PieceLine& line) {
    auto canonical = text_.translate(line, {});
    if (!canonical) return canonical.error();
    Vec p[3];
    if (std::sscanf(canonical->c_str(), "( %lf %lf %lf ) ( %lf %lf %lf ) ( %lf %lf %lf )", &p[0][0],
                    &p[0][1], &p[0][2], &p[1][0], &p[1][1], &p[1][2], &p[2][0], &p[2][1],
                    &p[2][2]) != 9)
      return fail(text_.name() + ":" + std::to_string(line.number) + ": plane line unreadable");
    const Vec n = cross(minus(p[0], p[1]), minus(p[2], p[1]));
    const double length = std::sqrt(dot(n, n));
    // Three points on one line make no plane; the compilers drop it too.
    if (length > 0.0)
      planes_.push_back({{n[0] / length, n[1] / length, n[2] / length}, dot(p[0], n) / length});
    return success();
  }

  Status addOrigin(const PieceLine& line) {
    auto canonical = text_.translate(line, {});
    if (!canonical) return canonical.error();
    KeyLine key;
    Vec o{};
    if (!parseKeyLine(*canonical, key) ||
        std::sscanf(std::string(key.value).c_str(), "%lf %lf %lf", &o[0], &o[1], &o[2]) != 3)
      return fail(text_.name() + ":" + std::to_string(line.number) + ": origin unreadable");
    add(o);
    return success();
  }

  // The corners of the brush whose planes were gathered: every point where
  // three planes meet that lies behind all the others.
  void closeBrush() {
    ++census.brushes;
    const size_t n = planes_.size();
    for (size_t i = 0; i < n; ++i)
      for (size_t j = i + 1; j < n; ++j)
        for (size_t k = j + 1; k < n; ++k) addCorner(planes_[i], planes_[j], planes_[k]);
    planes_.clear();
  }

  MapCensus census;

 private:
  void addCorner(const Plane& a, const Plane& b, const Plane& c) {
    const Vec bc = cross(b.n, c.n), ca = cross(c.n, a.n), ab = cross(a.n, b.n);
    const double det = dot(a.n, bc);
    if (std::fabs(det) < 1e-9) return;
    const Vec p{(a.d * bc[0] + b.d * ca[0] + c.d * ab[0]) / det,
                (a.d * bc[1] + b.d * ca[1] + c.d * ab[1]) / det,
                (a.d * bc[2] + b.d * ca[2] + c.d * ab[2]) / det};
    for (const Plane& q : planes_)
      if (dot(q.n, p) > q.d + 0.01) return;
    add(p);
  }

  const PieceText& text_;
  std::vector<Plane> planes_;
};

bool freedAtSpawn(const PieceBlock& block, const GameLimits& game) {
  const std::string cls = className(block);
  for (const FreedAtSpawn& f : game.freed) {
    if (cls != f.className) continue;
    if (!f.onlyWithoutTargetname) return true;
    for (const PieceLine& line : block) {
      KeyLine key;
      if (parseKeyLine(line.text, key) && key.key == "targetname" && !key.value.empty())
        return false;
    }
    return true;
  }
  return false;
}

}  // namespace

Expected<MapCensus> takeMapCensus(std::string_view mapText, std::string name,
                                  const GameLimits& game) {
  PieceText text;
  text.read(mapText, std::move(name));
  Counter counter(text);
  for (const PieceBlock& block : text.blocks()) {
    ++counter.census.entities;
    if (!equalsNoCase(className(block), "worldspawn") && !freedAtSpawn(block, game))
      ++counter.census.spawned;
    int depth = 0;
    for (const PieceLine& line : block) {
      const char first = line.text.empty() ? '\0' : line.text.front();
      if (first == '{') {
        ++depth;
      } else if (first == '}') {
        if (depth-- == 2) counter.closeBrush();
      } else if (first == '(' && depth == 2) {
        if (Status s = counter.addPlane(line); !s) return s.error();
      } else if (KeyLine key; depth == 1 && parseKeyLine(line.text, key) && key.key == "origin") {
        if (Status s = counter.addOrigin(line); !s) return s.error();
      }
    }
  }
  return counter.census;
}

}  // namespace cellforge

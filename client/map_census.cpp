#include "client/map_census.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <vector>

#include "maptext/piece_model.h"

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

class Counter {
 public:
  void add(const Vec& p) {
    for (size_t i = 0; i < 3; ++i) {
      if (!census.anyPoint || p[i] < census.lo[i]) census.lo[i] = p[i];
      if (!census.anyPoint || p[i] > census.hi[i]) census.hi[i] = p[i];
    }
    census.anyPoint = true;
  }

  // The plane of a plane line: "( x y z ) ( x y z ) ( x y z ) texture...".
  Status addPlane(std::string_view line) {
    if (std::string fault = maptext::lineFault({.kind = maptext::LineKind::plane, .text = line});
        !fault.empty())
      return fail(fault);
    const maptext::PlaneLine plane = maptext::splitPlaneLine(line);
    if (const std::string_view texture = plane.texture(); !texture.empty() &&
                                                          !textures_.contains(texture)) {
      textures_.emplace(texture);
      census.textures.emplace_back(texture);
    }
    Vec p[3];
    for (size_t i = 0; i < 3; ++i)
      for (size_t axis = 0; axis < 3; ++axis)
        p[i][axis] = maptext::numberValue(plane.points[i][axis]);
    const Vec n = cross(minus(p[0], p[1]), minus(p[2], p[1]));
    const double length = std::sqrt(dot(n, n));
    // Three points on one line make no plane; the compilers drop it too.
    if (length > 0.0)
      planes_.push_back({{n[0] / length, n[1] / length, n[2] / length}, dot(p[0], n) / length});
    return success();
  }

  Status addOrigin(std::string_view line) {
    if (std::string fault = maptext::lineFault({.kind = maptext::LineKind::origin, .text = line});
        !fault.empty())
      return fail(fault);
    maptext::KeyLine key;
    maptext::splitKeyLine(line, key);
    const maptext::Point numbers = maptext::splitOrigin(key.value);
    add({maptext::numberValue(numbers[0]), maptext::numberValue(numbers[1]),
         maptext::numberValue(numbers[2])});
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

  std::vector<Plane> planes_;
  std::set<std::string, std::less<>> textures_;
};

std::string_view trim(std::string_view s) {
  auto space = [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  };
  while (!s.empty() && space(s.back())) s.remove_suffix(1);
  while (!s.empty() && space(s.front())) s.remove_prefix(1);
  return s;
}

bool freedAtSpawn(std::string_view cls, bool named, const GameLimits& game) {
  for (const FreedAtSpawn& f : game.freed)
    if (cls == f.className) return !(f.onlyWithoutTargetname && named);
  return false;
}

}  // namespace

Expected<MapCensus> takeMapCensus(std::string_view mapText, std::string name,
                                  const GameLimits& game) {
  // Line by line, as a piece text splits into entities, without
  // keeping a copy of a map that may run to tens of megabytes.
  Counter counter;
  MapCensus& c = counter.census;
  size_t number = 0;
  int depth = 0;
  std::string_view cls;
  bool classed = false, named = false;
  while (!mapText.empty()) {
    const size_t end = mapText.find('\n');
    const std::string_view line = trim(mapText.substr(0, end));
    mapText.remove_prefix(end == std::string_view::npos ? mapText.size() : end + 1);
    ++number;
    const char first = line.empty() ? '\0' : line.front();
    Status read = success();
    if (first == '{') {
      if (++depth == 1) {
        ++c.entities;
        cls = {};
        classed = named = false;
      }
    } else if (first == '}') {
      if (depth == 2) counter.closeBrush();
      if (depth == 1 && !maptext::equalsNoCase(cls, "worldspawn") &&
          !freedAtSpawn(cls, named, game))
        ++c.spawned;
      if (depth > 0) --depth;
    } else if (first == '(' && depth == 2) {
      read = counter.addPlane(line);
    } else if (maptext::KeyLine key; depth == 1 && maptext::splitKeyLine(line, key)) {
      // The class is the first classname key's value, as className has it.
      if (key.key == "classname" && !classed) {
        cls = key.value;
        classed = true;
      }
      named = named || (key.key == "targetname" && !key.value.empty());
      if (key.key == "origin") read = counter.addOrigin(line);
      if (c.entities == 1 && key.key == "wad") {
        c.worldWad = std::string(key.value);
        c.hasWorldWad = true;
      }
    }
    if (!read) return fail(name + ":" + std::to_string(number) + ": " + read.message());
  }
  return c;
}

}  // namespace cellforge

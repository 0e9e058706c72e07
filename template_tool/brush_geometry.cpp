#include "template_tool/brush_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace cellforge {
namespace {

constexpr double kOnPlane = 1e-6;
// Far beyond any piece: the first corners of each face before clipping.
constexpr double kFar = 1 << 24;

Vec3 sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 scale(const Vec3& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
Vec3 add(const Vec3& a, const Vec3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }

// The part of a convex polygon behind a half-space.
std::vector<Vec3> clip(const std::vector<Vec3>& polygon, const HalfSpace& h) {
  std::vector<Vec3> out;
  for (size_t i = 0; i < polygon.size(); ++i) {
    const Vec3& a = polygon[i];
    const Vec3& b = polygon[(i + 1) % polygon.size()];
    const double da = dot(h.n, a) - h.d, db = dot(h.n, b) - h.d;
    if (da <= kOnPlane) out.push_back(a);
    if ((da < -kOnPlane && db > kOnPlane) || (da > kOnPlane && db < -kOnPlane))
      out.push_back(add(a, scale(sub(b, a), da / (da - db))));
  }
  return out;
}

// The corners of the face on plane `i`, clipped by every other plane.
std::vector<Vec3> face(const std::vector<HalfSpace>& planes, size_t i) {
  const Vec3& n = planes[i].n;
  const Vec3 up = std::fabs(n[2]) > 0.6 ? Vec3{1, 0, 0} : Vec3{0, 0, 1};
  const Vec3 u = scale(cross(up, n), kFar / std::sqrt(dot(cross(up, n), cross(up, n))));
  const Vec3 v = scale(cross(n, u), 1.0 / std::sqrt(dot(n, n)));
  const Vec3 c = scale(n, planes[i].d);
  std::vector<Vec3> polygon{add(add(c, u), v), add(sub(c, u), v), sub(sub(c, u), v),
                            sub(add(c, u), v)};
  for (size_t j = 0; j < planes.size() && !polygon.empty(); ++j)
    if (j != i) polygon = clip(polygon, planes[j]);
  return polygon;
}

}  // namespace

bool makeBrush(const std::vector<maptext::PlaneLine>& planes, ConvexBrush& out) {
  out = ConvexBrush{};
  for (const maptext::PlaneLine& line : planes) {
    std::array<Vec3, 3> p{};
    for (size_t point = 0; point < 3; ++point)
      for (size_t axis = 0; axis < 3; ++axis)
        p[point][axis] = maptext::numberValue(line.points[point][axis]);
    const Vec3 n = cross(sub(p[0], p[1]), sub(p[2], p[1]));
    const double length = std::sqrt(dot(n, n));
    if (length < 1e-9) return false;
    const Vec3 unit = scale(n, 1 / length);
    out.planes.push_back({unit, dot(unit, p[0])});
  }
  bool any = false;
  for (size_t i = 0; i < out.planes.size(); ++i)
    for (const Vec3& corner : face(out.planes, i))
      for (size_t axis = 0; axis < 3; ++axis) {
        out.lo[axis] = any ? std::min(out.lo[axis], corner[axis]) : corner[axis];
        out.hi[axis] = any ? std::max(out.hi[axis], corner[axis]) : corner[axis];
        any = axis == 2 || any;
      }
  if (!any) return false;
  for (size_t axis = 0; axis < 3; ++axis)
    if (out.hi[axis] - out.lo[axis] < 1e-3 || out.hi[axis] - out.lo[axis] > kFar) return false;
  return true;
}

bool brushContains(const ConvexBrush& b, const Vec3& p, double margin) {
  for (const HalfSpace& h : b.planes)
    if (dot(h.n, p) - h.d > -margin) return false;
  return true;
}

namespace {

// How far the box reaches along n beyond its origin.
double reach(const BoxSize& box, const Vec3& n) {
  double r = 0;
  for (size_t axis = 0; axis < 3; ++axis)
    r -= n[axis] > 0 ? n[axis] * box.mins[axis] : n[axis] * box.maxs[axis];
  return r;
}

template <class F>
void forEachPlaneAndBevel(const ConvexBrush& b, F&& f) {
  for (const HalfSpace& h : b.planes) f(h);
  for (size_t axis = 0; axis < 3; ++axis) {
    Vec3 n{};
    n[axis] = 1;
    f(HalfSpace{n, b.hi[axis]});
    n[axis] = -1;
    f(HalfSpace{n, -b.lo[axis]});
  }
}

}  // namespace

Interval boxOverlapHeights(const ConvexBrush& b, const BoxSize& box, double x, double y) {
  Interval in{-std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};
  forEachPlaneAndBevel(b, [&](const HalfSpace& h) {
    const double room = h.d + reach(box, h.n) - h.n[0] * x - h.n[1] * y;
    if (std::fabs(h.n[2]) < 1e-12) {
      if (room <= 0) in = {0, 0};
    } else if (h.n[2] > 0) {
      in.hi = std::min(in.hi, room / h.n[2]);
    } else {
      in.lo = std::max(in.lo, room / h.n[2]);
    }
  });
  return in;
}

bool boxOverlaps(const ConvexBrush& b, const BoxSize& box, const Vec3& origin, double margin) {
  bool inside = true;
  forEachPlaneAndBevel(b, [&](const HalfSpace& h) {
    if (dot(h.n, origin) - h.d - reach(box, h.n) > -margin) inside = false;
  });
  return inside;
}

}  // namespace cellforge

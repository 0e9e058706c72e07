#pragma once

#include <array>
#include <vector>

#include "maptext/piece_model.h"

namespace cellforge {

using Vec3 = std::array<double, 3>;

// A half-space n·p <= d with n of unit length.
struct HalfSpace {
  Vec3 n{};
  double d = 0;
};

// A box about an origin: the origin plus anything from mins to maxs.
struct BoxSize {
  Vec3 mins{}, maxs{};
};

// A brush as the compilers see it: the intersection of the half-spaces
// behind its planes (normal (p0 - p1) x (p2 - p1), pointing out), with the
// box of its corners.
struct ConvexBrush {
  std::vector<HalfSpace> planes;
  Vec3 lo{}, hi{};
};

// The brush of `planes` (three points each); false when a plane's points lie
// on one line or the planes enclose no volume.
bool makeBrush(const std::vector<maptext::PlaneLine>& planes, ConvexBrush& out);

// True when the point lies inside the brush, deeper than `margin` (a
// negative margin also takes points that far outside).
bool brushContains(const ConvexBrush& b, const Vec3& p, double margin);

// The origins on the vertical line through (x, y) whose box overlaps the
// brush's inside: the open interval (lo, hi), empty when lo >= hi. Each
// plane is moved out by the box's reach along its normal and the brush's
// bounding planes are added as bevels, which is how the games' own
// collision treats boxes against brushes.
struct Interval {
  double lo = 0, hi = 0;
};
Interval boxOverlapHeights(const ConvexBrush& b, const BoxSize& box, double x, double y);
// True when the box at `origin` reaches deeper than `margin` into the brush.
bool boxOverlaps(const ConvexBrush& b, const BoxSize& box, const Vec3& origin, double margin);

}  // namespace cellforge

#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/result.h"

namespace cellforge {

using Point3 = std::array<int64_t, 3>;

struct PlaneLine {
  int line = 0;
  std::array<Point3, 3> points{};
  std::string texture;
  // Quake II "contents flags value" after the texture values, when given.
  bool hasContents = false;
  int64_t contents = 0;
};

struct Brush {
  int line = 0;
  std::vector<PlaneLine> planes;
};

struct KeyLine {
  int line = 0;
  std::string key, value;
};

struct Entity {
  int line = 0;
  std::vector<KeyLine> keys;
  std::vector<Brush> brushes;
  std::string value(std::string_view key) const;
  bool has(std::string_view key) const;
};

// A piece text cut into its entities. Parsing stops at the first fault:
// braces that don't balance, a plane line that isn't three integer points
// and a texture, a key line that isn't two quoted strings.
Expected<std::vector<Entity>> parsePieceText(std::string_view text, std::string_view where);

// Box corners of a brush: the vertices where its planes meet. Empty when the
// planes enclose no volume.
struct Bounds {
  std::array<double, 3> lo{}, hi{};
};
bool brushBounds(const Brush& b, Bounds& out);

// True when the point lies inside the brush or on its surface.
bool brushContains(const Brush& b, const Point3& p);
// True when the point lies strictly inside.
bool brushContainsStrictly(const Brush& b, const Point3& p);

}  // namespace cellforge

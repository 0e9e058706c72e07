#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/game_limits.h"
#include "platform/result.h"

namespace cellforge {

// What a game's limits count in a map text.
struct MapCensus {
  int64_t brushes = 0;
  // Every entity, worldspawn included, as the map compilers count them.
  int64_t entities = 0;
  // Entities other than worldspawn that keep an edict once spawned.
  int64_t spawned = 0;
  // The box of every brush corner and entity origin; empty when none.
  bool anyPoint = false;
  std::array<double, 3> lo{}, hi{};
  // Each texture the brushes name, once, in the order first named.
  std::vector<std::string> textures;
  // The first entity's "wad" key (the texture wads of a Quake map), and
  // whether it has one.
  std::string worldWad;
  bool hasWorldWad = false;
};

// Counts a map text as client writes it, read by the piece-text rules
// (brace lines, key lines, plane and origin lines); `name` is what errors
// call it. A brush's corners are where its planes meet, as the compilers
// find them, not the points its plane lines are written with.
Expected<MapCensus> takeMapCensus(std::string_view mapText, std::string name,
                                  const GameLimits& game);

}  // namespace cellforge

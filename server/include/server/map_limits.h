#pragma once

#include <string>
#include <vector>

#include "client/map_census.h"
#include "foundation/game_limits.h"
#include "foundation/settings.h"
#include "platform/result.h"
#include "templates/records.h"

namespace cellforge {

// What a map's census says against a game's limits: a line for each soft
// limit passed, and a refusal (empty when none) for the hard limit passed
// furthest. Each line names the map, the count, the limit and a grid that
// would fit, estimated from the map's count per cell of `grid`.
struct LimitVerdict {
  std::vector<std::string> warnings;
  std::string refusal;
};
LimitVerdict judgeMap(const MapCensus& census, const GameLimits& game, GridCoord grid,
                      const std::string& mapName);

// Counts the map client wrote to target_directory and judges it against the
// game of `settings`, for the grid the settings give. Warnings go to
// `warnings`; a hard limit passed is the error. No map (a client that
// succeeded without writing one) is for the map compiler to report. The
// census taken goes to `census` when given.
Status checkMapLimits(const Settings& settings, std::vector<std::string>& warnings,
                      MapCensus* census = nullptr);

}  // namespace cellforge

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/game_limits.h"
#include "layout/level_plan.h"
#include "maptext/piece_model.h"
#include "platform/result.h"

namespace cellforge {

// The key that limits an entity to a share of the way from start to exit.
inline constexpr std::string_view kDepthKey = "_depth";

// A `_depth` value: two decimals from 0 to 1, the lower first. Each is held
// exactly as digits over a power of ten.
struct DepthRange {
  struct Decimal {
    int64_t digits = 0;
    int64_t scale = 1;  // 10^fraction digits
  };
  Decimal low, high;

  bool contains(LevelPlan::Ratio r) const;
};
// Parses "LOW HIGH"; the error is the cause only.
Expected<DepthRange> parseDepthRange(std::string_view value);

// Keys whose value names an entity, made unique per placement so copies of
// a piece never fire each other: target, targetname, killtarget, and in
// Quake II also team, pathtarget, combattarget and deathtarget.
bool isNameKey(std::string_view key, Game game);
// Of those, the ones that point at another entity's targetname.
bool isTargetKey(std::string_view key, Game game);

// The class whose entity names the next map: Quake's trigger_changelevel,
// Quake II's target_changelevel.
std::string_view changelevelClass(Game game);
// One flag per entity of `piece`: its exit entities are the changelevels
// and, in Quake II, every entity of the piece the map holds whose target
// names one of them (the trigger that fires it).
std::vector<bool> exitEntities(const maptext::Piece& piece, Game game);

// What one placement of a piece writes in the entity pass.
struct PlacementOptions {
  bool keepStart = false;  // only the start placement keeps player starts
  bool keepExit = false;   // only the exit placement keeps exit entities
  std::optional<LevelPlan::Ratio> depth;
  // Appended to every name that links entities, so copies of a piece do not
  // fire each other; empty leaves names as they are.
  std::string nameSuffix;
};

}  // namespace cellforge

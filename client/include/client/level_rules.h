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

// Locks and keys. A piece holds, for each open side of each of its cells,
// the entities of a door that fills that doorway, each marked
// "_lock" "X Y Z SIDE" (the template cell's offset and the side: +y, -y,
// +x, -x); they are written only where the level plan locks that doorway.
// A key spot is an item entity marked "_key" "1", written only at the
// placement that holds a key, its class chosen by the key's number. A door
// the piece has anyway in a doorway is marked "_unlocked" "X Y Z SIDE": it
// is left out where the placement writes that doorway's lock, which takes
// its place. The map never holds any of the three keys.
inline constexpr std::string_view kLockKey = "_lock";
inline constexpr std::string_view kKeySpotKey = "_key";
inline constexpr std::string_view kUnlockedKey = "_unlocked";

struct LockSpot {
  GridCoord cell;
  SideIndex side = posY;
  friend bool operator==(const LockSpot&, const LockSpot&) = default;
};
// Parses the value "X Y Z SIDE" of `key` (a lock or an unlocked mark); the
// error is the cause only.
Expected<LockSpot> parseLockSpot(std::string_view key, std::string_view value);
// The value parseLockSpot reads, "X Y Z SIDE".
std::string lockSpotText(const LockSpot& spot);

// What a key of each number is in each game (number 1 or 2).
struct KeyKind {
  std::string_view colour;     // "silver", "gold"; "blue", "red"
  std::string_view itemClass;  // Quake item_key1/item_key2; Quake II key_blue_key/key_red_key
  // Quake: the func_door spawnflag that asks for this key (16 silver, 8
  // gold); 0 in Quake II, where a trigger_key whose "item" names the key
  // opens the door.
  int32_t doorFlag = 0;
};
const KeyKind& keyKind(Game game, int number);

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
  // The key whose spot this placement fills (1 or 2), 0 for none.
  int key = 0;
  // The doorways of this placement's cells that it locks, as template cell
  // offsets and sides, each with the key that opens it.
  struct Lock {
    LockSpot spot;
    int key = 0;
  };
  std::vector<Lock> locks;
};

}  // namespace cellforge

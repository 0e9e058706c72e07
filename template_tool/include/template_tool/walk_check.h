#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/game_limits.h"
#include "template_tool/brush_geometry.h"
#include "templates/records.h"

namespace cellforge {

// The player's box in both games, about its origin.
inline constexpr BoxSize kPlayerBox{{-16, -16, -24}, {16, 16, 32}};

// What the walk makes of an entity class.
enum class WalkRole { none, playerStart, item, monster, exit };
struct WalkClass {
  WalkRole role = WalkRole::none;
  BoxSize box;
  // Items and walking monsters drop to the floor when the level starts;
  // flying and swimming monsters stay where they are put.
  bool drops = true;
};
// The class's role and box, from the games' own sources (Quake: the
// QuakeC setsize calls; Quake II: the game DLL's mins and maxs).
WalkClass walkClassOf(std::string_view className, Game game);

struct WalkEntity {
  std::string className;
  size_t line = 0;  // its "{" line, or its origin line when it has one
  WalkRole role = WalkRole::none;
  BoxSize box;
  Vec3 origin{};
  bool drops = true;
  std::vector<const ConvexBrush*> brushes;  // an exit trigger's volume
};

// The door of one doorway, shut until the player brings the key.
struct WalkLock {
  const Cell* cell = nullptr;  // one of the template's cells
  int side = 0;
  size_t line = 0;                         // its first "_lock" line
  std::vector<const ConvexBrush*> doors;   // solid while shut
  std::vector<const ConvexBrush*> opener;  // what the player touches to open it
};

struct WalkPiece {
  std::string file;  // what problems without a line call the piece
  const Template* t = nullptr;
  std::vector<const ConvexBrush*> solids;  // what blocks the player
  std::vector<WalkEntity> entities;
  std::vector<WalkLock> locks;
};

// Walks the piece on foot, placed alone with a stub of the neighbour's
// doorway beyond each open side: from each doorway and the player start,
// every doorway, the start, each exit, item and monster must be reachable.
// One line per thing that is not, naming where it can't be reached from.
// Doors are open for that walk. Then, with every lock's door shut, no lock's
// stub and the player start reach each other, and from the start the player
// touches each lock's opener.
std::vector<std::string> walkPiece(const WalkPiece& piece);

// Bounds that keep the walk short on any piece.
inline constexpr int kWalkStep = 8;                 // lattice spacing, units
inline constexpr double kStepUp = 18;               // the games' step height
inline constexpr size_t kMaxWalkColumns = 1 << 20;  // lattice columns
inline constexpr size_t kMaxWalkSpans = 1 << 22;    // brush-over-column pairs

}  // namespace cellforge

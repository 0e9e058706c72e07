#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace cellforge {

// The game a level is built for. The INI's game_type 1 is Quake and any
// other value Quake II.
enum class Game { quake2, quake };

// The folder of a game's own data under its install folder.
inline constexpr std::string_view gameDataFolderName(Game game) {
  return game == Game::quake ? "id1" : "baseq2";
}

// What each game's compile tools and engine take, from their public
// sources (doc/game-limits.md lists them). A hard limit stops a run before
// any compile tool starts; a soft one, which later tools or engines lift,
// is a warning.

enum class Limited {
  kBrushes,      // brushes in the map
  kMapEntities,  // entities in the map, worldspawn included
  kEdicts,       // entities in play when the level starts
  kExtent,       // distance of any brush corner or origin from the origin, in map units
};

struct GameLimit {
  Limited what;
  int64_t most;
  bool hard;
  // For a soft limit's warning: whose limit it is and what lifts it.
  std::string_view whose;
  std::string_view lifted;
};

// An entity the game frees as it spawns keeps no edict.
struct FreedAtSpawn {
  std::string_view className;
  bool onlyWithoutTargetname;
};

struct GameLimits {
  std::string_view game;
  std::array<GameLimit, 4> limits;
  // Edicts taken before any map entity but the world: the world itself,
  // the one single-player client and the body queue.
  int64_t fixedEdicts;
  std::array<FreedAtSpawn, 2> freed;
};

// Quake II with id's qbsp3 and the original engine and game.
// - Brushes: MAX_MAP_BRUSHES 8192 (Quake-2-Tools common/qfiles.h); qbsp3
//   stops at the next one (bsp/qbsp3/map.c ParseBrush), the engine refuses
//   more (Quake-2 qcommon/cmodel.c CMod_LoadBrushes).
// - Map entities: MAX_MAP_ENTITIES 2048, qbsp3 stops at the next one
//   (map.c ParseMapEntity).
// - Edicts: the game's maxentities, default "1024" (game/g_save.c InitGame);
//   G_Spawn fails with "ED_Alloc: no free edicts" (game/g_utils.c), and the
//   engine's MAX_EDICTS is 1024 (game/q_shared.h, "must change protocol").
//   Single player has maxclients 1 (server/sv_init.c SV_InitGame);
//   worldspawn makes BODY_QUEUE_SIZE 8 bodies (game/p_client.c InitBodyQue).
// - Extent: coordinates travel as shorts in eighths of a unit
//   (qcommon/common.c MSG_WriteCoord), and the player's position is a short
//   of the same kind (game/q_shared.h pmove_state_t), so nothing plays
//   beyond 4096 units; qbsp3 warns "bounds out of range" past it.
// - Freed at spawn: light without a targetname (game/g_misc.c SP_light),
//   info_null (SP_info_null); a freed edict is taken again at once during
//   spawning (g_utils.c G_Spawn: freetime < 2).
inline constexpr GameLimits kQuakeIILimits{
    "Quake II",
    {{{Limited::kBrushes, 8192, true, "qbsp3", ""},
      {Limited::kMapEntities, 2048, true, "qbsp3", ""},
      {Limited::kEdicts, 1024, true, "the game", ""},
      {Limited::kExtent, 4096, true, "the network protocol", ""}}},
    1 + 1 + 8,
    {{{"light", true}, {"info_null", false}}},
};

// Quake with id's original qbsp and engine; each is soft, as ericw-tools'
// qbsp has neither limit (it moves to the BSP2 format by itself when the
// original format's are passed) and later engines raise the others.
// - Brushes: MAX_MAP_BRUSHES 4096 (Quake-Tools qutils/COMMON/BSPFILE.H),
//   an array qbsp fills without a check (qutils/QBSP/MAP.C).
// - Map entities: MAX_MAP_ENTITIES 1024; qbsp stops at the next one
//   (MAP.C ParseEntity).
// - Edicts: MAX_EDICTS 600 (Quake WinQuake/quakedef.h); ED_Alloc fails with
//   "no free edicts" (pr_edict.c). Single player has one client
//   (host.c); worldspawn makes four bodies (InitBodyQue in id's QuakeC,
//   world.qc).
// - Extent: MSG_WriteCoord sends shorts in eighths of a unit
//   (WinQuake/common.c).
// - Freed at spawn: light without a targetname and info_null (misc.qc);
//   ED_Alloc takes a freed edict again at once while sv.time is 1.
inline constexpr GameLimits kQuakeLimits{
    "Quake",
    {{{Limited::kBrushes, 4096, false, "id's original qbsp",
       "ericw-tools' qbsp takes more, moving to BSP2 by itself"},
      {Limited::kMapEntities, 1024, false, "id's original qbsp", "ericw-tools' qbsp takes more"},
      {Limited::kEdicts, 600, false, "the original engine",
       "later engines such as QuakeSpasm take more"},
      {Limited::kExtent, 4096, false, "the original engine's network protocol",
       "engines with a wider protocol take more"}}},
    1 + 1 + 4,
    {{{"light", true}, {"info_null", false}}},
};

inline const GameLimits& gameLimits(Game game) {
  return game == Game::quake ? kQuakeLimits : kQuakeIILimits;
}

}  // namespace cellforge

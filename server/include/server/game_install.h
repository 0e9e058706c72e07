#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "client/map_census.h"
#include "foundation/settings.h"
#include "game_files/game_folder.h"
#include "platform/result.h"

// A level compiled from the player's own game data and put where the game
// looks for it.
namespace cellforge {

// The map's name as the game's "map" command takes it ("sample").
std::string levelName();
// The compiled level beside the map in target_directory.
std::string compiledLevelPath(const Settings& settings);
// The data folder the target folder's maps/ is in, where the Quake II
// tools look for their loose files.
std::string targetDataFolder(const Settings& settings);

// What the engine is started with to play the level at once.
std::vector<std::string> engineArguments(Game game);
// The line that starts the level from `installFolder`, with how to pick a
// skill.
std::string playCommand(Game game, const std::string& installFolder);

// The first entity's "wad" key given `value` (added when there is none),
// every other line kept byte for byte.
std::string withWorldWad(std::string_view mapText, std::string_view value);

// Puts what the compile tools read from the game where they read it:
// Quake II's colormap and .wal textures as loose files beside the map's
// maps/ folder; for Quake, when a wad the map names is missing, a wad of
// the map's textures from the game's own levels, which the map's "wad" key
// then names. One line on `out` says what was written; a texture found
// nowhere is a warning.
Status prepareGameData(const Settings& settings, const gamefiles::GameFolder& game,
                       const MapCensus& census, std::ostream& out,
                       std::vector<std::string>& warnings);

// The compiled level in the game's maps folder: copied there when it was
// compiled elsewhere. Returns its path.
Expected<std::string> installLevel(const Settings& settings, const gamefiles::GameFolder& game);

}  // namespace cellforge

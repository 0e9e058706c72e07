#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/game_limits.h"
#include "game_files/pak_file.h"
#include "platform/result.h"

namespace cellforge::gamefiles {

// A game's data as the game itself finds it: the loose files of its data
// folder first, then pak9 ... pak1, pak0 (a later pak overrides an earlier
// one; the paks are pak0.pak, pak1.pak, ... up to the first missing
// number, as the games load them). Names use forward slashes; a pak's
// names match without regard to case.
class GameFolder {
 public:
  // `folder` is the install folder (holding baseq2/ or id1/) or the data
  // folder itself. Reads each pak's header and directory. Fails with one
  // line naming what was looked for when there is no pak0.pak, and with
  // the pak reader's message for a pak that is not sound.
  static Expected<GameFolder> open(const std::string& folder, Game game);

  Game game() const { return game_; }
  // Both end in this system's separator.
  const std::string& installFolder() const { return install_; }
  const std::string& dataFolder() const { return data_; }
  // The paks' paths, pak0 first.
  const std::vector<std::string>& paks() const { return pakPaths_; }

  struct Found {
    bool loose = false;
    std::string path;  // the loose file, or the pak holding it
    PakEntry entry;    // in that pak (unset when loose)
  };
  // Where the game finds `name`, or none.
  std::optional<Found> find(std::string_view name) const;
  // Only in the paks (the loose files are not looked at).
  std::optional<Found> findInPaks(std::string_view name) const;
  // The bytes of what find() found; a pak's entry is read alone.
  Expected<std::string> read(const Found& found) const;

  // The names in the paks under `prefix` ending in `suffix` (any case),
  // each once, in the order the game would find them first: the last pak's
  // first, each pak's in directory order.
  std::vector<std::string> pakNames(std::string_view prefix, std::string_view suffix) const;

  // Quake's shareware data (no gfx/pop.lmp anywhere) never loads a level
  // of its own.
  bool isShareware() const;

 private:
  Game game_ = Game::quake2;
  std::string install_, data_;
  std::vector<std::string> pakPaths_;
  std::vector<std::vector<PakEntry>> pakEntries_;
};

// What extractToolData did: the files it wrote and those already there
// (each relative to the data folder), and the textures found nowhere.
struct ToolData {
  std::vector<std::string> written, kept;
  std::vector<std::string> missing;
};

// Quake II's compile tools read pics/colormap.pcx and textures/<name>.wal
// as loose files of the data folder the map's maps/ folder is in. Puts each
// of them, from `game`, into `dataFolder` (ending in a separator): the
// colormap and the .wal of each of `textures` with the frames its
// animname chain names, each through a temporary file and a rename, never
// over a file that is there. A texture found nowhere is in `missing`; a
// missing colormap is an error naming what was looked for.
Expected<ToolData> extractToolData(const GameFolder& game, std::span<const std::string> textures,
                                   const std::string& dataFolder);

// A texture wad for Quake's map compiler.
struct TextureWad {
  std::string bytes;                 // a WAD2
  std::vector<std::string> names;    // its textures, in order
  std::vector<std::string> missing;  // asked for and found in no level
};

// Reads the textures of every maps/*.bsp of the paks (GameFolder::pakNames
// order) and makes a WAD2 of `textures` (each name once, any case, first
// found wins), with the other frames of each animated one ("+0name":
// "+1name" ... "+9name", "+aname" ... "+jname") found; with no textures
// given, every texture found. A level that is not sound is an error naming
// the pak, the level and the field.
Expected<TextureWad> buildTextureWad(const GameFolder& game, std::span<const std::string> textures);

}  // namespace cellforge::gamefiles

#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "foundation/game_limits.h"
#include "foundation/ini_file.h"
#include "platform/result.h"

namespace cellforge {

inline constexpr std::string_view kIniFileName = "Cellforge.INI";

struct Settings {
  int32_t x = 0, y = 0, z = 0;
  std::string client_path;
  std::string ini_path{kIniFileName};
  std::string template_directory, source_directory, target_directory;
  std::string quake_i_qbsp, quake_i_light, quake_i_vis;
  std::string quake_ii_qbsp, quake_ii_vis, quake_ii_light;
  // The game's install folder, empty for none (see applyGameDirectory).
  std::string game_directory;
  // How many keys gate the way to the exit (0 to 2).
  int32_t keys = 0;
  // target_directory as the INI file gave it, when the game folder chose
  // another: that is what goes back into the file.
  std::string target_directory_as_read;
  // As the INI file wrote it, so it is written back unchanged.
  int32_t game_type = 0;
  float percent_to_fill = 0.0f;
  // The value as the INI file wrote it, so a bad one can be named.
  std::string percent_to_fill_text;

  Game game() const { return game_type == 1 ? Game::quake : Game::quake2; }
};

// What a key's default means, and for folders that a read value ends in a
// separator.
enum class SettingKind {
  kValue,     // the default as it stands
  kFolder,    // a folder relative to the INI file's folder
  kGameMaps,  // the system's game map folder
  kProgram,   // a program in the INI file's folder, with the system's suffix
  kTool,      // a compile tool: kProgram, or the one in kToolsFolder if it is there
  kOptionalFolder,  // a folder, or empty for none
};

// Where scripts/compile-tools.sh puts the compile tools it builds, from the
// program's folder.
inline constexpr std::string_view kToolsFolder = "../tools/";

struct SettingSection {
  std::string_view name;
  bool writtenBack;
  // The comment lines the default file has above the section header.
  std::string_view preamble;
};

// One INI key: everything reading, writing, the default file, the checks
// and the README table know about it.
struct SettingKey {
  const SettingSection* section;
  std::string_view name;
  SettingKind kind;
  // Written with "/" as the separator and without the program suffix.
  std::string_view fallback;
  // The comment lines the default file has above the key.
  std::string_view help;
  // The field: text, or an integer (the leading decimal one), or a share
  // (the longest leading decimal number, in single precision) and its text.
  std::string Settings::*text = nullptr;
  int32_t Settings::*number = nullptr;
  float Settings::*decimal = nullptr;
  // The default file holds the key only as a comment: a new key that the
  // file of older releases lacked, and whose absence is its default.
  bool commentedInDefault = false;
};

// Every key in the order of the default file, a section's keys together.
std::span<const SettingKey> settingKeys();

// The value a missing key takes for an INI file in `folder`, as text and
// cleaned up as a read value is.
std::string defaultValue(const SettingKey& key, std::string_view folder);

// Points `ini_path` at the INI file in the program's folder.
void setIniPath(Settings& settings, std::string_view programPath);

// The folder of `ini_path`, ending in a separator.
std::string iniFolder(const Settings& settings);

// Reads every key, each with its default for the INI file's folder.
void readSettings(Settings& settings, const IniFile& ini);

// With a game folder (`option` when given, else the INI's game_directory):
// a target_directory left at its default becomes the game's maps folder
// (`<game>/baseq2/maps/`, Quake `<game>/id1/maps/`, or `<game>/maps/` when
// the game folder named is that data folder itself).
void applyGameDirectory(Settings& settings, std::string_view option = "");

// The folder a game folder keeps its own data in: the one named after the
// game ("baseq2", "id1") when it is there, else the folder itself. Ends in
// a separator.
std::string gameDataFolder(std::string_view gameDirectory, Game game);

// Writes the keys of the sections written back; the others are left alone.
void writeSettings(const Settings& settings, IniFile& ini);

// The commented default file with these settings' values (67 lines for
// the defaults): each section's preamble and header, each key's help and
// line.
std::string defaultSettingsText(const Settings& settings);

inline constexpr std::string_view kUnableToWriteIni = "Unable to write default INI file!";

// Reads the defaults for the INI file's folder into `settings` and writes
// the default file over `settings.ini_path` (through a temporary file, so a
// failed write keeps the old one).
Status writeDefaultSettingsFile(Settings& settings);

// The INI file at `path`; a file that is not there reads as an empty one.
Expected<IniFile> loadIniFile(const std::string& path);

// Reads the INI file of `settings.ini_path` into `settings`.
Status loadSettings(Settings& settings);

// Writes the written-back keys into the INI file, through a temporary file.
Status saveSettings(const Settings& settings);

// The longest axis a cell draw reaches every cell of: a draw is 0..32767
// scaled to the axis, which skips cells of any axis longer than this.
inline constexpr int32_t kMaxAxisCells = 32'768;
// The most cells a grid may have, so a whole run (layout, map, limits
// check) ends within seconds: with the bundled kits 64 x 64 x 4 (16,384
// cells) takes 3 s at 0.60, of which writing and checking its 88 MB map
// take 2.5 s, and a layout found late in the draw budget comes on top.
inline constexpr int64_t kMaxGridCells = 8'192;
// The most keys a level's way to the exit asks for.
inline constexpr int32_t kMaxKeys = 2;

// Refuses a grid size or fill share the generator cannot work with, naming
// the key and its value.
Status checkGridSettings(const Settings& settings);

// The failure of a run that gave up short of percent_to_fill, after
// `spent` ("50 attempts") and getting as far as `best`.
Error fillShareNotReached(const Settings& settings, std::string_view spent, std::string_view best);

}  // namespace cellforge

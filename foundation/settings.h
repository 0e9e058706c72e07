#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/ini_file.h"
#include "platform/result.h"

namespace cellforge {

inline constexpr std::string_view kIniFileName = "Cellforge.INI";
inline constexpr std::string_view kGlobals = "globals";
inline constexpr std::string_view kTemplateSettings = "template_settings";

struct Settings {
  int32_t x = 0, y = 0, z = 0;
  std::array<int32_t, 3> cell_pitch{256, 256, 256};
  std::string client_path;
  std::string ini_path{kIniFileName};
  std::string template_directory, source_directory, target_directory;
  std::string quake_i_qbsp, quake_i_light, quake_i_vis;
  std::string quake_ii_qbsp, quake_ii_vis, quake_ii_light;
  int32_t game_type = 0;
  float percent_to_fill = 0.0f;
  // The value as the INI file wrote it, so a bad one can be named.
  std::string percent_to_fill_text;

  bool isQuake1() const { return game_type == 1; }
};

// Points `ini_path` at the INI file in the program's folder.
void setIniPath(Settings& settings, std::string_view programPath);

// The folder of `ini_path`, ending in a separator.
std::string iniFolder(const Settings& settings);

// Reads all fifteen keys, each with its default for the INI file's folder.
void readSettings(Settings& settings, const IniFile& ini);

// Writes the eleven [globals] keys back; [template_settings] is left alone.
void writeSettings(const Settings& settings, IniFile& ini);

// The INI file at `path`; a file that is not there reads as an empty one.
Expected<IniFile> loadIniFile(const std::string& path);

// Reads the INI file of `settings.ini_path` into `settings`.
Status loadSettings(Settings& settings);

// Writes the [globals] keys into the INI file, through a temporary file.
Status saveSettings(const Settings& settings);

}  // namespace cellforge

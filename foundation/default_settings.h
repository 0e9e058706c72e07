#pragma once

#include <string>

#include "foundation/settings.h"
#include "platform/result.h"

namespace cellforge {

inline constexpr std::string_view kUnableToWriteIni = "Unable to write default INI file!";

// The 56 lines of the commented default INI file for these settings.
std::string defaultSettingsText(const Settings& settings);

// Reads the defaults for the INI file's folder into `settings` and writes
// the default file over `settings.ini_path` (through a temporary file, so a
// failed write keeps the old one).
Status writeDefaultSettingsFile(Settings& settings);

}  // namespace cellforge

#include "foundation/settings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>

#include "foundation/path_parts.h"
#include "platform/platform.h"

namespace cellforge {

namespace {

constexpr SettingSection kGlobals{"globals", true,
                                  "; This INI file is utilized by Server.EXE, Client.EXE and "
                                  "Joinery.EXE\n"
                                  "; It is highly recommended that prior to editing this file, "
                                  "you first\n"
                                  "; create a backup.\n"
                                  ";"};
constexpr SettingSection kTemplateSection{
    "template_settings", false,
    ";\n"
    "; This next set of variables set the bounding box of the resulting .MAP file\n"
    "; It is highly recommended for this current release that you not exceed 10x10x2\n"
    "; Also do not go below 3x3x2."};

constexpr SettingSection kGameSection{
    "game", false,
    ";\n"
    "; The game directory is the game's install folder: the quake2 folder that\n"
    "; holds baseq2, or the quake folder that holds id1. Given, the compile\n"
    "; tools get the textures they need from the game's own pak files and the\n"
    "; level is compiled in the game's maps folder, ready to play."};

constexpr SettingKey kKeys[] = {
    {&kGlobals, "template_directory", SettingKind::kFolder, "../maps/templates",
     ";\n; The template directory specifies where the template files will be written.",
     &Settings::template_directory},
    {&kGlobals, "source_directory", SettingKind::kFolder, "../maps/S2",
     ";\n; The source directory specifies the location of the prefab foundry.",
     &Settings::source_directory},
    {&kGlobals, "target_directory", SettingKind::kGameMaps, "",
     ";\n"
     "; The target directory specifies where the map files will be written.\n"
     "; It is highly recommended that this be set to C:\\Quake2\\baseq2\\maps.\n"
     "; Of course you should ensure that this corresponds to your machine's\n"
     "; current configuration.",
     &Settings::target_directory},
    {&kGlobals, "game_type", SettingKind::kValue, "2",
     ";\n"
     "; The game type will be used in the future to provide compatibility with\n"
     "; Quake I and possibly Hexen2 and other 3d games.\n"
     "; 2= Quake2, which is currently the only game being supported.",
     nullptr, &Settings::game_type},
    {&kGlobals, "client_path", SettingKind::kProgram, "client",
     ";\n"
     "; The client path is actually the location of the Client.EXE application\n"
     "; distributed with the current release of the Cellforge generator.",
     &Settings::client_path},
    {&kGlobals, "quake_i_qbsp", SettingKind::kTool, "qbsp",
     ";\n; This variable sets the location of the Quake I utility QBSP.EXE",
     &Settings::quake_i_qbsp},
    {&kGlobals, "quake_i_light", SettingKind::kTool, "light",
     ";\n; This variable sets the location of the Quake I utility LIGHT.EXE",
     &Settings::quake_i_light},
    {&kGlobals, "quake_i_vis", SettingKind::kTool, "vis",
     ";\n; This variable sets the location of the Quake I utility VIS.EXE", &Settings::quake_i_vis},
    {&kGlobals, "quake_ii_qbsp", SettingKind::kTool, "qbsp3",
     ";\n; This variable sets the location of the Quake II utility QBSP3.EXE",
     &Settings::quake_ii_qbsp},
    {&kGlobals, "quake_ii_vis", SettingKind::kTool, "qvis3",
     ";\n; This variable sets the location of the Quake II utility QVIS3.EXE",
     &Settings::quake_ii_vis},
    {&kGlobals, "quake_ii_light", SettingKind::kTool, "qrad3",
     ";\n; This variable sets the location of the Quake II utility QRAD3.EXE",
     &Settings::quake_ii_light},
    {&kTemplateSection, "x", SettingKind::kValue, "4", "", nullptr, &Settings::x},
    {&kTemplateSection, "y", SettingKind::kValue, "4", "", nullptr, &Settings::y},
    {&kTemplateSection, "z", SettingKind::kValue, "2", "", nullptr, &Settings::z},
    {&kTemplateSection, "percent_to_fill", SettingKind::kValue, "0.60",
     "; This next line sets the target percentage with which to fill the bouding box\n"
     "; of the resulting .MAP file.\n"
     "; It is highly recommended that you not exceed 0.75.",
     &Settings::percent_to_fill_text, nullptr, &Settings::percent_to_fill},
    {&kGameSection, "game_directory", SettingKind::kOptionalFolder, "", "",
     &Settings::game_directory, nullptr, nullptr, true},
    {&kGameSection, "keys", SettingKind::kValue, "1",
     ";\n"
     "; How many keys (0, 1 or 2) the player must find to open the way to the\n"
     "; exit. 0 leaves every door open.",
     nullptr, &Settings::keys, nullptr, true},
};

std::string nativeSeparators(std::string_view path) {
  std::string out(path);
  std::replace(out.begin(), out.end(), '/', platform::separator());
  return out;
}

// Past the float range a share becomes infinite rather than undefined.
float toFloat(double value) {
  if (std::fabs(value) <= std::numeric_limits<float>::max()) return static_cast<float>(value);
  return std::copysign(std::numeric_limits<float>::infinity(), value > 0 ? 1.0f : -1.0f);
}

// The value as the INI file holds it.
std::string valueText(const Settings& s, const SettingKey& key) {
  if (key.number != nullptr) return std::to_string(s.*key.number);
  if (key.decimal != nullptr) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(s.*key.decimal));
    return text;
  }
  return s.*key.text;
}

bool isProgramKind(SettingKind kind) {
  return kind == SettingKind::kProgram || kind == SettingKind::kTool;
}

void readValue(Settings& s, const SettingKey& key, const std::string& text) {
  if (key.number != nullptr)
    s.*key.number = leadingInt(text);
  else if (key.kind == SettingKind::kOptionalFolder && text.empty())
    s.*key.text = text;
  else
    s.*key.text = key.kind == SettingKind::kValue || isProgramKind(key.kind)
                      ? text
                      : withTrailingSeparator(text);
  if (key.decimal != nullptr) s.*key.decimal = toFloat(leadingDecimal(text));
}

std::string rawDefault(const SettingKey& key, std::string_view folder) {
  const std::string in(folder);
  if (key.kind == SettingKind::kFolder) return in + nativeSeparators(key.fallback);
  if (key.kind == SettingKind::kGameMaps) return platform::defaultTargetFolder(in);
  if (isProgramKind(key.kind)) {
    const std::string program = std::string(key.fallback) + std::string(platform::programSuffix());
    if (key.kind == SettingKind::kTool) {
      const std::string built = in + nativeSeparators(kToolsFolder) + program;
      if (platform::exists(built)) return built;
    }
    return in + program;
  }
  return std::string(key.fallback);
}

// A tool named by the plain default of older files (the program's own
// folder) that is not there, while compile-tools.sh built it: the built one.
std::string builtToolFor(const SettingKey& key, const std::string& value,
                         const std::string& folder) {
  if (key.kind != SettingKind::kTool) return value;
  const std::string program = std::string(key.fallback) + std::string(platform::programSuffix());
  if (value != folder + program || platform::exists(value)) return value;
  const std::string built = folder + nativeSeparators(kToolsFolder) + program;
  return platform::exists(built) ? built : value;
}

template <class T>
const SettingKey& keyOf(T Settings::*field, T Settings::*SettingKey::*slot) {
  return *std::find_if(std::begin(kKeys), std::end(kKeys),
                       [&](const SettingKey& key) { return key.*slot == field; });
}

std::string sizeText(int32_t x, int32_t y, int32_t z) {
  return std::to_string(x) + " x " + std::to_string(y) + " x " + std::to_string(z);
}

// True when the text starts with a decimal number ("nan", "inf" and hex
// floats are not the shares a user writes).
bool startsWithNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  auto digit = [&](size_t at) { return at < text.size() && text[at] >= '0' && text[at] <= '9'; };
  return digit(i) || (i < text.size() && text[i] == '.' && digit(i + 1));
}

// "INI: [section] ", where a message about the section's values starts.
std::string inSection(const Settings& s, const SettingKey& key) {
  return s.ini_path + ": [" + std::string(key.section->name) + "] ";
}

}  // namespace

std::span<const SettingKey> settingKeys() { return kKeys; }

std::string defaultValue(const SettingKey& key, std::string_view folder) {
  Settings s;
  readValue(s, key, rawDefault(key, folder));
  return key.text != nullptr ? s.*key.text : std::to_string(s.*key.number);
}

void setIniPath(Settings& settings, std::string_view programPath) {
  const std::string moduleFolder = folderOf(programPath);
  const bool endsInSep = !moduleFolder.empty() && isSeparator(moduleFolder.back());
  settings.ini_path =
      moduleFolder + (endsInSep ? "" : std::string(1, platform::separator())) + settings.ini_path;
}

std::string iniFolder(const Settings& settings) { return folderOf(settings.ini_path); }

void readSettings(Settings& s, const IniFile& ini) {
  const std::string folder = iniFolder(s);
  for (const SettingKey& key : kKeys)
    readValue(s, key,
              builtToolFor(key,
                           ini.getString(key.section->name, key.name, rawDefault(key, folder)),
                           folder));
  s.target_directory_as_read.clear();
}

std::string gameDataFolder(std::string_view gameDirectory, Game game) {
  const std::string folder = withTrailingSeparator(gameDirectory);
  const std::string named = folder + std::string(gameDataFolderName(game));
  return platform::isFolder(named) ? withTrailingSeparator(named) : folder;
}

void applyGameDirectory(Settings& s, std::string_view option) {
  if (!option.empty()) s.game_directory = withTrailingSeparator(option);
  if (s.game_directory.empty()) return;
  const SettingKey& target = keyOf(&Settings::target_directory, &SettingKey::text);
  if (s.target_directory != defaultValue(target, iniFolder(s))) return;
  s.target_directory_as_read = s.target_directory;
  s.target_directory = gameDataFolder(s.game_directory, s.game()) + "maps" +
                       std::string(1, platform::separator());
}

void writeSettings(const Settings& s, IniFile& ini) {
  for (const SettingKey& key : kKeys) {
    if (!key.section->writtenBack) continue;
    const bool chosen = key.text == &Settings::target_directory && !s.target_directory_as_read.empty();
    ini.set(key.section->name, key.name, chosen ? s.target_directory_as_read : valueText(s, key));
  }
}

std::string defaultSettingsText(const Settings& s) {
  std::string out;
  auto lines = [&](std::string_view text) {
    if (!text.empty()) out.append(text).push_back('\n');
  };
  const SettingSection* section = nullptr;
  for (const SettingKey& key : kKeys) {
    if (key.section != section) {
      section = key.section;
      lines(section->preamble);
      lines("[" + std::string(section->name) + "]");
    }
    lines(key.help);
    lines((key.commentedInDefault ? ";" : "") + std::string(key.name) + "=" + valueText(s, key));
  }
  return out;
}

Status writeDefaultSettingsFile(Settings& settings) {
  // Defaults only: whatever the old file held has no say in the new one.
  readSettings(settings, IniFile{});
  return platform::replaceFile(settings.ini_path, defaultSettingsText(settings));
}

Expected<IniFile> loadIniFile(const std::string& path) {
  auto bytes = platform::readFile(path);
  // No INI yet: every setting keeps its default.
  if (!bytes)
    return bytes.kind() == ErrorKind::notFound ? Expected<IniFile>(IniFile{}) : bytes.error();
  return IniFile::parse(*bytes);
}

Status loadSettings(Settings& settings) {
  auto ini = loadIniFile(settings.ini_path);
  if (!ini) {
    readSettings(settings, IniFile{});
    return ini.error();
  }
  readSettings(settings, *ini);
  return success();
}

Status saveSettings(const Settings& settings) {
  auto ini = loadIniFile(settings.ini_path);
  if (!ini) return ini.error();
  writeSettings(settings, *ini);
  return platform::replaceFile(settings.ini_path, ini->text());
}

Status checkGridSettings(const Settings& s) {
  auto named = [&](int32_t Settings::*field) -> const SettingKey& {
    return keyOf(field, &SettingKey::number);
  };
  auto key = [&](const SettingKey& k, const std::string& value) {
    return inSection(s, k) + std::string(k.name) + " = " + value;
  };
  const SettingKey& x = named(&Settings::x);
  const SettingKey& y = named(&Settings::y);
  const SettingKey& z = named(&Settings::z);
  for (const SettingKey* side : {&x, &y})
    if (s.*side->number < 3)
      return fail(key(*side, std::to_string(s.*side->number)) +
                  " is too small: the grid needs at least 3 cells along " +
                  std::string(side->name) +
                  ", so the first room can stand away from the side walls");
  if (s.z < 1)
    return fail(key(z, std::to_string(s.z)) + " is too small: the grid needs at least one storey");
  // Each side first: three sides near 2^31 overflow even a 64-bit product.
  for (const SettingKey* side : {&x, &y, &z})
    if (s.*side->number > kMaxAxisCells)
      return fail(key(*side, std::to_string(s.*side->number)) +
                  " is too large: a random cell draw reaches every cell of at most " +
                  std::to_string(kMaxAxisCells) + " along an axis");
  const int64_t cells = int64_t{s.x} * s.y * s.z;
  if (cells > kMaxGridCells)
    return fail(inSection(s, x) + "grid " + sizeText(s.x, s.y, s.z) + " has " +
                std::to_string(cells) + " cells, more than the " + std::to_string(kMaxGridCells) +
                " a layout can be generated for in seconds");
  if (s.keys < 0 || s.keys > kMaxKeys)
    return fail(key(keyOf(&Settings::keys, &SettingKey::number), std::to_string(s.keys)) +
                " is not 0, 1 or 2: a level has at most " + std::to_string(kMaxKeys) + " keys");
  const float share = s.percent_to_fill;
  const std::string& text = s.percent_to_fill_text;
  if (!(text.empty() || startsWithNumber(text)) || !std::isfinite(share) || share < 0.0f ||
      share > 1.0f)
    return fail(key(keyOf(&Settings::percent_to_fill, &SettingKey::decimal),
                    text.empty() ? std::to_string(share) : text) +
                " is not a number from 0 to 1");
  return success();
}

Error fillShareNotReached(const Settings& s, std::string_view spent, std::string_view best) {
  const SettingKey& share = keyOf(&Settings::percent_to_fill, &SettingKey::decimal);
  std::ostringstream shown;
  shown.precision(2);
  shown << std::fixed << s.percent_to_fill;
  return fail(s.ini_path + ": no layout reached [" + std::string(share.section->name) + "] " +
              std::string(share.name) + " = " + shown.str() + " in " + std::string(spent) + " (" +
              std::string(best) + "); lower " + std::string(share.name));
}

}  // namespace cellforge

#include "foundation/settings.h"

#include <cmath>
#include <limits>

#include "foundation/path_parts.h"
#include "platform/platform.h"

namespace cellforge {

namespace {

std::string sep() { return std::string(1, platform::separator()); }

std::string program(std::string_view name) {
  return std::string(name) + std::string(platform::programSuffix());
}

}  // namespace

void setIniPath(Settings& settings, std::string_view programPath) {
  const std::string moduleFolder = folderOf(programPath);
  const bool endsInSep = !moduleFolder.empty() && isSeparator(moduleFolder.back());
  settings.ini_path = moduleFolder + (endsInSep ? "" : sep()) + settings.ini_path;
}

std::string iniFolder(const Settings& settings) { return folderOf(settings.ini_path); }

void readSettings(Settings& s, const IniFile& ini) {
  const std::string folder = iniFolder(s);
  const std::string up = ".." + sep();
  auto text = [&](std::string_view key, const std::string& fallback) {
    return ini.getString(kGlobals, key, fallback);
  };

  s.template_directory = text("template_directory", folder + up + "maps" + sep() + "templates");
  s.source_directory = text("source_directory", folder + up + "maps" + sep() + "S2");
  s.target_directory = text("target_directory", platform::defaultTargetFolder(folder));
  s.game_type = ini.getInt(kGlobals, "game_type", 2);
  s.client_path = text("client_path", folder + program("client"));
  s.quake_i_qbsp = text("quake_i_qbsp", folder + program("qbsp"));
  s.quake_i_light = text("quake_i_light", folder + program("light"));
  s.quake_i_vis = text("quake_i_vis", folder + program("vis"));
  s.quake_ii_qbsp = text("quake_ii_qbsp", folder + program("qbsp3"));
  s.quake_ii_vis = text("quake_ii_vis", folder + program("qvis3"));
  s.quake_ii_light = text("quake_ii_light", folder + program("qrad3"));

  s.x = ini.getInt(kTemplateSettings, "x", 4);
  s.y = ini.getInt(kTemplateSettings, "y", 4);
  s.z = ini.getInt(kTemplateSettings, "z", 2);
  s.percent_to_fill_text = ini.getString(kTemplateSettings, "percent_to_fill", "0.60");
  const double fill = leadingDecimal(s.percent_to_fill_text);
  // Past the float range the value becomes infinite rather than undefined.
  if (std::fabs(fill) <= std::numeric_limits<float>::max())
    s.percent_to_fill = static_cast<float>(fill);
  else
    s.percent_to_fill =
        std::copysign(std::numeric_limits<float>::infinity(), fill > 0 ? 1.0f : -1.0f);

  s.template_directory = withTrailingSeparator(s.template_directory);
  s.source_directory = withTrailingSeparator(s.source_directory);
  s.target_directory = withTrailingSeparator(s.target_directory);
}

void writeSettings(const Settings& s, IniFile& ini) {
  ini.set(kGlobals, "template_directory", s.template_directory);
  ini.set(kGlobals, "source_directory", s.source_directory);
  ini.set(kGlobals, "target_directory", s.target_directory);
  ini.setInt(kGlobals, "game_type", s.game_type);
  ini.set(kGlobals, "client_path", s.client_path);
  ini.set(kGlobals, "quake_i_qbsp", s.quake_i_qbsp);
  ini.set(kGlobals, "quake_i_light", s.quake_i_light);
  ini.set(kGlobals, "quake_i_vis", s.quake_i_vis);
  ini.set(kGlobals, "quake_ii_qbsp", s.quake_ii_qbsp);
  ini.set(kGlobals, "quake_ii_vis", s.quake_ii_vis);
  ini.set(kGlobals, "quake_ii_light", s.quake_ii_light);
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

}  // namespace cellforge

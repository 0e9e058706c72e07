#include "server/game_install.h"

#include <ostream>

#include "client/map_builder.h"
#include "foundation/path_parts.h"
#include "platform/platform.h"

namespace cellforge {

namespace {

// The wad a Quake map gets when the one it names is missing, beside it.
constexpr std::string_view kBuiltWadName = "sample.wad";

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

bool isAbsolute(std::string_view path) {
  return (!path.empty() && isSeparator(path.front())) ||
         (platform::separator() == '\\' && path.size() >= 2 && path[1] == ':');
}

std::string counted(size_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

void warnMissing(const std::vector<std::string>& missing, std::string_view where,
                 std::string_view effect, std::vector<std::string>& warnings) {
  for (const std::string& name : missing)
    warnings.push_back("warning: texture " + name + " is in no pak and no loose file of " +
                       std::string(where) + "; " + std::string(effect));
}

Status prepareQuake2(const Settings& settings, const gamefiles::GameFolder& game,
                     const MapCensus& census, std::ostream& out,
                     std::vector<std::string>& warnings) {
  const std::string into = targetDataFolder(settings);
  auto data = gamefiles::extractToolData(game, census.textures, into);
  if (!data) return data.error();
  out << "game data: " << counted(data->written.size(), "file", "files") << " from the paks"
      << (into == game.dataFolder() ? "" : " of " + game.dataFolder()) << " written into " << into
      << " as loose files for the tools (" << counted(data->kept.size(), "was", "were")
      << " there already and kept)\n";
  warnMissing(data->missing, game.dataFolder(), "the tools light it grey", warnings);
  return success();
}

Status prepareQuake(const Settings& settings, const gamefiles::GameFolder& game,
                    const MapCensus& census, std::ostream& out,
                    std::vector<std::string>& warnings) {
  // The map compiler runs in the target folder, so a wad named without a
  // folder is looked for there.
  std::vector<std::string> found;
  bool missing = !census.hasWorldWad;
  std::string_view list = census.worldWad;
  while (!list.empty()) {
    const size_t end = list.find(';');
    const std::string_view name = trimmed(list.substr(0, end));
    list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
    if (name.empty() || name == kBuiltWadName) continue;
    const std::string path =
        isAbsolute(name) ? std::string(name) : settings.target_directory + std::string(name);
    if (platform::exists(path))
      found.emplace_back(name);
    else
      missing = true;
  }
  if (!missing && !found.empty()) return success();

  auto wad = gamefiles::buildTextureWad(game, census.textures);
  if (!wad) return wad.error();
  const std::string wadPath = settings.target_directory + std::string(kBuiltWadName);
  if (Status s = platform::replaceFile(wadPath, wad->bytes); !s) return s;
  std::string value;
  for (const std::string& name : found) value += name + ";";
  value += kBuiltWadName;
  const std::string mapPath = settings.target_directory + std::string(kMapFileName);
  auto map = platform::readFile(mapPath);
  if (!map) return map.error();
  if (Status s = platform::replaceFile(mapPath, withWorldWad(*map, value)); !s) return s;
  out << "textures: " << wadPath << " written with "
      << counted(wad->names.size(), "texture", "textures") << " from the levels in the paks of "
      << game.dataFolder() << "; the map's wad is now \"" << value << "\"\n";
  warnMissing(wad->missing, game.dataFolder(), "it shows no texture", warnings);
  return success();
}

}  // namespace

std::string levelName() {
  std::string name(kMapFileName);
  return name.substr(0, name.rfind('.'));
}

std::string compiledLevelPath(const Settings& settings) {
  return settings.target_directory + levelName() + ".bsp";
}

std::string targetDataFolder(const Settings& settings) {
  return parentFolderOf(settings.target_directory);
}

std::vector<std::string> engineArguments(Game game) {
  if (game == Game::quake) return {"+map", levelName()};
  return {"+set", "singleplayer", "1", "+map", levelName()};
}

std::string playCommand(Game game, const std::string& installFolder) {
  std::string line =
      "cd \"" + installFolder + "\" && " + std::string(game == Game::quake ? "quake" : "quake2");
  for (const std::string& a : engineArguments(game)) line += " " + a;
  // Quake's console has no "set"; its skill is a command of its own.
  return line + (game == Game::quake ? "   (skill: +skill 0, 1, 2 or 3 before +map)"
                                     : "   (skill: +set skill 0, 1, 2 or 3 before +map)");
}

std::string withWorldWad(std::string_view map, std::string_view value) {
  // The lines of the first entity at its own level: its key lines.
  size_t at = 0, wadLine = std::string_view::npos, openEnd = std::string_view::npos;
  int depth = 0;
  while (at < map.size()) {
    const size_t end = std::min(map.find('\n', at), map.size());
    const std::string_view line = trimmed(map.substr(at, end - at));
    if (!line.empty() && line.front() == '{') {
      if (++depth == 1) openEnd = end;
    } else if (!line.empty() && line.front() == '}') {
      if (--depth <= 0) break;
    } else if (depth == 1 && line.starts_with("\"wad\"")) {
      wadLine = at;
    }
    at = end + 1;
  }
  const std::string keyLine = "\"wad\" \"" + std::string(value) + "\"";
  std::string out;
  if (wadLine != std::string_view::npos) {
    const size_t end = std::min(map.find('\n', wadLine), map.size());
    std::string_view line = map.substr(wadLine, end - wadLine);
    const size_t indent = line.find('"');
    const bool cr = !line.empty() && line.back() == '\r';
    out.append(map.substr(0, wadLine)).append(line.substr(0, indent)).append(keyLine);
    if (cr) out.push_back('\r');
    out.append(map.substr(end));
    return out;
  }
  if (openEnd == std::string_view::npos) return std::string(map);
  const bool cr = openEnd > 0 && map[openEnd - 1] == '\r';
  out.append(map.substr(0, openEnd)).append("\n  ").append(keyLine);
  if (cr) out.push_back('\r');
  out.append(map.substr(openEnd));
  return out;
}

Status prepareGameData(const Settings& settings, const gamefiles::GameFolder& game,
                       const MapCensus& census, std::ostream& out,
                       std::vector<std::string>& warnings) {
  return settings.game() == Game::quake ? prepareQuake(settings, game, census, out, warnings)
                                        : prepareQuake2(settings, game, census, out, warnings);
}

Expected<std::string> installLevel(const Settings& settings, const gamefiles::GameFolder& game) {
  const std::string built = compiledLevelPath(settings);
  const std::string maps = game.dataFolder() + "maps";
  const std::string installed = maps + std::string(1, platform::separator()) + levelName() + ".bsp";
  if (installed == built) return installed;
  auto bytes = platform::readFile(built);
  if (!bytes) return bytes.error();
  if (Status s = platform::makeFolder(maps); !s) return s.error();
  if (Status s = platform::replaceFile(installed, *bytes); !s) return s.error();
  return installed;
}

}  // namespace cellforge

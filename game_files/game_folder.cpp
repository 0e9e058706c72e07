#include "game_files/game_folder.h"

#include <algorithm>
#include <set>
#include <unordered_map>

#include "bytes.h"
#include "foundation/path_parts.h"
#include "foundation/settings.h"
#include "game_files/miptex.h"
#include "game_files/wad_file.h"
#include "game_files/wal_file.h"
#include "platform/platform.h"

namespace cellforge::gamefiles {

using detail::lowered;
using detail::quoted;
using detail::sameNoCase;

namespace {

// A game's name ("textures/e1u1/floor1_1.wal") as a path under a folder.
std::string native(std::string_view name) {
  std::string out(name);
  std::replace(out.begin(), out.end(), '/', platform::separator());
  return out;
}

bool isFile(const std::string& path) { return platform::exists(path) && !platform::isFolder(path); }

bool startsNoCase(std::string_view text, std::string_view start) {
  return text.size() >= start.size() && sameNoCase(text.substr(0, start.size()), start);
}
bool endsNoCase(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && sameNoCase(text.substr(text.size() - end.size()), end);
}

// The header and directory of the pak at `path`, read alone.
Expected<std::vector<PakEntry>> readPakFile(const std::string& path) {
  const auto size = platform::fileSize(path);
  if (!size) return size.error();
  const auto head = platform::readFileRange(path, 0, std::min<uint64_t>(*size, kPakHeaderSize));
  if (!head) return head.error();
  const auto header = readPakHeader(*head, *size, path);
  if (!header) return header.error();
  const auto directory =
      platform::readFileRange(path, header->directoryOffset, header->directoryLength);
  if (!directory) return directory.error();
  return readPakDirectory(*directory, *header, *size, path);
}

}  // namespace

Expected<GameFolder> GameFolder::open(const std::string& folder, Game game) {
  const char sep = platform::separator();
  const std::string base = folder.empty() ? std::string(".") + sep : withTrailingSeparator(folder);
  const std::string nested = base + std::string(gameDataFolderName(game)) + sep;
  GameFolder g;
  g.game_ = game;
  // The data folder the settings take the maps folder from, so the level
  // and the data it is compiled from are in one tree.
  const std::string data = gameDataFolder(base, game);
  if (isFile(data + "pak0.pak")) {
    g.data_ = data;
    // Else the user named the data folder itself.
    g.install_ = data == nested ? base : parentFolderOf(base);
  } else {
    return Error::notFound(folder + ": no game data: looked for " + nested + "pak0.pak and " +
                           base + "pak0.pak");
  }
  for (int i = 0;; ++i) {
    std::string path = g.data_ + "pak" + std::to_string(i) + ".pak";
    if (!isFile(path)) break;
    auto entries = readPakFile(path);
    if (!entries) return entries.error();
    g.pakPaths_.push_back(std::move(path));
    g.pakEntries_.push_back(std::move(*entries));
  }
  return g;
}

std::optional<GameFolder::Found> GameFolder::find(std::string_view name) const {
  std::string path = data_ + native(name);
  if (!name.empty() && isFile(path)) return Found{true, std::move(path), {}};
  return findInPaks(name);
}

std::optional<GameFolder::Found> GameFolder::findInPaks(std::string_view name) const {
  for (size_t p = pakPaths_.size(); p-- > 0;) {
    // Within one pak the game takes the first of two entries of one name.
    for (const PakEntry& entry : pakEntries_[p])
      if (sameNoCase(entry.name, name)) return Found{false, pakPaths_[p], entry};
  }
  return std::nullopt;
}

Expected<std::string> GameFolder::read(const Found& found) const {
  if (found.loose) return platform::readFile(found.path);
  return platform::readFileRange(found.path, found.entry.offset, found.entry.size);
}

std::vector<std::string> GameFolder::pakNames(std::string_view prefix,
                                              std::string_view suffix) const {
  std::vector<std::string> names;
  std::set<std::string> seen;
  for (size_t p = pakPaths_.size(); p-- > 0;) {
    for (const PakEntry& entry : pakEntries_[p]) {
      if (startsNoCase(entry.name, prefix) && endsNoCase(entry.name, suffix) &&
          seen.insert(lowered(entry.name)).second)
        names.push_back(entry.name);
    }
  }
  return names;
}

bool GameFolder::isShareware() const {
  return game_ == Game::quake && !find("gfx/pop.lmp").has_value();
}

namespace {

// A name the tools may read from under textures/: no absolute path, no
// empty, "." or ".." part, nothing a system reads as a drive or separator.
bool isPlainTextureName(std::string_view name) {
  if (name.empty() || name.find_first_of("\\:") != std::string_view::npos) return false;
  size_t begin = 0;
  for (;;) {
    const size_t end = std::min(name.find('/', begin), name.size());
    const std::string_view part = name.substr(begin, end - begin);
    if (part.empty() || part == "." || part == "..") return false;
    if (end == name.size()) return true;
    begin = end + 1;
  }
}

struct Provided {
  std::string bytes;
  std::string where;  // names the bytes' source in messages
};

// Puts the game's `name` into `dataFolder` unless a file is there already;
// the bytes either way, or none when neither the folder nor the game has it.
Expected<std::optional<Provided>> provide(const GameFolder& game, const std::string& name,
                                          const std::string& dataFolder, ToolData& done) {
  const std::string target = dataFolder + native(name);
  if (platform::exists(target)) {
    auto bytes = platform::readFile(target);
    if (!bytes) return bytes.error();
    done.kept.push_back(name);
    return std::optional<Provided>(Provided{std::move(*bytes), target});
  }
  const auto found = game.find(name);
  if (!found) return std::optional<Provided>();
  auto bytes = game.read(*found);
  if (!bytes) return bytes.error();
  for (size_t at = name.find('/'); at != std::string::npos; at = name.find('/', at + 1)) {
    const auto made = platform::makeFolder(dataFolder + native(name.substr(0, at)));
    if (!made) return made.error();
  }
  const auto put = platform::replaceFile(target, *bytes);
  if (!put) return put.error();
  done.written.push_back(name);
  return std::optional<Provided>(Provided{
      std::move(*bytes), found->loose ? found->path : found->path + ": " + found->entry.name});
}

}  // namespace

Expected<ToolData> extractToolData(const GameFolder& game, std::span<const std::string> textures,
                                   const std::string& dataFolder) {
  ToolData done;
  const std::string colormap = "pics/colormap.pcx";
  const auto map = provide(game, colormap, dataFolder, done);
  if (!map) return map.error();
  if (!*map) {
    std::string looked = game.dataFolder() + native(colormap);
    for (const std::string& pak : game.paks()) looked += ", " + pak;
    return Error::notFound("no " + colormap + " for the compile tools: looked in " + looked);
  }
  // Each name is followed once, so a chain of frames that loops ends.
  std::vector<std::string> queue(textures.begin(), textures.end());
  std::set<std::string> seen;
  for (size_t i = 0; i < queue.size(); ++i) {
    const std::string texture = queue[i];
    if (!seen.insert(texture).second) continue;
    if (!isPlainTextureName(texture))
      return fail("texture " + quoted(texture) + ": not a name under textures/");
    const auto wal = provide(game, "textures/" + texture + ".wal", dataFolder, done);
    if (!wal) return wal.error();
    if (!*wal) {
      done.missing.push_back(texture);
      continue;
    }
    const auto header = readWalHeader((*wal)->bytes, (*wal)->where);
    if (!header) return header.error();
    if (!header->animName.empty()) queue.push_back(header->animName);
  }
  return done;
}

namespace {

// "+0lava": the frame's place in its series is its second character.
bool isFrame(std::string_view name) {
  if (name.size() < 3 || name[0] != '+') return false;
  const char c = detail::lowerAscii(name[1]);
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'j');
}

}  // namespace

Expected<TextureWad> buildTextureWad(const GameFolder& game,
                                     std::span<const std::string> textures) {
  std::vector<Miptex> all;
  std::unordered_map<std::string, size_t> index;  // lower-cased name -> place in `all`
  for (const std::string& level : game.pakNames("maps/", ".bsp")) {
    const auto found = game.findInPaks(level);
    if (!found) continue;
    const auto bytes = game.read(*found);
    if (!bytes) return bytes.error();
    auto read = readBspTextures(*bytes, found->path + ": " + level);
    if (!read) return read.error();
    for (Miptex& tex : *read)
      if (index.emplace(lowered(tex.name), all.size()).second) all.push_back(std::move(tex));
  }
  std::vector<size_t> chosen;
  std::vector<bool> taken(all.size(), false);
  const auto take = [&](size_t i) {
    if (!taken[i]) chosen.push_back(i);
    taken[i] = true;
  };
  // A texture, then the other frames of its series in the engine's order.
  const auto takeWithFrames = [&](size_t i) {
    take(i);
    const std::string name = all[i].name;
    if (!isFrame(name)) return;
    for (const char c : std::string_view("0123456789abcdefghij")) {
      const auto frame = index.find(lowered(std::string{'+', c} + name.substr(2)));
      if (frame != index.end()) take(frame->second);
    }
  };
  TextureWad wad;
  if (textures.empty()) {
    for (size_t i = 0; i < all.size(); ++i) takeWithFrames(i);
  } else {
    std::set<std::string> missing;
    for (const std::string& name : textures) {
      const auto at = index.find(lowered(name));
      if (at != index.end())
        takeWithFrames(at->second);
      else if (missing.insert(lowered(name)).second)
        wad.missing.push_back(name);
    }
  }
  std::vector<WadLump> lumps;
  lumps.reserve(chosen.size());
  for (const size_t i : chosen) {
    wad.names.push_back(all[i].name);
    lumps.push_back(WadLump{all[i].name, kWadMiptexType, std::move(all[i].bytes)});
  }
  wad.bytes = writeWad(lumps);
  return wad;
}

}  // namespace cellforge::gamefiles

#include "client/level_rules.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <span>
#include <vector>

namespace cellforge {

namespace {

constexpr std::string_view kTargetKeys[] = {"target", "killtarget"};
constexpr std::string_view kQuake2TargetKeys[] = {"pathtarget", "combattarget", "deathtarget"};

bool in(std::span<const std::string_view> keys, std::string_view key) {
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

constexpr int kMaxFractionDigits = 9;

std::optional<DepthRange::Decimal> parseDecimal(std::string_view token) {
  DepthRange::Decimal d;
  size_t p = 0;
  while (p < token.size() && token[p] >= '0' && token[p] <= '9' && p < 2) {
    d.digits = d.digits * 10 + (token[p] - '0');
    ++p;
  }
  if (p == 0) return std::nullopt;
  if (p < token.size() && token[p] == '.') {
    ++p;
    int fraction = 0;
    while (p < token.size() && token[p] >= '0' && token[p] <= '9') {
      if (++fraction > kMaxFractionDigits) return std::nullopt;
      d.digits = d.digits * 10 + (token[p] - '0');
      d.scale *= 10;
      ++p;
    }
    if (fraction == 0) return std::nullopt;
  }
  if (p != token.size() || d.digits > d.scale) return std::nullopt;  // past 1
  return d;
}

// a < b, exactly.
bool less(DepthRange::Decimal a, DepthRange::Decimal b) {
  return a.digits * b.scale < b.digits * a.scale;
}

}  // namespace

Expected<LockSpot> parseLockSpot(std::string_view key, std::string_view value) {
  const std::vector<std::string_view> words = maptext::splitWords(value);
  auto number = [](std::string_view w, int32_t& out) {
    const auto [end, error] = std::from_chars(w.data(), w.data() + w.size(), out);
    return error == std::errc{} && end == w.data() + w.size();
  };
  LockSpot spot;
  if (words.size() == 4 && number(words[0], spot.cell.x) && number(words[1], spot.cell.y) &&
      number(words[2], spot.cell.z))
    for (const Side& side : kSides)
      if (words[3] == side.name) {
        spot.side = static_cast<SideIndex>(&side - kSides);
        return spot;
      }
  return fail(std::string(key) + " \"" + std::string(value) +
              "\" must be a cell of the piece and one of its sides, as \"0 0 0 +y\" (sides +y, "
              "-y, +x, -x)");
}

std::string lockSpotText(const LockSpot& spot) {
  return std::to_string(spot.cell.x) + " " + std::to_string(spot.cell.y) + " " +
         std::to_string(spot.cell.z) + " " + std::string(kSides[spot.side].name);
}

const KeyKind& keyKind(Game game, int number) {
  static constexpr KeyKind kQuake[2] = {{"silver", "item_key1", 16}, {"gold", "item_key2", 8}};
  static constexpr KeyKind kQuake2[2] = {{"blue", "key_blue_key", 0}, {"red", "key_red_key", 0}};
  const size_t at = number >= 2 ? 1 : 0;
  return game == Game::quake ? kQuake[at] : kQuake2[at];
}

bool isTargetKey(std::string_view key, Game game) {
  return in(kTargetKeys, key) || (game == Game::quake2 && in(kQuake2TargetKeys, key));
}

std::string_view changelevelClass(Game game) {
  return game == Game::quake ? "trigger_changelevel" : "target_changelevel";
}

std::vector<bool> exitEntities(const maptext::Piece& piece, Game game) {
  const auto& entities = piece.entities();
  std::vector<bool> exit(entities.size(), false);
  std::vector<std::string_view> names;
  for (size_t i = 0; i < entities.size(); ++i) {
    exit[i] = maptext::equalsNoCase(entities[i].className, changelevelClass(game));
    if (exit[i] && game == Game::quake2)
      if (std::string_view n = piece.value(entities[i], "targetname"); !n.empty())
        names.push_back(n);
  }
  for (size_t i = 0; i < entities.size(); ++i) {
    if (&entities[i] == piece.world() || entities[i].unused) continue;
    const std::string_view target = piece.value(entities[i], "target");
    if (!target.empty() && std::find(names.begin(), names.end(), target) != names.end())
      exit[i] = true;
  }
  return exit;
}

bool isNameKey(std::string_view key, Game game) {
  return key == "targetname" || (game == Game::quake2 && key == "team") || isTargetKey(key, game);
}

bool DepthRange::contains(LevelPlan::Ratio r) const {
  // low <= num / den <= high, in integers: den <= 2^31, scale <= 10^9.
  return low.digits * r.den <= r.num * low.scale && r.num * high.scale <= high.digits * r.den;
}

Expected<DepthRange> parseDepthRange(std::string_view value) {
  // Read for every entity that has one as each piece loads: the message is
  // made only when it is needed.
  const std::vector<std::string_view> words = maptext::splitWords(value);
  if (words.size() == 2) {
    const auto low = parseDecimal(words[0]), high = parseDecimal(words[1]);
    if (low && high && !less(*high, *low)) return DepthRange{*low, *high};
  }
  return fail(std::string(kDepthKey) + " \"" + std::string(value) +
              "\" must be two numbers from 0 to 1, the lower first (as \"0.5 1\")");
}

}  // namespace cellforge

#include "client/level_rules.h"

#include <algorithm>
#include <array>

namespace cellforge {

namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char l, char r) {
    auto up = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    return up(l) == up(r);
  });
}

// Keys whose value names another entity, so copies of a piece get their own.
constexpr std::array<std::string_view, 3> kNameKeys = {"target", "targetname", "killtarget"};
constexpr std::array<std::string_view, 4> kQuake2NameKeys = {"team", "pathtarget", "combattarget",
                                                             "deathtarget"};

bool isNameKey(std::string_view key, bool quake1) {
  auto in = [&](const auto& keys) {
    return std::find(keys.begin(), keys.end(), key) != keys.end();
  };
  return in(kNameKeys) || (!quake1 && in(kQuake2NameKeys));
}

// The value of the last line of `block` with exactly this key, if any.
std::optional<std::string_view> valueOf(const PieceBlock& block, std::string_view key) {
  std::optional<std::string_view> found;
  for (const PieceLine& line : block) {
    KeyLine k;
    if (parseKeyLine(line.text, k) && k.key == key) found = k.value;
  }
  return found;
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

bool DepthRange::contains(LevelPlan::Ratio r) const {
  // low <= num / den <= high, in integers: den <= 2^31, scale <= 10^9.
  return low.digits * r.den <= r.num * low.scale && r.num * high.scale <= high.digits * r.den;
}

Expected<DepthRange> parseDepthRange(std::string_view value) {
  const Error bad = fail(std::string(kDepthKey) + " \"" + std::string(value) +
                         "\" must be two numbers from 0 to 1, the lower first (as \"0.5 1\")");
  std::vector<std::string_view> words;
  size_t p = 0;
  while (p < value.size()) {
    while (p < value.size() && (value[p] == ' ' || value[p] == '\t')) ++p;
    const size_t start = p;
    while (p < value.size() && value[p] != ' ' && value[p] != '\t') ++p;
    if (p > start) words.push_back(value.substr(start, p - start));
  }
  if (words.size() != 2) return bad;
  const auto low = parseDecimal(words[0]), high = parseDecimal(words[1]);
  if (!low || !high || less(*high, *low)) return bad;
  return DepthRange{*low, *high};
}

Expected<PieceRules> PieceRules::of(const PieceText& piece, bool quake1) {
  PieceRules rules;
  rules.quake1_ = quake1;
  const auto& blocks = piece.blocks();
  // Quake II: the names of the piece's changelevel targets.
  std::vector<std::string_view> changelevelNames;
  for (const PieceBlock& block : blocks) {
    Entity e;
    const std::string cls = className(block);
    e.playerStart = equalsNoCase(cls, "info_player_start");
    e.world = equalsNoCase(cls, "worldspawn");
    e.exit = equalsNoCase(cls, quake1 ? "trigger_changelevel" : "target_changelevel");
    if (e.exit && !quake1)
      if (auto name = valueOf(block, "targetname"); name && !name->empty())
        changelevelNames.push_back(*name);
    for (const PieceLine& line : block) {
      KeyLine k;
      if (!parseKeyLine(line.text, k) || k.key != kDepthKey) continue;
      auto range = parseDepthRange(k.value);
      if (!range)
        return fail(piece.name() + ":" + std::to_string(line.number) + ": " + range.message());
      e.depth = *range;
    }
    rules.entities_.push_back(e);
  }
  for (size_t i = 0; i < blocks.size(); ++i) {
    Entity& e = rules.entities_[i];
    if (e.world) continue;
    if (auto target = valueOf(blocks[i], "target"))
      if (std::find(changelevelNames.begin(), changelevelNames.end(), *target) !=
          changelevelNames.end())
        e.exit = true;
    rules.hasExit_ = rules.hasExit_ || e.exit;
  }
  return rules;
}

Status PieceRules::writeEntities(std::string& out, const PieceText& piece, GridCoord position,
                                 const PlacementOptions& options) const {
  const auto& blocks = piece.blocks();
  for (size_t i = 0; i < blocks.size(); ++i) {
    const Entity& e = entities_[i];
    if (e.world || (e.playerStart && !options.keepStart) || (e.exit && !options.keepExit)) continue;
    if (e.depth && !(options.depth && e.depth->contains(*options.depth))) continue;
    for (const PieceLine& line : blocks[i]) {
      KeyLine k;
      if (parseKeyLine(line.text, k)) {
        if (k.key == kDepthKey) continue;  // for the kit only; the games ignore it
        if (!options.nameSuffix.empty() && !k.value.empty() && isNameKey(k.key, quake1_)) {
          const auto end = static_cast<size_t>(k.value.data() - line.text.data()) + k.value.size();
          out.append(line.text, 0, end);
          out += options.nameSuffix;
          out.append(line.text, end);
          out += '\n';
          continue;
        }
      }
      auto moved = piece.translate(line, position);
      if (!moved) return moved.error();
      out += *moved;
      out += '\n';
    }
  }
  return success();
}

}  // namespace cellforge

// The INI reader and write-back on arbitrary text. Parsing keeps the text
// byte for byte; a set changes the one value it sets and no other; and the
// written text parses back to the same values.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/ini_file.h"
#include "foundation/settings.h"

namespace {

using namespace cellforge;

// The names the programs use, one spelt in another case, and short ones
// the fuzzer can type.
constexpr std::array<std::string_view, 3> kSections{"globals", "template_settings", "a"};
constexpr std::array<std::string_view, 6> kKeys{"Source_Directory", "game_type",   "x",
                                                "percent_to_fill",  "client_path", "b"};

using Values = std::vector<std::optional<std::string>>;

Values allValues(const IniFile& ini) {
  Values v;
  for (auto s : kSections)
    for (auto k : kKeys) v.push_back(ini.get(s, k));
  return v;
}

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  return true;
}

// Values come from paths and numbers: one line, but any bytes otherwise.
std::string plainValue(std::string v) {
  for (char& c : v)
    if (c == '\n') c = '_';
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The input is the INI text, then the value to set, its length (one
  // byte) and which key to set (one byte).
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t pick = 0, length = 0;
  if (!input.empty()) {
    pick = static_cast<unsigned char>(input.back());
    input.remove_suffix(1);
  }
  if (!input.empty()) {
    length = std::min<size_t>(static_cast<unsigned char>(input.back()), input.size() - 1);
    input.remove_suffix(1);
  }
  const std::string value = plainValue(std::string(input.substr(input.size() - length)));
  const std::string text(input.substr(0, input.size() - length));
  const size_t section = pick / kKeys.size() % kSections.size();
  const size_t key = pick % kKeys.size();

  IniFile ini = IniFile::parse(text);
  if (ini.text() != text) std::abort();
  const Values before = allValues(ini);
  if (allValues(IniFile::parse(ini.text())) != before) std::abort();

  // Both programs read every key; nothing may trip on any value.
  Settings settings;
  settings.ini_path = "/install/bin/Cellforge.INI";
  readSettings(settings, ini);

  ini.set(kSections[section], kKeys[key], value);
  if (ini.get(kSections[section], kKeys[key]) != value) std::abort();
  const Values after = allValues(ini);
  size_t i = 0;
  for (auto s : kSections)
    for (auto k : kKeys) {
      const bool touched = sameName(s, kSections[section]) && sameName(k, kKeys[key]);
      if (!touched && after[i] != before[i]) std::abort();
      ++i;
    }
  if (allValues(IniFile::parse(ini.text())) != after) std::abort();

  // The whole write-back keeps what it does not write.
  writeSettings(settings, ini);
  const std::string written = ini.text();
  IniFile reread = IniFile::parse(written);
  if (reread.text() != written) std::abort();
  Settings again;
  again.ini_path = settings.ini_path;
  readSettings(again, reread);
  if (again.template_directory != settings.template_directory ||
      again.source_directory != settings.source_directory ||
      again.target_directory != settings.target_directory ||
      again.client_path != settings.client_path || again.game_type != settings.game_type ||
      again.quake_ii_light != settings.quake_ii_light)
    std::abort();
  return 0;
}

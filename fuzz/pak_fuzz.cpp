// The pak, WAD2 and .wal readers on arbitrary bytes: a refusal is one line;
// what is accepted lies inside the file and writes back into a file that
// reads back the same.
#include <cstdlib>
#include <string_view>

#include "game_files/pak_file.h"
#include "game_files/wad_file.h"
#include "game_files/wal_file.h"

namespace {

using namespace cellforge;
using namespace cellforge::gamefiles;

template <class T>
bool refusedInOneLine(const Expected<T>& read) {
  if (read.ok()) return false;
  if (read.message().find('\n') != std::string::npos) std::abort();
  return true;
}

void pak(std::string_view bytes) {
  const auto entries = readPak(bytes, "fuzz.pak");
  if (refusedInOneLine(entries)) return;
  std::vector<std::pair<std::string, std::string>> files;
  for (const PakEntry& e : *entries) {
    if (e.name.empty() || uint64_t{e.offset} + e.size > bytes.size()) std::abort();
    files.emplace_back(e.name, std::string(bytes.substr(e.offset, e.size)));
  }
  const std::string again = writePak(files);
  const auto back = readPak(again, "again.pak");
  if (!back || back->size() != files.size()) std::abort();
  for (size_t i = 0; i < files.size(); ++i) {
    const PakEntry& e = (*back)[i];
    if (e.name != files[i].first || again.substr(e.offset, e.size) != files[i].second) std::abort();
  }
}

void wad(std::string_view bytes) {
  const auto lumps = readWad(bytes, "fuzz.wad");
  if (refusedInOneLine(lumps)) return;
  const auto back = readWad(writeWad(*lumps), "again.wad");
  if (!back || back->size() != lumps->size()) std::abort();
  for (size_t i = 0; i < lumps->size(); ++i) {
    const WadLump &a = (*lumps)[i], &b = (*back)[i];
    if (a.name != b.name || a.type != b.type || a.bytes != b.bytes) std::abort();
  }
}

void wal(std::string_view bytes) {
  const auto header = readWalHeader(bytes, "fuzz.wal");
  if (refusedInOneLine(header)) return;
  if (header->width == 0 || header->height == 0) std::abort();
  const auto made = readWalHeader(
      makeWal(header->name, header->width, header->height, header->animName), "again.wal");
  if (!made || made->name != header->name || made->animName != header->animName) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  pak(bytes);
  wad(bytes);
  wal(bytes);
  return 0;
}

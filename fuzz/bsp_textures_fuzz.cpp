// The level texture and miptex readers on arbitrary bytes: a refusal is one
// line; the textures accepted write into a level that reads back the same,
// and a miptex's normal bytes read back as themselves.
#include <cstdlib>
#include <string_view>

#include "game_files/miptex.h"

namespace {

using namespace cellforge;
using namespace cellforge::gamefiles;

template <class T>
bool refusedInOneLine(const Expected<T>& read) {
  if (read.ok()) return false;
  if (read.message().find('\n') != std::string::npos) std::abort();
  return true;
}

bool same(const Miptex& a, const Miptex& b) {
  return a.name == b.name && a.width == b.width && a.height == b.height && a.bytes == b.bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto textures = readBspTextures(bytes, "fuzz.bsp");
  if (!refusedInOneLine(textures)) {
    const auto back = readBspTextures(writeBspTextures(*textures), "again.bsp");
    if (!back || back->size() != textures->size()) std::abort();
    for (size_t i = 0; i < back->size(); ++i)
      if (!same((*back)[i], (*textures)[i])) std::abort();
  }
  const auto tex = readMiptex(bytes, "fuzz");
  if (!refusedInOneLine(tex)) {
    const auto again = readMiptex(tex->bytes, "again");
    if (!again || !same(*again, *tex)) std::abort();
  }
  return 0;
}

#include "game_files/miptex.h"

#include <algorithm>
#include <array>

#include "bytes.h"

namespace cellforge::gamefiles {

using detail::i32;
using detail::pastEnd;
using detail::quoted;
using detail::u32;

namespace {

// Bytes of mip level `level` (0 to 3) of a texture of this size.
uint64_t levelSize(uint32_t width, uint32_t height, int level) {
  return uint64_t{width >> level} * (height >> level);
}

std::string checkSide(std::string_view field, uint32_t side) {
  if (side == 0) return std::string(field) + " is 0";
  if (side > kMaxMiptexSide)
    return std::string(field) + " " + std::to_string(side) + " is past " +
           std::to_string(kMaxMiptexSide);
  if (side % 16 != 0)
    return std::string(field) + " " + std::to_string(side) + " is not a multiple of 16";
  return {};
}

// A texture some tools store without pixels, for an external wad to give:
// its four level offsets are all 0.
bool isExternal(std::string_view miptex) {
  if (miptex.size() < kMiptexHeaderSize) return false;
  const std::string_view offsets = miptex.substr(24, 16);
  return std::all_of(offsets.begin(), offsets.end(), [](char c) { return c == '\0'; });
}

constexpr size_t kBspLumps = 15;
constexpr size_t kBspHeaderSize = 4 + kBspLumps * 8;
constexpr size_t kTextureLump = 2;

}  // namespace

Expected<Miptex> readMiptex(std::string_view lump, std::string_view where) {
  if (lump.size() < kMiptexHeaderSize)
    return fail(std::string(where) + ": header: " + std::to_string(lump.size()) +
                " bytes, shorter than the 40-byte texture header");
  const auto name = detail::nameIn(lump.substr(0, kMiptexNameSize));
  if (!name) return fail(std::string(where) + ": name has no NUL in its 16 bytes");
  const std::string label = std::string(where) + " (" + quoted(*name) + "): ";
  const uint32_t width = u32(lump, 16), height = u32(lump, 20);
  for (const auto& problem : {checkSide("width", width), checkSide("height", height)})
    if (!problem.empty()) return fail(label + problem);
  Miptex tex{std::string(*name), width, height, {}};
  tex.bytes.reserve(static_cast<size_t>(kMiptexHeaderSize + levelSize(width, height, 0) * 85 / 64));
  detail::putName(tex.bytes, tex.name, kMiptexNameSize);
  detail::putU32(tex.bytes, width);
  detail::putU32(tex.bytes, height);
  uint64_t next = kMiptexHeaderSize;
  for (int level = 0; level < 4; ++level) {
    detail::putU32(tex.bytes, static_cast<uint32_t>(next));
    next += levelSize(width, height, level);
  }
  for (int level = 0; level < 4; ++level) {
    const uint32_t offset = u32(lump, 24 + 4 * static_cast<size_t>(level));
    const uint64_t size = levelSize(width, height, level);
    if (offset + size > lump.size())
      return fail(label + pastEnd("level " + std::to_string(level) + " offset", offset, "size",
                                  size, "texture", lump.size()));
    tex.bytes += lump.substr(offset, static_cast<size_t>(size));
  }
  return tex;
}

Miptex makeMiptex(std::string_view name, uint32_t width, uint32_t height, std::string_view pixels) {
  std::string header;
  detail::putName(header, name, kMiptexNameSize);
  detail::putU32(header, width);
  detail::putU32(header, height);
  uint64_t next = kMiptexHeaderSize;
  for (int level = 0; level < 4; ++level) {
    detail::putU32(header, static_cast<uint32_t>(next));
    next += levelSize(width, height, level);
  }
  // Pixels short of the levels' size are made up with zeros, extra ones cut.
  std::string levels(pixels.substr(0, static_cast<size_t>(next - kMiptexHeaderSize)));
  levels.resize(static_cast<size_t>(next - kMiptexHeaderSize), '\0');
  const std::string_view stored = std::string_view(header).substr(0, kMiptexNameSize);
  return Miptex{std::string(stored.substr(0, stored.find('\0'))), width, height, header + levels};
}

Expected<std::vector<Miptex>> readBspTextures(std::string_view bsp, std::string_view file) {
  const std::string prefix = std::string(file) + ": ";
  if (bsp.size() < kBspHeaderSize)
    return fail(prefix + "header: " + std::to_string(bsp.size()) + " bytes, shorter than the " +
                std::to_string(kBspHeaderSize) + "-byte header");
  if (bsp.substr(0, 4) != "BSP2" && i32(bsp, 0) != 29) {
    if (bsp.substr(0, 4) == "IBSP") return fail(prefix + "header: a Quake II level, not Quake's");
    return fail(prefix + "header: version " + std::to_string(i32(bsp, 0)) +
                " is not 29 or \"BSP2\"");
  }
  const int32_t lumpOffset = i32(bsp, 4 + kTextureLump * 8);
  const int32_t lumpLength = i32(bsp, 8 + kTextureLump * 8);
  if (lumpOffset < 0)
    return fail(prefix + "header: texture lump offset " + std::to_string(lumpOffset) +
                " is negative");
  if (lumpLength < 0)
    return fail(prefix + "header: texture lump length " + std::to_string(lumpLength) +
                " is negative");
  if (uint64_t(lumpOffset) + uint64_t(lumpLength) > bsp.size())
    return fail(prefix + "header: " +
                pastEnd("texture lump offset", uint64_t(lumpOffset), "length", uint64_t(lumpLength),
                        "file", bsp.size()));
  std::vector<Miptex> textures;
  // A level with no texture lump has no textures (the engine reads it so).
  if (lumpLength == 0) return textures;
  const std::string_view lump =
      bsp.substr(static_cast<size_t>(lumpOffset), static_cast<size_t>(lumpLength));
  if (lump.size() < 4)
    return fail(prefix + "texture lump: " + std::to_string(lump.size()) +
                " bytes, too short for its count");
  const int32_t count = i32(lump, 0);
  if (count < 0)
    return fail(prefix + "texture lump: count " + std::to_string(count) + " is negative");
  const uint64_t tableEnd = 4 + 4 * uint64_t(count);
  if (tableEnd > lump.size())
    return fail(prefix + "texture lump: count " + std::to_string(count) + " needs " +
                std::to_string(tableEnd) + " bytes, the lump has " + std::to_string(lump.size()));
  std::vector<int32_t> offsets(static_cast<size_t>(count));
  for (size_t i = 0; i < offsets.size(); ++i) {
    offsets[i] = i32(lump, 4 + 4 * i);
    if (offsets[i] != -1 && (offsets[i] < 0 || uint64_t(offsets[i]) >= lump.size()))
      return fail(prefix + "texture " + std::to_string(i) + ": offset " +
                  std::to_string(offsets[i]) + " is outside the texture lump (" +
                  std::to_string(lump.size()) + " bytes)");
  }
  // Each texture reaches to the next one's start, or the lump's end.
  std::vector<int32_t> starts(offsets);
  std::sort(starts.begin(), starts.end());
  for (size_t i = 0; i < offsets.size(); ++i) {
    if (offsets[i] == -1) continue;
    const auto next = std::upper_bound(starts.begin(), starts.end(), offsets[i]);
    const size_t begin = static_cast<size_t>(offsets[i]);
    const size_t end = next == starts.end() ? lump.size() : static_cast<size_t>(*next);
    const std::string_view slice = lump.substr(begin, end - begin);
    if (isExternal(slice)) continue;
    auto tex = readMiptex(slice, prefix + "texture " + std::to_string(i));
    if (!tex) return tex.error();
    textures.push_back(std::move(*tex));
  }
  return textures;
}

std::string writeBspTextures(const std::vector<Miptex>& textures) {
  std::string lump;
  detail::putU32(lump, static_cast<uint32_t>(textures.size()));
  size_t at = 4 + 4 * textures.size();
  for (const Miptex& tex : textures) {
    detail::putU32(lump, static_cast<uint32_t>(at));
    at += tex.bytes.size();
  }
  for (const Miptex& tex : textures) lump += tex.bytes;
  std::string out;
  detail::putI32(out, 29);
  for (size_t i = 0; i < kBspLumps; ++i) {
    detail::putU32(out, i == kTextureLump ? static_cast<uint32_t>(kBspHeaderSize) : 0);
    detail::putU32(out, i == kTextureLump ? static_cast<uint32_t>(lump.size()) : 0);
  }
  return out + lump;
}

}  // namespace cellforge::gamefiles

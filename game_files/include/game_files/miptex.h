#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

// Quake's textures: a miptex (name[16], uint32 width and height, four
// uint32 offsets of the mip levels from the miptex's start, then the four
// levels of width x height, /2, /4, /8 bytes), as a compiled level's
// texture lump holds them and as a WAD2 lump of type 0x44 does.
namespace cellforge::gamefiles {

inline constexpr size_t kMiptexHeaderSize = 40;
inline constexpr size_t kMiptexNameSize = 16;
inline constexpr uint32_t kMaxMiptexSide = 4096;

struct Miptex {
  std::string name;  // up to the first NUL, as stored
  uint32_t width = 0, height = 0;
  // The header (its offsets 40, then each level after the one before) and
  // the four levels, ready to be a WAD2 lump.
  std::string bytes;
};

// One miptex from `lump` (its whole extent, nothing after it belongs to
// it); `where` names it in messages ("e1m1.bsp: texture 3"). Refuses a
// short header, a name without a NUL in its 16 bytes, a width or height
// that is 0, not a multiple of 16 or past kMaxMiptexSide, and a level whose
// offset and size reach outside the lump.
Expected<Miptex> readMiptex(std::string_view lump, std::string_view where);

// A miptex of this name and size with these four levels' pixels (each of
// the size its level needs), as readMiptex returns it.
Miptex makeMiptex(std::string_view name, uint32_t width, uint32_t height,
                  std::string_view pixels);

// The textures of a compiled Quake level (BSP version 29 or "BSP2"): the
// header (version, then 15 lumps of int32 offset and length), lump 2 an
// int32 count, that many int32 offsets from the lump's start (-1: none),
// and the miptex at each. `file` names it in messages. Refuses a short
// header, an unknown version, a lump outside the file, a count or offset
// outside the lump and every fault of readMiptex. A texture stored
// without its pixels (offsets all 0, as some tools write for external
// wads) is left out.
Expected<std::vector<Miptex>> readBspTextures(std::string_view bsp, std::string_view file);

// A BSP version 29 file whose only non-empty lump is the texture lump
// holding `textures` (for tests and for checking what was read).
std::string writeBspTextures(const std::vector<Miptex>& textures);

}  // namespace cellforge::gamefiles

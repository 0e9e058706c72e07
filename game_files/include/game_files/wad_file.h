#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

// WAD2, the texture wad Quake's map compilers read: "WAD2", int32 lump
// count, int32 directory offset; 32-byte directory entries (int32 file
// position, size on disk, size, int8 type, int8 compression, two pad
// bytes, a name in 16 bytes, NUL-padded).
namespace cellforge::gamefiles {

inline constexpr size_t kWadHeaderSize = 12;
inline constexpr size_t kWadEntrySize = 32;
inline constexpr uint8_t kWadMiptexType = 0x44;

struct WadLump {
  std::string name;
  uint8_t type = kWadMiptexType;
  std::string bytes;
};

// A WAD2 holding `lumps` in order, the directory last.
std::string writeWad(const std::vector<WadLump>& lumps);

// The lumps of a WAD2 (uncompressed only); refuses, naming the file, the
// entry and the field, a short header, a wrong magic, a directory or lump
// outside the file, a name without a NUL and a compressed lump.
Expected<std::vector<WadLump>> readWad(std::string_view bytes, std::string_view file);

}  // namespace cellforge::gamefiles

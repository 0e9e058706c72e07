#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/result.h"

// Quake II's texture file: name[32], uint32 width and height, four uint32
// offsets of the mip levels, animname[32] (the next frame, empty for
// none), int32 flags, contents and value, then the levels.
namespace cellforge::gamefiles {

inline constexpr size_t kWalHeaderSize = 100;
inline constexpr size_t kWalNameSize = 32;

struct WalHeader {
  std::string name;
  uint32_t width = 0, height = 0;
  std::string animName;
  int32_t flags = 0, contents = 0, value = 0;
};

// The header of a .wal; `file` names it in messages. Refuses a short
// header, a name or animname without a NUL, a width or height that is 0
// or past 4096 and a level outside the file.
Expected<WalHeader> readWalHeader(std::string_view bytes, std::string_view file);

// A .wal of this name, size and next frame, with grey pixels (for tests).
std::string makeWal(std::string_view name, uint32_t width, uint32_t height,
                    std::string_view animName = "");

}  // namespace cellforge::gamefiles

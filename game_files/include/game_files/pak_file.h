#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/result.h"

// The games' PACK archive (pak0.pak, pak1.pak, ...): a 12-byte header
// ("PACK", int32 directory offset, int32 directory length) and a directory
// of 64-byte entries (a NUL-terminated name in 56 bytes, int32 offset,
// int32 size), all little-endian. doc/game-files.md gives the layout.
namespace cellforge::gamefiles {

inline constexpr size_t kPakHeaderSize = 12;
inline constexpr size_t kPakEntrySize = 64;
inline constexpr size_t kPakNameSize = 56;

struct PakHeader {
  uint32_t directoryOffset = 0;
  uint32_t directoryLength = 0;
};

struct PakEntry {
  std::string name;  // as stored: forward slashes, any case
  uint32_t offset = 0;
  uint32_t size = 0;
};

// The header from the file's first bytes (at least kPakHeaderSize of them,
// more are ignored) of a file of `fileSize` bytes; `file` names it in
// messages. Refuses a short header, a wrong magic, a negative directory
// offset or length, a length that is no whole number of entries, and a
// directory reaching outside the file or into the header.
Expected<PakHeader> readPakHeader(std::string_view bytes, uint64_t fileSize, std::string_view file);

// The entries of the directory bytes that `header` announces. Refuses, one
// line naming the file, the entry's number and field: a name without a
// terminating NUL or empty, a negative offset or size, data outside the
// file or overlapping the header, the directory or another entry's data.
Expected<std::vector<PakEntry>> readPakDirectory(std::string_view directory,
                                                 const PakHeader& header, uint64_t fileSize,
                                                 std::string_view file);

// Both, from a whole file in memory.
Expected<std::vector<PakEntry>> readPak(std::string_view bytes, std::string_view file);

// A pak holding `files` (name, bytes) in that order, the directory last.
std::string writePak(const std::vector<std::pair<std::string, std::string>>& files);

}  // namespace cellforge::gamefiles

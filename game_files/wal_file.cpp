#include "game_files/wal_file.h"

#include <utility>

#include "bytes.h"

namespace cellforge::gamefiles {

using detail::i32;
using detail::quoted;
using detail::u32;

namespace {

constexpr uint32_t kMaxWalSide = 4096;
constexpr size_t kWalAnimNameAt = 56;
// Quake II's palette index 7 is a middle grey.
constexpr char kGrey = 7;

uint64_t levelSize(uint32_t width, uint32_t height, int level) {
  return uint64_t{width >> level} * (height >> level);
}

}  // namespace

Expected<WalHeader> readWalHeader(std::string_view bytes, std::string_view file) {
  const std::string prefix = std::string(file) + ": ";
  if (bytes.size() < kWalHeaderSize)
    return fail(prefix + "header: " + std::to_string(bytes.size()) +
                " bytes, shorter than the 100-byte header");
  const auto name = detail::nameIn(bytes.substr(0, kWalNameSize));
  if (!name) return fail(prefix + "name has no NUL in its 32 bytes");
  const std::string where = prefix + "texture " + quoted(*name) + ": ";
  const auto animName = detail::nameIn(bytes.substr(kWalAnimNameAt, kWalNameSize));
  if (!animName) return fail(where + "animname has no NUL in its 32 bytes");
  WalHeader header{std::string(*name), u32(bytes, 32), u32(bytes, 36), std::string(*animName),
                   i32(bytes, 88),     i32(bytes, 92), i32(bytes, 96)};
  const std::pair<const char*, uint32_t> sides[] = {{"width", header.width},
                                                    {"height", header.height}};
  for (const auto& [field, side] : sides) {
    if (side == 0) return fail(where + field + " is 0");
    if (side > kMaxWalSide)
      return fail(where + field + " " + std::to_string(side) + " is past " +
                  std::to_string(kMaxWalSide));
  }
  for (int level = 0; level < 4; ++level) {
    const uint32_t offset = u32(bytes, 40 + 4 * static_cast<size_t>(level));
    const uint64_t size = levelSize(header.width, header.height, level);
    if (offset + size > bytes.size())
      return fail(where + detail::pastEnd("level " + std::to_string(level) + " offset", offset,
                                          "size", size, "file", bytes.size()));
  }
  return header;
}

std::string makeWal(std::string_view name, uint32_t width, uint32_t height,
                    std::string_view animName) {
  std::string out;
  detail::putName(out, name, kWalNameSize);
  detail::putU32(out, width);
  detail::putU32(out, height);
  uint64_t next = kWalHeaderSize;
  for (int level = 0; level < 4; ++level) {
    detail::putU32(out, static_cast<uint32_t>(next));
    next += levelSize(width, height, level);
  }
  detail::putName(out, animName, kWalNameSize);
  out.append(12, '\0');  // flags, contents, value
  out.append(static_cast<size_t>(next - kWalHeaderSize), kGrey);
  return out;
}

}  // namespace cellforge::gamefiles

#include "game_files/wad_file.h"

#include "bytes.h"

namespace cellforge::gamefiles {

using detail::i32;
using detail::pastEnd;
using detail::quoted;

namespace {
constexpr size_t kWadNameSize = 16;
}  // namespace

std::string writeWad(const std::vector<WadLump>& lumps) {
  std::string out = "WAD2";
  out.append(8, '\0');
  std::string directory;
  for (const WadLump& lump : lumps) {
    detail::putU32(directory, static_cast<uint32_t>(out.size()));
    detail::putU32(directory, static_cast<uint32_t>(lump.bytes.size()));
    detail::putU32(directory, static_cast<uint32_t>(lump.bytes.size()));
    directory += static_cast<char>(lump.type);
    directory.append(3, '\0');  // no compression, two pad bytes
    // A name of 16 bytes or more is cut to 15: the readers need the NUL.
    detail::putName(directory, lump.name, kWadNameSize);
    out += lump.bytes;
  }
  std::string header;
  detail::putU32(header, static_cast<uint32_t>(lumps.size()));
  detail::putU32(header, static_cast<uint32_t>(out.size()));
  out.replace(4, 8, header);
  return out + directory;
}

Expected<std::vector<WadLump>> readWad(std::string_view bytes, std::string_view file) {
  const std::string prefix = std::string(file) + ": ";
  if (bytes.size() < kWadHeaderSize)
    return fail(prefix + "header: " + std::to_string(bytes.size()) +
                " bytes, shorter than the 12-byte header");
  if (bytes.substr(0, 4) != "WAD2")
    return fail(prefix + "header: magic " + quoted(bytes.substr(0, 4)) + " is not \"WAD2\"");
  const int32_t count = i32(bytes, 4), offset = i32(bytes, 8);
  if (count < 0)
    return fail(prefix + "header: lump count " + std::to_string(count) + " is negative");
  if (offset < 0)
    return fail(prefix + "header: directory offset " + std::to_string(offset) + " is negative");
  const uint64_t length = uint64_t(count) * kWadEntrySize;
  if (uint64_t(offset) + length > bytes.size())
    return fail(
        prefix + "header: " +
        pastEnd("directory offset", uint64_t(offset), "length", length, "file", bytes.size()));
  std::vector<WadLump> lumps;
  lumps.reserve(static_cast<size_t>(count));
  for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
    const std::string_view raw =
        bytes.substr(static_cast<size_t>(offset) + i * kWadEntrySize, kWadEntrySize);
    const auto name = detail::nameIn(raw.substr(16, kWadNameSize));
    if (!name)
      return fail(prefix + "lump " + std::to_string(i) + ": name has no NUL in its 16 bytes");
    const std::string where = prefix + "lump " + std::to_string(i) + " (" + quoted(*name) + "): ";
    const int32_t position = i32(raw, 0), diskSize = i32(raw, 4);
    const auto compression = static_cast<uint8_t>(raw[13]);
    if (compression != 0)
      return fail(where + "compression " + std::to_string(compression) +
                  " is not supported (only uncompressed lumps are)");
    if (position < 0) return fail(where + "position " + std::to_string(position) + " is negative");
    if (diskSize < 0) return fail(where + "size " + std::to_string(diskSize) + " is negative");
    if (uint64_t(position) + uint64_t(diskSize) > bytes.size())
      return fail(where + pastEnd("position", uint64_t(position), "size", uint64_t(diskSize),
                                  "file", bytes.size()));
    lumps.push_back(WadLump{
        std::string(*name), static_cast<uint8_t>(raw[12]),
        std::string(bytes.substr(static_cast<size_t>(position), static_cast<size_t>(diskSize)))});
  }
  return lumps;
}

}  // namespace cellforge::gamefiles

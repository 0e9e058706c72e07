#include "game_files/pak_file.h"

#include <algorithm>
#include <numeric>
#include <optional>

#include "bytes.h"

namespace cellforge::gamefiles {

using detail::i32;
using detail::pastEnd;
using detail::quoted;

namespace {

std::string entryLabel(size_t index, std::string_view name) {
  return "entry " + std::to_string(index) + " (" + quoted(name) + ")";
}

}  // namespace

Expected<PakHeader> readPakHeader(std::string_view bytes, uint64_t fileSize,
                                  std::string_view file) {
  const std::string where = std::string(file) + ": header: ";
  if (bytes.size() < kPakHeaderSize || fileSize < kPakHeaderSize)
    return fail(where + std::to_string(std::min<uint64_t>(bytes.size(), fileSize)) +
                " bytes, shorter than the 12-byte header");
  if (bytes.substr(0, 4) != "PACK")
    return fail(where + "magic " + quoted(bytes.substr(0, 4)) + " is not \"PACK\"");
  const int32_t offset = i32(bytes, 4), length = i32(bytes, 8);
  if (offset < 0)
    return fail(where + "directory offset " + std::to_string(offset) + " is negative");
  if (length < 0)
    return fail(where + "directory length " + std::to_string(length) + " is negative");
  if (length % static_cast<int32_t>(kPakEntrySize) != 0)
    return fail(where + "directory length " + std::to_string(length) + " is not a multiple of 64");
  PakHeader header{static_cast<uint32_t>(offset), static_cast<uint32_t>(length)};
  if (uint64_t{header.directoryOffset} + header.directoryLength > fileSize)
    return fail(where + pastEnd("directory offset", header.directoryOffset, "length",
                                header.directoryLength, "file", fileSize));
  // An empty directory takes no bytes, so it overlaps nothing.
  if (length > 0 && header.directoryOffset < kPakHeaderSize)
    return fail(where + "directory offset " + std::to_string(offset) +
                " overlaps the 12-byte header");
  return header;
}

Expected<std::vector<PakEntry>> readPakDirectory(std::string_view directory,
                                                 const PakHeader& header, uint64_t fileSize,
                                                 std::string_view file) {
  const std::string prefix = std::string(file) + ": ";
  if (directory.size() < header.directoryLength)
    return fail(prefix + "directory: " + std::to_string(directory.size()) +
                " bytes, shorter than its length " + std::to_string(header.directoryLength));
  const size_t count = header.directoryLength / kPakEntrySize;
  const uint64_t dirBegin = header.directoryOffset, dirEnd = dirBegin + header.directoryLength;
  std::vector<PakEntry> entries;
  entries.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const std::string_view raw = directory.substr(i * kPakEntrySize, kPakEntrySize);
    const auto name = detail::nameIn(raw.substr(0, kPakNameSize));
    if (!name)
      return fail(prefix + "entry " + std::to_string(i) + ": name has no NUL in its 56 bytes");
    if (name->empty()) return fail(prefix + "entry " + std::to_string(i) + ": name is empty");
    const std::string where = prefix + entryLabel(i, *name) + ": ";
    const int32_t offset = i32(raw, kPakNameSize), size = i32(raw, kPakNameSize + 4);
    if (offset < 0) return fail(where + "offset " + std::to_string(offset) + " is negative");
    if (size < 0) return fail(where + "size " + std::to_string(size) + " is negative");
    PakEntry entry{std::string(*name), static_cast<uint32_t>(offset), static_cast<uint32_t>(size)};
    const uint64_t end = uint64_t{entry.offset} + entry.size;
    if (end > fileSize)
      return fail(where + pastEnd("offset", entry.offset, "size", entry.size, "file", fileSize));
    if (entry.size > 0 && entry.offset < kPakHeaderSize)
      return fail(where + "offset " + std::to_string(offset) + " overlaps the 12-byte header");
    if (entry.size > 0 && entry.offset < dirEnd && end > dirBegin)
      return fail(where + "offset " + std::to_string(offset) + " + size " + std::to_string(size) +
                  " overlaps the directory (offset " + std::to_string(dirBegin) + " + length " +
                  std::to_string(header.directoryLength) + ")");
    entries.push_back(std::move(entry));
  }
  // Sorted by offset, an entry overlaps another exactly when it starts
  // before the furthest end of those before it.
  std::vector<size_t> order(count);
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return entries[a].offset < entries[b].offset; });
  std::optional<size_t> furthest;
  for (const size_t i : order) {
    const PakEntry& e = entries[i];
    if (e.size == 0) continue;
    if (furthest) {
      const PakEntry& f = entries[*furthest];
      if (e.offset < uint64_t{f.offset} + f.size)
        return fail(prefix + entryLabel(i, e.name) + ": offset " + std::to_string(e.offset) +
                    " + size " + std::to_string(e.size) + " overlaps " +
                    entryLabel(*furthest, f.name) + " (offset " + std::to_string(f.offset) +
                    " + size " + std::to_string(f.size) + ")");
    }
    if (!furthest ||
        uint64_t{e.offset} + e.size > uint64_t{entries[*furthest].offset} + entries[*furthest].size)
      furthest = i;
  }
  return entries;
}

Expected<std::vector<PakEntry>> readPak(std::string_view bytes, std::string_view file) {
  auto header = readPakHeader(bytes, bytes.size(), file);
  if (!header) return header.error();
  return readPakDirectory(bytes.substr(header->directoryOffset, header->directoryLength), *header,
                          bytes.size(), file);
}

std::string writePak(const std::vector<std::pair<std::string, std::string>>& files) {
  std::string out = "PACK";
  out.append(8, '\0');
  std::string directory;
  for (const auto& [name, bytes] : files) {
    detail::putName(directory, name, kPakNameSize);
    detail::putU32(directory, static_cast<uint32_t>(out.size()));
    detail::putU32(directory, static_cast<uint32_t>(bytes.size()));
    out += bytes;
  }
  std::string header;
  detail::putU32(header, static_cast<uint32_t>(out.size()));
  detail::putU32(header, static_cast<uint32_t>(directory.size()));
  out.replace(4, 8, header);
  return out + directory;
}

}  // namespace cellforge::gamefiles

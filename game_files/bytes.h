#pragma once

// Little-endian fields and fixed-size names of the games' binary files,
// shared by the readers and writers of this folder (not exported).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cellforge::gamefiles::detail {

// The uint32 at `at`; 0 where fewer than four bytes are left (every caller
// checks the size first, this only keeps a slip from reading past the end).
inline uint32_t u32(std::string_view b, size_t at) {
  if (at > b.size() || b.size() - at < 4) return 0;
  const auto byte = [&](size_t i) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at + i]));
  };
  return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}
inline int32_t i32(std::string_view b, size_t at) { return static_cast<int32_t>(u32(b, at)); }

inline void putU32(std::string& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((v >> shift) & 0xFF);
}
inline void putI32(std::string& out, int32_t v) { putU32(out, static_cast<uint32_t>(v)); }

// A name field of `size` bytes: the name cut to size - 1 bytes (so a NUL
// always ends it), then NULs.
inline void putName(std::string& out, std::string_view name, size_t size) {
  if (name.size() >= size) name = name.substr(0, size - 1);
  out += name;
  out.append(size - name.size(), '\0');
}

// The name in a field up to its first NUL, or none when the field has none.
inline std::optional<std::string_view> nameIn(std::string_view field) {
  const size_t end = field.find('\0');
  if (end == std::string_view::npos) return std::nullopt;
  return field.substr(0, end);
}

// `text` in double quotes, every byte that is not printable ASCII (and the
// quote and backslash) written as \xNN, so a message stays one line.
inline std::string quoted(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<uint8_t>(c);
    if (u >= 0x20 && u < 0x7F && c != '"' && c != '\\') {
      out += c;
    } else {
      out += "\\x";
      out += kHex[u >> 4];
      out += kHex[u & 0xF];
    }
  }
  return out + '"';
}

inline char lowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
inline std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = lowerAscii(c);
  return out;
}
inline bool sameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

// "<offset> + <size> reaches past the end of the <what> (<n> bytes)"
inline std::string pastEnd(std::string_view offsetField, uint64_t offset,
                           std::string_view sizeField, uint64_t size, std::string_view what,
                           uint64_t whole) {
  return std::string(offsetField) + " " + std::to_string(offset) + " + " + std::string(sizeField) +
         " " + std::to_string(size) + " reaches past the end of the " + std::string(what) + " (" +
         std::to_string(whole) + " bytes)";
}

}  // namespace cellforge::gamefiles::detail

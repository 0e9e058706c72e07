#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cellforge {

// Binary building blocks of the template and layout files: little-endian
// 32-bit integers, the integer triple and the length-prefixed string (a
// count that includes the terminating NUL, then the bytes).
//
// A Stream reads from bytes it was given (the caller keeps them alive) or
// writes into bytes it owns. Every read is bounds-checked and leaves both
// the target and the position unchanged when it fails.
class Stream {
 public:
  Stream() = default;
  explicit Stream(std::string_view bytes) : in_(bytes) {}

  size_t position() const { return pos_; }
  size_t remaining() const { return in_.size() - pos_; }

  bool readUInt16(uint16_t& value);
  bool readInt32(int32_t& value);
  bool readTriple(int32_t& a, int32_t& b, int32_t& c);
  // False for a count below 1 or beyond the bytes left; nothing is
  // allocated then. The text is the bytes up to the first NUL.
  bool readString(std::string& text);

  void writeUInt16(uint16_t value);
  void writeInt32(int32_t value);
  void writeTriple(int32_t a, int32_t b, int32_t c);
  void writeString(std::string_view text);

  const std::string& written() const { return out_; }

 private:
  std::string_view in_;
  size_t pos_ = 0;
  std::string out_;
};

// Line-oriented reading of text. Lines are delivered whole, whatever their
// length; a line is what lies before the next line feed, cut at its first
// carriage return or line feed after leading ones are skipped.
class TextStream {
 public:
  explicit TextStream(std::string_view text) : text_(text) {}
  // False at the end of the text, leaving `line` unchanged.
  bool readLine(std::string& line);
  // Appends the line and one line feed.
  static void writeLine(std::string& out, std::string_view line);

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

std::vector<std::string> readAllLines(std::string_view text);

}  // namespace cellforge

#include "foundation/stream.h"

namespace cellforge {

bool Stream::readUInt16(uint16_t& value) {
  if (remaining() < 2) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(in_.data() + pos_);
  value = static_cast<uint16_t>(p[0] | (p[1] << 8));
  pos_ += 2;
  return true;
}

bool Stream::readInt32(int32_t& value) {
  if (remaining() < 4) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(in_.data() + pos_);
  const uint32_t u = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                     (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  value = static_cast<int32_t>(u);
  pos_ += 4;
  return true;
}

bool Stream::readTriple(int32_t& a, int32_t& b, int32_t& c) {
  return readInt32(a) && readInt32(b) && readInt32(c);
}

bool Stream::readString(std::string& text) {
  const size_t start = pos_;
  int32_t count = 0;
  if (!readInt32(count)) return false;
  if (count < 1 || static_cast<size_t>(count) > remaining()) {
    pos_ = start;
    return false;
  }
  const std::string_view bytes = in_.substr(pos_, static_cast<size_t>(count));
  text.assign(bytes.substr(0, bytes.find('\0')));
  pos_ += static_cast<size_t>(count);
  return true;
}

void Stream::writeUInt16(uint16_t value) {
  out_.push_back(static_cast<char>(value & 0xFF));
  out_.push_back(static_cast<char>(value >> 8));
}

void Stream::writeInt32(int32_t value) {
  const auto u = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out_.push_back(static_cast<char>((u >> shift) & 0xFF));
}

void Stream::writeTriple(int32_t a, int32_t b, int32_t c) {
  writeInt32(a);
  writeInt32(b);
  writeInt32(c);
}

void Stream::writeString(std::string_view text) {
  writeInt32(static_cast<int32_t>(text.size() + 1));
  out_.append(text);
  out_.push_back('\0');
}

bool TextStream::readLine(std::string& line) {
  if (pos_ >= text_.size()) return false;
  size_t end = text_.find('\n', pos_);
  end = (end == std::string_view::npos) ? text_.size() : end + 1;
  std::string_view piece = text_.substr(pos_, end - pos_);
  pos_ = end;
  const size_t first = piece.find_first_not_of("\r\n");
  if (first == std::string_view::npos) {
    line.clear();
    return true;
  }
  piece.remove_prefix(first);
  line.assign(piece.substr(0, piece.find_first_of("\r\n")));
  return true;
}

void TextStream::writeLine(std::string& out, std::string_view line) {
  out.append(line);
  out.push_back('\n');
}

std::vector<std::string> readAllLines(std::string_view text) {
  std::vector<std::string> lines;
  TextStream stream(text);
  std::string line;
  while (stream.readLine(line)) lines.push_back(line);
  return lines;
}

}  // namespace cellforge

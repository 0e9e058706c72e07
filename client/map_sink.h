#pragma once

#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "client/map_indenter.h"
#include "platform/result.h"

namespace cellforge {

// Map lines on their way to the file: indented as they come and gathered in
// a buffer that goes on to `drain` whenever it fills, so a map of any size
// takes the same memory. The first failure of `drain` sticks; later lines
// are dropped.
class MapSink {
 public:
  using Drain = std::function<Status(std::string_view)>;
  explicit MapSink(Drain drain, size_t bufferSize = size_t{1} << 16);

  // Starts a line whose first character will be `first` ('\n' for an empty
  // line) and that takes at most `room` characters: write them from the
  // pointer returned, then call endLine with the end of what was written.
  char* beginLine(char first, size_t room) {
    const std::string_view indent = indenter_.before(first);
    if (size_ + indent.size() + room + 1 > capacity_) makeRoom(indent.size() + room + 1);
    char* p = buffer_.get() + size_;
    for (char c : indent) *p++ = c;
    return p;
  }
  void endLine(char* end) {
    *end++ = '\n';
    size_ = static_cast<size_t>(end - buffer_.get());
    if (size_ >= limit_) drainBuffer();
  }
  void line(std::string_view text) {
    char* p = beginLine(text.empty() ? '\n' : text.front(), text.size());
    if (!text.empty()) std::memcpy(p, text.data(), text.size());
    endLine(p + text.size());
  }

  // The first failure so far, if any.
  const std::optional<Error>& failure() const { return failure_; }
  // Drains what is left; the first failure, if any.
  Status finish();

 private:
  void drainBuffer();
  void makeRoom(size_t needed);

  Drain drain_;
  size_t limit_;
  std::unique_ptr<char[]> buffer_;
  size_t capacity_ = 0, size_ = 0;
  LineIndenter indenter_;
  std::optional<Error> failure_;
};

}  // namespace cellforge

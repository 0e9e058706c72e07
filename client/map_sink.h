#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "client/map_indenter.h"
#include "foundation/result.h"

namespace cellforge {

// Map lines on their way to the file: indented as they come and gathered in
// a buffer that goes on to `drain` whenever it fills, so a map of any size
// takes the same memory. The first failure of `drain` sticks; later lines
// are dropped.
class MapSink {
 public:
  using Drain = std::function<Status(std::string_view)>;
  explicit MapSink(Drain drain, size_t bufferSize = size_t{1} << 20)
      : drain_(std::move(drain)), limit_(bufferSize) {
    out_.reserve(bufferSize + 4096);
  }

  // Starts a line whose first character will be `first` ('\n' for an empty
  // line): append its text to the string returned, then call endLine.
  std::string& beginLine(char first) {
    out_ += indenter_.before(first);
    return out_;
  }
  void endLine() {
    out_ += '\n';
    if (out_.size() >= limit_) drainBuffer();
  }
  void line(std::string_view text) {
    beginLine(text.empty() ? '\n' : text.front()) += text;
    endLine();
  }

  // The first failure so far, if any.
  const std::optional<Error>& failure() const { return failure_; }
  // Drains what is left; the first failure, if any.
  Status finish();

 private:
  void drainBuffer();

  Drain drain_;
  size_t limit_;
  std::string out_;
  LineIndenter indenter_;
  std::optional<Error> failure_;
};

}  // namespace cellforge

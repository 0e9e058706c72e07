#include "client/map_sink.h"

#include <algorithm>

namespace cellforge {

MapSink::MapSink(Drain drain, size_t bufferSize)
    : drain_(std::move(drain)),
      limit_(bufferSize),
      buffer_(new char[bufferSize + 4096]),
      capacity_(bufferSize + 4096) {}

void MapSink::drainBuffer() {
  if (!failure_)
    if (Status s = drain_(std::string_view(buffer_.get(), size_)); !s) failure_ = s.error();
  size_ = 0;
}

void MapSink::makeRoom(size_t needed) {
  drainBuffer();
  if (needed <= capacity_) return;
  // A line longer than the buffer: grow it for this one.
  capacity_ = std::max(needed, capacity_ * 2);
  buffer_.reset(new char[capacity_]);
}

Status MapSink::finish() {
  drainBuffer();
  if (failure_) return *failure_;
  return success();
}

}  // namespace cellforge

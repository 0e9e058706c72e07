#include "client/map_sink.h"

namespace cellforge {

void MapSink::drainBuffer() {
  if (!failure_)
    if (Status s = drain_(out_); !s) failure_ = s.error();
  out_.clear();
}

Status MapSink::finish() {
  drainBuffer();
  if (failure_) return *failure_;
  return success();
}

}  // namespace cellforge

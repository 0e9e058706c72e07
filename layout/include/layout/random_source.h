#pragma once

#include <cstdint>

namespace cellforge {

// Integers 0..32767 from the classic linear congruential stream of the
// Windows C runtime, so a seed gives the same layout on every platform.
class RandomSource {
 public:
  static constexpr int kMax = 32767;
  explicit RandomSource(uint32_t seed) : state_(seed) {}
  int next() {
    state_ = state_ * 214013u + 2531011u;
    ++draws_;
    return static_cast<int>((state_ >> 16) & 0x7FFF);
  }
  uint64_t draws() const { return draws_; }

 private:
  uint32_t state_;
  uint64_t draws_ = 0;
};

}  // namespace cellforge

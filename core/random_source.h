// Seedable pseudo-random integers with the classic rand() contract: every
// call returns 0..32767 and a given seed always yields the same sequence.
// Owned by the Engine so tests can fix the seed. Any thread may call Next();
// the state advances atomically.
#pragma once

#include <atomic>
#include <cstdint>

namespace quor {

class RandomSource {
 public:
  static constexpr int kMax = 32767;

  explicit RandomSource(uint32_t seed = 1) : state_(seed) {}

  void Seed(uint32_t seed) { state_.store(seed, std::memory_order_relaxed); }

  // Linear congruential step (multiplier 214013, increment 2531011); the
  // result is bits 16..30 of the new state.
  int Next() {
    uint32_t old = state_.load(std::memory_order_relaxed);
    uint32_t next;
    do {
      next = old * 214013u + 2531011u;
    } while (!state_.compare_exchange_weak(old, next, std::memory_order_relaxed));
    return static_cast<int>((next >> 16) & 0x7fffu);
  }

 private:
  std::atomic<uint32_t> state_;
};

}  // namespace quor

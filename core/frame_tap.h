// A copy of a frame for a reader on another thread, made only when asked
// for: the reader requests one, the next mix pass copies the frame into a
// spare buffer and publishes it, and the reader takes it when it likes.
// Nothing is copied while nobody asks, and neither side ever waits (a
// triple buffer swapped by one atomic exchange).
//
// Threads: Request and Take on the one reader thread; Wanted and Publish in
// the mix pass (one at a time: the passes hold the tick lock).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace quor {

struct TappedFrame {
  std::vector<uint8_t> rgb;
  int width = 0;
  int height = 0;
};

class FrameTap {
 public:
  void Request() { wanted_.store(true, std::memory_order_relaxed); }
  bool Wanted() const { return wanted_.load(std::memory_order_relaxed); }

  void Publish(const uint8_t* rgb, int width, int height) {
    wanted_.store(false, std::memory_order_relaxed);
    TappedFrame& back = frames_[static_cast<size_t>(back_)];
    back.rgb.assign(rgb, rgb + static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    back.width = width;
    back.height = height;
    back_ = middle_.exchange(back_ | kNewBit, std::memory_order_acq_rel) & ~kNewBit;
  }

  // The newest published frame when there is one not taken yet, else null.
  const TappedFrame* Take() {
    if ((middle_.load(std::memory_order_relaxed) & kNewBit) == 0) return nullptr;
    front_ = middle_.exchange(front_, std::memory_order_acq_rel) & ~kNewBit;
    return &frames_[static_cast<size_t>(front_)];
  }

 private:
  static constexpr int kNewBit = 4;
  std::array<TappedFrame, 3> frames_;
  std::atomic<bool> wanted_{false};
  int back_ = 0;
  std::atomic<int> middle_{1};
  int front_ = 2;
};

}  // namespace quor

#include "files/recording_read_ahead.h"

#include <chrono>

namespace quor {
namespace {

// How long a full ring sleeps before it looks again without a wake.
constexpr auto kFullRingNap = std::chrono::milliseconds(5);
// After an end that could not start over, the file is looked at again only
// this often, so a damaged file does not keep a core busy.
constexpr auto kRetryAfterEnd = std::chrono::milliseconds(40);

}  // namespace

RecordingReadAhead::RecordingReadAhead(std::unique_ptr<RecordingReader> reader) : reader_(std::move(reader)) {
  for (Item& item : ring_) item.frame.assign(reader_->header().FrameBytes(), 0);
  thread_ = std::thread([this] { ReaderMain(); });
}

RecordingReadAhead::~RecordingReadAhead() {
  stop_.store(true);
  room_.notify_all();
  thread_.join();
}

void RecordingReadAhead::ReaderMain() {
  int endsInARow = 0;
  while (!stop_.load()) {
    const uint64_t filled = filled_.load(std::memory_order_relaxed);
    if (filled - taken_.load(std::memory_order_acquire) >= ring_.size()) {
      std::unique_lock lock(sleepMutex_);
      room_.wait_for(lock, kFullRingNap);
      continue;
    }
    if (endsInARow >= 2) {
      // The file could not start over (rewritten, cut): look again later.
      std::unique_lock lock(sleepMutex_);
      if (room_.wait_for(lock, kRetryAfterEnd, [this] { return stop_.load(); })) break;
    }
    Item& item = ring_[filled % ring_.size()];
    item.result = reader_->ReadFrame(item.frame);
    endsInARow = item.result == FrameReadResult::kEnd ? endsInARow + 1 : 0;
    filled_.store(filled + 1, std::memory_order_release);
  }
}

RecordingReadAhead::Result RecordingReadAhead::Next(std::vector<uint8_t>& frame) {
  const uint64_t taken = taken_.load(std::memory_order_relaxed);
  if (taken == filled_.load(std::memory_order_acquire)) {
    notReady_.fetch_add(1, std::memory_order_relaxed);
    return Result::kNotReady;
  }
  Item& item = ring_[taken % ring_.size()];
  Result result = Result::kSkipped;
  switch (item.result) {
    case FrameReadResult::kFrame:
      if (frame.size() == item.frame.size()) {
        frame.swap(item.frame);
        result = Result::kFrame;
      }
      break;
    case FrameReadResult::kEnd:
      result = Result::kEnd;
      break;
    case FrameReadResult::kSkipped:
      break;
  }
  taken_.store(taken + 1, std::memory_order_release);
  room_.notify_one();
  return result;
}

bool RecordingReadAhead::WaitUntilFull(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (filled_.load(std::memory_order_acquire) - taken_.load(std::memory_order_acquire) < ring_.size()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace quor

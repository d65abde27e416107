// Plays a recording from a reader thread of its own: the thread reads the
// frames ahead into a small ring of buffers, and the clock thread takes one
// per render without ever waiting for the disk. When the disk falls behind
// the render finds nothing ready; that render draws nothing and is counted.
//
// Threads: construction and destruction on the UI thread (the destructor
// stops and joins the reader thread); Next on one rendering thread.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "files/recording_file.h"

namespace quor {

inline constexpr size_t kReadAheadFrames = 8;

class RecordingReadAhead {
 public:
  enum class Result { kFrame, kEnd, kSkipped, kNotReady };

  // Takes an opened reader and starts reading.
  explicit RecordingReadAhead(std::unique_ptr<RecordingReader> reader);
  ~RecordingReadAhead();
  RecordingReadAhead(const RecordingReadAhead&) = delete;
  RecordingReadAhead& operator=(const RecordingReadAhead&) = delete;

  // The next step of the playback, as RecordingReader::ReadFrame would give
  // it. On kFrame `frame` holds the picture: its buffer is exchanged with
  // one of the ring's, so it must be header().FrameBytes() long. Never
  // waits.
  Result Next(std::vector<uint8_t>& frame);
  // Renders that found nothing ready (any thread).
  uint64_t notReady() const { return notReady_.load(); }
  // Waits until the ring is full or `timeoutMs` passed (tests, start-up).
  bool WaitUntilFull(int timeoutMs);

 private:
  struct Item {
    FrameReadResult result = FrameReadResult::kEnd;
    std::vector<uint8_t> frame;
  };
  void ReaderMain();

  std::unique_ptr<RecordingReader> reader_;
  std::array<Item, kReadAheadFrames> ring_;
  // Single producer, single consumer: items [taken_, filled_) are ready.
  std::atomic<uint64_t> filled_{0};
  std::atomic<uint64_t> taken_{0};
  std::atomic<uint64_t> notReady_{0};
  std::atomic<bool> stop_{false};
  // The reader sleeps on this while the ring is full; the consumer only
  // notifies (never locks), so a missed wake costs at most one short timeout.
  std::mutex sleepMutex_;
  std::condition_variable room_;
  std::thread thread_;
};

}  // namespace quor

// The tempo of the sound input, found on a worker thread of its own so that
// neither the capture callback nor the frame clock ever waits for it.
//
// The capture callback hands every block to Feed, which copies it into a
// lock-free ring (a block that finds the ring full is dropped) and wakes the
// worker. The worker runs TempoAnalysis over the ring and publishes what it
// finds in atomics: the beats per minute, a count of beats so far and the
// time of the last beat. Readers (the clock thread's mix pass, windows)
// load those atomics and never lock.
//
// Threads: Start/Stop from the UI thread; Feed from the capture thread (one
// producer); Reading and BeatCount from any thread.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

namespace quor {

// What the tracker found, as one reader saw it.
struct TempoReading {
  double bpm = 0;       // 0 while no tempo is found
  uint32_t beats = 0;   // beats reported since the tracker was made
  double phase = 0;     // where now lies in the beat, 0..1 (0 without a tempo)
};

class TempoTracker {
 public:
  TempoTracker();
  ~TempoTracker() { Stop(); }
  TempoTracker(const TempoTracker&) = delete;
  TempoTracker& operator=(const TempoTracker&) = delete;

  // Starts the worker; does nothing while it runs.
  void Start();
  // Ends the worker, waiting for it; the readings keep their last values
  // except the tempo, which goes to 0.
  void Stop();
  bool Running() const { return worker_.joinable(); }

  // One block of interleaved 16-bit stereo frames from the capture thread.
  // Never locks or waits. False when the ring had no room (the block is
  // dropped, and the worker catches up on what follows).
  bool Feed(const int16_t* interleavedStereo, int frames);

  TempoReading Reading() const;
  uint32_t BeatCount() const { return beats_.load(std::memory_order_acquire); }
  // Blocks dropped because the worker was behind.
  uint64_t Dropped() const { return dropped_.load(std::memory_order_relaxed); }
  // Frames the worker has analysed.
  uint64_t FramesAnalysed() const { return analysed_.load(std::memory_order_relaxed); }

 private:
  static constexpr size_t kRingSamples = 1 << 17;  // 1.5 s of stereo at 44100 Hz

  void Work();

  std::unique_ptr<int16_t[]> ring_;
  std::atomic<uint64_t> written_{0};  // samples (not frames) written, producer only
  std::atomic<uint64_t> read_{0};     // samples taken, worker only
  std::atomic<uint32_t> wake_{0};     // bumped by Feed and Stop; the worker waits on it
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> dropped_{0};
  std::atomic<uint64_t> analysed_{0};

  // Published by the worker.
  std::atomic<int32_t> bpmMilli_{0};
  std::atomic<uint32_t> beats_{0};
  std::atomic<int64_t> lastBeatNs_{0};  // steady clock

  std::thread worker_;
};

}  // namespace quor

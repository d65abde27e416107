// The tempo tracker's worker against the capture thread and the frame
// clock (TSan target): the capture thread's Feed and the clock's readings
// never wait for the analysis, and the beats reach the mix pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "audio/audio_analyzer.h"
#include "audio/tempo_tracker.h"
#include "engine/engine.h"
#include "test_support.h"

namespace quor {
namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

// 120 BPM clicks as 512-frame capture blocks: block i of the endless track.
std::array<int16_t, 2 * kAudioBlockFrames> ClickBlock(int64_t block) {
  std::array<int16_t, 2 * kAudioBlockFrames> out{};
  constexpr int64_t kPeriod = kAudioSampleRate / 2;
  for (int i = 0; i < kAudioBlockFrames; ++i) {
    const int64_t inBeat = (block * kAudioBlockFrames + i) % kPeriod;
    const int16_t v = inBeat < 441 ? ((inBeat / 11) % 2 ? 20000 : -20000) : 0;
    out[static_cast<size_t>(2 * i)] = out[static_cast<size_t>(2 * i + 1)] = v;
  }
  return out;
}

TEST(TempoTrackerThreads, FeedAndReadingsNeverWaitForTheAnalysis) {
  TempoTracker tracker;
  tracker.Start();
  std::atomic<bool> stop{false};
  std::atomic<int64_t> longestFeedUs{0}, longestReadUs{0};
  auto note = [](std::atomic<int64_t>& longest, steady_clock::time_point since) {
    const int64_t us = duration_cast<microseconds>(steady_clock::now() - since).count();
    if (us > longest.load()) longest.store(us);
  };
  // Sound at twice real time, so the worker is kept busy.
  std::thread capture([&] {
    for (int64_t block = 0; !stop.load(); ++block) {
      const auto data = ClickBlock(block);
      const auto before = steady_clock::now();
      tracker.Feed(data.data(), kAudioBlockFrames);
      note(longestFeedUs, before);
      std::this_thread::sleep_for(microseconds(5800));
    }
  });
  std::thread clock([&] {
    while (!stop.load()) {
      const auto before = steady_clock::now();
      const TempoReading reading = tracker.Reading();
      note(longestReadUs, before);
      EXPECT_GE(reading.phase, 0.0);
      EXPECT_LE(reading.phase, 1.0);
      std::this_thread::sleep_for(1ms);
    }
  });
  const auto deadline = steady_clock::now() + 60s;
  while ((tracker.BeatCount() < 8 || tracker.Reading().bpm == 0) && steady_clock::now() < deadline) {
    std::this_thread::sleep_for(20ms);
  }
  stop = true;
  capture.join();
  clock.join();
  EXPECT_GE(tracker.BeatCount(), 8u);
  EXPECT_NEAR(tracker.Reading().bpm, 120.0, 1.0);
  tracker.Stop();
  EXPECT_EQ(tracker.Reading().bpm, 0.0);
  // No lock, no wait: a copy of one block or a few atomic loads. The bound
  // leaves room for a preempted thread on a loaded machine.
  EXPECT_LT(longestFeedUs.load(), 20000);
  EXPECT_LT(longestReadUs.load(), 20000);
}

TEST(TempoTrackerThreads, TheMixPassCountsDetectedAndTappedBeats) {
  Engine engine{test::TestRegistry(), EngineOptions{FrameClock::Mode::kThread, 1}};
  test::ConsoleCapture console{engine.console()};
  engine.audio().tempo().Start();
  engine.StartClock();
  std::atomic<bool> stop{false};
  std::thread capture([&] {
    for (int64_t block = 0; !stop.load(); ++block) {
      engine.audio().DeliverBlock(ClickBlock(block).data());
      std::this_thread::sleep_for(microseconds(5800));
    }
  });
  const auto deadline = steady_clock::now() + 60s;
  while (engine.tempo().BeatCount() < 4 && steady_clock::now() < deadline) std::this_thread::sleep_for(20ms);
  EXPECT_GE(engine.tempo().BeatCount(), 4u);
  EXPECT_NEAR(engine.tempo().Bpm(), 120.0, 1.0);
  // Taps from a surface's thread while the clock runs take over.
  std::thread surface([&] {
    for (int i = 0; i < 4; ++i) {
      engine.SetControl({ControlId::kTempoTap}, 1);
      std::this_thread::sleep_for(300ms);
    }
  });
  surface.join();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(engine.ControlValue({ControlId::kTempoTap}), 1);
  EXPECT_NEAR(engine.tempo().Bpm(), 200.0, 15.0);
  engine.SetControl({ControlId::kTempoAuto}, 1);
  std::this_thread::sleep_for(100ms);
  EXPECT_NEAR(engine.tempo().Bpm(), 120.0, 1.0);
  stop = true;
  capture.join();
  engine.StopClock();
  engine.audio().tempo().Stop();
  EXPECT_LT(engine.mixPassTiming().longestUs.load(), 40000);
}

}  // namespace
}  // namespace quor

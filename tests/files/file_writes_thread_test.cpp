// Tick-caused file writes and reads run on their own threads: a stalled disk never stalls the clock; late work is
// dropped and counted, the rest arrives whole and in order.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "core/async_writer.h"
#include "engine/engine.h"
#include "files/recorder.h"
#include "generators/file_player.h"
#include "test_support.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

struct Gate {  // the writer or reader thread waits here until it is opened
  std::atomic<bool> open{false};
  void Pass() const {
    while (!open.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
};

TEST(AsyncWriter, AStalledWriterDropsAndCountsButNeverBlocksThePoster) {
  Gate gate;
  std::vector<int64_t> written, accepted;
  AsyncWriter writer(
      [&](int64_t tag, std::span<const uint8_t> bytes) {
        gate.Pass();
        EXPECT_EQ(bytes.size(), 6u);
        EXPECT_EQ(bytes[5], static_cast<uint8_t>(tag));
        written.push_back(tag);
        return true;
      },
      AsyncWriterLimits{4, 1 << 20});
  const uint8_t head[3] = {'Q', 'X', 0};
  const auto start = Clock::now();
  for (int i = 0; i < 100; ++i) {
    const uint8_t tail[3] = {1, 2, static_cast<uint8_t>(i)};
    if (writer.Post(i, head, tail)) accepted.push_back(i);
  }
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500)) << "posting waited for the writer";
  // The one the writer holds plus four queued (a slot it frees takes a later post).
  EXPECT_LE(accepted.size(), 5u);
  EXPECT_EQ(writer.dropped(), 100 - accepted.size());
  gate.open.store(true);
  writer.Finish();
  EXPECT_EQ(written, accepted);
  EXPECT_FALSE(writer.Post(100, head));  // finished
}

TEST(AsyncWriter, AFailedWriteDiscardsTheRest) {
  int calls = 0;
  AsyncWriter writer([&](int64_t tag, std::span<const uint8_t>) { return ++calls, tag != 1; });
  const uint8_t byte = 0;
  for (int i = 0; i < 5; ++i) writer.Post(i, std::span<const uint8_t>(&byte, 1));
  writer.Finish();
  EXPECT_EQ(std::make_pair(writer.failed(), calls), std::make_pair(true, 2));
}

struct StalledSink final : RecordingSink {  // passes the header, then waits at the gate
  StalledSink(Gate& gate, Bytes& bytes) : gate(gate), bytes(bytes) {}
  bool Write(std::span<const uint8_t> data) override {
    if (!bytes.empty()) gate.Pass();
    bytes.insert(bytes.end(), data.begin(), data.end());
    return true;
  }
  Gate& gate;
  Bytes& bytes;
};

TEST(RecorderThreads, AStalledDiskNeitherStopsTheClockNorCorruptsTheRecording) {
  Engine engine(test::TestRegistry(), EngineOptions{FrameClock::Mode::kThread, 1});
  test::ConsoleCapture capture(engine.console());
  ASSERT_TRUE(engine.ResizeMatrix(16, 8));
  engine.SetOutputFps(100);
  engine.StopClock();
  Gate gate;
  Bytes recorded;
  ASSERT_EQ(engine.recorder().StartInto(std::make_unique<StalledSink>(gate, recorded), "stalled", 16, 8),
            Recorder::StartResult::kStarted);
  engine.StartClock();
  const int before = engine.flags().frameCounter.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  EXPECT_GT(engine.flags().frameCounter.load() - before, 50) << "the mix pass waited for the disk";
  gate.open.store(true);
  engine.recorder().Stop();
  engine.StopClock();
  EXPECT_GT(engine.recorder().droppedFrames(), 0u);
  EXPECT_EQ(capture.Count("frames could not be written in time and are missing from stalled."), 1);
  ASSERT_GT(recorded.size(), 18u);  // whole frames only: header, then marker + 384 bytes each
  EXPECT_EQ((recorded.size() - 18) % (3 + 384), 0u);
  for (size_t at = 18; at < recorded.size(); at += 3 + 384) {
    EXPECT_EQ(Bytes(recorded.begin() + long(at), recorded.begin() + long(at) + 3), (Bytes{'Q', 'X', 0})) << at;
  }
}

std::string WriteRecording(const std::string& path, int frames) {  // 16 x 8, frame i (from 1) all i
  const auto header = EncodeRecordingHeader({16, 8, 25});
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(header.data()), header.size());
  for (int i = 1; i <= frames; ++i) out << std::string("QX", 3) << std::string(16 * 8 * 3, char(i));
  return path;
}

TEST(FilePlayerThreads, ReadsAheadOnItsOwnThreadInPlaybackOrder) {
  const std::string path = WriteRecording(test::FreshTestDir("read_ahead") + "/take.qrr", 20);
  test::GeneratorHarness harness;
  FilePlayerGenerator player(harness.console, &OpenRecordingFile, FilePlayerReading::kAhead);
  ASSERT_TRUE(player.Create(16, 8));
  ASSERT_EQ(player.Load(path), RecordingOpenResult::kOpened);
  // Frames 1..20, one blank render at the end, then 1 again. A render the
  // reader is not ready for (a slow machine) draws nothing: try again.
  std::vector<int> seen, expected;
  for (int i = 0; i < 45; ++i) {
    expected.push_back(i % 21 == 20 ? 0 : i % 21 + 1);
    Bytes frame(16 * 8 * 3, 0xEE);
    const auto end = Clock::now() + std::chrono::seconds(2);
    do player.Render({frame.data(), 16, 8});
    while (frame[0] == 0xEE && expected.back() != 0 && Clock::now() < end);
    seen.push_back(frame[0] == 0xEE ? 0 : frame[0]);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(seen, expected);
  player.Destroy();
}

struct SlowSource final : RecordingSource {  // reads wait at the gate once armed
  SlowSource(std::unique_ptr<RecordingSource> inner, Gate& gate, std::atomic<bool>& armed)
      : inner(std::move(inner)), gate(gate), armed(armed) {}
  size_t Read(uint8_t* out, size_t size) override {
    if (armed.load()) gate.Pass();
    return inner->Read(out, size);
  }
  bool Rewind() override { return inner->Rewind(); }
  bool Seek(uint64_t offset) override { return inner->Seek(offset); }
  int64_t Size() override { return inner->Size(); }
  std::unique_ptr<RecordingSource> inner;
  Gate& gate;
  std::atomic<bool>& armed;
};

TEST(FilePlayerThreads, ADiskThatFallsBehindNeverStallsRender) {
  const std::string path = WriteRecording(test::FreshTestDir("read_ahead_slow") + "/take.qrr", 40);
  test::GeneratorHarness harness;
  test::ConsoleCapture capture(harness.console);
  Gate gate;
  std::atomic<bool> armed{false};
  FilePlayerGenerator player(
      harness.console,
      [&](const std::string& name) { return std::make_unique<SlowSource>(OpenRecordingFile(name), gate, armed); },
      FilePlayerReading::kAhead);
  ASSERT_TRUE(player.Create(16, 8));
  ASSERT_EQ(player.Load(path), RecordingOpenResult::kOpened);
  armed.store(true);
  Bytes frame(16 * 8 * 3, 0);
  const auto start = Clock::now();
  for (int i = 0; i < 100; ++i) player.Render({frame.data(), 16, 8});
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500)) << "rendering waited for the disk";
  gate.open.store(true);
  player.Destroy();
  EXPECT_EQ(capture.Count("frames were not read in time and were left out."), 1);
}

}  // namespace
}  // namespace quor

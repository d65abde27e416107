#include "files/recorder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/engine.h"
#include "test_support.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;

// Accepts `budget` writes, then fails every one; counts them in `writes`.
struct FlakySink final : RecordingSink {
  FlakySink(int budget, int* writes) : budget(budget), writes(writes) {}
  bool Write(std::span<const uint8_t>) override { return ++*writes <= budget; }
  int budget;
  int* writes;
};

Bytes ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

class RecorderTest : public testing::Test {
 protected:
  RecorderTest() : engine_(test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1}), capture_(engine_.console()) {}
  // The recorder must be stopped before it goes; shutdown does that.
  ~RecorderTest() override { engine_.Shutdown(); }

  // Runs one mix pass over slot pictures made from `seed`; returns its output.
  Bytes MixPass(uint8_t seed) {
    const size_t bytes = static_cast<size_t>(engine_.width()) * engine_.height() * 3;
    for (int s = 0; s < kSlotCount; ++s) {
      uint8_t* frame = engine_.frame(static_cast<FrameIndex>(s));
      for (size_t i = 0; i < bytes; ++i) frame[i] = static_cast<uint8_t>(seed * 31 + i * 7 + s * 3);
    }
    engine_.RunMixPass();
    return engine_.CopyFrame(FrameIndex::kOutput);
  }

  static void AppendFrame(Bytes& bytes, const Bytes& frame) {
    bytes.insert(bytes.end(), {'Q', 'X', 0});
    bytes.insert(bytes.end(), frame.begin(), frame.end());
  }

  Engine engine_;
  Recorder& recorder_ = engine_.recorder();
  test::ConsoleCapture capture_;
};

TEST_F(RecorderTest, WritesHeaderThenOneMarkedFramePerMixPassUntilStopped) {
  ASSERT_TRUE(engine_.ResizeMatrix(16, 8, 0));
  engine_.settings().outputFps.store(20);
  Bytes recorded;
  ASSERT_EQ(recorder_.StartInto(std::make_unique<MemoryRecordingSink>(recorded), "take", 16, 8),
            Recorder::StartResult::kStarted);
  EXPECT_EQ(engine_.flags().recorderActive.load(), 1);

  Bytes expected = {
      'Q', 'R', 'R', '!', 0x00, '1',  // magic, version
      16, 0, 0, 0,                    // width
      8, 0, 0, 0,                     // height
      20, 0, 0, 0,                    // OutputFps at the start
  };
  AppendFrame(expected, MixPass(1));
  AppendFrame(expected, MixPass(2));
  EXPECT_EQ(recorded, expected);

  // "Record" while recording changes nothing.
  Bytes other;
  EXPECT_EQ(recorder_.StartInto(std::make_unique<MemoryRecordingSink>(other), "other", 16, 8),
            Recorder::StartResult::kAlreadyRecording);
  EXPECT_TRUE(other.empty());

  recorder_.Stop();
  EXPECT_EQ(engine_.flags().recorderActive.load(), 0);
  MixPass(3);
  EXPECT_EQ(recorded, expected);
  recorder_.Stop();  // "Stop" while idle
  EXPECT_EQ(capture_.Text(), "");
}

TEST_F(RecorderTest, RecordsIntoATruncatedFileAndFailsQuietlyWhenItCannotBeCreated) {
  const std::string dir = test::FreshTestDir("recorder");
  const std::string path = dir + "/show.qrr";
  std::ofstream(path) << std::string(5000, 'z');
  ASSERT_EQ(recorder_.Start(path, 32, 16), Recorder::StartResult::kStarted);
  const Bytes frame = MixPass(4);
  engine_.StartClock();
  engine_.clock().Advance(40);  // one mix pass on the clock
  recorder_.Stop();
  const Bytes file = ReadWholeFile(path);
  ASSERT_EQ(file.size(), 18u + 2 * (3 + 32 * 16 * 3));
  EXPECT_EQ(Bytes(file.begin() + 21, file.begin() + 21 + 1536), frame);

  EXPECT_EQ(recorder_.Start(dir + "/missing/show.qrr", 32, 16), Recorder::StartResult::kCannotCreate);
  EXPECT_FALSE(recorder_.Recording());
  EXPECT_EQ(capture_.Text().find("Recorder"), std::string::npos);
}

TEST_F(RecorderTest, ResizeAndShutdownStopTheRecordingFirst) {
  const std::string path = test::FreshTestDir("recorder_resize") + "/take.qrr";
  ASSERT_EQ(recorder_.Start(path, 32, 16), Recorder::StartResult::kStarted);
  MixPass(5);
  ASSERT_TRUE(engine_.ResizeMatrix(16, 8, 0));
  EXPECT_FALSE(recorder_.Recording());
  MixPass(6);
  EXPECT_EQ(ReadWholeFile(path).size(), 18u + 3 + 1536);

  Bytes recorded;
  ASSERT_EQ(recorder_.StartInto(std::make_unique<MemoryRecordingSink>(recorded), "take", 16, 8),
            Recorder::StartResult::kStarted);
  engine_.Shutdown();
  EXPECT_FALSE(recorder_.Recording());
}

TEST_F(RecorderTest, FailingWritesAndForeignFrameSizesStopWithAConsoleLine) {
  int writes = 0;
  EXPECT_EQ(recorder_.StartInto(std::make_unique<FlakySink>(0, &writes), "full", 32, 16),
            Recorder::StartResult::kWriteFailed);
  EXPECT_FALSE(recorder_.Recording());
  EXPECT_EQ(capture_.Count("Recorder: cannot write to full\n"), 1);

  // Header, then one marker and frame; the next marker fails.
  writes = 0;
  ASSERT_EQ(recorder_.StartInto(std::make_unique<FlakySink>(3, &writes), "flaky", 32, 16),
            Recorder::StartResult::kStarted);
  MixPass(1);
  EXPECT_TRUE(recorder_.Recording());
  MixPass(2);
  EXPECT_FALSE(recorder_.Recording());
  EXPECT_EQ(capture_.Count("Recorder: writing failed, recording into flaky stopped.\n"), 1);
  MixPass(3);
  EXPECT_EQ(writes, 4);

  // A frame of another size than the header's would corrupt the file.
  Bytes recorded;
  ASSERT_EQ(recorder_.StartInto(std::make_unique<MemoryRecordingSink>(recorded), "sized", 32, 16),
            Recorder::StartResult::kStarted);
  const Bytes small(8 * 8 * 3, 0);
  engine_.WithTickLock([&] { engine_.hooks().recordFrame(small.data(), 8, 8); });
  EXPECT_FALSE(recorder_.Recording());
  EXPECT_EQ(recorded.size(), 18u);
  EXPECT_EQ(capture_.Count("Recorder: the matrix size changed, recording into sized stopped.\n"), 1);

  EXPECT_EQ(recorder_.StartInto(std::make_unique<MemoryRecordingSink>(recorded), "bad", 3, 16),
            Recorder::StartResult::kCannotCreate);
}

}  // namespace
}  // namespace quor

// The recording file: the recorder that writes it and the reader that plays it back.
#include "files/recorder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <thread>

#include "engine/engine.h"
#include "files/recording_file.h"
#include "test_support.h"
#include "tests/generators/image_files.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;
using R = RecordingOpenResult;
using Start = Recorder::StartResult;

Bytes Header(uint32_t width, uint32_t height, uint32_t fps = 25) {
  const auto header = EncodeRecordingHeader({width, height, fps});
  return Bytes(header.begin(), header.end());
}
Bytes& Append(Bytes& bytes, std::initializer_list<uint8_t> more, const Bytes& frame = {}) {
  bytes.insert(bytes.end(), more);
  if (!frame.empty()) bytes.insert(bytes.end(), {'Q', 'X', 0});
  bytes.insert(bytes.end(), frame.begin(), frame.end());
  return bytes;
}
R OpenBytes(const Bytes& bytes, std::unique_ptr<RecordingReader>* reader) {
  return RecordingReader::Open(std::make_unique<MemoryRecordingSource>(bytes), reader);
}

// Accepts `budget` writes, then fails every one; counts them in `writes`.
struct FlakySink final : RecordingSink {
  FlakySink(int budget, int* writes) : budget(budget), writes(writes) {}
  bool Write(std::span<const uint8_t>) override { return ++*writes <= budget; }
  int budget;
  int* writes;
};

class RecorderTest : public testing::Test {
 protected:
  ~RecorderTest() override { engine_.Shutdown(); }  // stops the recorder
  // The output of one mix pass over slot pictures made from `seed`.
  Bytes MixPass(uint8_t seed) {
    const size_t bytes = static_cast<size_t>(engine_.width()) * engine_.height() * 3;
    for (int s = 0; s < kSlotCount; ++s) {
      uint8_t* frame = engine_.frame(static_cast<FrameIndex>(s));
      for (size_t i = 0; i < bytes; ++i) frame[i] = static_cast<uint8_t>(seed * 31 + i * 7 + s * 3);
    }
    engine_.RunMixPass();
    return engine_.CopyFrame(FrameIndex::kOutput);
  }
  Start RecordInto(Bytes& bytes, const std::string& name, int width, int height) {
    return recorder_.StartInto(std::make_unique<MemoryRecordingSink>(bytes), name, width, height);
  }

  Engine engine_{test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1}};
  Recorder& recorder_ = engine_.recorder();
  test::ConsoleCapture capture_{engine_.console()};
};

TEST_F(RecorderTest, WritesHeaderThenOneMarkedFramePerMixPassUntilStopped) {
  ASSERT_TRUE(engine_.ResizeMatrix(16, 8));
  engine_.SetOutputFps(20);
  Bytes recorded, other;
  ASSERT_EQ(RecordInto(recorded, "take", 16, 8), Start::kStarted);
  EXPECT_EQ(engine_.flags().recorderActive.load(), 1);
  // Magic, version; width, height and OutputFps, little-endian.
  Bytes expected = {'Q', 'R', 'R', '!', 0x00, '1', 16, 0, 0, 0, 8, 0, 0, 0, 20, 0, 0, 0};
  Append(expected, {}, MixPass(1));
  Append(expected, {}, MixPass(2));
  EXPECT_EQ(RecordInto(other, "other", 16, 8), Start::kAlreadyRecording);
  EXPECT_TRUE(other.empty());
  recorder_.Stop();  // returns once the writer thread wrote every frame
  EXPECT_EQ(engine_.flags().recorderActive.load(), 0);
  EXPECT_EQ(recorded, expected);
  MixPass(3);
  EXPECT_EQ(recorded, expected);
  recorder_.Stop();  // "Stop" while idle
  EXPECT_EQ(capture_.Text(), "");
}

TEST_F(RecorderTest, FailingWritesAndForeignFrameSizesStopWithAConsoleLine) {
  int writes = 0;
  EXPECT_EQ(recorder_.StartInto(std::make_unique<FlakySink>(0, &writes), "full", 32, 16), Start::kWriteFailed);
  EXPECT_FALSE(recorder_.Recording());
  EXPECT_EQ(capture_.Count("Recorder: cannot write to full\n"), 1);
  engine_.changes().Drain();

  // Header and one frame pass; the next fails on the writer thread.
  writes = 0;
  ASSERT_EQ(recorder_.StartInto(std::make_unique<FlakySink>(2, &writes), "flaky", 32, 16), Start::kStarted);
  MixPass(1);
  EXPECT_TRUE(recorder_.Recording());
  for (int pass = 2; pass < 2000 && recorder_.Recording(); ++pass) {
    MixPass(static_cast<uint8_t>(pass));
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_FALSE(recorder_.Recording());
  EXPECT_EQ(capture_.Count("Recorder: writing failed, recording into flaky stopped.\n"), 1);
  // The window hears it once too, from the message loop.
  engine_.PostMessageWork();
  engine_.PostMessageWork();
  EXPECT_EQ(engine_.changes().Drain().errors,
            (std::vector<Failure>{{"flaky", 0,
                                       "Recording into flaky stopped: writing failed. Free some space or choose another "
                                       "file, then record again."}}));
  MixPass(3);
  recorder_.Stop();
  EXPECT_EQ(writes, 3);  // nothing is written after the failure

  Bytes recorded;  // a frame of another size than the header's would corrupt the file
  ASSERT_EQ(RecordInto(recorded, "sized", 32, 16), Start::kStarted);
  const Bytes small(8 * 8 * 3, 0);
  engine_.WithTickLock([&] { recorder_.RecordFrame({small.data(), 8, 8}); });
  EXPECT_FALSE(recorder_.Recording());
  EXPECT_EQ(recorded.size(), 18u);
  EXPECT_EQ(capture_.Count("Recorder: the matrix size changed, recording into sized stopped.\n"), 1);
  EXPECT_EQ(RecordInto(recorded, "bad", 3, 16), Start::kCannotCreate);
  ASSERT_EQ(RecordInto(recorded, "resized", 32, 16), Start::kStarted);
  ASSERT_TRUE(engine_.ResizeMatrix(16, 8));  // stops before the frames change size, without a message
  EXPECT_FALSE(recorder_.Recording() || capture_.Count("resized") > 0);
}

// Cut and flipped headers are checked through the file player; here short headers and impossible sizes.
TEST(RecordingFile, OpenSortsShortHeadersAndSizesNoMatrixCanHave) {
  std::unique_ptr<RecordingReader> reader;
  Bytes shortHeader = Header(16, 8);
  shortHeader.resize(15);
  const auto framed = [](Bytes header) { return Append(header, {}, Bytes(48, 1)); };
  const std::pair<Bytes, R> cases[] = {
      {{'Q', 'R', 'R', '!', 0}, R::kWrongVersion},       {shortHeader, R::kUnknownFormat},
      {framed(Header(0, 8)), R::kUnknownFormat},         {framed(Header(321, 4)), R::kUnknownFormat},
      {framed(Header(200, 200)), R::kUnknownFormat},     {framed(Header(~0u, ~0u)), R::kUnknownFormat}};
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(OpenBytes(cases[i].first, &reader), cases[i].second) << i;
  EXPECT_EQ(reader, nullptr);
  Bytes good = Header(16, 8);  // outlives the reader that reads it
  ASSERT_EQ(OpenBytes(Append(good, {}, Bytes(16 * 8 * 3, 1)), &reader), R::kOpened);
  EXPECT_EQ(reader->header(), (RecordingHeader{16, 8, 25}));
  EXPECT_EQ(RecordingReader::Open(nullptr, &reader), R::kCannotOpen);
}

TEST(RecordingFile, MarkerSearchSkipsJunkAndUnknownMarkersAndLoopsAtTheEnd) {
  Bytes bytes = Header(4, 4);
  Append(bytes, {}, Bytes(48, 1));
  Append(bytes, {'j', 'u', 'n', 'k', 'Q', 'a', 'b', 'X', 0});  // junk; an armed "Q" waits for its "X"
  bytes.insert(bytes.end(), 48, 2);
  Append(bytes, {'X', 'Q', 'X', 7}, Bytes(48, 3));  // unknown kind: nothing read
  Append(bytes, {'Q', 'X', 1}, Bytes(48, 9));  // end of the recording; never played
  std::unique_ptr<RecordingReader> reader;
  ASSERT_EQ(OpenBytes(bytes, &reader), R::kOpened);
  Bytes out(48, 0xEE);
  std::vector<std::string> seen;
  for (int i = 0; i < 7; ++i) {
    const FrameReadResult result = reader->ReadFrame(out);
    seen.push_back(result == FrameReadResult::kFrame ? std::to_string(out[0])
                   : result == FrameReadResult::kEnd ? "end" : "skip");
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"1", "2", "skip", "3", "end", "1", "2"}));
}

TEST(RecordingFile, AFifoOrOtherSpecialFileIsRefusedWithoutBlocking) {
  const std::string dir = test::FreshTestDir("recording_fifo"), fifo = dir + "/take.qrr";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  test::FinishesWithin(5000, "opening a FIFO as a recording", [&] {
    for (const std::string& path : {fifo, dir, std::string("/dev/zero")}) EXPECT_EQ(OpenRecordingFile(path), nullptr) << path;
  });
  // "Record into File" onto it: refused at once, with a message for the window.
  Engine engine(test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1});
  test::FinishesWithin(5000, "recording into a FIFO", [&] {
    EXPECT_EQ(engine.recorder().Start(fifo, 32, 16), Recorder::StartResult::kCannotCreate);
  });
  EXPECT_EQ(engine.changes().Drain().errors,
            (std::vector<Failure>{
                {fifo, 0, "Cannot record into " + fifo + ": is a FIFO, not a regular file. Choose another file."}}));
}

TEST(RecordingFile, AHeaderWithoutFramesOrWithACutFirstFrameOpensEmpty) {
  std::unique_ptr<RecordingReader> reader;
  Bytes header = Header(16, 8);
  ASSERT_EQ(OpenBytes(header, &reader), R::kOpened);
  EXPECT_TRUE(reader->index().frames.empty());
  Bytes frame(16 * 8 * 3);
  for (int n = 0; n < 2; ++n) EXPECT_EQ(reader->ReadFrame(frame), FrameReadResult::kEnd) << n;
  Bytes cut = Header(16, 8);
  Append(cut, {}, Bytes(16 * 8 * 3, 1)).resize(cut.size() - 1);
  EXPECT_EQ(OpenBytes(cut, &reader), R::kOpened);
  Bytes junk = Header(16, 8);
  Append(junk, {'J', 'Q'});
  EXPECT_EQ(OpenBytes(junk, &reader), R::kUnknownFormat);
}

TEST(RecordingFile, FileSinkAndSourceRoundTripAndFollowARewrittenFile) {
  const std::string dir = test::FreshTestDir("recording_file"), path = dir + "/take.qrr";
  Result<std::unique_ptr<FileRecordingSink>> created = FileRecordingSink::Create(path);
  ASSERT_TRUE(created.ok() && !FileRecordingSink::Create(path).ok());  // a second writer is refused
  std::unique_ptr<FileRecordingSink> sink = std::move(*created);
  Bytes written = Header(4, 4, 20);
  ASSERT_TRUE(sink->Write(Append(written, {}, Bytes(48, 7))) && sink->Close());
  sink.reset();
  std::unique_ptr<RecordingReader> reader;
  ASSERT_EQ(RecordingReader::Open(OpenRecordingFile(path), &reader), R::kOpened);
  Bytes out(48, 0);
  EXPECT_EQ(std::make_pair(reader->ReadFrame(out), out), std::make_pair(FrameReadResult::kFrame, Bytes(48, 7)));
  // Rewritten at another size: playback waits at the end until the size fits.
  Bytes other = Header(8, 4, 20);
  other.resize(other.size() + 3 + 96, 0);
  test::WriteFile(path, other);
  EXPECT_EQ(reader->ReadFrame(out), FrameReadResult::kEnd);
  written.push_back('Q');
  test::WriteFile(path, written);
  EXPECT_EQ(reader->ReadFrame(out), FrameReadResult::kFrame);
  EXPECT_TRUE(OpenRecordingFile(path + ".missing") == nullptr && !FileRecordingSink::Create(dir + "/no/such/dir.qrr").ok());
}

}  // namespace
}  // namespace quor

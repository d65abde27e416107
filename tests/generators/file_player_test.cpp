#include "generators/file_player.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/engine.h"
#include "files/recorder.h"
#include "test_support.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;

// Recordings by name, served from memory.
struct Library {
  std::map<std::string, Bytes> files;
  RecordingOpener Opener() {
    return [this](const std::string& name) -> std::unique_ptr<RecordingSource> {
      auto it = files.find(name);
      if (it == files.end()) return nullptr;
      return std::make_unique<MemoryRecordingSource>(it->second);
    };
  }
};

// A 16 x 8 picture in which every pixel differs from its neighbours.
Bytes Pattern16x8(int seed) {
  Bytes frame(16 * 8 * 3);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(seed * 40 + i * 13 % 251);
  return frame;
}

Bytes Recording(int width, int height, const std::vector<Bytes>& frames) {
  const auto header = EncodeRecordingHeader({static_cast<uint32_t>(width), static_cast<uint32_t>(height), 25});
  Bytes bytes(header.begin(), header.end());
  for (const Bytes& frame : frames) {
    bytes.insert(bytes.end(), {'Q', 'X', 0});
    bytes.insert(bytes.end(), frame.begin(), frame.end());
  }
  return bytes;
}

const uint8_t* At(const Bytes& frame, int width, int x, int y) { return frame.data() + (y * width + x) * 3; }

void ExpectFrame(const Bytes& actual, const Bytes& expected, int width, int height, const std::string& name) {
  if (actual == expected) return;
  ADD_FAILURE() << name << " differs; actual saved to "
                << test::SaveFrameForInspection(name + "_actual", actual.data(), width, height) << ", expected to "
                << test::SaveFrameForInspection(name + "_expected", expected.data(), width, height);
}

class FilePlayerTest : public testing::Test {
 protected:
  FilePlayerTest() : capture_(harness_.console) {}

  // Renders once into a frame of stale bytes.
  Bytes Render(int width, int height) {
    Bytes frame(static_cast<size_t>(width) * height * 3, 0xA5);
    player_.Render(frame.data(), width, height);
    return frame;
  }

  test::GeneratorHarness harness_;
  test::ConsoleCapture capture_;
  Library library_;
  FilePlayerGenerator player_{harness_.console, library_.Opener()};
};

TEST_F(FilePlayerTest, ScalesSmallerAndLargerMatricesWithAndWithoutSmoothing) {
  const Bytes source = Pattern16x8(1);
  library_.files["a.qrr"] = Recording(16, 8, {source});
  ASSERT_TRUE(player_.Create(8, 4));
  ASSERT_EQ(player_.Load("a.qrr"), RecordingOpenResult::kOpened);

  Bytes picked(8 * 4 * 3), averaged(8 * 4 * 3), doubled(32 * 16 * 3);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 8; ++x) {
      for (int k = 0; k < 3; ++k) {
        const size_t i = static_cast<size_t>((y * 8 + x) * 3 + k);
        picked[i] = At(source, 16, 2 * x, 2 * y)[k];
        averaged[i] = static_cast<uint8_t>((At(source, 16, 2 * x, 2 * y)[k] + At(source, 16, 2 * x + 1, 2 * y)[k] +
                                            At(source, 16, 2 * x, 2 * y + 1)[k] + At(source, 16, 2 * x + 1, 2 * y + 1)[k]) /
                                           4);
      }
    }
  }
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 32; ++x) std::copy_n(At(source, 16, x / 2, y / 2), 3, doubled.begin() + (y * 32 + x) * 3);
  }

  // A one-frame recording: frame, end, frame, ...
  ExpectFrame(Render(8, 4), picked, 8, 4, "file_player_8x4");
  EXPECT_EQ(Render(8, 4), Bytes(8 * 4 * 3, 0xA5));
  player_.SetSmoothResize(true);
  ExpectFrame(Render(8, 4), averaged, 8, 4, "file_player_8x4_smooth");
  Render(8, 4);
  ExpectFrame(Render(32, 16), doubled, 32, 16, "file_player_32x16_smooth");
  Render(32, 16);
  player_.SetSmoothResize(false);
  ExpectFrame(Render(32, 16), doubled, 32, 16, "file_player_32x16");
  Render(16, 8);
  ExpectFrame(Render(16, 8), source, 16, 8, "file_player_16x8");

  // Odd ratios stay inside the source: the last pixel takes the last columns.
  player_.SetSmoothResize(true);
  Render(11, 5);
  const Bytes odd = Render(11, 5);
  EXPECT_EQ(odd[(4 * 11 + 10) * 3], (At(source, 16, 14, 6)[0] + At(source, 16, 15, 6)[0] + At(source, 16, 14, 7)[0] +
                                     At(source, 16, 15, 7)[0]) / 4);
}

TEST_F(FilePlayerTest, LoopsToTheFirstFrameAfterOneBlankRender) {
  library_.files["b.qrr"] = Recording(16, 8, {Pattern16x8(1), Pattern16x8(2), Pattern16x8(3)});
  ASSERT_EQ(player_.Load("b.qrr"), RecordingOpenResult::kOpened);
  EXPECT_EQ(player_.status(), BusyStatus::kReady);
  EXPECT_EQ(Render(16, 8), Pattern16x8(1));
  EXPECT_EQ(Render(16, 8), Pattern16x8(2));
  EXPECT_EQ(Render(16, 8), Pattern16x8(3));
  EXPECT_EQ(Render(16, 8), Bytes(16 * 8 * 3, 0xA5));
  EXPECT_EQ(Render(16, 8), Pattern16x8(1));
  EXPECT_EQ(player_.status(), BusyStatus::kReady);

  // A cut-off last frame ends the recording without drawing any of it.
  Bytes cut = Recording(16, 8, {Pattern16x8(1), Pattern16x8(2)});
  cut.erase(cut.end() - 10, cut.end());
  library_.files["cut.qrr"] = cut;
  ASSERT_EQ(player_.Load("cut.qrr"), RecordingOpenResult::kOpened);
  EXPECT_EQ(Render(16, 8), Pattern16x8(1));
  EXPECT_EQ(Render(16, 8), Bytes(16 * 8 * 3, 0xA5));
  EXPECT_EQ(Render(16, 8), Pattern16x8(1));
}

TEST_F(FilePlayerTest, OpenReportsFormatErrorsAndClearsTheName) {
  Bytes project = Recording(16, 8, {});
  project[2] = 'X';
  library_.files["project.qrx"] = project;
  Bytes version2 = Recording(16, 8, {});
  version2[5] = '2';
  library_.files["v2.qrr"] = version2;

  EXPECT_EQ(player_.Load("project.qrx"), RecordingOpenResult::kUnknownFormat);
  EXPECT_EQ(player_.fileName(), "");
  EXPECT_EQ(player_.Load("v2.qrr"), RecordingOpenResult::kWrongVersion);
  EXPECT_EQ(player_.fileName(), "");
  EXPECT_EQ(player_.status(), BusyStatus::kDestroyed);
  // A file that is not there keeps its name and plays nothing, silently.
  EXPECT_EQ(player_.Load("gone.qrr"), RecordingOpenResult::kCannotOpen);
  EXPECT_EQ(player_.fileName(), "gone.qrr");
  EXPECT_EQ(Render(16, 8), Bytes(16 * 8 * 3, 0xA5));
  EXPECT_EQ(player_.Load(std::string(256, 'n')), RecordingOpenResult::kNameTooLong);

  const FilePlayerDialogState none = player_.DialogState(16, 8);
  EXPECT_EQ(none.resolutionLabel, "File Resolution: 0 x 0");
  EXPECT_TRUE(none.resizeChecked);
  EXPECT_TRUE(none.smoothEnabled);
  EXPECT_EQ(capture_.Text(), "");
}

TEST_F(FilePlayerTest, SettingsBlockHoldsNameAndSmoothFlagAndReopensOnLoad) {
  library_.files["show.qrr"] = Recording(16, 8, {Pattern16x8(4)});
  ASSERT_EQ(player_.Load("show.qrr"), RecordingOpenResult::kOpened);
  player_.SetSmoothResize(true);
  SettingsBlock block;
  block.fill(0xCC);
  player_.ExchangeSettings(block, SettingsDirection::kStore);
  Bytes expected(256, 0);
  std::copy_n("show.qrr", 8, expected.begin());  // bytes 0..254: the name, zero-padded
  expected[255] = 1;                              // smoothResize
  EXPECT_EQ(Bytes(block.begin(), block.begin() + 256), expected);
  EXPECT_EQ(block[256], 0xCC);  // the rest of the block is not this type's

  FilePlayerGenerator other(harness_.console, library_.Opener());
  ASSERT_TRUE(other.Create(16, 8));
  other.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(other.fileName(), "show.qrr");
  EXPECT_EQ(other.smoothResize(), 1);
  EXPECT_EQ(other.fileWidth(), 16);
  EXPECT_EQ(other.fileHeight(), 8);
  EXPECT_EQ(other.fileFps(), 25);
  EXPECT_EQ(other.TakeMessage(), "");
  const FilePlayerDialogState same = other.DialogState(16, 8);
  EXPECT_EQ(same.resolutionLabel, "File Resolution: 16 x 8");
  EXPECT_FALSE(same.smoothEnabled);
  EXPECT_TRUE(same.smoothChecked);

  // A damaged block: no terminator within the name field, and a name that
  // is not a recording; the message waits for the caller.
  library_.files[std::string(255, 'q')] = Recording(16, 8, {});
  library_.files[std::string(255, 'q')][0] = 'X';
  block.fill('q');
  other.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(other.TakeMessage(), "Unknown File Format.");
  EXPECT_EQ(other.TakeMessage(), "");
  EXPECT_EQ(other.status(), BusyStatus::kDestroyed);

  // Create forgets the file.
  ASSERT_TRUE(player_.Create(16, 8));
  EXPECT_EQ(player_.fileName(), "");
  EXPECT_EQ(player_.fileWidth(), 0);
  EXPECT_EQ(player_.status(), BusyStatus::kDestroyed);
}

// Blocks inside Read until released, so a Render can be held mid-frame.
class GateSource final : public RecordingSource {
 public:
  GateSource(const Bytes& bytes, std::atomic<int>& entered, std::atomic<int>& release)
      : inner_(bytes), entered_(entered), release_(release) {}
  size_t Read(uint8_t* out, size_t size) override {
    if (size > kRecordingHeaderSize) {  // a frame, not the header or a marker byte
      entered_.store(1);
      while (release_.load() == 0) std::this_thread::yield();
    }
    return inner_.Read(out, size);
  }
  bool Rewind() override { return inner_.Rewind(); }

 private:
  MemoryRecordingSource inner_;
  std::atomic<int>& entered_;
  std::atomic<int>& release_;
};

TEST_F(FilePlayerTest, CloseWaitsForARenderInProgress) {
  const Bytes file = Recording(16, 8, {Pattern16x8(5)});
  std::atomic<int> entered{0}, release{0};
  int opens = 0;
  FilePlayerGenerator player(harness_.console, [&](const std::string&) -> std::unique_ptr<RecordingSource> {
    ++opens;
    return std::make_unique<GateSource>(file, entered, release);
  });
  ASSERT_EQ(player.Load("gate.qrr"), RecordingOpenResult::kOpened);

  Bytes frame(16 * 8 * 3, 0);
  std::thread render([&] { player.Render(frame.data(), 16, 8); });
  while (entered.load() == 0) std::this_thread::yield();
  std::thread close([&] { player.Destroy(); });
  while (capture_.Count("race condition ... wait\n") == 0) std::this_thread::yield();
  EXPECT_EQ(player.status(), BusyStatus::kRendering);
  release.store(1);
  render.join();
  close.join();
  EXPECT_EQ(frame, Pattern16x8(5));
  EXPECT_EQ(player.status(), BusyStatus::kDestroyed);
  EXPECT_EQ(opens, 1);
}

TEST(FilePlayerRoundTrip, PlaysBackTheRecordedFramesExactly) {
  Engine engine(test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1});
  Recorder& recorder = engine.recorder();
  ASSERT_TRUE(engine.ResizeMatrix(16, 8, 0));
  const std::string path = test::FreshTestDir("file_player_round_trip") + "/take.qrr";
  ASSERT_EQ(recorder.Start(path, 16, 8), Recorder::StartResult::kStarted);
  std::vector<Bytes> frames;
  for (int pass = 0; pass < 4; ++pass) {
    for (int s = 0; s < kSlotCount; ++s) {
      const Bytes picture = Pattern16x8(pass * 4 + s);
      std::copy(picture.begin(), picture.end(), engine.frame(static_cast<FrameIndex>(s)));
    }
    engine.RunMixPass();
    frames.push_back(engine.CopyFrame(FrameIndex::kOutput));
  }
  recorder.Stop();
  engine.Shutdown();

  test::GeneratorHarness harness;
  std::unique_ptr<Generator> player = CreateFilePlayerGenerator(harness.context);
  ASSERT_TRUE(player->Create(16, 8));
  SettingsBlock block{};
  std::copy(path.begin(), path.end(), block.begin());
  player->ExchangeSettings(block, SettingsDirection::kLoad);
  Bytes frame(16 * 8 * 3);
  for (const Bytes& expected : frames) {
    player->Render(frame.data(), 16, 8);
    ExpectFrame(frame, expected, 16, 8, "file_player_round_trip");
  }
  player->Destroy();
}

}  // namespace
}  // namespace quor

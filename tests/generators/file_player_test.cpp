#include "generators/file_player.h"

#include <atomic>
#include <cstring>
#include <map>
#include <thread>
#include <tuple>

#include "generator_rig.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;

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

// Plays recordings served by name from memory.
class FilePlayerTest : public testing::Test {
 protected:
  // Renders once into a frame of stale bytes.
  Bytes Render(int width, int height) {
    Bytes frame = Stale(width, height);
    player_.Render(frame.data(), width, height);
    return frame;
  }
  Bytes Stale(int width, int height) { return Bytes(static_cast<size_t>(width) * height * 3, 0xA5); }

  test::GeneratorHarness harness_;
  test::ConsoleCapture capture_{harness_.console};
  std::map<std::string, Bytes> files_;
  RecordingOpener opener_ = [this](const std::string& name) -> std::unique_ptr<RecordingSource> {
    auto it = files_.find(name);
    return it == files_.end() ? nullptr : std::make_unique<MemoryRecordingSource>(it->second);
  };
  FilePlayerGenerator player_{harness_.console, opener_};
};

TEST_F(FilePlayerTest, ScalesSmallerAndLargerMatricesWithAndWithoutSmoothing) {
  const Bytes source = Pattern16x8(1);
  const auto at = [&](int x, int y, int k) { return int{source[(y * 16 + x) * 3 + k]}; };
  const auto block = [&](int x, int y, int k) {
    return (at(x, y, k) + at(x + 1, y, k) + at(x, y + 1, k) + at(x + 1, y + 1, k)) / 4;
  };
  const auto picture = [](int w, int h, const auto& value) {  // component k at (x, y) is value(x, y, k)
    Bytes out;
    for (int i = 0; i < w * h * 3; ++i) out.push_back(uint8_t(value(i / 3 % w, i / 3 / w, i % 3)));
    return out;
  };
  files_["a.qrr"] = Recording(16, 8, {source});
  ASSERT_TRUE(player_.Create(8, 4));
  ASSERT_EQ(player_.Load("a.qrr"), RecordingOpenResult::kOpened);
  // A one-frame recording: frame, end, frame, ...
  EXPECT_EQ(Render(8, 4), picture(8, 4, [&](int x, int y, int k) { return at(2 * x, 2 * y, k); }));
  player_.SetSmoothResize(true);
  Render(8, 4);
  EXPECT_EQ(Render(8, 4), picture(8, 4, [&](int x, int y, int k) { return block(2 * x, 2 * y, k); }));
  Render(32, 16);
  EXPECT_EQ(Render(32, 16), picture(32, 16, [&](int x, int y, int k) { return at(x / 2, y / 2, k); }));
  // Odd ratios stay inside the source: the last pixel takes the last columns.
  Render(11, 5);
  EXPECT_EQ(Render(11, 5)[(4 * 11 + 10) * 3], block(14, 6, 0));
}

TEST_F(FilePlayerTest, LoopsToTheFirstFrameAfterOneBlankRenderAndDropsACutOffFrame) {
  files_["b.qrr"] = Recording(16, 8, {Pattern16x8(1), Pattern16x8(2), Pattern16x8(3)});
  Bytes cut = Recording(16, 8, {Pattern16x8(1), Pattern16x8(2)});
  cut.resize(cut.size() - 10);
  files_["cut.qrr"] = cut;
  ASSERT_EQ(player_.Load("b.qrr"), RecordingOpenResult::kOpened);
  for (int seed : {1, 2, 3, 0, 1}) EXPECT_EQ(Render(16, 8), seed ? Pattern16x8(seed) : Stale(16, 8)) << seed;
  ASSERT_EQ(player_.Load("cut.qrr"), RecordingOpenResult::kOpened);
  for (int seed : {1, 0, 1}) EXPECT_EQ(Render(16, 8), seed ? Pattern16x8(seed) : Stale(16, 8)) << seed;
}

TEST_F(FilePlayerTest, AMissingFileKeepsItsNameAndPlaysNothingSilently) {
  EXPECT_EQ(player_.Load("gone.qrr"), RecordingOpenResult::kCannotOpen);
  EXPECT_EQ(player_.status(), BusyStatus::kDestroyed);
  EXPECT_EQ(player_.fileName(), "gone.qrr");
  EXPECT_EQ(Render(16, 8), Stale(16, 8));
  EXPECT_EQ(player_.Load(std::string(256, 'n')), RecordingOpenResult::kNameTooLong);
  EXPECT_EQ(player_.DialogState(16, 8).resolutionLabel, "File Resolution: 0 x 0");
  EXPECT_EQ(capture_.Text(), "");
}

// A project file and version 2 get their own messages; the rest either one. The name is cleared.
TEST_F(FilePlayerTest, EveryDamagedRecordingIsRefusedWithItsMessageOnTheConsole) {
  const Bytes good = Recording(16, 8, {Pattern16x8(1)});
  std::vector<std::pair<std::string, Bytes>> damaged = {{"project.qrx", good}, {"v2.qrr", good}};
  damaged[0].second[2] = 'X', damaged[1].second[5] = '2';
  for (size_t n = 0; n < kRecordingHeaderSize + 3; ++n)
    damaged.push_back({"cut" + std::to_string(n), Bytes(good.begin(), good.begin() + long(n))});
  for (size_t i = 0; i < 6; ++i) {
    damaged.push_back({"flip" + std::to_string(i), good});
    damaged.back().second[i] ^= 0x20;
  }
  damaged.push_back({"frames cut short", Recording(16, 8, {Bytes(100, 1)})});
  damaged.push_back({"no frame marker", Recording(16, 8, {})});
  damaged.push_back({"markerless", Recording(16, 8, {})});
  damaged.back().second.resize(damaged.back().second.size() + (1 << 20), 'Q');
  for (const auto& [name, bytes] : damaged) {
    files_[name] = bytes;
    capture_.Clear();
    EXPECT_NE(player_.Load(name), RecordingOpenResult::kOpened) << name;
    const std::string text = capture_.Text(), unknown = "File Player: " + name + ": Unknown File Format.\n",
                      version = "File Player: " + name + ": Wrong File Version.\n";
    EXPECT_TRUE(name == "v2.qrr" ? text == version : text == unknown || (name != "project.qrx" && text == version))
        << name << ": " << text;
    EXPECT_TRUE(player_.status() == BusyStatus::kDestroyed && player_.fileName().empty()) << name;
  }
}

TEST_F(FilePlayerTest, SceneLoadReopensTheFileAndCreateForgetsIt) {
  files_["show.qrr"] = Recording(16, 8, {Pattern16x8(4)});
  SettingsBlock block{};
  std::memcpy(block.data(), "show.qrr", 8);
  block[kFilePlayerSmoothOffset] = 1;
  ASSERT_TRUE(player_.Create(16, 8));
  player_.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ((std::vector{player_.smoothResize(), player_.fileWidth(), player_.fileHeight(), player_.fileFps()}),
            (std::vector{1, 16, 8, 25}));
  EXPECT_EQ(player_.TakeMessage(), "");
  EXPECT_EQ(Render(16, 8), Pattern16x8(4));
  // No terminator within the name field, and a name that is not a recording; the message waits for the caller.
  files_[std::string(255, 'q')] = Recording(16, 8, {});
  files_[std::string(255, 'q')][0] = 'X';
  block.fill('q');
  player_.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(player_.TakeMessage(), "Unknown File Format.");
  EXPECT_EQ(std::pair(player_.TakeMessage(), player_.status()), std::pair(std::string(), BusyStatus::kDestroyed));
  ASSERT_EQ(player_.Load("show.qrr"), RecordingOpenResult::kOpened);
  ASSERT_TRUE(player_.Create(16, 8));
  EXPECT_TRUE(player_.fileName().empty() && player_.fileWidth() == 0 && player_.status() == BusyStatus::kDestroyed);
}

// Once armed, blocks inside Read until released, so a Render can be held mid-frame.
struct GateSource final : RecordingSource {
  GateSource(const Bytes& bytes, std::atomic<int>& armed, std::atomic<int>& entered, std::atomic<int>& release)
      : inner(bytes), armed(armed), entered(entered), release(release) {}
  size_t Read(uint8_t* out, size_t size) override {
    if (armed.load())
      for (entered = 1; !release;) std::this_thread::yield();
    return inner.Read(out, size);
  }
  bool Rewind() override { return inner.Rewind(); }
  bool Seek(uint64_t offset) override { return inner.Seek(offset); }
  MemoryRecordingSource inner;
  std::atomic<int>&armed, &entered, &release;
};

TEST_F(FilePlayerTest, CloseWaitsForARenderInProgress) {
  const Bytes file = Recording(16, 8, {Pattern16x8(5)});
  std::atomic<int> armed{0}, entered{0}, release{0};
  int opens = 0;
  FilePlayerGenerator player(harness_.console, [&](const std::string&) -> std::unique_ptr<RecordingSource> {
    ++opens;
    return std::make_unique<GateSource>(file, armed, entered, release);
  });
  ASSERT_EQ(player.Load("gate.qrr"), RecordingOpenResult::kOpened);
  armed.store(1);
  Bytes frame(16 * 8 * 3, 0);
  std::thread render([&] { player.Render(frame.data(), 16, 8); });
  while (entered.load() == 0) std::this_thread::yield();
  std::thread close([&] { player.Destroy(); });
  while (capture_.Count("race condition ... wait\n") == 0) std::this_thread::yield();
  EXPECT_EQ(player.status(), BusyStatus::kRendering);
  release.store(1);
  render.join(), close.join();
  EXPECT_EQ(frame, Pattern16x8(5));
  EXPECT_EQ(std::pair(player.status(), opens), std::pair(BusyStatus::kDestroyed, 1));
}

}  // namespace
}  // namespace quor

#include "generators/image_viewer.h"
#include "generators/file_player.h"

#include <filesystem>
#include <tuple>
#include <atomic>
#include <cstring>
#include <map>
#include <thread>

#include "engine/engine.h"
#include "generator_rig.h"
#include "generators/generator_catalogue.h"
#include "image_files.h"

namespace quor {
namespace {

using test::Bytes;

constexpr Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255};

// A picture whose pixel (x, y) is (x, y, 7).
std::vector<uint8_t> Ramp(int w, int h) {
  std::vector<uint8_t> rgb;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) rgb.insert(rgb.end(), {uint8_t(x), uint8_t(y), 7});
  return rgb;
}

TEST(ImageScaling, FitZoomCentreSmoothAndOneToOne) {
  struct Case { int imageWidth, imageHeight; ImagePlacement place; int width, height, black;
                std::vector<std::tuple<int, int, Rgb>> pixels; };
  const Case cases[] = {
      // Resized keeping the aspect, scale 2, smoothed: the 2 x 2 mean truncated ((10 + 11) / 2, (6 + 7) / 2).
      {64, 32, {.smooth = 1}, 32, 16, 0, {{5, 3, {10, 6, 7}}, {31, 15, {62, 30, 7}}}},
      // Fitted and centred, scale 3.125: rows 8..23 hold the image, black bands above and below.
      {100, 50, {}, 32, 32, 32 * 16, {{0, 7, {}}, {1, 8, {3, 0, 7}}, {31, 23, {96, 46, 7}}, {0, 24, {}}}},
      // Zoomed, scale 1.5625, offset x -16: column 0 shows image column trunc(1.5625 * 16) = 25.
      {100, 50, {.zoom = 1}, 32, 32, 0, {{0, 0, {25, 0, 7}}, {31, 31, {73, 48, 7}}}},
      {100, 50, {.resize = 0}, 32, 16, 0, {{0, 0, {34, 17, 7}}}}};  // one image pixel per matrix pixel, centred
  for (const Case& c : cases) {
    const std::vector<uint8_t> image = Ramp(c.imageWidth, c.imageHeight);
    test::Frame frame(c.width, c.height, 0x5A);
    ScaleImageFrame({image.data(), c.imageWidth, c.imageHeight}, c.place, {frame.bytes.data(), c.width, c.height});
    for (auto [x, y, rgb] : c.pixels) EXPECT_EQ(frame.At(x, y), rgb) << c.imageWidth << " " << x << "," << y;
    EXPECT_EQ(frame.LitCount(), c.width * c.height - c.black) << c.imageWidth << " zoom " << c.place.zoom;
  }
}

Bytes SolidPng(Rgb c) {
  std::vector<uint8_t> rgb;
  for (int i = 0; i < 16; ++i) rgb.insert(rgb.end(), {uint8_t(c.r), uint8_t(c.g), uint8_t(c.b)});
  return test::Png(4, 4, rgb);
}

class ImageViewerTest : public testing::Test {
 protected:
  void SetUp() override {  // one folder per test: ctest runs them side by side
    dir = test::FreshTestDir(std::string("image_viewer_") + testing::UnitTest::GetInstance()->current_test_info()->name());
    rig.gen.SetClock([this] { return now; });
  }
  std::string File(const std::string& name, const Bytes& bytes) {
    const std::string path = dir + "/" + name;
    test::WriteFile(path, bytes);
    return path;
  }
  void Load(const std::string& path) {  // and show the first frame
    ASSERT_TRUE(rig.gen.LoadPath(path));
    ASSERT_TRUE(rig.gen.WaitForLoader(10000));
    rig.Render();
  }
  // A render that finds the loader busy asks again on the next one: render until the loader had its turn, then show.
  void Tick() {
    for (int i = 0; i < 2; ++i) {
      rig.Render();
      ASSERT_TRUE(rig.gen.WaitForLoader(10000));
    }
    rig.Render();
  }
  char Shown() const {
    return rig.frame.All(kRed) ? 'R' : rig.frame.All(kGreen) ? 'G' : rig.frame.All(kBlue) ? 'B' : '?';
  }
  std::string dir;
  int64_t now = 1000;
  test::Rig<ImageViewerGenerator> rig{4, 4};
  test::ConsoleCapture console{rig.harness.console};
};

TEST_F(ImageViewerTest, AnimatedGifAndMultiPageTiffShowOneFramePerRender) {
  const std::pair<std::string, Bytes> files[] = {{"three.gif", test::AnimatedGif(4, 4, {kRed, kGreen, kBlue})},
                                                 {"pages.tif", test::MultiPageTiff(8, 8, {kBlue, kGreen})}};
  for (const auto& [name, bytes] : files) {
    Load(File(name, bytes));
    std::string seen;
    for (int n = 0; n < 5; ++n, rig.Render()) seen += Shown();
    EXPECT_EQ(seen, name == "three.gif" ? "RGBRG" : "BGBGB") << name;
  }
  EXPECT_EQ(console.Count("Image Viewer:"), 0) << console.Text();
}

TEST_F(ImageViewerTest, SlideshowWalksTheFolderSkippingOtherFiles) {
  const std::string show = dir + "/show";
  std::filesystem::create_directories(show + "/d.png");  // a folder, not an image
  test::WriteFile(show + "/a.png", SolidPng(kRed));
  test::WriteFile(show + "/b.txt", {'h', 'i'});
  test::WriteFile(show + "/C.PNG", SolidPng(kBlue));
  rig.gen.SetSlideshow(true), rig.gen.SetTime(1);
  Load(show);
  std::string seen;
  for (int n = 0; n < 4; ++n) {
    seen += Shown();
    now += 999;  // not yet due
    Tick();
    EXPECT_EQ(seen.back(), Shown());
    now += 2;
    Tick();
  }
  EXPECT_EQ(seen, "RBRB");
}

TEST_F(ImageViewerTest, AudioSlideshowAdvancesOnRisingBeatsOnly) {
  const std::string show = dir + "/beats";
  std::filesystem::create_directory(show);
  test::WriteFile(show + "/1.png", SolidPng(kRed));
  test::WriteFile(show + "/2.png", SolidPng(kBlue));
  rig.gen.SetSlideshow(true), rig.gen.SetTimed(false), rig.gen.SetAudio(true);
  rig.gen.audioTrigger().threshold = 0;  // fires even in silence: a steady "loud" input
  ASSERT_TRUE(rig.gen.LoadPath(show));
  std::string seen;
  const auto step = [&](int frames) {
    for (int n = 0; n < frames; ++n, rig.Render(), seen += Shown()) EXPECT_TRUE(rig.gen.WaitForLoader(10000));
  };
  step(4);  // the first picture; its first frame is the rising edge
  rig.gen.audioTrigger().threshold = 30000;  // quiet
  step(1);
  rig.gen.audioTrigger().threshold = 0;  // loud again: one more step
  step(3);
  EXPECT_EQ(seen, "RBBBBBRR");  // the new picture shows from the frame after the beat
}

TEST_F(ImageViewerTest, DamagedMissingAndHugeFilesGiveAConsoleLineAndBlack) {
  const Bytes png = test::Png(8, 8, Ramp(8, 8)), gif = test::AnimatedGif(4, 4, {kRed, kGreen, kBlue});
  const Bytes tiff = test::MultiPageTiff(8, 8, {kBlue});
  Bytes gifBomb = test::AnimatedGif(4, 4, {kRed});
  for (size_t at = 6; at < 10; ++at) gifBomb[at] = 0xFF;  // logical screen and image claim 65535 x 65535
  const std::string empty = dir + "/empty";  // a slideshow folder without images
  std::filesystem::create_directory(empty);
  test::WriteFile(empty + "/notes.txt", {'x'});
  const std::vector<std::string> paths = {
      File("truncated.png", Bytes(png.begin(), png.begin() + long(png.size() / 2))),
      File("truncated.gif", Bytes(gif.begin(), gif.begin() + 20)),
      File("truncated.tif", Bytes(tiff.begin(), tiff.begin() + 40)),
      File("huge.png", test::PngHeaderOnly(30000, 30000)), File("bomb.gif", gifBomb), File("empty.png", {}),
      File("text.jpg", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}), dir + "/missing.png", dir, empty};
  for (const std::string& path : paths) {
    console.Clear();
    rig.frame.Fill(0x44);
    rig.gen.SetSlideshow(path == empty);
    Load(path);
    rig.Render();
    EXPECT_EQ(rig.frame.LitCount(), 0) << path;
    EXPECT_EQ(console.Count(path == empty ? "Image Viewer: no image file in" : "Image Viewer: "), 1)
        << path << ": " << console.Text();
  }
}

TEST_F(ImageViewerTest, LoadRepairsTheBlockAndShowsThePictureAndDestroyReleasesIt) {
  const std::string path = File("ramp.png", test::Png(8, 8, Ramp(8, 8)));
  SettingsBlock block{};
  std::ranges::copy(path, block.begin());
  // Resize, centre, aspect; slideshow 2 -> 0, time 0 -> 5, neither timed nor audio -> timed; trigger; smooth 7 -> 0, zoom.
  std::ranges::copy(test::LittleEndian({1, 1, 1, 2, 0, 0, 0, 1200, 50, 900, 14, 30, 7, 0}), block.begin() + 255);
  rig.gen.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ((std::vector<int>{rig.gen.slideshow(), rig.gen.time(), rig.gen.timed(), rig.gen.placement().smooth}),
            (std::vector<int>{0, 5, 1, 0}));
  ASSERT_TRUE(rig.gen.WaitForLoader(10000));
  rig.Render();
  EXPECT_EQ(rig.At(1, 1), (Rgb{2, 2, 7}));
  rig.frame.Fill(9);  // a still image is drawn once and left alone
  rig.Render();
  EXPECT_EQ(rig.At(1, 1), (Rgb{9, 9, 9}));
  EXPECT_FALSE(rig.gen.LoadPath(std::string(300, 'x')));  // too long for the block: refused, nothing changes
  EXPECT_EQ(rig.gen.path(), path);
  rig.gen.Destroy();
  EXPECT_EQ(rig.gen.frameCount(), 0);
}

// A 16 x 8 picture in which every pixel differs from its neighbours.
Bytes Pattern16x8(int seed) {
  Bytes frame(16 * 8 * 3);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(seed * 40 + i * 13 % 251);
  return frame;
}

Bytes Recording(int width, int height, const std::vector<Bytes>& frames) {
  const auto header = EncodeRecordingHeader({static_cast<uint32_t>(width), static_cast<uint32_t>(height), 25});
  Bytes bytes(header.begin(), header.end());
  for (const Bytes& frame : frames) bytes.insert(bytes.end(), {'Q', 'X', 0}), bytes.insert(bytes.end(), frame.begin(), frame.end());
  return bytes;
}

// Plays recordings served by name from memory.
class FilePlayerTest : public testing::Test {
 protected:
  Bytes Render(int width, int height) {  // once, into a frame of stale bytes
    Bytes frame = Stale(width, height);
    player_.Render({frame.data(), width, height});
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
  EXPECT_TRUE(player_.status() == BusyStatus::kDestroyed && player_.fileName() == "gone.qrr");
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
  for (size_t n = 0; n < kRecordingHeaderSize; ++n)
    damaged.push_back({"cut" + std::to_string(n), Bytes(good.begin(), good.begin() + long(n))});
  for (size_t i = 0; i < 6; ++i) {
    damaged.push_back({"flip" + std::to_string(i), good});
    damaged.back().second[i] ^= 0x20;
  }
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

// What the recorder leaves when stopped before (or killed during) its first frame.
TEST_F(FilePlayerTest, ARecordingStoppedBeforeItsFirstFramePlaysBlack) {
  const Bytes header = Recording(16, 8, {});
  Bytes cut = Recording(16, 8, {Pattern16x8(1)});
  cut.resize(cut.size() - 100);
  Bytes halfMarker = header;
  halfMarker.push_back('Q');
  for (const Bytes& bytes : {header, halfMarker, cut}) {
    files_["take.qrr"] = bytes;
    ASSERT_EQ(player_.Load("take.qrr"), RecordingOpenResult::kOpened) << bytes.size();
    EXPECT_EQ(Render(16, 8), Bytes(16 * 8 * 3, 0)) << bytes.size();
    EXPECT_EQ(Render(8, 4), Bytes(8 * 4 * 3, 0)) << bytes.size();
    EXPECT_EQ(player_.DialogState(16, 8).resolutionLabel, "File Resolution: 16 x 8");
  }
  EXPECT_EQ(capture_.Text(), "");
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
  EXPECT_EQ(player_.TakeLoadError(), std::nullopt);
  EXPECT_EQ(Render(16, 8), Pattern16x8(4));
  // No terminator within the name field, and a name that is not a recording; the message waits for the caller.
  files_[std::string(255, 'q')] = Recording(16, 8, {});
  files_[std::string(255, 'q')][0] = 'X';
  block.fill('q');
  player_.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(player_.TakeLoadError(), (Failure{std::string(255, 'q'), 0, "Unknown File Format."}));
  EXPECT_EQ(std::pair(player_.TakeLoadError(), player_.status()), std::pair(std::optional<Failure>(), BusyStatus::kDestroyed));
  ASSERT_EQ(player_.Load("show.qrr"), RecordingOpenResult::kOpened);
  ASSERT_TRUE(player_.Create(16, 8));
  EXPECT_TRUE(player_.fileName().empty() && player_.fileWidth() == 0 && player_.status() == BusyStatus::kDestroyed);
}

// A recalled scene or a pasted slot whose File Player names no recording: the error box reaches the window's feed.
TEST(FilePlayerInEngine, RecallAndPasteErrorsReachTheChangeFeed) {
  const std::string dir = test::FreshTestDir("player_errors"), take = dir + "/take.qrr";
  const Bytes project = {'Q', 'R', 'X', '!', 0, '4'};
  test::WriteFile(take, Recording(16, 8, {Pattern16x8(1)}));
  Engine engine(BuiltinGenerators(), {FrameClock::Mode::kManual, 1});
  engine.RequestType(0, kFilePlayerDialog.typeId);
  engine.RebindSlots();
  engine.EditGenerator(0, [&](Generator& g) { static_cast<FilePlayerGenerator&>(g).Load(take); });
  engine.CopySlot(0);
  test::WriteFile(take, project);  // overwritten since the copy
  const std::vector<Failure> expected = {{take, 0, "Unknown File Format."}};
  ASSERT_TRUE(engine.PasteSlot(1));
  engine.PostMessageWork();
  EXPECT_EQ(engine.changes().Drain().errors, expected);

  Scene scene;
  scene.types[2] = kFilePlayerDialog.typeId;
  std::memcpy(scene.settings[2].data(), take.data(), take.size());
  ASSERT_TRUE(engine.show().scenes().ReplaceAll({scene}));
  engine.RequestSceneRecall(0);
  engine.PostMessageWork();
  EXPECT_EQ(engine.changes().Drain().errors, expected);
  engine.Shutdown();
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
  std::thread render([&] { player.Render({frame.data(), 16, 8}); });
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

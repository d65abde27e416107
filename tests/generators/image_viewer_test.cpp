#include "generators/image_viewer.h"

#include <filesystem>

#include "generator_rig.h"
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
  // 64 x 32 on 32 x 16 with resize and keep aspect: scale 2; smoothing
  // averages each 2 x 2 block, else the block's top-left pixel is taken.
  const std::vector<uint8_t> ramp = Ramp(64, 32);
  test::Frame frame(32, 16);
  ImagePlacement place;
  ScaleImageFrame(ramp.data(), 64, 32, place, frame.bytes.data(), 32, 16);
  EXPECT_EQ(frame.At(5, 3), (Rgb{10, 6, 7}));
  place.smooth = 1;
  ScaleImageFrame(ramp.data(), 64, 32, place, frame.bytes.data(), 32, 16);
  EXPECT_EQ(frame.At(5, 3), (Rgb{10, 6, 7}));  // (10 + 11) / 2 and (6 + 7) / 2, truncated
  EXPECT_EQ(frame.At(31, 15), (Rgb{62, 30, 7}));

  // 100 x 50 on 32 x 32, fitted and centred: scale 3.125, rows 8..23 hold
  // the image, black bands above and below.
  const std::vector<uint8_t> wide = Ramp(100, 50);
  test::Frame square(32, 32);
  place = ImagePlacement{};
  ScaleImageFrame(wide.data(), 100, 50, place, square.bytes.data(), 32, 32);
  for (int y = 0; y < 32; ++y) EXPECT_EQ(square.At(0, y) == Rgb{}, y < 8 || y > 23) << y;
  EXPECT_EQ(square.At(1, 8), (Rgb{3, 0, 7}));
  EXPECT_EQ(square.At(31, 23), (Rgb{96, 46, 7}));
  // Zoomed: scale 1.5625, offset x -16, the image fills the matrix cropped
  // left and right: column 0 shows image column trunc(1.5625 * 16) = 25.
  place.zoom = 1;
  ScaleImageFrame(wide.data(), 100, 50, place, square.bytes.data(), 32, 32);
  EXPECT_EQ(square.LitCount(), 32 * 32);
  EXPECT_EQ(square.At(0, 0), (Rgb{25, 0, 7}));
  EXPECT_EQ(square.At(31, 31), (Rgb{73, 48, 7}));

  // Without resize: one image pixel per matrix pixel, the top-left part (or
  // the centre part with centring).
  place = ImagePlacement{};
  place.resize = 0;
  place.centre = 0;
  ScaleImageFrame(wide.data(), 100, 50, place, frame.bytes.data(), 32, 16);
  EXPECT_EQ(frame.At(31, 15), (Rgb{31, 15, 7}));
  place.centre = 1;
  ScaleImageFrame(wide.data(), 100, 50, place, frame.bytes.data(), 32, 16);
  EXPECT_EQ(frame.At(0, 0), (Rgb{34, 17, 7}));
}

Bytes SolidPng(Rgb c) {
  std::vector<uint8_t> rgb;
  for (int i = 0; i < 16; ++i) rgb.insert(rgb.end(), {uint8_t(c.r), uint8_t(c.g), uint8_t(c.b)});
  return test::Png(4, 4, rgb);
}

class ImageViewerTest : public testing::Test {
 protected:
  void SetUp() override {
    // One folder per test: ctest runs them side by side.
    dir = test::FreshTestDir(std::string("image_viewer_") + testing::UnitTest::GetInstance()->current_test_info()->name());
    rig.gen.SetClock([this] { return now; });
  }
  std::string File(const std::string& name, const Bytes& bytes) {
    const std::string path = dir + "/" + name;
    test::WriteFile(path, bytes);
    return path;
  }
  // Loads and shows the first frame.
  void Load(const std::string& path) {
    ASSERT_TRUE(rig.gen.LoadPath(path));
    ASSERT_TRUE(rig.gen.WaitForLoader(10000));
    rig.Render();
  }
  // A render that finds the loader busy asks again on the next one, so the
  // step renders until the loader had its turn and then shows its picture.
  void Tick() {
    for (int i = 0; i < 2; ++i) {
      rig.Render();
      ASSERT_TRUE(rig.gen.WaitForLoader(10000));
    }
    rig.Render();
  }
  // The colour filling the whole frame as a letter, '?' for a picture.
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

TEST_F(ImageViewerTest, StillImageIsDrawnOnceAndAgainAfterAPlacementChange) {
  Load(File("ramp.png", test::Png(8, 8, Ramp(8, 8))));
  EXPECT_EQ(rig.At(1, 1), (Rgb{2, 2, 7}));
  rig.frame.Fill(9);
  rig.Render();
  EXPECT_EQ(rig.At(1, 1), (Rgb{9, 9, 9}));  // left as it was
  ImagePlacement place;
  place.smooth = 1;
  rig.gen.SetPlacement(place);
  rig.Render();
  EXPECT_EQ(rig.At(1, 1), (Rgb{2, 2, 7}));  // (2 + 3) / 2 = 2
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
    now += 999;
    rig.Render();  // not yet due
    EXPECT_TRUE(rig.gen.WaitForLoader(10000));
    rig.Render();
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
  const Bytes png = test::Png(8, 8, Ramp(8, 8));
  const Bytes gif = test::AnimatedGif(4, 4, {kRed, kGreen, kBlue});
  const Bytes tiff = test::MultiPageTiff(8, 8, {kBlue});
  Bytes gifBomb = test::AnimatedGif(4, 4, {kRed});
  // Logical screen and image both claim 65535 x 65535.
  for (size_t at : {size_t(6), size_t(7), size_t(8), size_t(9)}) gifBomb[at] = 0xFF;
  struct Case {
    const char* name;
    Bytes bytes;
  };
  const Case cases[] = {
      {"truncated.png", Bytes(png.begin(), png.begin() + long(png.size() / 2))},
      {"truncated.gif", Bytes(gif.begin(), gif.begin() + 20)},
      {"truncated.tif", Bytes(tiff.begin(), tiff.begin() + 40)},
      {"huge.png", test::PngHeaderOnly(30000, 30000)},
      {"bomb.gif", gifBomb},
      {"empty.png", {}},
      {"text.jpg", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}},
  };
  for (const Case& c : cases) {
    console.Clear();
    rig.frame.Fill(0x44);
    Load(File(c.name, c.bytes));
    rig.Render();
    EXPECT_EQ(rig.frame.LitCount(), 0) << c.name;
    EXPECT_EQ(console.Count("Image Viewer: "), 1) << c.name << ": " << console.Text();
  }
  for (const std::string& path : {dir + "/missing.png", dir}) {
    console.Clear();
    Load(path);
    EXPECT_EQ(rig.frame.LitCount(), 0) << path;
    EXPECT_EQ(console.Count("Image Viewer: "), 1) << path;
  }
  // A slideshow folder without images.
  const std::string empty = dir + "/empty";
  std::filesystem::create_directory(empty);
  test::WriteFile(empty + "/notes.txt", {'x'});
  console.Clear();
  rig.gen.SetSlideshow(true);
  Load(empty);
  EXPECT_EQ(rig.frame.LitCount(), 0);
  EXPECT_EQ(console.Count("Image Viewer: no image file in"), 1) << console.Text();
}

TEST_F(ImageViewerTest, LoadRepairsTheBlockAndShowsThePictureAndDestroyReleasesIt) {
  const std::string path = File("ramp.png", test::Png(8, 8, Ramp(8, 8)));
  SettingsBlock block{};
  std::ranges::copy(path, block.begin());
  // Resize, centre, keep aspect; slideshow 2 -> 0, time 0 -> 5, timed 0 and
  // audio 0 -> timed; the audio trigger; smooth 7 -> 0, zoom.
  std::ranges::copy(test::LittleEndian({1, 1, 1, 2, 0, 0, 0, 1200, 50, 900, 14, 30, 7, 0}), block.begin() + 255);
  rig.gen.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ((std::vector<int>{rig.gen.slideshow(), rig.gen.time(), rig.gen.timed(), rig.gen.placement().smooth}),
            (std::vector<int>{0, 5, 1, 0}));
  ASSERT_TRUE(rig.gen.WaitForLoader(10000));
  rig.Render();
  EXPECT_EQ(rig.At(1, 1), (Rgb{2, 2, 7}));
  // A path the block cannot hold is refused and changes nothing.
  EXPECT_FALSE(rig.gen.LoadPath(std::string(300, 'x')));
  EXPECT_EQ(rig.gen.path(), path);
  rig.gen.Destroy();
  EXPECT_EQ(rig.gen.frameCount(), 0);
}

}  // namespace
}  // namespace quor

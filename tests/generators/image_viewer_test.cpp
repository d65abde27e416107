#include "generators/image_viewer.h"

#include <filesystem>
#include <tuple>

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
    ScaleImageFrame(image.data(), c.imageWidth, c.imageHeight, c.place, frame.bytes.data(), c.width, c.height);
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
  // Resize, centre, keep aspect; slideshow 2 -> 0, time 0 -> 5, timed 0 and audio 0 -> timed; the audio trigger;
  // smooth 7 -> 0, zoom.
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
  // A path the block cannot hold is refused and changes nothing.
  EXPECT_FALSE(rig.gen.LoadPath(std::string(300, 'x')));
  EXPECT_EQ(rig.gen.path(), path);
  rig.gen.Destroy();
  EXPECT_EQ(rig.gen.frameCount(), 0);
}

}  // namespace
}  // namespace quor

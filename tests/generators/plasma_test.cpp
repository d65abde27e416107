#include "generators/plasma.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "core/byte_io.h"
#include "generators/color.h"
#include "test_support.h"

namespace quor {
namespace {

using Indices = std::vector<std::vector<int>>;

// Expects every pixel to show the palette entry its index selects (low
// bytes); saves the frame on the first mismatch.
void ExpectIndices(const PlasmaGenerator& plasma, const std::vector<uint8_t>& frame, const Indices& expected,
                   const std::string& name) {
  const int height = static_cast<int>(expected.size());
  const int width = static_cast<int>(expected[0].size());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgb want = plasma.paletteEntry(expected[static_cast<size_t>(y)][static_cast<size_t>(x)]);
      const uint8_t* p = &frame[(static_cast<size_t>(y) * width + x) * 3];
      if (p[0] != static_cast<uint8_t>(want.r) || p[1] != static_cast<uint8_t>(want.g) ||
          p[2] != static_cast<uint8_t>(want.b)) {
        ADD_FAILURE() << name << ": pixel (" << x << ", " << y << ") is " << int{p[0]} << "," << int{p[1]} << ","
                      << int{p[2]} << "; frame saved to "
                      << test::SaveFrameForInspection(name, frame.data(), width, height);
        return;
      }
    }
  }
}

TEST(Plasma, TimeAdvancesBySpeedHundredthsInSinglePrecision) {
  test::GeneratorHarness harness;
  PlasmaGenerator plasma(harness.context);
  ASSERT_TRUE(plasma.Create(8, 8));
  std::vector<uint8_t> frame(8 * 8 * 3);
  plasma.Render(frame.data(), 8, 8);
  EXPECT_EQ(plasma.time(), 0.5f);
  plasma.Render(frame.data(), 8, 8);
  EXPECT_EQ(plasma.time(), 1.0f);

  plasma.SetSpeed(1);
  plasma.Render(frame.data(), 8, 8);
  EXPECT_EQ(plasma.time(), 1.01f);

  // Create and a scene load both restart the animation.
  ASSERT_TRUE(plasma.Create(8, 8));
  EXPECT_EQ(plasma.time(), 0.0f);
  plasma.SetSpeed(1);
  plasma.Render(frame.data(), 8, 8);
  plasma.Render(frame.data(), 8, 8);
  // 0.01 rounded to float, plus 0.01 in double, rounded again.
  EXPECT_EQ(plasma.time(), static_cast<float>(0.01f + 0.01));
  SettingsBlock block{};
  plasma.ExchangeSettings(block, SettingsDirection::kStore);
  plasma.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(plasma.time(), 0.0f);

  // The dialog's trackbars keep 1..100.
  plasma.SetSpeed(0);
  EXPECT_EQ(plasma.speed(), 1);
  plasma.SetZoom(101);
  EXPECT_EQ(plasma.zoom(), 100);
}

TEST(Plasma, PalettesFollowTheirWavesIncludingTheOverflowingPeak) {
  // Classic is the hue circle.
  const Palette256 classic = BuildPlasmaPalette(0);
  EXPECT_EQ(classic[0], (Rgb{255, 0, 0}));
  EXPECT_EQ(classic[86], (Rgb{0, 255, 0}));
  EXPECT_EQ(BuildPlasmaPalette(6), classic);  // unknown choices fall back
  EXPECT_EQ(BuildPlasmaPalette(-1), classic);

  // Psychadelic: single-precision angles 0, 2.125, 4.25 (red),
  // 1.4166666, ... (green), 0.7083333, ... (blue) degrees of a 3.14593 half
  // turn; entry 1 red = |trunc(sin(3.14593 * 2.125 / 180) * 255)| =
  // trunc(9.47) = 9.
  const Palette256 psychadelic = BuildPlasmaPalette(1);
  EXPECT_EQ(psychadelic[0], (Rgb{0, 0, 0}));
  EXPECT_EQ(psychadelic[1], (Rgb{9, 6, 3}));
  EXPECT_EQ(psychadelic[2], (Rgb{18, 12, 6}));

  // Blue/Green at i = 64 is a quarter turn of 3.14593: cos = -0.0022 -> 0,
  // sin = 0.999998 -> trunc(254.9994) = 254.
  EXPECT_EQ(BuildPlasmaPalette(2)[0], (Rgb{0, 255, 0}));
  EXPECT_EQ(BuildPlasmaPalette(2)[64], (Rgb{0, 0, 254}));

  // Red/Green Small at i = 8: red sin(3.14593 / 2) * 128 + 128 = 255.9997,
  // green sin(0.19662) * 128 + 128 = 153.006.
  EXPECT_EQ(BuildPlasmaPalette(3)[8], (Rgb{255, 153, 0}));

  // cos(0) * 128 + 128 = 256: kept in the table, a pixel shows its low byte.
  EXPECT_EQ(BuildPlasmaPalette(4)[0], (Rgb{128, 256, 0}));
  EXPECT_EQ(BuildPlasmaPalette(5)[0], (Rgb{255, 256, 128}));

  test::GeneratorHarness harness;
  PlasmaGenerator plasma(harness.context);
  ASSERT_TRUE(plasma.Create(4, 4));
  plasma.SetPalette(4);
  plasma.SetStyle(1);
  plasma.SetSpeed(1);
  std::vector<uint8_t> frame(4 * 4 * 3, 0x5A);
  plasma.Render(frame.data(), 4, 4);
  // Column 0 at T = 0.01: sin(0.01 * 3.14593 / 55.11) * 255 = 0.15 -> index 0.
  EXPECT_EQ(frame[0], 128);
  EXPECT_EQ(frame[1], 0);
  EXPECT_EQ(frame[2], 0);
}

TEST(Plasma, StylesPickTheirFieldsOnASmallMatrix) {
  // 4 x 4, zoom 30: z = (60 * 30 / 100 + 2) / (3.50515 - log10(4)) =
  // 20 / 2.90309 = 6.889211 (single precision), 8z = 55.11, 32z = 220.5.
  // First frame at speed 50: T = 0.5.
  struct Case {
    int style;
    Indices indices;
  };
  const Case cases[] = {
      // Vertical: c1 = |trunc(sin((0.5 + x) * 3.14593 / 55.11) * 255)|:
      // sin(0.02854) * 255 = 7.3, sin(0.0856) = 21.8, 36.3, 50.6.
      {1, {{7, 21, 36, 50}, {7, 21, 36, 50}, {7, 21, 36, 50}, {7, 21, 36, 50}}},
      // Diagonal/Rotate: the phase sin(T / 20) x + cos(T / 30) y + T grows
      // by about 1 per row and 0.025 per column.
      {2, {{7, 7, 8, 8}, {21, 22, 22, 22}, {36, 36, 36, 37}, {50, 50, 51, 51}}},
      // Radial: sin(sqrt(3.14593 * 100 (x^2 + y^2)) / 220.5 + 0.1): at the
      // origin sin(0.1) * 255 = 25.46; (1, 0): sin(0.1804) * 255 = 45.7.
      {3, {{25, 45, 65, 85}, {45, 54, 70, 88}, {65, 70, 82, 96}, {85, 88, 96, 108}}},
      // Mix: the integer mean of the three, e.g. (0, 0): (7 + 7 + 25) / 3.
      {0, {{13, 24, 36, 47}, {24, 32, 42, 53}, {36, 42, 51, 61}, {47, 53, 61, 69}}},
      // An unknown style mixes too.
      {7, {{13, 24, 36, 47}, {24, 32, 42, 53}, {36, 42, 51, 61}, {47, 53, 61, 69}}},
  };
  test::GeneratorHarness harness;
  PlasmaGenerator plasma(harness.context);
  for (const Case& c : cases) {
    ASSERT_TRUE(plasma.Create(4, 4));
    // A scene can carry a style the dialog cannot set.
    SettingsBlock block{};
    ByteWriter writer(block);
    writer.PutI32(30);       // zoom
    writer.PutI32(0);        // palette: Classic
    writer.PutI32(c.style);  // style
    writer.PutI32(50);       // speed
    plasma.ExchangeSettings(block, SettingsDirection::kLoad);
    std::vector<uint8_t> frame(4 * 4 * 3, 0x5A);
    plasma.Render(frame.data(), 4, 4);
    ExpectIndices(plasma, frame, c.indices, "plasma_style_" + std::to_string(c.style));
  }
}

TEST(Plasma, SettingsBlockRoundTripsAndLoadRepairsSpeed) {
  test::GeneratorHarness harness;
  PlasmaGenerator plasma(harness.context);
  ASSERT_TRUE(plasma.Create(4, 4));
  plasma.SetZoom(77);
  plasma.SetPalette(5);
  plasma.SetStyle(3);
  plasma.SetSpeed(100);
  SettingsBlock block;
  block.fill(0xEE);
  plasma.ExchangeSettings(block, SettingsDirection::kStore);
  const uint8_t expected[] = {
      77,  0, 0, 0,  // zoom
      5,   0, 0, 0,  // palette: Red/Yellow
      3,   0, 0, 0,  // style: Radial
      100, 0, 0, 0,  // speed
      0xEE,          // the rest of the block is left alone
  };
  for (size_t i = 0; i < sizeof expected; ++i) EXPECT_EQ(block[i], expected[i]) << "byte " << i;

  PlasmaGenerator copy(harness.context);
  ASSERT_TRUE(copy.Create(4, 4));
  copy.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(copy.paletteEntry(0), (Rgb{255, 256, 128}));  // rebuilt as Red/Yellow
  SettingsBlock again;
  again.fill(0xEE);
  copy.ExchangeSettings(again, SettingsDirection::kStore);
  EXPECT_EQ(again, block);

  // Speeds outside 1..100 load as 50; the bounds themselves are kept.
  for (int speed : {0, -3, 101, 1, 100}) {
    ByteWriter writer(std::span<uint8_t>(block).subspan(12));
    writer.PutI32(speed);
    copy.ExchangeSettings(block, SettingsDirection::kLoad);
    EXPECT_EQ(copy.speed(), speed >= 1 && speed <= 100 ? speed : 50) << speed;
  }

  // Any zoom a damaged block holds keeps the fields finite: the index stays
  // a palette position (the sanitizer build checks the conversions).
  std::vector<uint8_t> frame(16 * 4 * 3);
  for (int zoom : {INT_MIN, -4, -3, 0, INT_MAX}) {
    ByteWriter writer(block);
    writer.PutI32(zoom);
    writer.PutI32(-7);  // palette: Classic
    writer.PutI32(0);   // style: Mix
    copy.ExchangeSettings(block, SettingsDirection::kLoad);
    EXPECT_EQ(copy.paletteEntry(0), (Rgb{255, 0, 0})) << zoom;
    copy.Render(frame.data(), 16, 4);
  }
}

}  // namespace
}  // namespace quor

#include "generators/plasma.h"

#include "generator_rig.h"
#include "generators/color.h"

namespace quor {
namespace {

using Indices = std::vector<std::vector<int>>;

void Load(PlasmaGenerator& plasma, int zoom, int palette, int style, int speed) {
  test::LoadWords(plasma, {zoom, palette, style, speed});
}

TEST(Plasma, TimeAdvancesBySpeedHundredthsInSinglePrecision) {
  test::GeneratorHarness harness;
  PlasmaGenerator plasma(harness.context);
  ASSERT_TRUE(plasma.Create(8, 8));
  std::vector<uint8_t> frame(8 * 8 * 3);
  const auto render = [&] { plasma.Render(frame.data(), 8, 8); };
  render(), render();
  EXPECT_EQ(plasma.time(), 1.0f);  // 0.5 a frame at the default speed
  // Create and a scene load both restart the animation.
  ASSERT_TRUE(plasma.Create(8, 8));
  EXPECT_EQ(plasma.time(), 0.0f);
  plasma.SetSpeed(1), render(), render();
  EXPECT_EQ(plasma.time(), static_cast<float>(0.01f + 0.01));  // 0.01 as float, plus 0.01 in double, rounded
  Load(plasma, 30, 0, 0, 1);
  EXPECT_EQ(plasma.time(), 0.0f);
}

TEST(Plasma, PalettesFollowTheirWavesIncludingTheOverflowingPeak) {
  const Palette256 classic = BuildPlasmaPalette(0);  // the hue circle
  EXPECT_TRUE(classic[0] == (Rgb{255, 0, 0}) && classic[86] == (Rgb{0, 255, 0}));
  EXPECT_EQ(BuildPlasmaPalette(6), classic);
  // Psychadelic: float angles 0, 2.125, 4.25 (red), 1.4166666, ... (green), 0.7083333, ... (blue) degrees of a
  // 3.14593 half turn; entry 2 red = |trunc(sin(3.14593 * 4.25 / 180) * 255)| = trunc(18.9) = 18.
  EXPECT_EQ(BuildPlasmaPalette(1)[2], (Rgb{18, 12, 6}));
  // Blue/Green at a quarter turn of 3.14593: cos = -0.0022 -> 0, sin = 0.999998 -> 254.
  EXPECT_EQ(BuildPlasmaPalette(2)[64], (Rgb{0, 0, 254}));
  // Red/Green Small at 8: sin(3.14593 / 2) * 128 + 128 = 255.9997, sin(0.19662) * 128 + 128 = 153.006.
  EXPECT_EQ(BuildPlasmaPalette(3)[8], (Rgb{255, 153, 0}));
  // cos(0) * 128 + 128 = 256: kept in the table, a pixel shows its low byte.
  EXPECT_EQ(BuildPlasmaPalette(5)[0], (Rgb{255, 256, 128}));
  test::GeneratorHarness harness;
  PlasmaGenerator plasma(harness.context);
  ASSERT_TRUE(plasma.Create(4, 4));
  Load(plasma, 30, 4, 1, 1);
  std::vector<uint8_t> frame(4 * 4 * 3, 0x5A);
  plasma.Render(frame.data(), 4, 4);
  // Column 0 at T = 0.01: sin(0.01 * 3.14593 / 55.11) * 255 = 0.15 -> index 0, (128, 256, 0).
  EXPECT_EQ(std::vector<uint8_t>(frame.begin(), frame.begin() + 3), (std::vector<uint8_t>{128, 0, 0}));
}

TEST(Plasma, StylesPickTheirFieldsOnASmallMatrix) {
  // 4 x 4, zoom 30: z = (60 * 30 / 100 + 2) / (3.50515 - log10(4)) = 6.889211 (float), 8z = 55.11, 32z = 220.5. First
  // frame at speed 50: T = 0.5.
  const Indices mix = {{13, 24, 36, 47}, {24, 32, 42, 53}, {36, 42, 51, 61}, {47, 53, 61, 69}};
  const std::pair<int, Indices> cases[] = {
      // Vertical: |trunc(sin((0.5 + x) * 3.14593 / 55.11) * 255)| = 7.3, 21.8, 36.3, 50.6.
      {1, Indices(4, {7, 21, 36, 50})},
      // Diagonal/Rotate: sin(T / 20) x + cos(T / 30) y + T grows about 1 per row and 0.025 per column.
      {2, {{7, 7, 8, 8}, {21, 22, 22, 22}, {36, 36, 36, 37}, {50, 50, 51, 51}}},
      // Radial: sin(sqrt(3.14593 * 100 (x^2 + y^2)) / 220.5 + 0.1): origin 25.46, (1, 0) 45.7.
      {3, {{25, 45, 65, 85}, {45, 54, 70, 88}, {65, 70, 82, 96}, {85, 88, 96, 108}}},
      {7, mix},  // the integer mean of the three, e.g. (7 + 7 + 25) / 3; a style no dialog sets mixes too
  };
  test::GeneratorHarness harness;
  PlasmaGenerator plasma(harness.context);
  for (const auto& [style, indices] : cases) {
    ASSERT_TRUE(plasma.Create(4, 4));
    Load(plasma, 30, 0, style, 50);
    test::ExpectPaletteIndices(plasma, 1, indices, "style " + std::to_string(style));
  }
}

TEST(Plasma, LoadRepairsSpeedZoomAndPalette) {
  test::GeneratorHarness harness;
  PlasmaGenerator plasma(harness.context);
  ASSERT_TRUE(plasma.Create(4, 4));
  for (int speed : {0, 101, 1, 100}) {  // outside 1..100 loads as 50, the bounds are kept
    Load(plasma, 77, 5, 3, speed);
    EXPECT_EQ(plasma.speed(), speed >= 1 && speed <= 100 ? speed : 50) << speed;
  }
  // Any zoom keeps the fields finite and the index a palette position (the sanitizer build checks the conversions).
  std::vector<uint8_t> frame(16 * 4 * 3);
  for (int zoom : {INT_MIN, -3, 0, INT_MAX}) {
    Load(plasma, zoom, -7, 0, 50);
    EXPECT_EQ(plasma.paletteEntry(0), (Rgb{255, 0, 0})) << zoom;  // palette -7 is Classic
    plasma.Render(frame.data(), 16, 4);
  }
}

}  // namespace
}  // namespace quor

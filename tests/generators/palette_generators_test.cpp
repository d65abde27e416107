#include "generators/plasma.h"
#include "generators/color.h"
#include "generators/color_scroll.h"

#include "generator_rig.h"

namespace quor {
namespace {

using Indices = std::vector<std::vector<int>>;

void Load(PlasmaGenerator& plasma, int zoom, int palette, int style, int speed) {
  test::LoadWords(plasma, {zoom, palette, style, speed});
}

TEST(Plasma, PalettesFollowTheirWavesIncludingTheOverflowingPeak) {
  const Palette256 classic = BuildPlasmaPalette(0);  // the hue circle
  EXPECT_TRUE(classic[86] == (Rgb{0, 255, 0}) && BuildPlasmaPalette(6) == classic);
  // Psychadelic: float angles 0, 2.125, 4.25 (red), 1.4166666, ... (green), 0.7083333, ... (blue) degrees of a
  // 3.14593 half turn; entry 2 red = |trunc(sin(3.14593 * 4.25 / 180) * 255)| = trunc(18.9) = 18.
  EXPECT_EQ(BuildPlasmaPalette(1)[2], (Rgb{18, 12, 6}));
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


using Indices = std::vector<std::vector<int>>;
using Frame = std::vector<uint8_t>;

struct Settings {
  int zoom = 20, speed = 2, palette = 4 /* Black/white: |trunc(sin(3.14593 i / 128) * 255)| */, style = 0, reverse = 0;
};

void Load(ColorScrollGenerator& scroll, const Settings& s) {
  test::LoadWords(scroll, {s.zoom, s.speed, s.palette, s.style, s.reverse});
}

Frame Render(ColorScrollGenerator& scroll, int width, int height, int frames = 1) {
  Frame frame(size_t(width) * height * 3, 0x5A);
  for (int n = 0; n < frames; ++n) scroll.Render(frame.data(), width, height);
  return frame;
}

TEST(ColorScroll, OffsetJumpsToTheFarEndInsteadOfCarryingAndIndicesWrapInStepsOf255) {
  test::GeneratorHarness harness;
  ColorScrollGenerator scroll(harness.context);
  ASSERT_TRUE(scroll.Create(4, 4));
  // {speed, reverse, frames, offset after}: 260 -> 0, not 4; 5 - 10 -> 255.
  for (auto [speed, reverse, frames, offset] : {std::array{10, 0, 25, 250}, {10, 0, 1, 0}, {5, 0, 1, 5}, {10, 1, 1, 255}}) {
    scroll.SetSpeed(speed), scroll.SetReverseChecked(reverse != 0);
    Render(scroll, 4, 4, frames);
    EXPECT_EQ(scroll.offset(), offset) << speed << " " << frames;
  }
  // Raw indices wrap in steps of 255, up to the ends of int.
  for (auto [raw, index] : {std::pair{256, 1}, {-1, 254}, {510, 255}, {-255, 0}}) EXPECT_EQ(WrapColorScrollIndex(raw), index);
  EXPECT_EQ(WrapColorScrollIndex(INT_MAX), (INT_MAX - 1) % 255 + 1);
  EXPECT_EQ(WrapColorScrollIndex(INT_MIN), INT_MIN % 255 + 255);
}

TEST(ColorScroll, StylesMapGeometryPlusOffset) {
  test::GeneratorHarness harness;
  ColorScrollGenerator scroll(harness.context);
  ASSERT_TRUE(scroll.Create(4, 4));
  Load(scroll, {});
  EXPECT_EQ(scroll.paletteEntry(22), (Rgb{131, 131, 131}));  // Black/white
  // 5 x 5, zoom 20: f = 6.61236. The symmetric distance runs 1, 0, -1, 0, 1 across; "Diamond" does not clamp it at 0:
  // the centre gets trunc(6.61236 * -2 + 2) = -11 -> 244, its neighbours trunc(-6.61 + 2) = -4 -> 251.
  Load(scroll, {.style = 8});
  test::ExpectPaletteIndices(scroll, 1,
              {{15, 8, 2, 8, 15}, {8, 2, 251, 2, 8}, {2, 251, 244, 251, 2}, {8, 2, 251, 2, 8}, {15, 8, 2, 8, 15}},
              "scroll_diamond");
  // 8 x 8, zoom 100: f = float((4.00515 - log10(8)) * 100) / 10 = 31.0206. "Circle" at the corner: sqrt(3.14593 * 32)
  // * 31.02 + 2 = 313.2 -> 58; (1, 0): 277 -> 22; (2, 0): 248; the centre: the offset.
  Load(scroll, {.zoom = 100, .style = 6});
  Frame frame = Render(scroll, 8, 8);
  const std::pair<int, int> circle[] = {{0, 58}, {1, 22}, {2, 248}, {4 * 8 + 4, 2}};
  for (auto [pixel, index] : circle) EXPECT_EQ(frame[pixel * 3], scroll.paletteEntry(index).r) << pixel;
}

TEST(ColorScroll, SpiralTurnsWithTheOffsetAndRedrawsOnZoomOrSizeChange) {
  // 8 x 8, zoom 100: g = f / 3 = 10.34, so every pixel off the centre lands at least 10 grid units out and only the
  // centre cross is near an axis: index (k * 63) / 4 with k the nearness to an axis of the turned point.
  test::GeneratorHarness harness;
  ColorScrollGenerator scroll(harness.context), fresh(harness.context);
  ASSERT_TRUE(scroll.Create(8, 8));
  // Offset 100 turns every point by 100 / 162 * 3 = 1.85 radians.
  Load(scroll, {.zoom = 100, .speed = 20, .style = 9});
  test::ExpectPaletteIndices(scroll, 5,
              {{0, 0, 0, 0, 0, 31, 0, 0}, {0, 0, 0, 47, 0, 0, 0, 0}, {0, 0, 63, 0, 0, 0, 63, 0},
               {31, 0, 0, 31, 31, 31, 0, 47}, {0, 0, 0, 31, 63, 31, 0, 0}, {0, 47, 0, 31, 31, 31, 0, 0},
               {0, 0, 63, 0, 0, 0, 63, 0}, {0, 0, 0, 0, 0, 47, 0, 0}},
              "scroll_spiral_offset_100");
  EXPECT_EQ(scroll.offset(), 100);
  // A size change redraws exactly as a fresh generator at the new size does.
  ASSERT_TRUE(fresh.Create(8, 8));
  Load(fresh, {.zoom = 40, .style = 9}), Load(scroll, {.zoom = 40, .style = 9});
  EXPECT_EQ(Render(scroll, 10, 6), Render(fresh, 10, 6));
}

}  // namespace
}  // namespace quor

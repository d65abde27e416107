#include "generators/color_scroll.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "core/byte_io.h"
#include "test_support.h"

namespace quor {
namespace {

using Indices = std::vector<std::vector<int>>;

struct Settings {
  int zoom = 20;
  int speed = 2;
  int palette = 4;  // Black/white: s = |trunc(sin(3.14593 i / 128) * 255)|
  int style = 0;
  int reverse = 0;
};

void Load(ColorScrollGenerator& scroll, const Settings& s) {
  SettingsBlock block{};
  ByteWriter writer(block);
  writer.PutI32(s.zoom);
  writer.PutI32(s.speed);
  writer.PutI32(s.palette);
  writer.PutI32(s.style);
  writer.PutI32(s.reverse);
  scroll.ExchangeSettings(block, SettingsDirection::kLoad);
}

// Renders `frames` frames and expects every pixel of the last to show the
// palette entry its index selects; saves the frame on the first mismatch.
void ExpectFrame(ColorScrollGenerator& scroll, int frames, const Indices& expected, const std::string& name) {
  const int height = static_cast<int>(expected.size());
  const int width = static_cast<int>(expected[0].size());
  std::vector<uint8_t> frame(static_cast<size_t>(width) * height * 3, 0x5A);
  for (int n = 0; n < frames; ++n) scroll.Render(frame.data(), width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgb want = scroll.paletteEntry(expected[static_cast<size_t>(y)][static_cast<size_t>(x)]);
      const uint8_t* p = &frame[(static_cast<size_t>(y) * width + x) * 3];
      if (p[0] != want.r || p[1] != want.g || p[2] != want.b) {
        ADD_FAILURE() << name << ": pixel (" << x << ", " << y << ") is " << int{p[0]} << "," << int{p[1]} << ","
                      << int{p[2]} << "; frame saved to "
                      << test::SaveFrameForInspection(name, frame.data(), width, height);
        return;
      }
    }
  }
}

TEST(ColorScroll, OffsetJumpsToTheFarEndInsteadOfCarrying) {
  test::GeneratorHarness harness;
  ColorScrollGenerator scroll(harness.context);
  ASSERT_TRUE(scroll.Create(4, 4));
  scroll.SetSpeed(10);
  std::vector<uint8_t> frame(4 * 4 * 3);
  for (int n = 0; n < 25; ++n) scroll.Render(frame.data(), 4, 4);
  EXPECT_EQ(scroll.offset(), 250);
  scroll.Render(frame.data(), 4, 4);
  EXPECT_EQ(scroll.offset(), 0);  // 260 -> 0, not 4

  scroll.SetSpeed(5);
  scroll.Render(frame.data(), 4, 4);
  scroll.SetSpeed(10);
  scroll.SetReverseChecked(true);
  scroll.Render(frame.data(), 4, 4);
  EXPECT_EQ(scroll.offset(), 255);  // 5 - 10 -> 255
  scroll.Render(frame.data(), 4, 4);
  EXPECT_EQ(scroll.offset(), 245);
}

TEST(ColorScroll, RawIndicesWrapInStepsOf255) {
  EXPECT_EQ(WrapColorScrollIndex(256), 1);
  EXPECT_EQ(WrapColorScrollIndex(-1), 254);
  EXPECT_EQ(WrapColorScrollIndex(510), 255);
  EXPECT_EQ(WrapColorScrollIndex(-255), 0);
  // The closed form against the stepwise rule over a wide range and at the
  // ends of int.
  for (int v = -3000; v <= 3000; ++v) {
    int stepped = v;
    while (stepped > 255) stepped -= 255;
    while (stepped < 0) stepped += 255;
    ASSERT_EQ(WrapColorScrollIndex(v), stepped) << v;
  }
  EXPECT_EQ(WrapColorScrollIndex(INT_MAX), (INT_MAX - 1) % 255 + 1);
  EXPECT_EQ(WrapColorScrollIndex(INT_MIN), INT_MIN % 255 + 255);
}

TEST(ColorScroll, StylesMapGeometryPlusOffset) {
  test::GeneratorHarness harness;
  ColorScrollGenerator scroll(harness.context);
  ASSERT_TRUE(scroll.Create(4, 4));

  // The palette: Black/white entries 2, 8, 15, 22 are |trunc(sin(3.14593 i
  // / 128) * 255)| = 12, 49, 91, 131.
  Load(scroll, {});
  EXPECT_EQ(scroll.paletteEntry(2), (Rgb{12, 12, 12}));
  EXPECT_EQ(scroll.paletteEntry(22), (Rgb{131, 131, 131}));

  // 4 x 4, zoom 20: f = float((4.00515 - log10(4)) * 20) / 10 = 6.80618;
  // first frame offset 2: trunc(6.80618 x + 2) = 2, 8, 15, 22.
  ExpectFrame(scroll, 1, {{2, 8, 15, 22}, {2, 8, 15, 22}, {2, 8, 15, 22}, {2, 8, 15, 22}}, "scroll_horizontal");

  // 5 x 5, zoom 20: f = 6.61236, hw = hh = 2. The symmetric distance runs
  // 1, 0, -1, 0, 1 across; "Horizontal Symetric" clamps it at 0, "Diamond"
  // does not: the centre gets trunc(6.61236 * -2 + 2) = -11 -> 244, its
  // neighbours trunc(-6.61 + 2) = -4 -> 251.
  Load(scroll, {.style = 4});
  ExpectFrame(scroll, 1, Indices(5, {8, 2, 2, 2, 8}), "scroll_horizontal_symmetric");
  Load(scroll, {.style = 8});
  ExpectFrame(scroll, 1,
              {{15, 8, 2, 8, 15}, {8, 2, 251, 2, 8}, {2, 251, 244, 251, 2}, {8, 2, 251, 2, 8}, {15, 8, 2, 8, 15}},
              "scroll_diamond");

  // 8 x 8, zoom 100: f = float((4.00515 - log10(8)) * 100) / 10 = 31.0206.
  // "Circle" at the corner: sqrt(3.14593 * 32) * 31.02 + 2 = 313.2 -> 58;
  // (1, 0): 277 -> 22; (2, 0): 248; the centre holds the offset.
  Load(scroll, {.zoom = 100, .style = 6});
  std::vector<uint8_t> frame(8 * 8 * 3);
  scroll.Render(frame.data(), 8, 8);
  EXPECT_EQ(frame[0], scroll.paletteEntry(58).r);
  EXPECT_EQ(frame[3], scroll.paletteEntry(22).r);
  EXPECT_EQ(frame[6], scroll.paletteEntry(248).r);
  EXPECT_EQ(frame[(4 * 8 + 4) * 3], scroll.paletteEntry(2).r);

  // "Hyperbola" row 0 (dy = -4): trunc(|4 dx| / 15.72965 * 31.02 + 2).
  Load(scroll, {.zoom = 100, .style = 7});
  scroll.Render(frame.data(), 8, 8);
  const int hyperbolaRow0[8] = {33, 25, 17, 9, 2, 9, 17, 25};
  for (int x = 0; x < 8; ++x) EXPECT_EQ(frame[static_cast<size_t>(x) * 3], scroll.paletteEntry(hyperbolaRow0[x]).r) << x;
}

TEST(ColorScroll, SpiralTurnsWithTheOffset) {
  // 8 x 8, zoom 100: g = f / 3 = 10.34, so every pixel off the centre lands
  // at least 10 grid units out and only the centre cross is near an axis:
  // index (k * 63) / 4 with k the nearness to an axis of the turned point.
  test::GeneratorHarness harness;
  ColorScrollGenerator scroll(harness.context);
  ASSERT_TRUE(scroll.Create(8, 8));
  Load(scroll, {.zoom = 100, .style = 9});
  ExpectFrame(scroll, 1,
              {{0, 0, 0, 0, 0, 0, 0, 0},
               {0, 0, 0, 0, 0, 0, 0, 0},
               {0, 0, 0, 0, 63, 0, 0, 0},
               {0, 0, 0, 63, 63, 63, 0, 0},
               {0, 0, 63, 63, 63, 63, 63, 0},
               {0, 0, 0, 63, 63, 63, 0, 0},
               {0, 0, 0, 0, 63, 0, 0, 0},
               {0, 0, 0, 0, 0, 0, 0, 0}},
              "scroll_spiral_offset_2");
  // Offset 100 turns every point by 100 / 162 * 3 = 1.85 radians.
  Load(scroll, {.zoom = 100, .speed = 20, .style = 9});
  ExpectFrame(scroll, 5,
              {{0, 0, 0, 0, 0, 31, 0, 0},
               {0, 0, 0, 47, 0, 0, 0, 0},
               {0, 0, 63, 0, 0, 0, 63, 0},
               {31, 0, 0, 31, 31, 31, 0, 47},
               {0, 0, 0, 31, 63, 31, 0, 0},
               {0, 47, 0, 31, 31, 31, 0, 0},
               {0, 0, 63, 0, 0, 0, 63, 0},
               {0, 0, 0, 0, 0, 47, 0, 0}},
              "scroll_spiral_offset_100");
  EXPECT_EQ(scroll.offset(), 100);

  // A zoom or size change redraws the spiral exactly as a fresh generator
  // at the new settings does.
  const auto firstFrame = [&](ColorScrollGenerator& generator, int width, int height) {
    std::vector<uint8_t> frame(static_cast<size_t>(width) * height * 3);
    generator.Render(frame.data(), width, height);
    return frame;
  };
  ColorScrollGenerator fresh(harness.context);
  ASSERT_TRUE(fresh.Create(8, 8));
  Load(fresh, {.zoom = 40, .style = 9});
  Load(scroll, {.zoom = 40, .style = 9});
  EXPECT_EQ(firstFrame(scroll, 8, 8), firstFrame(fresh, 8, 8));
  Load(fresh, {.zoom = 40, .style = 9});
  Load(scroll, {.zoom = 40, .style = 9});
  EXPECT_EQ(firstFrame(scroll, 10, 6), firstFrame(fresh, 10, 6));
}

TEST(ColorScroll, SettingsBlockRoundTripsAndLoadRestartsAndRepairs) {
  test::GeneratorHarness harness;
  ColorScrollGenerator scroll(harness.context);
  ASSERT_TRUE(scroll.Create(4, 4));
  scroll.SetZoomPosition(30);  // zoom 70
  scroll.SetSpeed(9);
  scroll.SetPalette(6);
  scroll.SetStyle(9);
  scroll.SetReverseChecked(true);
  EXPECT_EQ(scroll.zoom(), 70);
  EXPECT_EQ(scroll.ZoomPosition(), 30);
  SettingsBlock block;
  block.fill(0x77);
  scroll.ExchangeSettings(block, SettingsDirection::kStore);
  const uint8_t expected[] = {
      70, 0, 0, 0,  // zoom
      9,  0, 0, 0,  // speed
      6,  0, 0, 0,  // palette: Blue/Red
      9,  0, 0, 0,  // style: Spiral
      1,  0, 0, 0,  // reverse
      0x77,         // the rest of the block is left alone
  };
  for (size_t i = 0; i < sizeof expected; ++i) EXPECT_EQ(block[i], expected[i]) << "byte " << i;

  ColorScrollGenerator copy(harness.context);
  ASSERT_TRUE(copy.Create(4, 4));
  std::vector<uint8_t> frame(4 * 4 * 3);
  copy.Render(frame.data(), 4, 4);
  EXPECT_EQ(copy.offset(), 2);
  copy.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(copy.offset(), 0);
  // Rebuilt as Blue/Red: (c, 0, s) with entry 0 = (255, 0, 0).
  EXPECT_EQ(copy.paletteEntry(0), (Rgb{255, 0, 0}));
  SettingsBlock again;
  again.fill(0x77);
  copy.ExchangeSettings(again, SettingsDirection::kStore);
  EXPECT_EQ(again, block);

  // A damaged zoom or speed is brought into range instead of driving the
  // index and the offset past int.
  Load(copy, {.zoom = INT_MAX, .speed = INT_MIN, .style = 6});
  EXPECT_EQ(copy.zoom(), 100);
  EXPECT_EQ(copy.speed(), 1);
  Load(copy, {.zoom = -5, .speed = INT_MAX, .style = 6});
  EXPECT_EQ(copy.zoom(), 1);
  EXPECT_EQ(copy.speed(), 20);
  std::vector<uint8_t> big(320 * 51 * 3);
  for (int n = 0; n < 30; ++n) copy.Render(big.data(), 320, 51);
  // Steps of 20 wrap every 13 frames (260 -> 0): 30 = 2 * 13 + 4 frames.
  EXPECT_EQ(copy.offset(), 80);
}

}  // namespace
}  // namespace quor

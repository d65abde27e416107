#include "generators/simple_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/byte_io.h"
#include "tests/test_support.h"

namespace quor {
namespace {

using Lines = SimpleLinesGenerator;

constexpr Rgb kGreen{0, 255, 0};

struct LinesRig {
  LinesRig(int w, int h, int mode) : width(w), height(h), frame(static_cast<size_t>(w) * h * 3, 0) {
    EXPECT_TRUE(lines.Create(w, h));
    lines.SetAutoColorMode(0);
    lines.SetFade(0);  // step 255: every frame starts black
    lines.SetMode(mode);
  }
  void Render() { lines.Render(frame.data(), width, height); }
  Rgb At(int x, int y) const {
    const uint8_t* p = &frame[(static_cast<size_t>(y) * width + x) * 3];
    return {p[0], p[1], p[2]};
  }
  test::GeneratorHarness harness{3};
  SimpleLinesGenerator lines{harness.context};
  int width;
  int height;
  std::vector<uint8_t> frame;
};

TEST(SimpleLinesRender, CrossRunsAlongTheBorder) {
  // 8 x 8, hw = hh = 4. Counter 0: (x1, y1) = (4, 7), (x2, y2) = (3, 0),
  // (x3, y3) = (7, 3), (x4, y4) = (0, 4).
  LinesRig rig(8, 8, Lines::kCross);
  rig.Render();
  for (auto [x, y] : {std::pair{4, 7}, {3, 0}, {7, 3}, {0, 4}}) EXPECT_EQ(rig.At(x, y), kGreen) << x << "," << y;
  EXPECT_EQ(rig.At(0, 0), Rgb{});
  // Counter 5 (>= hw and >= hh): (x1, y1) = (7, 8 + (4 - 5) - 2) = (7, 5),
  // (x2, y2) = (0, 2), (x3, y3) = (8 + (4 - 5) - 2, 0) = (5, 0), (x4, y4) = (2, 7).
  for (int i = 0; i < 5; ++i) rig.Render();
  for (auto [x, y] : {std::pair{7, 5}, {0, 2}, {5, 0}, {2, 7}}) EXPECT_EQ(rig.At(x, y), kGreen) << x << "," << y;
  EXPECT_EQ(rig.At(4, 7), Rgb{});

  // 32 x 16: counter 0..22, back to 0 on reaching (32 + 16) / 2 - 1 = 23.
  LinesRig wide(32, 16, Lines::kCross);
  wide.Render();
  const std::vector<uint8_t> first = wide.frame;
  for (int i = 1; i < 23; ++i) wide.Render();
  EXPECT_EQ(wide.lines.counter(), 0);
  wide.Render();
  EXPECT_EQ(wide.frame, first);
}

TEST(SimpleLinesRender, RectangularTurnsOncePerWidthAndPixelStep) {
  // Counter 0 on 8 x 8: y1 = trunc(8 - 8 / 8 * 0) = 8, so the four lines
  // run along the border.
  LinesRig rig(8, 8, Lines::kRectangular);
  rig.Render();
  for (auto [x, y] : {std::pair{0, 7}, {7, 3}, {3, 0}, {0, 3}, {7, 7}}) EXPECT_EQ(rig.At(x, y), kGreen) << x << "," << y;
  EXPECT_EQ(rig.At(3, 3), Rgb{});
  LinesRig wide(32, 8, Lines::kRectangular);  // the counter wraps after W steps
  for (int i = 0; i < 32; ++i) wide.Render();
  EXPECT_EQ(wide.lines.counter(), 0);
  // PixelStep repeats only the stepped modes.
  LinesRig cross(16, 16, Lines::kCross);
  cross.harness.pixelStep = 3;
  cross.Render();
  EXPECT_EQ(cross.lines.counter(), 3);
  // Three positions drawn: counter 0 gives (8, 15), counter 2 gives (10, 15).
  EXPECT_TRUE(cross.At(8, 15) == kGreen && cross.At(10, 15) == kGreen);
  LinesRig spots(16, 16, Lines::kSpotlights);
  spots.harness.pixelStep = 3;
  spots.Render();
  EXPECT_EQ(spots.lines.counter(), 1);
}

TEST(SimpleLinesRender, SpotlightConesFromTheCorners) {
  // Left-top only, 16 x 16, beam 25, phase 60: reach = 65, a = 60; edge
  // rays at 60 and 85 degrees from the left edge end at (27, 15) and
  // (31, 2); the centre ray at 72 degrees, length 15, seeds the fill at (14, 4).
  LinesRig rig(16, 16, Lines::kSpotlights);
  rig.lines.SetCorners(Lines::kLeftTop);
  rig.Render();
  for (auto [x, y] : {std::pair{0, 0}, {14, 4}, {10, 3}, {15, 5}, {15, 1}}) EXPECT_EQ(rig.At(x, y), kGreen) << x << "," << y;
  for (auto [x, y] : {std::pair{15, 0}, {3, 10}, {0, 15}, {15, 15}}) EXPECT_EQ(rig.At(x, y), Rgb{}) << x << "," << y;

  // No corners: nothing drawn, only the fade. Fade 15 on 16: step =
  // 255 / ((16 * 15) / 100 + 1) = 85.
  LinesRig dark(16, 16, Lines::kSpotlights);
  dark.lines.SetCorners(0);
  dark.lines.SetFade(15);
  std::fill(dark.frame.begin(), dark.frame.end(), uint8_t{200});
  dark.Render();
  EXPECT_TRUE(std::all_of(dark.frame.begin(), dark.frame.end(), [](uint8_t c) { return c == 115; }));
  dark.Render();
  EXPECT_EQ(dark.At(3, 3), (Rgb{30, 30, 30}));
}

TEST(SimpleLinesRender, SnakesBrightenTowardsTheHeadAndLinesBounce) {
  LinesRig rig(32, 32, Lines::kDancingSnakes);
  rig.lines.SetColor({255, 255, 255});
  rig.Render();
  // Segment i is drawn in 255 * (i - 1) / 255 = i - 1 per component, blended
  // by maximum: grey levels from 1 at the tail to 254 at the head.
  int brightest = 0;
  int darkest = 255;
  for (int p = 0; p < 32 * 32; ++p) {
    const Rgb c = rig.At(p % 32, p / 32);
    ASSERT_TRUE(c.r == c.g && c.g == c.b);
    if (c.r != 0) brightest = std::max(brightest, c.r), darkest = std::min(darkest, c.r);
  }
  EXPECT_EQ(brightest, 254);
  EXPECT_LT(darkest, 20);

  // Dancing lines reflect at the edges and stay inside for good.
  LinesRig dance(16, 8, Lines::kDancingLines);
  dance.lines.SetCount(5);
  ASSERT_EQ(dance.lines.elements().size(), 10u);
  for (const auto& e : dance.lines.elements()) EXPECT_TRUE(std::fabs(e.c) >= 0.5f && std::fabs(e.c) <= 2.5f);
  for (int i = 0; i < 500; ++i) {
    dance.Render();
    for (const auto& e : dance.lines.elements()) ASSERT_TRUE(e.a >= 0 && e.a < 16 && e.b >= 0 && e.b < 8) << i;
  }
}

TEST(SimpleLinesSettings, RebuildsOnModeAndCount) {
  LinesRig rig(16, 16, Lines::kCross);
  EXPECT_EQ(rig.lines.elements().size(), 2u);
  rig.lines.SetCount(3);
  EXPECT_EQ(rig.lines.elements().size(), 6u);
  rig.lines.SetMode(Lines::kDancingSnakes);
  // The first snake gets speed 5 and width 3.
  EXPECT_EQ(rig.lines.elements()[0].c, 5.0f);
  EXPECT_EQ(rig.lines.elements()[0].d, 3.0f);
  for (const auto& e : rig.lines.elements()) EXPECT_TRUE((e.b == 1.0f || e.b == -1.0f) && e.a >= 0 && e.a < 360);
  rig.lines.Destroy();
  EXPECT_TRUE(rig.lines.elements().empty());
  std::fill(rig.frame.begin(), rig.frame.end(), uint8_t{9});
  rig.Render();
  EXPECT_EQ(rig.At(0, 0), (Rgb{9, 9, 9}));
}

TEST(SimpleLinesSettings, RoundTripAndRepairs) {
  LinesRig rig(16, 16, Lines::kSpotlights);
  rig.lines.SetAutoColorMode(1);
  rig.lines.SetFade(40);
  rig.lines.SetColor({7, 8, 9});
  rig.lines.SetCount(4);
  rig.lines.SetBeam(33);
  rig.lines.SetPhase(120);
  rig.lines.SetCorners(Lines::kLeftBottom | Lines::kRightBottom);
  SettingsBlock block;
  block.fill(0x5A);
  rig.lines.ExchangeSettings(block, SettingsDirection::kStore);
  // mode, auto colour mode, fade, red, green, blue, count, beam, phase, corners.
  const uint8_t expected[41] = {3, 0, 0, 0, 1, 0, 0, 0, 40, 0, 0, 0, 7,   0, 0, 0, 8,  0, 0, 0, 9,   0,
                                0, 0, 4, 0, 0, 0, 33, 0, 0, 0, 120, 0, 0, 0, 12, 0, 0, 0, 0x5A};
  EXPECT_EQ(0, std::memcmp(block.data(), expected, sizeof(expected)));

  LinesRig loaded(16, 16, Lines::kCross);
  for (int i = 0; i < 4; ++i) loaded.Render();
  loaded.lines.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(loaded.lines.counter(), 0);
  EXPECT_EQ(loaded.lines.elements().size(), 8u);
  SettingsBlock again;
  again.fill(0x5A);
  loaded.lines.ExchangeSettings(again, SettingsDirection::kStore);
  EXPECT_EQ(block, again);

  // Damage: a beam of 90 would make the spotlight period 0 (division by
  // zero), a negative fade the fade step's divisor 0.
  SettingsBlock damaged{};
  ByteWriter out(damaged);
  for (int32_t word : {3, 0, -100, 255, 255, 255, 0, 90, -7, 0x1F}) out.PutI32(word);
  loaded.lines.ExchangeSettings(damaged, SettingsDirection::kLoad);
  EXPECT_EQ(loaded.lines.fade(), 0);
  EXPECT_EQ(loaded.lines.count(), 1);
  EXPECT_EQ(loaded.lines.beam(), 60);
  EXPECT_EQ(loaded.lines.phase(), 0);
  EXPECT_EQ(loaded.lines.corners(), 15);
  loaded.Render();
  EXPECT_EQ(loaded.At(0, 0), (Rgb{255, 255, 255}));
}

}  // namespace
}  // namespace quor

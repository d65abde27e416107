#include "generators/simple_lines.h"

#include <cmath>

#include "generator_rig.h"

namespace quor {
namespace {

using Lines = SimpleLinesGenerator;
using Points = std::vector<std::pair<int, int>>;

constexpr Rgb kGreen{0, 255, 0};

// Fixed green, fade 0 (step 255: every frame starts black).
struct LinesRig : test::Rig<Lines> {
  LinesRig(int w, int h, int mode) : Rig(w, h, 3) {
    gen.SetAutoColorMode(0), gen.SetFade(0), gen.SetMode(mode);
  }
  void ExpectAt(const Points& points, Rgb color) const {
    for (auto [x, y] : points) EXPECT_EQ(At(x, y), color) << x << "," << y;
  }
};

TEST(SimpleLinesRender, CrossRunsAlongTheBorder) {
  // 8 x 8, hw = hh = 4. Counter 0: (x1, y1) = (4, 7), (x2, y2) = (3, 0), (x3, y3) = (7, 3), (x4, y4) = (0, 4).
  LinesRig rig(8, 8, Lines::kCross);
  rig.Render();
  rig.ExpectAt({{4, 7}, {3, 0}, {7, 3}, {0, 4}}, kGreen);
  // Counter 5 (>= hw and >= hh): (x1, y1) = (7, 8 + (4 - 5) - 2) = (7, 5), (x2, y2) = (0, 2), (x3, y3) = (8 + (4 - 5)
  // - 2, 0) = (5, 0), (x4, y4) = (2, 7).
  rig.Render(5);
  rig.ExpectAt({{7, 5}, {0, 2}, {5, 0}, {2, 7}}, kGreen);

  // 32 x 16: counter 0..22, back to 0 on reaching (32 + 16) / 2 - 1 = 23.
  LinesRig wide(32, 16, Lines::kCross);
  wide.Render();
  const std::vector<uint8_t> first = wide.frame.bytes;
  wide.Render(22);
  EXPECT_EQ(wide.gen.counter(), 0);
  wide.Render();
  EXPECT_EQ(wide.frame.bytes, first);
}

TEST(SimpleLinesRender, RectangularTurnsOncePerWidthAndPixelStep) {
  // Counter 0 on 8 x 8: y1 = trunc(8 - 8 / 8 * 0) = 8, so the four lines run along the border.
  LinesRig rig(8, 8, Lines::kRectangular);
  rig.Render();
  rig.ExpectAt({{0, 7}, {7, 3}, {3, 0}, {0, 3}, {7, 7}}, kGreen);
  rig.ExpectAt({{3, 3}}, Rgb{});
  // PixelStep repeats only the stepped modes.
  LinesRig cross(16, 16, Lines::kCross), spots(16, 16, Lines::kSpotlights);
  cross.harness.pixelStep = 3, spots.harness.pixelStep = 3;
  cross.Render(), spots.Render();
  EXPECT_EQ(std::pair(cross.gen.counter(), spots.gen.counter()), std::pair(3, 1));
  // Three positions drawn: counter 0 gives (8, 15), counter 2 gives (10, 15).
  cross.ExpectAt({{8, 15}, {10, 15}}, kGreen);
}

TEST(SimpleLinesRender, SpotlightConesFromTheCorners) {
  // Left-top only, 16 x 16, beam 25, phase 60: reach = 65, a = 60; edge rays at 60 and 85 degrees from the left edge
  // end at (27, 15) and (31, 2); the centre ray at 72 degrees, length 15, seeds the fill at (14, 4).
  LinesRig rig(16, 16, Lines::kSpotlights);
  rig.gen.SetCorners(Lines::kLeftTop);
  rig.Render();
  rig.ExpectAt({{0, 0}, {14, 4}, {10, 3}, {15, 5}, {15, 1}}, kGreen);
  rig.ExpectAt({{15, 0}, {3, 10}, {0, 15}, {15, 15}}, Rgb{});

  // No corners: nothing drawn, only the fade. Fade 15 on 16: step = 255 / ((16 * 15) / 100 + 1) = 85.
  LinesRig dark(16, 16, Lines::kSpotlights);
  dark.gen.SetCorners(0);
  dark.gen.SetFade(15);
  dark.frame.Fill(200);
  dark.Render(2);
  EXPECT_EQ(dark.frame.bytes, std::vector<uint8_t>(16 * 16 * 3, 30));
}

TEST(SimpleLinesRender, SnakesBrightenTowardsTheHeadAndLinesBounce) {
  LinesRig rig(32, 32, Lines::kDancingSnakes);
  EXPECT_TRUE(rig.gen.elements()[0].c == 5.0f && rig.gen.elements()[0].d == 3.0f);  // first snake: speed 5, width 3
  rig.gen.SetColor({255, 255, 255});
  rig.Render();
  // Segment i is drawn in 255 * (i - 1) / 255 = i - 1 per component, blended by maximum: 254 at the head.
  int brightest = 0;
  for (int p = 0; p < 32 * 32; ++p) brightest = std::max(brightest, int(rig.At(p % 32, p / 32).g));
  EXPECT_EQ(brightest, 254);

  // Dancing lines reflect at the edges and stay inside for good.
  LinesRig dance(16, 8, Lines::kDancingLines);
  dance.gen.SetCount(5);
  ASSERT_EQ(dance.gen.elements().size(), 10u);
  for (const auto& e : dance.gen.elements()) EXPECT_TRUE(std::fabs(e.c) >= 0.5f && std::fabs(e.c) <= 2.5f);
  for (int i = 0; i < 500; ++i) {
    dance.Render();
    for (const auto& e : dance.gen.elements()) ASSERT_TRUE(e.a >= 0 && e.a < 16 && e.b >= 0 && e.b < 8) << i;
  }
}

}  // namespace
}  // namespace quor

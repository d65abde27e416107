#include "generators/falling_rain.h"

#include "generator_rig.h"

namespace quor {
namespace {

using Lit = std::vector<std::array<int, 3>>;  // x, y, blue

// One blue drop (drops 0), rebuilt right after reseeding with 1: lane 41 % K, head -(18467 % 4F).
struct OneDrop : test::Rig<FallingRainGenerator> {
  OneDrop(int w, int h, int direction, int length) : Rig(w, h) {
    gen.SetAutoColorMode(0), gen.SetLength(length), gen.SetDirection(direction);
    harness.random.Seed(1), gen.SetDrops(0), frame.Fill(0x77);
  }
  Lit Render(int times = 1) {
    Rig::Render(times);
    Lit lit;
    for (int i = 0; i < frame.width * frame.height; ++i)
      if (const Rgb c = frame.At(i % frame.width, i / frame.width); c != Rgb{})
        lit.push_back({i % frame.width, i / frame.width, c.b});
    return lit;
  }
};

TEST(FallingRainRender, TailFadesBehindTheHeadAndTheDropRespawns) {
  // 4 x 4, length 25: L = 4 * 3 * 25 / 100 + 1 = 4, step 255 / 4 = 63. Lane 41 % 4 = 1, head -(18467 % 16) = -3:
  // three frames show nothing.
  OneDrop d(4, 4, FallingRainGenerator::kTopToBottom, 25);
  EXPECT_EQ(d.Render(3), Lit{});
  EXPECT_EQ(d.Render(4), (Lit{{1, 0, 66}, {1, 1, 129}, {1, 2, 192}, {1, 3, 255}}));
  EXPECT_EQ(d.Render(3), (Lit{{1, 3, 66}}));  // head 6: only the darkest tail pixel
  // Head 9 > F + L = 8: respawn at lane 6334 % 4 = 2, head -(26500 % 16) = -4.
  EXPECT_EQ(d.Render(2), Lit{});
  EXPECT_EQ(std::pair(d.gen.dropList()[0].lane, d.gen.dropList()[0].head), std::pair(2, -4));
}

TEST(FallingRainRender, FourDirectionsPixelStepAndDropCounts) {
  // 8 x 4, one-pixel drops. Lane 41 % 8 = 1 or 41 % 4 = 1, head -3; the pixel at head 0.
  const std::pair<int, Lit> cases[] = {{FallingRainGenerator::kTopToBottom, {{1, 0, 255}}},
                                       {FallingRainGenerator::kBottomToTop, {{1, 3, 255}}},
                                       {FallingRainGenerator::kLeftToRight, {{0, 1, 255}}},
                                       {FallingRainGenerator::kRightToLeft, {{7, 1, 255}}}};
  for (const auto& [direction, atHead0] : cases) EXPECT_EQ(OneDrop(8, 4, direction, 0).Render(4), atHead0) << direction;
  OneDrop fast(4, 4, FallingRainGenerator::kTopToBottom, 0);
  fast.harness.pixelStep = 4;
  fast.Render();  // head -3 + 4 = 1
  EXPECT_EQ(fast.Render(), (Lit{{1, 1, 255}}));
  fast.Render();  // head 9 > F + L = 5: respawn
  EXPECT_LE(fast.gen.dropList()[0].head, 0);
  // Drop counts follow the cross dimension of 6 x 4: 6 * 5 * 25 / 100 + 1 = 8 vertical, 4 * 5 * 25 / 100 + 1 = 6
  // horizontal, within four fall lengths.
  OneDrop wide(6, 4, FallingRainGenerator::kTopToBottom, 0);
  wide.gen.SetDrops(25);
  EXPECT_EQ(wide.gen.dropList().size(), 8u);
  wide.gen.SetDirection(FallingRainGenerator::kLeftToRight);
  EXPECT_EQ(wide.gen.dropList().size(), 6u);
  for (const auto& drop : wide.gen.dropList()) EXPECT_TRUE(drop.lane < 4 && drop.head > -24);
}

}  // namespace
}  // namespace quor

#include "generators/starfield.h"

#include "generator_rig.h"

namespace quor {
namespace {

using Lit = std::vector<std::array<int, 5>>;  // x, y, r, g, b

// One fast star on 8 x 8: stars 10 gives (64 / 5 * 10) / 100 = 1 star, zoom 150, speed 20, rebuilt right after
// reseeding with 1.
struct OneStar {
  explicit OneStar(bool trails = true) : stars(harness.context) {
    stars.Create(8, 8), stars.SetZoom(150), stars.SetSpeed(20), stars.SetTrails(trails);
    harness.random.Seed(1), stars.SetStars(10);
  }
  Lit Render() {
    frame.assign(8 * 8 * 3, 0x66);
    stars.Render(frame.data(), 8, 8);
    Lit lit;
    for (int i = 0; i < 64; ++i)
      if (const uint8_t* p = &frame[size_t(i) * 3]; p[0] | p[1] | p[2]) lit.push_back({i % 8, i / 8, p[0], p[1], p[2]});
    return lit;
  }
  test::GeneratorHarness harness{1};
  StarfieldGenerator stars;
  std::vector<uint8_t> frame;
};

TEST(StarfieldRender, StreaksLeaveRespawnAndReappearTwoFramesLater) {
  OneStar s;
  // Frame 1: the new star has no screen position, so it respawns at once at (-15, -4), depth 578, speed 20 + 29358 %
  // 35 + 5 = 53, and is not drawn; its screen position becomes (-2250 / 578 + 4, -600 / 578 + 4) = (1, 3).
  EXPECT_EQ(s.Render(), Lit{});
  // Frame 2: z 525, screen (0, 3); brightness (53 * 255 / 60) * (1000 / 525) = 225: a streak (0, 3)-(1, 3). Frame 3:
  // 225 * (1000 / 472) clamps to 255.
  EXPECT_EQ(s.Render(), (Lit{{0, 3, 225, 225, 0}, {1, 3, 225, 225, 0}}));
  EXPECT_EQ(s.Render(), (Lit{{0, 3, 255, 255, 0}}));
  // Frame 4: x -2250 / 419 + 4 = -1 has left; the streak is clipped.
  EXPECT_EQ(s.Render(), (Lit{{0, 3, 255, 255, 0}}));
  // Frame 5 respawns at (2, 0, 805), speed 30; frame 6 draws it at (4, 4) in (30 * 255 / 60) * (1000 / 775) = 127.
  EXPECT_EQ(s.Render(), Lit{});
  EXPECT_EQ(s.Render(), (Lit{{4, 4, 127, 127, 0}}));
  OneStar dot(/*trails=*/false);  // the same star: one pixel at the last position
  dot.Render();
  EXPECT_EQ(dot.Render(), (Lit{{1, 3, 225, 225, 0}}));
  // (16 / 5 * 10) / 100 = 0 stars on 4 x 4: the frame is only cleared.
  s.stars.Create(4, 4), s.stars.SetStars(10);
  std::vector<uint8_t> small(4 * 4 * 3, 0x9c);
  s.stars.Render(small.data(), 4, 4);
  EXPECT_EQ(small, std::vector<uint8_t>(4 * 4 * 3, 0));
}

}  // namespace
}  // namespace quor

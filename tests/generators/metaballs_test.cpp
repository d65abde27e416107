#include "generators/metaballs.h"

#include "generator_rig.h"

namespace quor {
namespace {

using Ball = MetaballsGenerator::Ball;

// 4 x 4 in fixed red: kernel edge D = 4 * 20 / 100 + 5 = 5 and one ball, so the red channel shows the field.
struct SmallMetaballs : test::Rig<MetaballsGenerator> {
  SmallMetaballs() : Rig(4, 4) { gen.SetAutoColorMode(0); }
  std::vector<int> Red() {
    Render();
    std::vector<int> red;
    for (size_t i = 0; i < frame.bytes.size(); i += 3) red.push_back(frame.bytes[i]);
    return red;
  }
  bool BallIs(size_t i, Ball want) const {
    const Ball b = gen.ballList()[i];
    return b.x == want.x && b.y == want.y && b.vx == want.vx && b.vy == want.vy;
  }
};

TEST(MetaballsRender, SoftDiscFollowsTheBouncingBall) {
  SmallMetaballs m;
  // r = 2.5; cells trunc(255 * (1 - d / 2.5)^2): d 0 -> 255, 1 -> 91.8, 1.414 -> 48.1, 2 -> 10.2, 2.236 -> 2.8, 2.828
  // >= r -> 0. Seed 1 starts the ball at (41 % 4, 18467 % 4) = (1, 3) with v = (-2.117, 1.460). Frame 1: x -1.117
  // bounces to 0, y 4.46 to 3; only the kernel's lower-right quarter is inside. Frame 2: centre (2, 1); the column
  // that would land at x = 4 is clipped, not wrapped into the next row.
  EXPECT_EQ(m.Red(), (std::vector<int>{0, 0, 0, 0, 10, 2, 0, 0, 91, 48, 2, 0, 255, 91, 10, 0}));
  EXPECT_EQ(m.Red(), (std::vector<int>{2, 48, 91, 48, 10, 91, 255, 91, 2, 48, 91, 48, 0, 2, 10, 2}));
  for (size_t i = 0; i < m.frame.bytes.size(); i += 3) EXPECT_EQ(m.frame.bytes[i + 1] | m.frame.bytes[i + 2], 0);
}

TEST(MetaballsRender, EdgesBouncePixelStepAndCollision) {
  SmallMetaballs m;
  m.gen.PlaceBall(0, {3.8f, 1, 0.5f, 0});  // 4.3 >= width: put at 3, reversed
  m.Render();
  EXPECT_TRUE(m.BallIs(0, {3, 1, -0.5f, 0}));
  m.harness.pixelStep = 4;
  m.gen.PlaceBall(0, {0, 0, 0.5f, 0.25f});
  m.Render();
  EXPECT_TRUE(m.BallIs(0, {2, 1, 0.5f, 0.25f}));
  // Two balls: ball 0 moves first and misses ball 1 still at (2, 2); ball 1 then lands on ball 0 at (1.5, 1.5) and
  // turns round only with collision.
  for (bool collision : {true, false}) {
    SmallMetaballs two;
    two.gen.SetBalls(25), two.gen.SetCollision(collision);
    two.gen.PlaceBall(0, {1, 1, 0.5f, 0.5f}), two.gen.PlaceBall(1, {2, 2, -0.5f, -0.5f});
    two.Render();
    EXPECT_TRUE(two.BallIs(0, {1.5f, 1.5f, 0.5f, 0.5f}));
    const float v = collision ? 0.5f : -0.5f;
    EXPECT_TRUE(two.BallIs(1, {1.5f, 1.5f, v, v})) << collision;
  }
}

TEST(MetaballsSettings, LoadRebuildsForTheMatrixAndBuildsNothingOnceDestroyed) {
  SmallMetaballs m;
  m.gen.Create(16, 8);
  test::LoadWords(m.gen, {33, 50, 1, 0, 1, 2, 255});  // N = 16 * 50 / 100 + 1, D = 16 * 33 / 100 + 5
  EXPECT_EQ(std::pair(m.gen.ballList().size(), m.gen.kernelSize()), std::pair(size_t(9), 10));
  m.gen.Destroy();  // then a load or a "Balls" change builds no buffers
  test::LoadWords(m.gen, {50, 10, 0, 1, 9, 9, 9});
  m.gen.SetBalls(30);
  std::vector<uint8_t> frame(16 * 8 * 3, 0x33);
  m.gen.Render(frame.data(), 16, 8);
  EXPECT_EQ(frame, std::vector<uint8_t>(16 * 8 * 3, 0x33));
}

}  // namespace
}  // namespace quor

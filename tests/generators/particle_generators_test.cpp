#include "generators/fire.h"
#include "generators/starfield.h"
#include "generators/falling_rain.h"
#include "generators/metaballs.h"

#include "generator_rig.h"

namespace quor {
namespace {

using Field = std::vector<std::vector<int>>;

// A fire on 4 x 4, hotspots 0 (one spot per step). Seed 1 draws 41, 18467, 6334, 26500, 19169, 15724, ...
struct SmallFire {
  SmallFire() : fire(harness.context) { fire.Create(4, 4), fire.SetHotspots(0); }
  // Renders one frame and returns heat rows 0..4 (row 4 hidden).
  Field Render() {
    fire.Render({frame.data(), 4, 4});
    Field field(5, std::vector<int>(4));
    for (int y = 0; y <= 4; ++y)
      for (int x = 0; x < 4; ++x) field[y][x] = fire.HeatAt(x, y);
    return field;
  }
  test::GeneratorHarness harness{1};
  FireGenerator fire;
  std::vector<uint8_t> frame = std::vector<uint8_t>(4 * 4 * 3, 0x5a);
};

TEST(FireRender, HeatRisesFromTheHiddenRowAndWrapsBothWays) {
  SmallFire f;
  EXPECT_EQ(f.fire.PaletteEntry(128), (Rgb{255, 255, 255}));
  // Frame 1: 41 at hidden x = 18467 % 4 = 3; row 2 reads it two below (41 * 32 / 129 = 10), row 3 at x - 1, x, x + 1
  // with columns wrapping.
  EXPECT_EQ(f.Render(), (Field{{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 10}, {10, 0, 10, 10}, {0, 0, 0, 41}}));
  EXPECT_EQ((Rgb{f.frame[33], f.frame[34], f.frame[35]}), f.fire.PaletteEntry(10));  // pixel (3, 2)
  f.Render();
  // Frame 3: row 0 is rewritten first and the bottom row reads it: x 0 = (225 + 0 + 0 + 14) * 32 / 129 = 59 (hidden
  // row alone: 55).
  EXPECT_EQ(f.Render(), (Field{{14, 2, 2, 4}, {27, 26, 3, 27}, {90, 23, 23, 23}, {59, 56, 0, 56}, {225, 0, 0, 0}}));
}

TEST(FireRender, HotSpotCountSizeAndPixelStep) {
  SmallFire step, big;  // PixelStep 2: the hidden row is cleared only once per frame
  step.harness.pixelStep = 2;
  EXPECT_EQ(step.Render()[4], (std::vector<int>{190, 0, 0, 41}));
  // Created at 6 x 5, a 4 x 4 render leaves the frame alone.
  EXPECT_TRUE(big.fire.Create(6, 5));
  big.frame.assign(big.frame.size(), 0x5a);
  big.fire.Render({big.frame.data(), 4, 4});
  EXPECT_EQ(big.frame, std::vector<uint8_t>(4 * 4 * 3, 0x5a));
}

using StarLit = std::vector<std::array<int, 5>>;  // x, y, r, g, b

// One fast star on 8 x 8: stars 10 gives (64 / 5 * 10) / 100 = 1 star, zoom 150, speed 20, rebuilt after seed 1.
struct OneStar {
  OneStar() : stars(harness.context) {
    stars.Create(8, 8), stars.SetZoom(150), stars.SetSpeed(20), stars.SetTrails(true);
    harness.random.Seed(1), stars.SetStars(10);
  }
  StarLit Render() {
    frame.assign(8 * 8 * 3, 0x66);
    stars.Render({frame.data(), 8, 8});
    StarLit lit;
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
  EXPECT_EQ(s.Render(), StarLit{});
  // Frame 2: z 525, screen (0, 3); brightness (53 * 255 / 60) * (1000 / 525) = 225: a streak (0, 3)-(1, 3). Frame 3:
  // 225 * (1000 / 472) clamps to 255.
  EXPECT_EQ(s.Render(), (StarLit{{0, 3, 225, 225, 0}, {1, 3, 225, 225, 0}}));
  EXPECT_EQ(s.Render(), (StarLit{{0, 3, 255, 255, 0}}));
  // Frame 4: x -2250 / 419 + 4 = -1 has left; the streak is clipped.
  EXPECT_EQ(s.Render(), (StarLit{{0, 3, 255, 255, 0}}));
  // Frame 5 respawns at (2, 0, 805), speed 30; frame 6 draws it at (4, 4) in (30 * 255 / 60) * (1000 / 775) = 127.
  EXPECT_EQ(s.Render(), StarLit{});
  EXPECT_EQ(s.Render(), (StarLit{{4, 4, 127, 127, 0}}));
  // (16 / 5 * 10) / 100 = 0 stars on 4 x 4: the frame is only cleared.
  s.stars.Create(4, 4), s.stars.SetStars(10);
  std::vector<uint8_t> small(4 * 4 * 3, 0x9c);
  s.stars.Render({small.data(), 4, 4});
  EXPECT_EQ(small, std::vector<uint8_t>(4 * 4 * 3, 0));
}

using RainLit = std::vector<std::array<int, 3>>;  // x, y, blue

// One blue drop (drops 0), rebuilt right after reseeding with 1: lane 41 % K, head -(18467 % 4F).
struct OneDrop : test::Rig<FallingRainGenerator> {
  OneDrop(int w, int h, int direction, int length) : Rig(w, h) {
    gen.SetAutoColorMode(0), gen.SetLength(length), gen.SetDirection(direction);
    harness.random.Seed(1), gen.SetDrops(0), frame.Fill(0x77);
  }
  RainLit Render(int times = 1) {
    Rig::Render(times);
    RainLit lit;
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
  EXPECT_EQ(d.Render(3), RainLit{});
  EXPECT_EQ(d.Render(4), (RainLit{{1, 0, 66}, {1, 1, 129}, {1, 2, 192}, {1, 3, 255}}));
  EXPECT_EQ(d.Render(3), (RainLit{{1, 3, 66}}));  // head 6: only the darkest tail pixel
  // Head 9 > F + L = 8: respawn at lane 6334 % 4 = 2, head -(26500 % 16) = -4.
  EXPECT_EQ(d.Render(2), RainLit{});
  EXPECT_EQ(std::pair(d.gen.dropList()[0].lane, d.gen.dropList()[0].head), std::pair(2, -4));
}

TEST(FallingRainRender, FourDirectionsAndDropCounts) {
  // 8 x 4, one-pixel drops. Lane 41 % 8 = 1 or 41 % 4 = 1, head -3; the pixel at head 0.
  const std::pair<int, RainLit> cases[] = {{FallingRainGenerator::kTopToBottom, {{1, 0, 255}}},
                                       {FallingRainGenerator::kBottomToTop, {{1, 3, 255}}},
                                       {FallingRainGenerator::kLeftToRight, {{0, 1, 255}}},
                                       {FallingRainGenerator::kRightToLeft, {{7, 1, 255}}}};
  for (const auto& [direction, atHead0] : cases) EXPECT_EQ(OneDrop(8, 4, direction, 0).Render(4), atHead0) << direction;
  OneDrop wide(6, 4, FallingRainGenerator::kLeftToRight, 0);  // counts follow the cross dimension: 4 * 5 * 25 / 100 + 1
  wide.gen.SetDrops(25);
  EXPECT_EQ(wide.gen.dropList().size(), 6u);
}

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

TEST(MetaballsRender, CollisionTurnsRoundTheBallThatLandsOnAnother) {
  // Two balls: ball 0 moves first and misses ball 1 still at (2, 2); ball 1 then lands on ball 0 at (1.5, 1.5) and
  // turns round only with collision.
  for (bool collision : {true, false}) {
    SmallMetaballs two;
    two.gen.SetBalls(25), two.gen.SetCollision(collision);
    two.gen.PlaceBall(0, {1, 1, 0.5f, 0.5f}), two.gen.PlaceBall(1, {2, 2, -0.5f, -0.5f});
    two.Render();
    const float v = collision ? 0.5f : -0.5f;
    EXPECT_TRUE(two.BallIs(0, {1.5f, 1.5f, 0.5f, 0.5f}) && two.BallIs(1, {1.5f, 1.5f, v, v})) << collision;
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
  m.gen.Render({frame.data(), 16, 8});
  EXPECT_EQ(frame, std::vector<uint8_t>(16 * 8 * 3, 0x33));
}

}  // namespace
}  // namespace quor

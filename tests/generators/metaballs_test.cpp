#include "generators/metaballs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <span>
#include <vector>

#include "core/byte_io.h"
#include "tests/test_support.h"

namespace quor {
namespace {

using Ball = MetaballsGenerator::Ball;

// Metaballs on 4 x 4 in fixed red: kernel edge D = 4 * 20 / 100 + 5 = 5 and
// one ball (4 * 10 / 100 + 1), so the red channel shows the field.
struct SmallMetaballs {
  SmallMetaballs() : balls(harness.context) {
    balls.Create(4, 4);
    balls.SetAutoColorMode(0);
  }
  std::vector<int> Render() {
    balls.Render(frame.data(), 4, 4);
    std::vector<int> red;
    for (size_t i = 0; i < frame.size(); i += 3) red.push_back(frame[i]);
    return red;
  }
  Ball At(size_t i) const { return balls.ballList()[i]; }
  test::GeneratorHarness harness{1};
  MetaballsGenerator balls;
  std::vector<uint8_t> frame = std::vector<uint8_t>(4 * 4 * 3, 0);
};

SettingsBlock BlockOf(std::initializer_list<int32_t> words) {
  SettingsBlock block{};
  ByteWriter writer{std::span<uint8_t>(block)};
  for (int32_t word : words) writer.PutI32(word);
  return block;
}

void LoadWords(Generator& generator, std::initializer_list<int32_t> words) {
  SettingsBlock block = BlockOf(words);
  generator.ExchangeSettings(block, SettingsDirection::kLoad);
}

TEST(MetaballsKernel, SoftDiscOfTheBuiltSize) {
  SmallMetaballs m;
  // r = 2.5; cells trunc(255 * (1 - d / 2.5)^2): d 0 -> 255, 1 -> 91.8,
  // 1.414 -> 48.1, 2 -> 10.2, 2.236 -> 2.8, 2.828 >= r -> 0.
  const std::vector<uint8_t> expected = {0,  2,  10, 2,  0,  2, 48, 91, 48, 2, 10, 91, 255,
                                         91, 10, 2,  48, 91, 48, 2, 0,  2,  10, 2,  0};
  EXPECT_EQ(std::vector<uint8_t>(m.balls.kernel().begin(), m.balls.kernel().end()), expected);
  m.balls.SetSize(100);  // rebuilds: 4 * 100 / 100 + 5
  EXPECT_EQ(m.balls.kernelSize(), 9);
  m.balls.SetBalls(0);  // balls 0 still shows one ball
  EXPECT_EQ(m.balls.ballList().size(), 1u);
}

TEST(MetaballsRender, FieldFollowsTheBouncingBall) {
  SmallMetaballs m;
  // Seed 1: x = 41 % 4 = 1, y = 18467 % 4 = 3; vx from 6334 (even: negative)
  // and 26500: -(26500 / 32767 * 2 + 0.5) = -2.117; vy +1.460 from 19169, 15724.
  EXPECT_EQ(m.At(0).x, 1.0f);
  EXPECT_EQ(m.At(0).y, 3.0f);
  EXPECT_NEAR(m.At(0).vx, -2.1175, 1e-3);
  EXPECT_NEAR(m.At(0).vy, 1.4597, 1e-3);
  // Frame 1: x -1.117 bounces to 0, y 4.46 to 3: the kernel centre lands on
  // (0, 3) and only its lower-right quarter is inside.
  EXPECT_EQ(m.Render(), (std::vector<int>{0, 0, 0, 0, 10, 2, 0, 0, 91, 48, 2, 0, 255, 91, 10, 0}));
  // Frame 2: (2.117, 1.540) -> centre (2, 1). The kernel column that would
  // land at x = 4 is clipped, not wrapped into the next row.
  const std::vector<int> second = m.Render();
  EXPECT_EQ(second, (std::vector<int>{2, 48, 91, 48, 10, 91, 255, 91, 2, 48, 91, 48, 0, 2, 10, 2}));
  if (second[4] != 10) ADD_FAILURE() << test::SaveFrameForInspection("metaballs", m.frame.data(), 4, 4);
  for (size_t i = 0; i < m.frame.size(); i += 3) EXPECT_EQ(m.frame[i + 1] | m.frame[i + 2], 0);
}

TEST(MetaballsRender, EdgesBounceAndPixelStepScalesTheMove) {
  SmallMetaballs m;
  const Ball cases[][2] = {
      {{3.8f, 1, 0.5f, 0}, {3, 1, -0.5f, 0}},    // 4.3 >= width: put at 3, reversed
      {{0.4f, 1, -0.5f, 0}, {0, 1, 0.5f, 0}},    // -0.1 < 0: put at 0, reversed
      {{3.0f, 1, 0.5f, 0}, {3.5f, 1, 0.5f, 0}},  // 3.5 is still inside
      {{1, 3.5f, 0, 1}, {1, 3, 0, -1}},          // the same for y
  };
  for (const auto& [before, after] : cases) {
    m.balls.PlaceBall(0, before);
    m.Render();
    EXPECT_FLOAT_EQ(m.At(0).x, after.x);
    EXPECT_FLOAT_EQ(m.At(0).y, after.y);
    EXPECT_FLOAT_EQ(m.At(0).vx, after.vx);
    EXPECT_FLOAT_EQ(m.At(0).vy, after.vy);
  }
  m.harness.pixelStep = 4;
  m.balls.PlaceBall(0, {0, 0, 0.5f, 0.25f});
  m.Render();
  EXPECT_FLOAT_EQ(m.At(0).x, 2.0f);
  EXPECT_FLOAT_EQ(m.At(0).y, 1.0f);
}

TEST(MetaballsRender, CollisionTurnsTheBallThatArrivesSecond) {
  for (bool collision : {true, false}) {
    SmallMetaballs m;
    m.balls.SetBalls(25);  // 4 * 25 / 100 + 1 = 2 balls
    m.balls.SetCollision(collision);
    m.balls.PlaceBall(0, {1, 1, 0.5f, 0.5f});
    m.balls.PlaceBall(1, {2, 2, -0.5f, -0.5f});
    m.Render();
    // Ball 0 moves first and meets ball 1 still at (2, 2): no hit. Ball 1
    // then lands on ball 0 at (1.5, 1.5) and turns round.
    EXPECT_EQ(m.At(0).vx, 0.5f);
    EXPECT_EQ(m.At(1).x, 1.5f);
    EXPECT_EQ(m.At(1).vx, collision ? 0.5f : -0.5f);
    EXPECT_EQ(m.At(1).vy, collision ? 0.5f : -0.5f);
  }
}

TEST(MetaballsSettings, DefaultsRoundTripAndRepairs) {
  SmallMetaballs m;
  m.balls.Create(16, 8);
  EXPECT_EQ(m.balls.autoColorMode(), 2);
  EXPECT_TRUE(m.balls.collision());
  EXPECT_EQ(m.balls.color(), (Rgb{255, 0, 0}));

  // size, balls, AutoColorMode, collision, red, green, blue.
  SettingsBlock block = BlockOf({33, 50, 1, 0, 1, 2, 255});
  std::fill(block.begin() + 28, block.end(), 0xa5);
  m.balls.ExchangeSettings(block, SettingsDirection::kLoad);
  // The load rebuilt for 16 x 8: N = 16 * 50 / 100 + 1, D = 16 * 33 / 100 + 5.
  EXPECT_EQ(m.balls.ballList().size(), 9u);
  EXPECT_EQ(m.balls.kernelSize(), 10);
  EXPECT_EQ(m.balls.busyState(), BusyStatus::kReady);
  SettingsBlock again;
  again.fill(0xa5);
  m.balls.ExchangeSettings(again, SettingsDirection::kStore);
  EXPECT_EQ(again, block);

  // Damaged: size 0, a negative ball count (a ball list below zero), colours
  // outside a byte; then sizes that would overflow the kernel arithmetic.
  LoadWords(m.balls, {0, -40, 2, 1, -7, 256, 100000});
  EXPECT_EQ(m.balls.size(), 1);
  EXPECT_EQ(m.balls.ballList().size(), 1u);
  EXPECT_EQ(m.balls.color(), (Rgb{0, 255, 255}));
  LoadWords(m.balls, {2000000000, 2000000000, 0, 1});
  EXPECT_EQ(m.balls.size(), 100);
  EXPECT_EQ(m.balls.balls(), 100);
  std::vector<uint8_t> frame(16 * 8 * 3);
  m.balls.Render(frame.data(), 16, 8);
}

TEST(MetaballsLifecycle, NothingRendersAfterDestroy) {
  SmallMetaballs m;
  m.balls.Destroy();
  // A load or a "Balls" change after Destroy keeps the values but builds no
  // buffers, so Render still leaves the frame alone.
  LoadWords(m.balls, {50, 10, 0, 1, 9, 9, 9});
  m.balls.SetBalls(30);
  EXPECT_EQ(m.balls.busyState(), BusyStatus::kDestroyed);
  std::vector<uint8_t> frame(4 * 4 * 3, 0x33);
  m.balls.Render(frame.data(), 4, 4);
  EXPECT_EQ(frame, std::vector<uint8_t>(4 * 4 * 3, 0x33));
  EXPECT_TRUE(m.balls.Create(4, 4));
  EXPECT_EQ(m.balls.size(), MetaballsGenerator::kDefaultSize);
}

}  // namespace
}  // namespace quor

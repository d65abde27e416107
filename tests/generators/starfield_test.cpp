#include "generators/starfield.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <span>
#include <vector>

#include "core/byte_io.h"
#include "tests/test_support.h"

namespace quor {
namespace {

using Lit = std::vector<std::array<int, 5>>;  // x, y, r, g, b

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

// One fast star on 8 x 8: stars 10 gives (64 / 5 * 10) / 100 = 1 star,
// zoom 150, speed 20, rebuilt right after reseeding with 1.
struct OneStar {
  explicit OneStar(bool trails = true) : stars(harness.context) {
    stars.Create(8, 8);
    stars.SetZoom(150);
    stars.SetSpeed(20);
    stars.SetTrails(trails);
    harness.random.Seed(1);
    stars.SetStars(10);
  }
  Lit Render() {
    frame.assign(8 * 8 * 3, 0x66);
    stars.Render(frame.data(), 8, 8);
    Lit lit;
    for (int i = 0; i < 64; ++i) {
      const uint8_t* p = &frame[static_cast<size_t>(i) * 3];
      if (p[0] | p[1] | p[2]) lit.push_back({i % 8, i / 8, p[0], p[1], p[2]});
    }
    return lit;
  }
  test::GeneratorHarness harness{1};
  StarfieldGenerator stars;
  std::vector<uint8_t> frame;
};

TEST(StarfieldRender, TooFewStarsOnlyClears) {
  test::GeneratorHarness harness;
  StarfieldGenerator stars(harness.context);
  stars.Create(4, 4);
  stars.SetStars(10);  // (16 / 5 * 10) / 100 = 0 stars
  EXPECT_TRUE(stars.starList().empty());
  std::vector<uint8_t> frame(4 * 4 * 3, 0x9c);
  stars.Render(frame.data(), 4, 4);
  EXPECT_EQ(frame, std::vector<uint8_t>(4 * 4 * 3, 0));
}

TEST(StarfieldRender, StreaksLeaveRespawnAndReappearTwoFramesLater) {
  OneStar s;
  ASSERT_EQ(s.stars.starList().size(), 1u);
  // Frame 1: the new star has no screen position yet, so it respawns at
  // once from the draws 19169, 15724, 11478, 29358: (-15, -4) at depth 578,
  // speed 20 + 29358 % 35 + 5 = 53. Nothing is drawn; its screen position becomes (-2250 / 578 + 4, -600 / 578 + 4)
  // = (1, 3).
  EXPECT_EQ(s.Render(), Lit{});
  const StarfieldGenerator::Star star = s.stars.starList()[0];
  EXPECT_EQ(star.x, -15);
  EXPECT_EQ(star.y, -4);
  EXPECT_EQ(star.z, 578);
  EXPECT_EQ(star.speed, 53);
  EXPECT_EQ(star.lastX, 1);
  EXPECT_EQ(star.lastY, 3);

  // Frame 2: z 525, screen (-4 + 4, -1 + 4) = (0, 3). Brightness
  // (53 * 255 / 60) * (1000 / 525) = 225: a streak (0, 3)-(1, 3) in
  // (225, 225, 0).
  EXPECT_EQ(s.Render(), (Lit{{0, 3, 225, 225, 0}, {1, 3, 225, 225, 0}}));
  // Frame 3: z 472, still (0, 3); 225 * (1000 / 472) = 450 clamps to 255.
  EXPECT_EQ(s.Render(), (Lit{{0, 3, 255, 255, 0}}));
  // Frame 4: z 419, screen x -2250 / 419 + 4 = -1 has left the matrix; the
  // streak from there to (0, 3) is clipped to its inside end.
  EXPECT_EQ(s.Render(), (Lit{{0, 3, 255, 255, 0}}));
  // Frame 5: the star respawns at (2, 0, 805) with speed 30 and shows
  // nothing; frame 6 draws it at (4, 4) with brightness
  // (30 * 255 / 60) * (1000 / 775) = 127.
  EXPECT_EQ(s.Render(), Lit{});
  const Lit sixth = s.Render();
  EXPECT_EQ(sixth, (Lit{{4, 4, 127, 127, 0}}));
  if (sixth != Lit{{4, 4, 127, 127, 0}}) {
    ADD_FAILURE() << test::SaveFrameForInspection("starfield_sixth", s.frame.data(), 8, 8);
  }
}

TEST(StarfieldRender, WithoutTrailsOnlyTheLastPositionIsLit) {
  OneStar s(/*trails=*/false);
  EXPECT_EQ(s.Render(), Lit{});
  // The same star as with trails: one pixel at the last position (1, 3).
  EXPECT_EQ(s.Render(), (Lit{{1, 3, 225, 225, 0}}));
}

TEST(StarfieldSettings, RoundTripAndRepairs) {
  OneStar s;
  s.stars.Create(20, 10);
  EXPECT_EQ(s.stars.autoColorMode(), 0);
  EXPECT_EQ(s.stars.color(), (Rgb{255, 255, 0}));
  EXPECT_EQ(s.stars.starList().size(), 200u / 5 * 30 / 100);

  // red, green, blue, AutoColorMode, stars, trails, zoom, speed.
  SettingsBlock block = BlockOf({9, 8, 7, 2, 55, 0, 140, 12});
  std::fill(block.begin() + 32, block.end(), 0xa5);
  s.stars.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(s.stars.starList().size(), 200u / 5 * 55 / 100);
  SettingsBlock again;
  again.fill(0xa5);
  s.stars.ExchangeSettings(again, SettingsDirection::kStore);
  EXPECT_EQ(again, block);

  // Damaged: speed -10 would make the brightness divide by 0; zoom and star
  // count out of range.
  LoadWords(s.stars, {1, 2, 3, 0, 5000, 1, 100000, -10});
  EXPECT_EQ(s.stars.stars(), 100);
  EXPECT_EQ(s.stars.zoom(), 150);
  EXPECT_EQ(s.stars.speed(), 1);
  std::vector<uint8_t> frame(20 * 10 * 3);
  for (int i = 0; i < 30; ++i) s.stars.Render(frame.data(), 20, 10);

  s.stars.Destroy();
  frame.assign(frame.size(), 0x21);
  s.stars.Render(frame.data(), 20, 10);
  EXPECT_EQ(frame, std::vector<uint8_t>(20 * 10 * 3, 0x21));
}

}  // namespace
}  // namespace quor

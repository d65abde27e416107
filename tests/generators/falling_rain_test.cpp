#include "generators/falling_rain.h"

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

// One blue drop (drops 0) on a width x height matrix. The drop list is
// rebuilt right after reseeding with 1, so the drop takes lane 41 % K and
// head -(18467 % 4F).
struct OneDrop {
  OneDrop(int w, int h, int direction, int length) : width(w), height(h), rain(harness.context) {
    rain.Create(w, h);
    rain.SetAutoColorMode(0);
    rain.SetLength(length);
    rain.SetDirection(direction);
    harness.random.Seed(1);
    rain.SetDrops(0);
    frame.assign(static_cast<size_t>(w * h * 3), 0x77);
  }
  void Render(int times = 1) {
    for (int i = 0; i < times; ++i) rain.Render(frame.data(), width, height);
  }
  // The lit pixels as (x, y, blue).
  std::vector<std::array<int, 3>> Lit() const {
    std::vector<std::array<int, 3>> lit;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const uint8_t* p = &frame[static_cast<size_t>((y * width + x) * 3)];
        if (p[0] | p[1] | p[2]) lit.push_back({x, y, p[2]});
      }
    }
    return lit;
  }
  test::GeneratorHarness harness{1};
  int width;
  int height;
  FallingRainGenerator rain;
  std::vector<uint8_t> frame;
};

using Lit = std::vector<std::array<int, 3>>;

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

TEST(FallingRainRender, TailFadesBehindTheHeadAndTheDropRespawns) {
  // 4 x 4, top to bottom, length 25: L = 4 * 3 * 25 / 100 + 1 = 4 and
  // step = 255 / 4 = 63. Lane 41 % 4 = 1, head -(18467 % 16) = -3.
  OneDrop d(4, 4, FallingRainGenerator::kTopToBottom, 25);
  ASSERT_EQ(d.rain.dropList().size(), 1u);
  EXPECT_EQ(d.rain.dropList()[0].lane, 1);
  EXPECT_EQ(d.rain.dropList()[0].head, -3);

  // Three frames while the head is negative: cleared, nothing drawn, but the
  // head advances.
  d.Render(3);
  EXPECT_EQ(d.Lit(), Lit{});
  EXPECT_EQ(d.rain.dropList()[0].head, 0);
  d.Render();
  EXPECT_EQ(d.Lit(), (Lit{{1, 0, 255}}));
  // Head at 3: 255, 192, 129, 66 from the bottom up.
  d.Render(3);
  EXPECT_EQ(d.Lit(), (Lit{{1, 0, 66}, {1, 1, 129}, {1, 2, 192}, {1, 3, 255}}));
  // Head 6 leaves only the darkest tail pixel at the bottom.
  d.Render(3);
  EXPECT_EQ(d.Lit(), (Lit{{1, 3, 66}}));
  // Heads 7 and 8 draw nothing; 8 becomes 9 > F + L = 8: respawn with lane
  // 6334 % 4 = 2 and head -(26500 % 16) = -4.
  d.Render(2);
  EXPECT_EQ(d.Lit(), Lit{});
  EXPECT_EQ(d.rain.dropList()[0].lane, 2);
  EXPECT_EQ(d.rain.dropList()[0].head, -4);
}

TEST(FallingRainRender, FourDirectionsWithOnePixelDrops) {
  // 8 x 4, length 0 (L = 1, full colour). Vertical: lane 41 % 8 = 1, head
  // -(18467 % 16) = -3; horizontal: lane 41 % 4 = 1, head -(18467 % 32) = -3.
  struct Case {
    int direction;
    Lit atHead0;
    Lit atHead1;
  };
  const Case cases[] = {
      {FallingRainGenerator::kTopToBottom, {{1, 0, 255}}, {{1, 1, 255}}},
      {FallingRainGenerator::kBottomToTop, {{1, 3, 255}}, {{1, 2, 255}}},
      {FallingRainGenerator::kLeftToRight, {{0, 1, 255}}, {{1, 1, 255}}},
      {FallingRainGenerator::kRightToLeft, {{7, 1, 255}}, {{6, 1, 255}}},
  };
  for (const Case& c : cases) {
    OneDrop d(8, 4, c.direction, 0);
    d.Render(4);
    EXPECT_EQ(d.Lit(), c.atHead0) << c.direction;
    d.Render();
    EXPECT_EQ(d.Lit(), c.atHead1) << c.direction;
    if (d.Lit() != c.atHead1) {
      ADD_FAILURE() << test::SaveFrameForInspection("rain_direction", d.frame.data(), 8, 4);
    }
  }
}

TEST(FallingRainRender, PixelStepAndDropCounts) {
  OneDrop d(4, 4, FallingRainGenerator::kTopToBottom, 0);
  d.harness.pixelStep = 4;
  d.Render();
  EXPECT_EQ(d.rain.dropList()[0].head, 1);  // -3 + 4
  d.Render();
  EXPECT_EQ(d.Lit(), (Lit{{1, 1, 255}}));
  d.Render();  // head 5 -> 9 > F + L = 5: respawn
  EXPECT_LE(d.rain.dropList()[0].head, 0);

  // Drop counts follow the cross dimension of 6 x 4 and rebuild with the
  // direction: 6 * 5 * 25 / 100 + 1 = 8 vertical, 4 * 5 * 25 / 100 + 1 = 6
  // horizontal drops, starting up to four fall lengths before the edge.
  OneDrop wide(6, 4, FallingRainGenerator::kTopToBottom, 0);
  wide.rain.SetDrops(25);
  EXPECT_EQ(wide.rain.dropList().size(), 8u);
  wide.rain.SetDirection(FallingRainGenerator::kLeftToRight);
  EXPECT_EQ(wide.rain.dropList().size(), 6u);
  for (const auto& drop : wide.rain.dropList()) {
    EXPECT_LT(drop.lane, 4);
    EXPECT_GT(drop.head, -24);
  }
}

TEST(FallingRainSettings, RoundTripAndRepairs) {
  OneDrop d(16, 8, FallingRainGenerator::kTopToBottom, 15);
  d.rain.Create(16, 8);
  EXPECT_EQ(d.rain.autoColorMode(), 2);
  EXPECT_EQ(d.rain.color(), (Rgb{0, 0, 255}));

  // drops, length, direction, red, green, blue, AutoColorMode.
  SettingsBlock block = BlockOf({60, 45, 3, 10, 20, 30, 0});
  std::fill(block.begin() + 28, block.end(), 0xa5);
  d.rain.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(d.rain.dropList().size(), 8u * 5 * 60 / 100 + 1);  // cross dimension 8
  SettingsBlock again;
  again.fill(0xa5);
  d.rain.ExchangeSettings(again, SettingsDirection::kStore);
  EXPECT_EQ(again, block);

  // Damaged: a negative drop count, a length making L = 8 * 3 * -5 / 100 + 1
  // = 0 (a division by zero), an unknown direction, colours out of range.
  LoadWords(d.rain, {-50, -5, 9, 0, -1, 999, 0});
  EXPECT_EQ(d.rain.length(), 0);
  EXPECT_EQ(d.rain.direction(), FallingRainGenerator::kTopToBottom);
  EXPECT_EQ(d.rain.color(), (Rgb{0, 0, 255}));
  EXPECT_EQ(d.rain.dropList().size(), 1u);
  d.Render(40);

  d.rain.Destroy();
  d.frame.assign(d.frame.size(), 0x12);
  d.Render();
  EXPECT_EQ(d.frame, std::vector<uint8_t>(16 * 8 * 3, 0x12));
}

}  // namespace
}  // namespace quor

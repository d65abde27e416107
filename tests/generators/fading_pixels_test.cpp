#include "generators/fading_pixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <span>
#include <vector>

#include "core/byte_io.h"
#include "tests/test_support.h"

namespace quor {
namespace {

// Fading Pixels on 4 x 4 with one new pixel per frame (count 0) in a fixed
// colour. Seed 1 draws 41, 18467, 6334, 26500, 19169, ...
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

struct SmallFade {
  SmallFade() : fade(harness.context) {
    fade.Create(4, 4);
    fade.SetCount(0);
    fade.SetAutoColorMode(0);
  }
  uint8_t* At(int x, int y) { return &frame[static_cast<size_t>((y * 4 + x) * 3)]; }
  test::GeneratorHarness harness{1};
  FadingPixelsGenerator fade;
  std::vector<uint8_t> frame = std::vector<uint8_t>(4 * 4 * 3, 0);
};

TEST(FadingPixelsRender, FadeSubtractsAndOnePixelIsAdded) {
  SmallFade f;
  f.fade.SetFade(128);
  f.fade.SetColor({10, 20, 30});
  const uint8_t pattern[] = {0, 1, 127, 128, 129, 200, 254, 255};
  for (size_t i = 0; i < f.frame.size(); ++i) f.frame[i] = pattern[i % 8];
  f.fade.Render(f.frame.data(), 4, 4);
  // The new pixel lands at (41 % 4, 18467 % 4) = (1, 3), byte offset 39.
  std::vector<uint8_t> expected(f.frame.size());
  const uint8_t faded[] = {0, 0, 0, 0, 1, 72, 126, 127};
  for (size_t i = 0; i < expected.size(); ++i) expected[i] = faded[i % 8];
  expected[39] = 10;
  expected[40] = 20;
  expected[41] = 30;
  EXPECT_EQ(f.frame, expected);
  if (f.frame != expected) ADD_FAILURE() << test::SaveFrameForInspection("fading_pixels", f.frame.data(), 4, 4);
}

TEST(FadingPixelsRender, SquaresAreClippedAtTheEdge) {
  SmallFade f;
  f.fade.SetSize(2);
  f.fade.SetFade(128);
  f.fade.SetColor({200, 0, 0});
  // Frame 1: the 3 x 3 square from (1, 3) keeps only row 3, columns 1..3.
  f.fade.Render(f.frame.data(), 4, 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(f.At(x, y)[0], y == 3 && x >= 1 ? 200 : 0) << x << "," << y;
  }
  // Frame 2: the old square fades to 72, the new one starts at
  // (6334 % 4, 26500 % 4) = (2, 0) and keeps columns 2..3 of rows 0..2.
  f.fade.Render(f.frame.data(), 4, 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      const int expected = x >= 2 && y <= 2 ? 200 : (y == 3 && x >= 1 ? 72 : 0);
      EXPECT_EQ(f.At(x, y)[0], expected) << x << "," << y;
    }
  }
}

TEST(FadingPixelsRender, RandomColoursAndPixelCount) {
  {
    SmallFade f;
    f.fade.SetRandomColor(true);
    f.fade.Render(f.frame.data(), 4, 4);
    // Colour (41 % 255, 18467 % 255, 6334 % 255) = (41, 107, 214) at
    // (26500 % 4, 19169 % 4) = (0, 1).
    EXPECT_EQ(f.At(0, 1)[0], 41);
    EXPECT_EQ(f.At(0, 1)[1], 107);
    EXPECT_EQ(f.At(0, 1)[2], 214);
  }
  {
    // Count 100 on 16 pixels: n = (16 >> 2) * 100 / 100 = 4, so 5 pixels
    // with two draws each.
    SmallFade f;
    f.fade.SetCount(100);
    f.fade.Render(f.frame.data(), 4, 4);
    test::GeneratorHarness reference(1);
    for (int i = 0; i < 10; ++i) reference.random.Next();
    EXPECT_EQ(f.harness.random.Next(), reference.random.Next());
  }
}

TEST(FadingPixelsSettings, RoundTripTrackbarAndRepairs) {
  SmallFade f;
  f.fade.Create(4, 4);
  EXPECT_EQ(f.fade.autoColorMode(), 1);
  EXPECT_EQ(f.fade.fade(), 10);
  EXPECT_EQ(FadingPixelsGenerator::FadeFromTrackbar(1), 128);
  EXPECT_EQ(FadingPixelsGenerator::FadeFromTrackbar(128), 1);

  // count, fade, size, random colour, red, green, blue, AutoColorMode.
  SettingsBlock block = BlockOf({42, 99, 3, 1, 4, 5, 6, 2});
  std::fill(block.begin() + 32, block.end(), 0xa5);
  f.fade.ExchangeSettings(block, SettingsDirection::kLoad);
  SettingsBlock again;
  again.fill(0xa5);
  f.fade.ExchangeSettings(again, SettingsDirection::kStore);
  EXPECT_EQ(again, block);

  // Damaged: a huge count and size would overflow the pixel arithmetic,
  // fade 0 would leave the picture standing.
  LoadWords(f.fade, {2000000000, 0, 2147483647, 0, 300, -4, 0, 0});
  EXPECT_EQ(f.fade.count(), 100);
  EXPECT_EQ(f.fade.fade(), 1);
  EXPECT_EQ(f.fade.size(), 10);
  EXPECT_EQ(f.fade.color(), (Rgb{255, 0, 0}));
  f.fade.Render(f.frame.data(), 4, 4);
}

}  // namespace
}  // namespace quor

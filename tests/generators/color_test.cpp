#include "generators/color.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace quor {
namespace {

int Distance(Rgb a, Rgb b) { return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b); }

TEST(ColorConversion, HsvAndHslSectorsGreysAndTruncation) {
  EXPECT_EQ(HsvToRgb(100, 0, 77), (Rgb{77, 77, 77}));
  // Sector starts are 43 hues apart. t = 21 / 43 * 255 = 124.5 -> 124; hue 255: q = 0.07 * 255 = 17.8 -> 17; p = (1 -
  // 128 / 255) * 200 = 99.6 -> 99.
  const std::pair<int, Rgb> full[] = {{43, {255, 255, 0}}, {215, {255, 0, 255}}, {21, {255, 124, 0}},
                                      {255, {255, 0, 17}}};
  for (auto [hue, rgb] : full) EXPECT_EQ(HsvToRgb(hue, 255, 255), rgb) << hue;
  EXPECT_EQ(HsvToRgb(0, 128, 200), (Rgb{200, 99, 99}));
  EXPECT_EQ(HslToRgb(123, 0, 77), (Rgb{77, 77, 77}));
  EXPECT_EQ(HslToRgb(40, 255, 255), (Rgb{255, 255, 255}));
  // Dark: q = 2L, p = 0; rising edge p + (q - p) 6t; light: q = L + S - L S, p = 2L - q. The double arithmetic may
  // truncate one below the exact value.
  EXPECT_LE(Distance(HslToRgb(21, 255, 64), {128, 63, 0}), 2);
  EXPECT_LE(Distance(HslToRgb(0, 255, 191), {255, 127, 127}), 2);
}

TEST(ColorWheel, PrivatePairStepsWrapsAndStartsAtRandom) {
  ColorWheel shared;
  RandomSource random(1);
  Rgb color;
  int position = 254, phase = 5;
  NextAutoColor(&color, &position, &phase, -3, shared, random);
  EXPECT_EQ(color, (Rgb{255, 0, 255}));
  EXPECT_EQ((ColorWheel{position, phase}), (ColorWheel{0, 0}));
  EXPECT_EQ(shared, ColorWheel{});
  for (uint32_t seed = 1; seed <= 2000; ++seed) {  // phase 5 only by wrapping from the end of phase 4
    random.Seed(seed);
    position = seed % 2 ? kWheelNotStarted : 30, phase = kWheelNotStarted;
    NextAutoColor(&color, &position, &phase, 0, shared, random);
    ASSERT_TRUE(position >= 0 && position <= 255 && phase >= 0 && (phase <= 4 || position == 0)) << seed;
  }
}

TEST(ColorWheel, SharedWheelTurnsOnceIn768StepsWithoutJumps) {
  ColorWheel shared;
  RandomSource random(1);
  int position = 40, phase = 3;
  Rgb previous{255, 0, 255};
  for (int call = 1; call <= 768; ++call) {
    Rgb color;
    NextAutoColor(&color, call % 2 ? &position : nullptr, call % 2 ? &phase : nullptr, 2, shared, random);
    ASSERT_LE(Distance(color, previous), 2) << call;
    EXPECT_TRUE(call > 1 || color == (Rgb{255, 0, 253}));
    previous = color;
  }
  EXPECT_EQ(shared, ColorWheel{});
  EXPECT_EQ((ColorWheel{position, phase}), (ColorWheel{40, 3}));  // ignored in shared mode
}

}  // namespace
}  // namespace quor

#include "generators/color.h"
#include "generators/simple_color.h"
#include "generators/strobe.h"
#include "generators/fading_pixels.h"

#include <cstdlib>

#include "generator_rig.h"

namespace quor {
namespace {

int Distance(Rgb a, Rgb b) { return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b); }

TEST(ColorWheel, PrivatePairWrapsAndStartsAtRandomTheSharedWheelTurnsWithoutJumps) {
  ColorWheel shared;
  RandomSource random(1);
  Rgb color;
  for (uint32_t seed = 1; seed <= 2000; ++seed) {  // phase 5 only by wrapping from the end of phase 4
    random.Seed(seed);
    int position = seed % 2 ? kWheelNotStarted : 30, phase = kWheelNotStarted;
    NextAutoColor(&color, &position, &phase, 0, shared, random);
    ASSERT_TRUE(position >= 0 && position <= 255 && phase >= 0 && (phase <= 4 || position == 0)) << seed;
  }
  int position = 254, phase = 5;
  NextAutoColor(&color, &position, &phase, -3, shared, random);
  EXPECT_EQ(std::pair(color, ColorWheel{position, phase}), std::pair(Rgb{255, 0, 255}, ColorWheel{0, 0}));
  // Shared: the private pair is ignored, 768 steps of 2 turn the wheel once.
  for (int call = 1; call <= 768; ++call) {
    const Rgb previous = color;
    NextAutoColor(&color, call % 2 ? &position : nullptr, call % 2 ? &phase : nullptr, 2, shared, random);
    ASSERT_LE(Distance(color, previous), 2) << call;
  }
  EXPECT_EQ(std::pair(shared, ColorWheel{position, phase}), std::pair(ColorWheel{}, ColorWheel{0, 0}));
}

// Seed 1 draws 41, 18467, 6334, 26500, 19169, 15724, ...: a wheel restart takes position draw % 255 and phase draw %
// 5, and every frame first steps the position by 2.
class SimpleColorTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(generator.Create(5, 3)); }
  // One render over stale bytes: the colour every pixel shows, or {-1} when they differ.
  Rgb Solid() {
    test::Frame frame(5, 3, 0x5A);
    generator.Render(frame.bytes.data(), 5, 3);
    return frame.All(frame.At(0, 0)) ? frame.At(0, 0) : Rgb{-1, -1, -1};
  }
  void StoreAndLoad() {
    SettingsBlock block{};
    generator.ExchangeSettings(block, SettingsDirection::kStore);
    generator.ExchangeSettings(block, SettingsDirection::kLoad);
  }
  test::GeneratorHarness harness{1};
  SimpleColorGenerator generator{harness.context};
};

TEST_F(SimpleColorTest, OwnWheelRestartsAtRandomPointAfterCreateAndSceneLoad) {
  generator.colorGroup().SetAutoColorChecked(true);
  EXPECT_EQ(Solid(), (Rgb{212, 255, 0}));  // start 41, phase 2 (yellow to green): (255 - p, 255, 0) at p = 43
  StoreAndLoad();  // 6334 % 255 = 214, 26500 % 5 = 0 (magenta to red): (255, 0, 255 - 216)
  EXPECT_EQ(Solid(), (Rgb{255, 0, 39}));
  ASSERT_TRUE(generator.Create(5, 3));  // back to fixed red, and the wheel restarts too
  EXPECT_EQ(Solid(), (Rgb{255, 0, 0}));
  generator.colorGroup().SetAutoColorChecked(true);
  EXPECT_EQ(Solid(), (Rgb{0, 209, 255}));  // 19169 % 255 = 44, 15724 % 5 = 4 (cyan to blue): (0, 255 - 46, 255)
}

TEST_F(SimpleColorTest, SyncModeContinuesSharedWheelAcrossLoads) {
  harness.sharedWheel = {100, 3};
  generator.colorGroup().SetAutoColorSyncChecked(true);
  EXPECT_EQ(Solid(), (Rgb{0, 255, 102}));  // phase 3 is green to cyan: (0, 255, p)
  StoreAndLoad();
  EXPECT_EQ(Solid(), (Rgb{0, 255, 104}));
  EXPECT_EQ(harness.random.Next(), 41);  // the shared wheel draws no random numbers
  test::LoadWords(generator, {256 + 10, -1, 40, 0});  // red, green, blue beyond a byte; fixed colour
  EXPECT_EQ(Solid(), (Rgb{10, 255, 40}));
}

class StrobeTest : public testing::Test {
 protected:
  void Restart(int on, int off) {
    ASSERT_TRUE(strobe.Create(4, 3));
    strobe.SetTimeOn(on), strobe.SetTimeOff(off);
  }
  // One letter per rendered frame: 'L' all the fixed colour, 'D' all black, '?' anything else.
  std::string Rhythm(int frames) {
    std::string rhythm;
    for (int n = 0; n < frames; ++n) {
      test::Frame frame(4, 3, 0x5A);
      strobe.Render(frame.bytes.data(), 4, 3);
      rhythm += frame.All(strobe.colorGroup().color) ? 'L' : frame.All({}) ? 'D' : '?';
    }
    return rhythm;
  }
  test::GeneratorHarness harness;
  StrobeGenerator strobe{harness.context};
};

TEST_F(StrobeTest, FrameRhythmLightsTimeOnThenDarkTimeOffPlusOne) {
  ASSERT_TRUE(strobe.Create(4, 3));
  EXPECT_EQ(Rhythm(10), "LLDDDLLDDD");  // defaults: 2 lit, 2 + 1 dark
  // Shortening the cycle while the counter stands beyond it costs one dark frame, then the new rhythm starts.
  Restart(25, 2);
  EXPECT_EQ(Rhythm(27), std::string(25, 'L') + "DD");
  strobe.SetTimeOn(1), strobe.SetTimeOff(1);
  EXPECT_EQ(Rhythm(4), "DLDD");
  strobe.SetTimeOn(0), strobe.SetTimeOff(99);  // the trackbars stay within 1..25
  EXPECT_EQ(std::pair(strobe.timeOn(), strobe.timeOff()), std::pair(1, 25));
}

TEST_F(StrobeTest, AudioTriggerFollowsTheBandLevelWhileTheCounterRuns) {
  Restart(1, 1);
  strobe.SetAudioTriggerChecked(true);
  EXPECT_EQ(Rhythm(7), "DDDDDDD");  // threshold 900 is never reached in silence
  strobe.audioTrigger().threshold = 0;  // a level equal to the threshold fires
  EXPECT_EQ(Rhythm(4), "LLLL");
  strobe.SetAudioTriggerChecked(false);  // the counter kept running: 11 frames into a 3-frame cycle
  EXPECT_EQ(Rhythm(4), "DLDD");
}

TEST_F(StrobeTest, LoadKeepsTheCounterAndRepairsTimes) {
  Restart(3, 4);
  Rhythm(3);
  test::LoadWords(strobe, {INT_MAX, INT_MIN, 0, 7000, 100, 300, 1, 178, 10, 20, 30, 0});
  EXPECT_EQ(std::pair(strobe.timeOn(), strobe.timeOff()), std::pair(25, 1));
  // A scene load does not restart the cycle: from 3, 22 lit frames, 2 dark, then lit again.
  EXPECT_EQ(Rhythm(27).substr(20), "LLDDLLL");
}

// 4 x 4, one new pixel per frame (count 0) in a fixed colour. Seed 1 draws 41, 18467, 6334, 26500, 19169, ...
struct SmallFade : test::Rig<FadingPixelsGenerator> {
  SmallFade() : Rig(4, 4) { gen.SetCount(0), gen.SetAutoColorMode(0), gen.SetFade(128); }
};

TEST(FadingPixelsRender, FadeSubtractsAndPixelsAreAddedWithCountAndColour) {
  SmallFade f;
  f.gen.SetColor({10, 20, 30});
  const uint8_t pattern[] = {0, 1, 127, 128, 129, 200, 254, 255}, faded[] = {0, 0, 0, 0, 1, 72, 126, 127};
  for (size_t i = 0; i < f.frame.bytes.size(); ++i) f.frame.bytes[i] = pattern[i % 8];
  f.Render();
  // The new pixel lands at (41 % 4, 18467 % 4) = (1, 3), byte offset 39.
  for (size_t i = 0; i < f.frame.bytes.size(); ++i)
    EXPECT_EQ(f.frame.bytes[i], i >= 39 && i < 42 ? static_cast<int>(10 * (i - 38)) : faded[i % 8]) << i;
}

TEST(FadingPixelsRender, SquaresAreClippedAtTheEdge) {
  SmallFade f;
  f.gen.SetSize(2), f.gen.SetColor({200, 0, 0});
  // Frame 1: a 3 x 3 square from (1, 3) keeps row 3, columns 1..3. Frame 2: that fades to 72 and a new one from (6334
  // % 4, 26500 % 4) = (2, 0) keeps columns 2..3 of rows 0..2.
  f.Render(2);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(f.At(x, y).r, x >= 2 && y <= 2 ? 200 : (y == 3 && x >= 1 ? 72 : 0)) << x << "," << y;
}

}  // namespace
}  // namespace quor

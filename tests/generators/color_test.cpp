#include "generators/color.h"
#include "generators/simple_color.h"
#include "generators/strobe.h"
#include "generators/fading_pixels.h"
#include "generators/plasma.h"
#include "generators/color_scroll.h"
#include "generators/palette_expand.h"

#include <cstdlib>

#include "generator_rig.h"

namespace quor {
namespace {

int Distance(Rgb a, Rgb b) { return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b); }

TEST(PaletteExpand, WritesEachEntrysThreeBytesAndNothingPastTheLastPixel) {
  PackedPalette palette;
  for (int i = 0; i < 256; ++i) palette[size_t(i)] = PackRgb(uint8_t(i), uint8_t(255 - i), uint8_t(i * 7));
  for (size_t count : {0, 1, 2, 3, 5, 128, 16384}) {
    std::vector<uint8_t> indices(count);
    for (size_t i = 0; i < count; ++i) indices[i] = uint8_t(i * 37 + count);
    std::vector<uint8_t> out(3 * count + 4, 0xA5), want(out);
    for (size_t i = 0; i < count; ++i) {
      const int v = indices[i];
      want[3 * i] = uint8_t(v), want[3 * i + 1] = uint8_t(255 - v), want[3 * i + 2] = uint8_t(v * 7);
    }
    ExpandPalette(indices.data(), count, palette, out.data());
    EXPECT_EQ(out, want) << count;
  }
}

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

// Seed 1 draws 41, 18467, 6334, 26500, 19169, 15724: a restart takes position draw % 255, phase draw % 5; frames step 2.
class SimpleColorTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(generator.Create(5, 3)); }
  // One render over stale bytes: the colour every pixel shows, or {-1} when they differ.
  Rgb Solid() {
    test::Frame frame(5, 3, 0x5A);
    generator.Render({frame.bytes.data(), 5, 3});
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
  void Restart(int on, int off) { ASSERT_TRUE(strobe.Create(4, 3)); strobe.SetTimeOn(on), strobe.SetTimeOff(off); }
  // One letter per rendered frame: 'L' all the fixed colour, 'D' all black, '?' anything else.
  std::string Rhythm(int frames) {
    std::string rhythm;
    for (int n = 0; n < frames; ++n) {
      test::Frame frame(4, 3, 0x5A);
      strobe.Render({frame.bytes.data(), 4, 3});
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

// On the beat the trigger fires in the first render after each new beat,
// not on the level; beats from before it followed them fire nothing.
TEST_F(StrobeTest, AudioTriggerOnTheBeatFiresOncePerNewBeat) {
  Restart(1, 1);
  strobe.SetAudioTriggerChecked(true);
  strobe.audioTrigger().threshold = 0;  // the level would fire every frame
  harness.context.beats.store(7);
  strobe.beatTrigger.store(true);
  std::string rhythm;
  for (const uint32_t beats : {7u, 8u, 8u, 8u, 10u, 11u, 11u}) {
    harness.context.beats.store(beats);
    rhythm += Rhythm(1);
  }
  EXPECT_EQ(rhythm, "DLDDLLD");
  strobe.beatTrigger.store(false);
  EXPECT_EQ(Rhythm(2), "LL");
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
  // Frame 1: a 3 x 3 square from (1, 3) keeps row 3, columns 1..3; frame 2 fades it to 72, one from (2, 0) keeps 2..3 x 0..2.
  f.Render(2);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(f.At(x, y).r, x >= 2 && y <= 2 ? 200 : (y == 3 && x >= 1 ? 72 : 0)) << x << "," << y;
}

using Indices = std::vector<std::vector<int>>;

void Load(PlasmaGenerator& plasma, int zoom, int palette, int style, int speed) {
  test::LoadWords(plasma, {zoom, palette, style, speed});
}

TEST(Plasma, PalettesFollowTheirWavesIncludingTheOverflowingPeak) {
  const Palette256 classic = BuildPlasmaPalette(0);  // the hue circle
  EXPECT_TRUE(classic[86] == (Rgb{0, 255, 0}) && BuildPlasmaPalette(6) == classic);
  // Psychadelic: float angles 0, 2.125, 4.25 (red), 1.4166666, ... (green), 0.7083333, ... (blue) degrees of a
  // 3.14593 half turn; entry 2 red = |trunc(sin(3.14593 * 4.25 / 180) * 255)| = trunc(18.9) = 18.
  EXPECT_EQ(BuildPlasmaPalette(1)[2], (Rgb{18, 12, 6}));
  // Red/Green Small at 8: sin(3.14593 / 2) * 128 + 128 = 255.9997, sin(0.19662) * 128 + 128 = 153.006.
  EXPECT_EQ(BuildPlasmaPalette(3)[8], (Rgb{255, 153, 0}));
  // cos(0) * 128 + 128 = 256: kept in the table, a pixel shows its low byte.
  EXPECT_EQ(BuildPlasmaPalette(5)[0], (Rgb{255, 256, 128}));
  test::GeneratorHarness harness;
  PlasmaGenerator plasma(harness.context);
  ASSERT_TRUE(plasma.Create(4, 4));
  Load(plasma, 30, 4, 1, 1);
  std::vector<uint8_t> frame(4 * 4 * 3, 0x5A);
  plasma.Render({frame.data(), 4, 4});
  // Column 0 at T = 0.01: sin(0.01 * 3.14593 / 55.11) * 255 = 0.15 -> index 0, (128, 256, 0).
  EXPECT_EQ(std::vector<uint8_t>(frame.begin(), frame.begin() + 3), (std::vector<uint8_t>{128, 0, 0}));
}

TEST(Plasma, StylesPickTheirFieldsOnASmallMatrix) {
  // 4 x 4, zoom 30: z = (60 * 30 / 100 + 2) / (3.50515 - log10(4)) = 6.889211 (float), 8z = 55.11, 32z = 220.5; T = 0.5.
  const std::pair<int, Indices> cases[] = {
      // Vertical: |trunc(sin((0.5 + x) * 3.14593 / 55.11) * 255)| = 7.3, 21.8, 36.3, 50.6.
      {1, Indices(4, {7, 21, 36, 50})},
      // Radial: sin(sqrt(3.14593 * 100 (x^2 + y^2)) / 220.5 + 0.1): origin 25.46, (1, 0) 45.7.
      {3, {{25, 45, 65, 85}, {45, 54, 70, 88}, {65, 70, 82, 96}, {85, 88, 96, 108}}},
      // The integer mean of vertical, diagonal (about 7, 21, 36, 50 down the rows) and radial, e.g. (7 + 7 + 25) / 3; a
      // style no dialog sets mixes too.
      {7, {{13, 24, 36, 47}, {24, 32, 42, 53}, {36, 42, 51, 61}, {47, 53, 61, 69}}},
  };
  test::GeneratorHarness harness;
  PlasmaGenerator plasma(harness.context);
  for (const auto& [style, indices] : cases) {
    ASSERT_TRUE(plasma.Create(4, 4));
    Load(plasma, 30, 0, style, 50);
    test::ExpectPaletteIndices(plasma, 1, indices, "style " + std::to_string(style));
  }
}


using Frame = std::vector<uint8_t>;

struct Settings {
  int zoom = 20, speed = 2, palette = 4 /* Black/white: |trunc(sin(3.14593 i / 128) * 255)| */, style = 0, reverse = 0;
};

void Load(ColorScrollGenerator& scroll, const Settings& s) {
  test::LoadWords(scroll, {s.zoom, s.speed, s.palette, s.style, s.reverse});
}

Frame Render(ColorScrollGenerator& scroll, int width, int height, int frames = 1) {
  Frame frame(size_t(width) * height * 3, 0x5A);
  for (int n = 0; n < frames; ++n) scroll.Render({frame.data(), width, height});
  return frame;
}

TEST(ColorScroll, OffsetJumpsToTheFarEndInsteadOfCarryingAndIndicesWrapInStepsOf255) {
  test::GeneratorHarness harness;
  ColorScrollGenerator scroll(harness.context);
  ASSERT_TRUE(scroll.Create(4, 4));
  // {speed, reverse, frames, offset after}: 260 -> 0, not 4; 5 - 10 -> 255.
  for (auto [speed, reverse, frames, offset] : {std::array{10, 0, 25, 250}, {10, 0, 1, 0}, {5, 0, 1, 5}, {10, 1, 1, 255}}) {
    scroll.SetSpeed(speed), scroll.SetReverseChecked(reverse != 0);
    Render(scroll, 4, 4, frames);
    EXPECT_EQ(scroll.offset(), offset) << speed << " " << frames;
  }
  // Raw indices wrap in steps of 255, up to the ends of int.
  for (auto [raw, index] : {std::pair{256, 1}, {-1, 254}, {510, 255}, {-255, 0}, {INT_MAX, (INT_MAX - 1) % 255 + 1},
                            {INT_MIN, INT_MIN % 255 + 255}})
    EXPECT_EQ(WrapColorScrollIndex(raw), index) << raw;
}

TEST(ColorScroll, StylesMapGeometryPlusOffset) {
  test::GeneratorHarness harness;
  ColorScrollGenerator scroll(harness.context);
  ASSERT_TRUE(scroll.Create(4, 4));
  Load(scroll, {});
  EXPECT_EQ(scroll.paletteEntry(22), (Rgb{131, 131, 131}));  // Black/white
  // 5 x 5, zoom 20: f = 6.61236. The symmetric distance runs 1, 0, -1, 0, 1 across; "Diamond" does not clamp it at 0:
  // the centre gets trunc(6.61236 * -2 + 2) = -11 -> 244, its neighbours trunc(-6.61 + 2) = -4 -> 251.
  Load(scroll, {.style = 8});
  test::ExpectPaletteIndices(scroll, 1,
              {{15, 8, 2, 8, 15}, {8, 2, 251, 2, 8}, {2, 251, 244, 251, 2}, {8, 2, 251, 2, 8}, {15, 8, 2, 8, 15}},
              "scroll_diamond");
  // 8 x 8, zoom 100: f = float((4.00515 - log10(8)) * 100) / 10 = 31.0206. "Circle" at the corner: sqrt(3.14593 * 32)
  // * 31.02 + 2 = 313.2 -> 58; (1, 0): 277 -> 22; (2, 0): 248; the centre: the offset.
  Load(scroll, {.zoom = 100, .style = 6});
  Frame frame = Render(scroll, 8, 8);
  const std::pair<int, int> circle[] = {{0, 58}, {1, 22}, {2, 248}, {4 * 8 + 4, 2}};
  for (auto [pixel, index] : circle) EXPECT_EQ(frame[pixel * 3], scroll.paletteEntry(index).r) << pixel;
}

TEST(ColorScroll, SpiralTurnsWithTheOffsetAndRedrawsOnZoomOrSizeChange) {
  // 8 x 8, zoom 100: g = f / 3 = 10.34, so every pixel off the centre lands at least 10 grid units out and only the
  // centre cross is near an axis: index (k * 63) / 4 with k the nearness to an axis of the turned point.
  test::GeneratorHarness harness;
  ColorScrollGenerator scroll(harness.context), fresh(harness.context);
  ASSERT_TRUE(scroll.Create(8, 8));
  // Offset 100 turns every point by 100 / 162 * 3 = 1.85 radians.
  Load(scroll, {.zoom = 100, .speed = 20, .style = 9});
  test::ExpectPaletteIndices(scroll, 5,
              {{0, 0, 0, 0, 0, 31, 0, 0}, {0, 0, 0, 47, 0, 0, 0, 0}, {0, 0, 63, 0, 0, 0, 63, 0},
               {31, 0, 0, 31, 31, 31, 0, 47}, {0, 0, 0, 31, 63, 31, 0, 0}, {0, 47, 0, 31, 31, 31, 0, 0},
               {0, 0, 63, 0, 0, 0, 63, 0}, {0, 0, 0, 0, 0, 47, 0, 0}},
              "scroll_spiral_offset_100");
  EXPECT_EQ(scroll.offset(), 100);
  // A size change redraws exactly as a fresh generator at the new size does.
  ASSERT_TRUE(fresh.Create(8, 8));
  Load(fresh, {.zoom = 40, .style = 9}), Load(scroll, {.zoom = 40, .style = 9});
  EXPECT_EQ(Render(scroll, 10, 6), Render(fresh, 10, 6));
}

}  // namespace
}  // namespace quor

#include "generators/radar.h"
#include "generators/sine_lines.h"
#include "generators/simple_lines.h"

#include <cmath>

#include "generator_rig.h"
#include "audio/audio_analyzer.h"

namespace quor {
namespace {

// Radar in fixed red with the given mode and band width.
struct RadarRig : test::Rig<RadarGenerator> {
  RadarRig(int w, int h, int mode = RadarGenerator::kLeftToRight, int band = 0) : Rig(w, h) {
    gen.SetAutoColorMode(0), gen.SetMode(mode), gen.SetBandWidth(band);
  }
  // The lit columns of row 0 (or rows of column 0) as '#' / '.'.
  std::string Lit(bool rows = false) const {
    std::string s;
    for (int i = 0; i < (rows ? frame.height : frame.width); ++i)
      s += (rows ? At(0, i) : At(i, 0)) == Rgb{} ? '.' : '#';
    return s;
  }
};

TEST(RadarScan, OneWayModesRestartBeyondTheEdgeAndBouncingModesTurn) {
  // 10 wide, width 20 %: band = (10 * 20) / 100 + 1 = 3 lines; positions 0..9, then -3, -2, -1: the band slides out
  // and back in.
  RadarRig rig(10, 4, RadarGenerator::kLeftToRight, 20);
  std::vector<std::string> seen;
  for (int i = 0; i < 13; ++i) rig.Render(), seen.push_back(rig.Lit());
  EXPECT_EQ((std::array{seen[0], seen[9], seen[10], seen[12]}),
            (std::array<std::string, 4>{"###.......", ".........#", "..........", "##........"}));
  // Band 3 on 10 columns: forwards to 7 = W - band, back to 0, never leaving.
  RadarRig bounce(10, 4, RadarGenerator::kBounceHorizontal, 20);
  std::string drawnAt;
  for (int i = 0; i < 17; ++i) bounce.Render(), drawnAt += char('0' + bounce.Lit().find('#'));
  EXPECT_EQ(drawnAt, "01234567654321012");
}

TEST(RadarScan, TrailPixelStepAndOffset) {
  // Fade 100 on 10 columns: trail 10, step = 255 / 11 = 23 per move.
  RadarRig trail(10, 4);
  trail.gen.SetFade(100);
  trail.Render(3);
  EXPECT_EQ((std::array{trail.At(0, 2), trail.At(2, 2), trail.At(3, 2)}),
            (std::array{Rgb{255 - 23 - 23, 0, 0}, Rgb{255, 0, 0}, Rgb{}}));
  // PixelStep 2: two moves per frame, the trail fading once per move.
  RadarRig fast(10, 4);
  fast.harness.pixelStep = 2;
  fast.gen.SetFade(100);
  fast.Render();
  EXPECT_EQ(std::pair(fast.At(0, 0), fast.gen.position()), std::pair(Rgb{232, 0, 0}, 2));
  // A load places the band at the offset: vertically (H * offset) / 100 = (6 * 50) / 100, horizontally from W - 1.
  RadarRig rig(10, 6);
  test::LoadWords(rig.gen, {3, 12, 34, 1, 2, 3, 1, 50});
  EXPECT_EQ(rig.gen.position(), 3);
  test::LoadWords(rig.gen, {0, 12, 34, 1, 2, 3, 1, 50});
  EXPECT_EQ(rig.gen.position(), 4);
}

constexpr Rgb kRed{255, 0, 0};

struct SineRig : test::Rig<SineLinesGenerator> {
  SineRig(int w, int h, int lines = 0) : Rig(w, h, 5) { if (lines) gen.SetLines(lines); }
  std::vector<int> LitRows(int x) const {
    std::vector<int> rows;
    for (int y = 0; y < frame.height; ++y)
      if (At(x, y) != Rgb{}) rows.push_back(y);
    return rows;
  }
};

TEST(SineLinesRender, AmplitudeFollowsATriangleWaveAndLowMatricesKeepIt) {
  // 5 x 16, one curve, 4 half waves: half = 8, the counter grows by 8 / 4 = 2 per frame and wraps at 32.
  SineRig rig(5, 16, 1);
  rig.Render();  // frame 1: counter 0, A = 0: a flat line through row 8
  // Frame 2: counter 2, A = 2; phase = 2 * (2 * ((4 * 3.14593f) / 5) * 0.5) = 5.033488 (single precision). y =
  // trunc(sin(x * 3.14593 - 5.033488) * 2 + 8): sines 0.949, -0.950, 0.951, -0.953, 0.954 give 9, 6, 9, 6, 9.
  rig.Render();
  EXPECT_FLOAT_EQ(rig.gen.phase(0), 5.0334883f);
  const int expectedY[5] = {9, 6, 9, 6, 9};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(rig.At(x, expectedY[x]), kRed) << x;
  EXPECT_EQ(rig.LitRows(2), (std::vector<int>{8, 9}));
  // The counters start at 0, 3, 6, grow by 2 and restart at 0 on reaching 32: curve 1 passes 32 at frame 15. On 6
  // rows half / 4 = 0, so the counters keep their start values.
  SineRig counters(5, 16, 3), low(8, 6, 3), one(16, 16), two(16, 16);
  counters.Render(17);
  EXPECT_EQ(std::pair(counters.gen.amplitudeCounter(0), counters.gen.amplitudeCounter(1)), std::pair(2, 4));
  low.Render(10);
  EXPECT_EQ(low.gen.amplitudeCounter(2), 6);
  two.harness.pixelStep = 2;  // moves the phase as far in one frame as two frames at 1
  one.Render(2), two.Render();
  EXPECT_EQ(one.gen.phase(1), two.gen.phase(1));
  test::LoadWords(one.gen, {3, 2, 0, 20});  // a load restarts the curves
  EXPECT_EQ(std::pair(one.gen.amplitudeCounter(2), one.gen.phase(0)), std::pair(6, 0.0f));
}

TEST(SineLinesRender, AudioBandsRiseAtOnceAndDecaySlowly) {
  SineRig rig(16, 16, 1);
  rig.gen.SetAudio(true);
  // A 215 Hz tone lands in the bass bins 2 and 3.
  std::vector<int16_t> tone(2 * kAudioBlockFrames);
  for (int i = 0; i < 2 * kAudioBlockFrames; ++i)
    tone[size_t(i)] = static_cast<int16_t>(20000 * std::sin(2 * 3.141592653589793 * 215.0 * (i / 2) / kAudioSampleRate));
  ASSERT_TRUE(rig.harness.audio.DeliverBlock(tone.data()));
  rig.Render();
  const int loud = rig.gen.bandAmplitude(0);
  ASSERT_GT(loud, 0);
  // Silence: the amplitude falls to (b + (0 + b) / 2) / 2 per frame, then to 0.
  const std::vector<int16_t> silence(2 * kAudioBlockFrames, 0);
  ASSERT_TRUE(rig.harness.audio.DeliverBlock(silence.data()));
  rig.Render();
  EXPECT_EQ(rig.gen.bandAmplitude(0), (loud + loud / 2) / 2);
  for (int i = 0; i < 60; ++i, rig.Render()) ASSERT_TRUE(rig.harness.audio.DeliverBlock(silence.data()));
  EXPECT_EQ(rig.gen.bandAmplitude(0), 0);
  for (int x = 0; x < 16; ++x) EXPECT_EQ(rig.LitRows(x), std::vector<int>{8}) << x;  // flat on row H / 2
}

using Lines = SimpleLinesGenerator;
using Points = std::vector<std::pair<int, int>>;

constexpr Rgb kGreen{0, 255, 0};

// Fixed green, fade 0 (step 255: every frame starts black).
struct LinesRig : test::Rig<Lines> {
  LinesRig(int w, int h, int mode) : Rig(w, h, 3) { gen.SetAutoColorMode(0), gen.SetFade(0), gen.SetMode(mode); }
  void ExpectAt(const Points& points, Rgb color) const {
    for (auto [x, y] : points) EXPECT_EQ(At(x, y), color) << x << "," << y;
  }
};

TEST(SimpleLinesRender, CrossRunsAlongTheBorder) {
  // 8 x 8, hw = hh = 4. Counter 0: (x1, y1) = (4, 7), (x2, y2) = (3, 0), (x3, y3) = (7, 3), (x4, y4) = (0, 4).
  LinesRig rig(8, 8, Lines::kCross);
  rig.Render();
  rig.ExpectAt({{4, 7}, {3, 0}, {7, 3}, {0, 4}}, kGreen);
  // Counter 5 (>= hw and >= hh): (x1, y1) = (7, 8 + (4 - 5) - 2) = (7, 5), (x2, y2) = (0, 2), (x3, y3) = (8 + (4 - 5)
  // - 2, 0) = (5, 0), (x4, y4) = (2, 7).
  rig.Render(5);
  rig.ExpectAt({{7, 5}, {0, 2}, {5, 0}, {2, 7}}, kGreen);
  // 32 x 16: counter 0..22, back to 0 on reaching (32 + 16) / 2 - 1 = 23.
  LinesRig wide(32, 16, Lines::kCross);
  wide.Render();
  const std::vector<uint8_t> first = wide.frame.bytes;
  wide.Render(23);
  EXPECT_EQ(wide.frame.bytes, first);
}

TEST(SimpleLinesRender, PixelStepRepeatsOnlyTheSteppedModes) {
  // PixelStep repeats only the stepped modes.
  LinesRig cross(16, 16, Lines::kCross), spots(16, 16, Lines::kSpotlights);
  cross.harness.pixelStep = 3, spots.harness.pixelStep = 3;
  cross.Render(), spots.Render();
  EXPECT_EQ(std::pair(cross.gen.counter(), spots.gen.counter()), std::pair(3, 1));
  cross.ExpectAt({{8, 15}, {10, 15}}, kGreen);
}

TEST(SimpleLinesRender, SpotlightConesFromTheCorners) {
  // Left-top only, 16 x 16, beam 25, phase 60: reach = 65, a = 60; edge rays at 60 and 85 degrees from the left edge
  // end at (27, 15) and (31, 2); the centre ray at 72 degrees, length 15, seeds the fill at (14, 4).
  LinesRig rig(16, 16, Lines::kSpotlights);
  rig.gen.SetCorners(Lines::kLeftTop);
  rig.Render();
  rig.ExpectAt({{0, 0}, {14, 4}, {10, 3}, {15, 5}, {15, 1}}, kGreen);
  rig.ExpectAt({{15, 0}, {3, 10}, {0, 15}, {15, 15}}, Rgb{});
  // No corners: nothing drawn, only the fade. Fade 15 on 16: step = 255 / ((16 * 15) / 100 + 1) = 85.
  LinesRig dark(16, 16, Lines::kSpotlights);
  dark.gen.SetCorners(0), dark.gen.SetFade(15);
  dark.frame.Fill(200);
  dark.Render(2);
  EXPECT_EQ(dark.frame.bytes, std::vector<uint8_t>(16 * 16 * 3, 30));
}

}  // namespace
}  // namespace quor

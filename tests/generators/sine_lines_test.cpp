#include "generators/sine_lines.h"

#include <cmath>

#include "audio/audio_analyzer.h"
#include "generator_rig.h"

namespace quor {
namespace {

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

TEST(SineLinesRender, AmplitudeFollowsATriangleWave) {
  // 5 x 16, one curve, 4 half waves: half = 8, the counter grows by 8 / 4 = 2 per frame and wraps at 32.
  SineRig rig(5, 16, 1);
  rig.Render();
  EXPECT_EQ(rig.At(2, 8), kRed);  // frame 1: counter 0, A = 0: a flat line through row 8

  // Frame 2: counter 2, A = 2; phase = 2 * (2 * ((4 * 3.14593f) / 5) * 0.5) = 5.033488 (single precision). y =
  // trunc(sin(x * 3.14593 - 5.033488) * 2 + 8): sines 0.949, -0.950, 0.951, -0.953, 0.954 give 9, 6, 9, 6, 9.
  rig.Render();
  EXPECT_FLOAT_EQ(rig.gen.phase(0), 5.0334883f);
  const int expectedY[5] = {9, 6, 9, 6, 9};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(rig.At(x, expectedY[x]), kRed) << x;
  EXPECT_EQ(rig.LitRows(0).front(), 8);  // the line to (1, 6) leaves column 0 at row 8
  EXPECT_EQ(rig.LitRows(2), (std::vector<int>{8, 9}));

  // The counters start at 0, 3, 6, grow by 2 and restart at 0 on reaching 32: curve 1 passes 32 at frame 15.
  SineRig counters(5, 16, 3);
  counters.Render(17);
  EXPECT_EQ(std::pair(counters.gen.amplitudeCounter(0), counters.gen.amplitudeCounter(1)), std::pair(2, 4));
}

TEST(SineLinesRender, LowMatricesAndPixelStep) {
  SineRig low(8, 6, 3), one(16, 16), two(16, 16);
  low.Render(10);  // 6 rows: half / 4 = 0, so the counters keep their start values
  EXPECT_EQ(low.gen.amplitudeCounter(2), 6);
  two.harness.pixelStep = 2;  // moves the phase as far in one frame as two frames at 1
  one.Render(2), two.Render();
  EXPECT_EQ(one.gen.phase(1), two.gen.phase(1));
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
  for (int i = 0; i < 61; ++i) {
    ASSERT_TRUE(rig.harness.audio.DeliverBlock(silence.data()));
    rig.Render();
    EXPECT_TRUE(i > 0 || rig.gen.bandAmplitude(0) == (loud + loud / 2) / 2) << rig.gen.bandAmplitude(0);
  }
  // Back at 0 every curve is flat on row H / 2.
  EXPECT_EQ(rig.gen.bandAmplitude(0), 0);
  for (int x = 0; x < 16; ++x) EXPECT_EQ(rig.LitRows(x), std::vector<int>{8}) << x;
}

TEST(SineLinesSettings, LoadRestartsTheCurves) {
  SineRig rig(16, 16);
  rig.Render(5);
  test::LoadWords(rig.gen, {3, 2, 0, 20});
  EXPECT_EQ(std::pair(rig.gen.amplitudeCounter(2), rig.gen.phase(0)), std::pair(6, 0.0f));
}

}  // namespace
}  // namespace quor

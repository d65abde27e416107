#include "generators/sine_lines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "audio/audio_analyzer.h"
#include "core/byte_io.h"
#include "tests/test_support.h"

namespace quor {
namespace {

constexpr Rgb kRed{255, 0, 0};

struct SineRig {
  SineRig(int w, int h) : width(w), height(h), frame(static_cast<size_t>(w) * h * 3, 0) {
    EXPECT_TRUE(sine.Create(w, h));
  }
  void Render() { sine.Render(frame.data(), width, height); }
  Rgb At(int x, int y) const {
    const uint8_t* p = &frame[(static_cast<size_t>(y) * width + x) * 3];
    return {p[0], p[1], p[2]};
  }
  // Rows lit in column x.
  std::vector<int> LitRows(int x) const {
    std::vector<int> rows;
    for (int y = 0; y < height; ++y)
      if (At(x, y) != Rgb{}) rows.push_back(y);
    return rows;
  }
  test::GeneratorHarness harness{5};
  SineLinesGenerator sine{harness.context};
  int width;
  int height;
  std::vector<uint8_t> frame;
};

TEST(SineLinesRender, AmplitudeFollowsATriangleWave) {
  // 5 x 16, one curve, 4 half waves: half = 8, the counter grows by
  // 8 / 4 = 2 per frame and wraps at 32.
  SineRig rig(5, 16);
  rig.sine.SetLines(1);
  rig.Render();
  // Frame 1: counter 0, A = 0: a flat line through row 8.
  for (int x = 0; x < 5; ++x) EXPECT_EQ(rig.LitRows(x), std::vector<int>{8}) << x;
  EXPECT_EQ(rig.At(2, 8), kRed);

  // Frame 2: counter 2, A = 2; phase = 2 * (2 * ((4 * 3.14593f) / 5) * 0.5)
  // = 5.033488 (single precision). y = trunc(sin(x * 3.14593 - 5.033488) * 2
  // + 8): sines 0.949, -0.950, 0.951, -0.953, 0.954 give 9, 6, 9, 6, 9.
  rig.Render();
  EXPECT_FLOAT_EQ(rig.sine.phase(0), 5.0334883f);
  const int expectedY[5] = {9, 6, 9, 6, 9};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(rig.At(x, expectedY[x]), kRed) << x;
  EXPECT_EQ(rig.LitRows(0).front(), 8);  // the line to (1, 6) leaves column 0 at row 8
  EXPECT_TRUE(rig.LitRows(2) == (std::vector<int>{8, 9}));

  // The counter: 0, 3, 6 at the start, +2 per frame, 0 again at 32; the
  // triangle turns at 8 (A = 8) and at 24 (A = -8).
  SineRig counters(5, 16);
  counters.sine.SetLines(3);
  std::vector<int> seen;
  for (int i = 0; i < 17; ++i) {
    counters.Render();
    seen.push_back(counters.sine.amplitudeCounter(0));
  }
  EXPECT_EQ(seen, (std::vector<int>{2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30, 0, 2}));
  // Curve 2 from 3: 5, 7, ..., 31, then 33 passes 32 and restarts at 0
  // (frame 15), 2, 4.
  EXPECT_EQ(counters.sine.amplitudeCounter(1), 4);
}

TEST(SineLinesRender, LowMatricesAndPixelStep) {
  // 6 rows: half / 4 = 0, so the counters keep their start values.
  SineRig low(8, 6);
  low.sine.SetLines(3);
  for (int i = 0; i < 10; ++i) low.Render();
  for (int k = 0; k < 3; ++k) EXPECT_EQ(low.sine.amplitudeCounter(k), 3 * k);

  // PixelStep 2 moves the phase as far in one frame as two frames at 1.
  SineRig one(16, 16);
  SineRig two(16, 16);
  two.harness.pixelStep = 2;
  one.Render();
  one.Render();
  two.Render();
  for (int k = 0; k < 2; ++k) EXPECT_EQ(one.sine.phase(k), two.sine.phase(k));
  EXPECT_GT(one.sine.phase(1), one.sine.phase(0));
}

TEST(SineLinesRender, AudioBandsRiseAtOnceAndDecaySlowly) {
  SineRig rig(16, 16);
  rig.sine.SetAudio(true);
  rig.sine.SetLines(1);
  // A 215 Hz tone lands in the bass bins 2 and 3.
  std::vector<int16_t> tone(2 * kAudioBlockFrames);
  for (int i = 0; i < kAudioBlockFrames; ++i) {
    const auto v = static_cast<int16_t>(20000 * std::sin(2 * 3.141592653589793 * 215.0 * i / kAudioSampleRate));
    tone[2 * static_cast<size_t>(i)] = v;
    tone[2 * static_cast<size_t>(i) + 1] = v;
  }
  ASSERT_TRUE(rig.harness.audio.DeliverBlock(tone.data()));
  rig.Render();
  const int loud = rig.sine.bandAmplitude(0);
  ASSERT_GT(loud, 0);
  EXPECT_GT(rig.LitRows(0).size() + rig.LitRows(8).size(), 2u);

  // Silence: the amplitude falls to (b + (0 + b) / 2) / 2 per frame, then to 0.
  const std::vector<int16_t> silence(2 * kAudioBlockFrames, 0);
  ASSERT_TRUE(rig.harness.audio.DeliverBlock(silence.data()));
  rig.Render();
  EXPECT_EQ(rig.sine.bandAmplitude(0), (loud + loud / 2) / 2);
  for (int i = 0; i < 60; ++i) {
    rig.harness.audio.DeliverBlock(silence.data());
    rig.Render();
  }
  // Back at 0 every curve is flat on row H / 2.
  EXPECT_EQ(rig.sine.bandAmplitude(0), 0);
  for (int x = 0; x < 16; ++x) EXPECT_EQ(rig.LitRows(x), std::vector<int>{8}) << x;
}

TEST(SineLinesSettings, RoundTripRepairsAndLifecycle) {
  SineRig rig(16, 16);
  rig.sine.SetLines(3);
  rig.sine.SetWaves(7);
  rig.sine.SetAudio(true);
  rig.sine.SetGain(33);
  rig.sine.SetColor(0, {1, 2, 3});
  rig.sine.SetColor(1, {4, 5, 6});
  rig.sine.SetColor(2, {7, 8, 9});
  SettingsBlock block;
  block.fill(0x77);
  rig.sine.ExchangeSettings(block, SettingsDirection::kStore);
  // lines, width (half waves), audio, gain, then red, green, blue of curves 1..3.
  const uint8_t expected[53] = {3, 0, 0, 0, 7, 0, 0, 0, 1, 0, 0, 0, 33, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0,
                                0, 4, 0, 0, 0, 5, 0, 0, 0, 6, 0, 0, 0, 7,  0, 0, 0, 8, 0, 0, 0, 9, 0, 0, 0, 0x77};
  EXPECT_EQ(0, std::memcmp(block.data(), expected, sizeof(expected)));

  // A load puts the counters back to 0, 3, 6 and the phases to 0.
  SineRig loaded(16, 16);
  for (int i = 0; i < 5; ++i) loaded.Render();
  loaded.sine.ExchangeSettings(block, SettingsDirection::kLoad);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(loaded.sine.amplitudeCounter(k), 3 * k);
  EXPECT_EQ(loaded.sine.phase(0), 0.0f);
  SettingsBlock again;
  again.fill(0x77);
  loaded.sine.ExchangeSettings(again, SettingsDirection::kStore);
  EXPECT_EQ(block, again);

  // Damage: a huge gain would overflow the band amplitudes; more than three
  // lines draw three.
  ByteWriter out(block);
  for (int32_t word : {9, 2, 0, 2000000000}) out.PutI32(word);
  loaded.sine.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(loaded.sine.gain(), 50);
  loaded.Render();
  EXPECT_EQ(loaded.sine.lines(), 3);

  loaded.sine.Destroy();
  EXPECT_EQ(loaded.sine.busyState(), BusyStatus::kDestroyed);
  std::fill(loaded.frame.begin(), loaded.frame.end(), uint8_t{4});
  loaded.Render();
  EXPECT_EQ(loaded.At(0, 0), (Rgb{4, 4, 4}));
}

}  // namespace
}  // namespace quor

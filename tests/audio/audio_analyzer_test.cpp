// The fixed-point transform against a direct transform, the gain control,
// the 16-bit overflow rules, the block hand-over and the trigger level.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "audio/audio_analyzer.h"

namespace quor {
namespace {

using Spectrum = std::array<int16_t, kSpectrumBins>;
using Block = std::array<int16_t, kAudioChannels * kAudioBlockFrames>;

// An impulse at frame 0, or a block filled with `left` if `constant`.
Block Impulse(int16_t left, int16_t right = 0, bool constant = false) {
  Block block{};
  if (constant) block.fill(left);
  block[0] = left;
  block[1] = constant ? left : right;
  return block;
}
Spectrum Filled(int16_t value) {
  Spectrum s;
  s.fill(value);
  return s;
}
Spectrum Analyse(AudioAnalyzer& analyzer, const Block& block) {
  EXPECT_TRUE(analyzer.DeliverBlock(block.data()));
  Spectrum out{};
  analyzer.GetSpectrum(out.data());
  return out;
}

TEST(FixedPointFft, MatchesDirectTransformWithinRounding) {
  std::mt19937 generator(7);
  std::uniform_int_distribution<int> sample(-16000, 16000);
  for (int order : {1, 4, 10}) {
    const int n = 1 << order;
    std::vector<int16_t> in(2 * static_cast<size_t>(n));
    for (auto& v : in) v = static_cast<int16_t>(sample(generator));
    std::vector<int16_t> re(in.begin(), in.begin() + n), im(in.begin() + n, in.end());
    ASSERT_EQ(FixedPointFft(re.data(), im.data(), order), 0);
    double worst = 0.0;
    for (int k = 0; k < n; ++k) {
      double sumRe = 0.0, sumIm = 0.0;
      for (int t = 0; t < n; ++t) {
        const double a = -2.0 * std::numbers::pi * k * t / n, xr = in[size_t(t)], xi = in[size_t(n + t)];
        sumRe += xr * std::cos(a) - xi * std::sin(a);
        sumIm += xr * std::sin(a) + xi * std::cos(a);
      }
      worst = std::max({worst, std::abs(re[size_t(k)] - sumRe / n), std::abs(im[size_t(k)] - sumIm / n)});
    }
    // Truncation costs up to about 10 LSB over 10 stages; a wrong twiddle
    // or ordering would be off by thousands.
    EXPECT_LE(worst, 12.0) << "order " << order;
  }
}

TEST(FixedPointFft, RoundingWrapAndRefusals) {
  EXPECT_EQ(FixedPointSineTable()[513], -201);  // -201.05 truncates toward zero
  // (16383 * 200) >> 15 = 99, 1000 >> 1 = 500: {599, 401}; negatives shift
  // toward minus infinity: {-600, -400}.
  int16_t re[4] = {1000, 200, -1000, -200}, im[4] = {};
  ASSERT_EQ(FixedPointFft(re, im, 1), 0);
  ASSERT_EQ(FixedPointFft(re + 2, im + 2, 1), 0);
  EXPECT_EQ(std::vector<int16_t>(re, re + 4), (std::vector<int16_t>{599, 401, -600, -400}));
  // Bin 7's imaginary part is 33761 exactly and its store wraps to -31775.
  int16_t wrapRe[8] = {-32768, 32767, 32767, 32767, -32768, -32768, -32768, -32768};
  int16_t wrapIm[8] = {32767, 32767, -32768, -32768, -32768, -32768, -32768, -32768};
  ASSERT_EQ(FixedPointFft(wrapRe, wrapIm, 3), 0);
  EXPECT_EQ(wrapRe[7], -5793);
  EXPECT_EQ(wrapIm[7], -31775);
  // Orders outside 0..10 are refused and leave the data alone.
  EXPECT_EQ(FixedPointFft(re, im, 11), -1);
  EXPECT_EQ(FixedPointFft(re, im, -1), -1);
  EXPECT_EQ(re[1], 401);
}

TEST(AudioAnalyzer, HandsEachBlockToExactlyOneAnalysis) {
  AudioAnalyzer analyzer;
  analyzer.agcEnabled = 0;
  Spectrum out = Filled(7);
  analyzer.GetSpectrum(out.data());
  EXPECT_EQ(out, Filled(0)) << "before the first block";
  EXPECT_EQ(Analyse(analyzer, Impulse(16384, 16384)), Filled(32));  // halved 9 times
  // While a block waits, newer ones are refused.
  EXPECT_TRUE(analyzer.DeliverBlock(Impulse(8192, 8192).data()));
  EXPECT_FALSE(analyzer.DeliverBlock(Impulse(16384, 16384).data()));
  analyzer.GetSpectrum(out.data());
  EXPECT_EQ(out, Filled(16));
  // Mono mixing truncates toward zero: (-16385 - 16384) / 2 = -16384 -> 32.
  EXPECT_EQ(Analyse(analyzer, Impulse(-16385, -16384)), Filled(32));
}

TEST(AudioAnalyzer, GainControlClimbsSlowlyFallsAtOnceAndSaturates) {
  AudioAnalyzer analyzer;
  const Block silence{};
  // Silence asks for the cap 5: (5 + 49 * 1) / 50 = 1.08, then 1.1584.
  EXPECT_EQ(Analyse(analyzer, silence), Filled(0));
  EXPECT_EQ(analyzer.AgcGain(), 1.08f);
  Analyse(analyzer, silence);
  analyzer.GetSpectrum(Filled(0).data());  // no block: no step
  EXPECT_FLOAT_EQ(analyzer.AgcGain(), 1.1584f);
  for (int i = 0; i < 300; ++i) Analyse(analyzer, silence);
  EXPECT_GT(analyzer.AgcGain(), 4.99f);
  EXPECT_LE(analyzer.AgcGain(), 5.0f);
  // Constant 16384: the gain drops in one step to 0.1 * 32767 / 16384.
  EXPECT_NEAR(Analyse(analyzer, Impulse(16384, 0, true))[0], 3276, 12);
  EXPECT_FLOAT_EQ(analyzer.AgcGain(), 0.1f * 32767.0f / 16384.0f);
  // Impulse: gain (4.5254 + 49 * 0.19999) / 50 = 0.2865 -> 4694 / 512 = 9.
  EXPECT_EQ(Analyse(analyzer, Impulse(16384, 16384)), Filled(9));

  AudioAnalyzer off, overflow;
  off.agcEnabled = 0;
  EXPECT_EQ(Analyse(off, Impulse(16384, 16384)), Filled(32));
  EXPECT_EQ(off.AgcGain(), 1.0f);
  // 32767 * 1.0253 = 33594 is outside 16 bits and becomes -32768 (not
  // 32767, not wrapped): -32768 / 512 = -64, magnitude 64.
  EXPECT_EQ(Analyse(overflow, Impulse(32767, 32767)), Filled(64));
}

TEST(AudioAnalyzer, TriggerLevelAnalysesTheWaitingBlockAndWatchesBinsAboveTheBand) {
  AudioAnalyzer analyzer;
  analyzer.agcEnabled = 0;
  AudioTrigger trigger{1200, 50, 0, 0, 1};
  EXPECT_TRUE(analyzer.AudioTriggerActive(trigger));  // level 0 >= 0
  // Constant 8192 lands in bin 0, which band 0 (bin 1) must not see; the
  // trigger analyses the waiting block itself and frees the slot.
  ASSERT_TRUE(analyzer.DeliverBlock(Impulse(8192, 0, true).data()));
  EXPECT_LT(analyzer.TriggerLevel(trigger), 8);
  EXPECT_TRUE(analyzer.DeliverBlock(Impulse(16384, 16384).data()));
  trigger.threshold = 32;  // level 32 == threshold fires
  EXPECT_TRUE(analyzer.AudioTriggerActive(trigger));
  trigger.threshold = 33;
  EXPECT_FALSE(analyzer.AudioTriggerActive(trigger));
}

}  // namespace
}  // namespace quor

// The spectrum analysis on blocks handed in through DeliverBlock: the
// fixed-point transform against a direct transform, the gain control, the
// 16-bit overflow rules, the block hand-over and the trigger level.
#include <gtest/gtest.h>

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

Block ImpulseBlock(int16_t left, int16_t right) {
  Block block{};
  block[0] = left;
  block[1] = right;
  return block;
}

Block ConstantBlock(int16_t value) {
  Block block;
  block.fill(value);
  return block;
}

Spectrum Analyse(AudioAnalyzer& analyzer, const Block& block) {
  EXPECT_TRUE(analyzer.DeliverBlock(block.data()));
  Spectrum out{};
  analyzer.GetSpectrum(out.data());
  return out;
}

Spectrum Filled(int16_t value) {
  Spectrum s;
  s.fill(value);
  return s;
}

// Largest difference, over all bins, between the fixed-point transform and
// the exact DFT of the same input divided by n.
double MaxErrorAgainstDft(const std::vector<int16_t>& inputRe, const std::vector<int16_t>& inputIm, int order) {
  const int n = 1 << order;
  std::vector<int16_t> re = inputRe;
  std::vector<int16_t> im = inputIm;
  EXPECT_EQ(FixedPointFft(re.data(), im.data(), order), 0);
  double worst = 0.0;
  for (int k = 0; k < n; ++k) {
    double sumRe = 0.0;
    double sumIm = 0.0;
    for (int t = 0; t < n; ++t) {
      const double angle = -2.0 * std::numbers::pi * k * t / n;
      sumRe += inputRe[static_cast<size_t>(t)] * std::cos(angle) - inputIm[static_cast<size_t>(t)] * std::sin(angle);
      sumIm += inputRe[static_cast<size_t>(t)] * std::sin(angle) + inputIm[static_cast<size_t>(t)] * std::cos(angle);
    }
    worst = std::max(worst, std::abs(re[static_cast<size_t>(k)] - sumRe / n));
    worst = std::max(worst, std::abs(im[static_cast<size_t>(k)] - sumIm / n));
  }
  return worst;
}

TEST(FixedPointFft, MatchesDirectTransformWithinRounding) {
  std::mt19937 generator(7);
  std::uniform_int_distribution<int> sample(-16000, 16000);
  for (int order : {1, 4, 9, 10}) {
    const size_t n = size_t{1} << order;
    std::vector<int16_t> re(n);
    std::vector<int16_t> im(n);
    for (size_t i = 0; i < n; ++i) {
      re[i] = static_cast<int16_t>(sample(generator));
      im[i] = static_cast<int16_t>(sample(generator));
    }
    // Every stage truncates its halving and its Q15 products (always
    // downward), so up to about 10 LSB per bin build up over 9 or 10 stages;
    // a wrong twiddle or ordering would be off by thousands.
    EXPECT_LE(MaxErrorAgainstDft(re, im, order), 12.0) << "random input, order " << order;

    std::vector<int16_t> tone(n);
    for (size_t t = 0; t < n; ++t) {
      tone[t] = static_cast<int16_t>(30000.0 * std::sin(2.0 * std::numbers::pi * 3.0 * static_cast<double>(t) /
                                                        static_cast<double>(n)));
    }
    EXPECT_LE(MaxErrorAgainstDft(tone, std::vector<int16_t>(n), order), 12.0) << "sine, order " << order;
  }
}

TEST(FixedPointFft, HandComputedCasesAndRefusals) {
  // The sine table truncates toward zero: 32767 * sin(2 pi / 1024) =
  // 201.05 -> 201 and its mirror -201.05 -> -201 (not -202).
  const auto& sine = FixedPointSineTable();
  EXPECT_EQ(sine[0], 0);
  EXPECT_EQ(sine[1], 201);
  EXPECT_EQ(sine[128], 23169);  // 32767 * 0.70711 = 23169.77
  EXPECT_EQ(sine[256], 32767);
  EXPECT_EQ(sine[512], 0);
  EXPECT_EQ(sine[513], -201);
  EXPECT_EQ(sine[768], -32767);

  // Two points: wr = 32767 >> 1 = 16383, wi = 0. tr = (16383 * 200) >> 15 =
  // 3276600 / 32768 = 99.99 -> 99; qr = 1000 >> 1 = 500: {599, 401}.
  int16_t re[2] = {1000, 200};
  int16_t im[2] = {0, 0};
  ASSERT_EQ(FixedPointFft(re, im, 1), 0);
  EXPECT_EQ(re[0], 599);
  EXPECT_EQ(re[1], 401);
  // Negative values shift arithmetically (toward minus infinity):
  // (16383 * -200) >> 15 = -100, -1000 >> 1 = -500: {-600, -400}.
  int16_t negRe[2] = {-1000, -200};
  int16_t negIm[2] = {0, 0};
  ASSERT_EQ(FixedPointFft(negRe, negIm, 1), 0);
  EXPECT_EQ(negRe[0], -600);
  EXPECT_EQ(negRe[1], -400);

  // An impulse of 16384 at index 0 is halved nine times and appears as
  // 16384 / 512 = 32 in every bin, with no imaginary part.
  std::vector<int16_t> impulseRe(512);
  std::vector<int16_t> impulseIm(512);
  impulseRe[0] = 16384;
  ASSERT_EQ(FixedPointFft(impulseRe.data(), impulseIm.data(), 9), 0);
  for (size_t k = 0; k < 512; ++k) {
    ASSERT_EQ(impulseRe[k], 32) << "bin " << k;
    ASSERT_EQ(impulseIm[k], 0) << "bin " << k;
  }

  // Full-scale complex input whose bin 7 is -5793 + 33761i exactly: the
  // imaginary part does not fit 16 bits and its store wraps to
  // 33761 - 65536 = -31775; the other bins are the DFT / 8 within rounding.
  int16_t wrapRe[8] = {-32768, 32767, 32767, 32767, -32768, -32768, -32768, -32768};
  int16_t wrapIm[8] = {32767, 32767, -32768, -32768, -32768, -32768, -32768, -32768};
  ASSERT_EQ(FixedPointFft(wrapRe, wrapIm, 3), 0);
  const int16_t expectedRe[8] = {-8192, 5790, 0, 5791, -8192, -5792, -16384, -5793};
  const int16_t expectedIm[8] = {-16384, -5793, 8191, -995, 0, 5793, 8191, -31775};
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(wrapRe[k], expectedRe[k]) << "bin " << k;
    EXPECT_EQ(wrapIm[k], expectedIm[k]) << "bin " << k;
  }

  // Orders outside 0..10 are refused and leave the data alone.
  int16_t keepRe[4] = {1, 2, 3, 4};
  int16_t keepIm[4] = {5, 6, 7, 8};
  EXPECT_EQ(FixedPointFft(keepRe, keepIm, 11), -1);
  EXPECT_EQ(FixedPointFft(keepRe, keepIm, -1), -1);
  EXPECT_EQ(keepRe[1], 2);
  EXPECT_EQ(keepIm[3], 8);
}

TEST(AudioAnalyzer, HandsEachBlockToExactlyOneAnalysis) {
  AudioAnalyzer analyzer;
  analyzer.agcEnabled = 0;
  Spectrum out = Filled(7);
  analyzer.GetSpectrum(out.data());
  EXPECT_EQ(out, Filled(0)) << "before the first block";

  // While a filled block waits, newer blocks are refused: the analysis sees
  // the first one (impulse 16384 -> 32 in every bin), not the second.
  const Block first = ImpulseBlock(16384, 16384);
  const Block second = ImpulseBlock(8192, 8192);
  EXPECT_TRUE(analyzer.DeliverBlock(first.data()));
  EXPECT_FALSE(analyzer.DeliverBlock(second.data()));
  analyzer.GetSpectrum(out.data());
  EXPECT_EQ(out, Filled(32));

  // No new block: the same result again, without a new analysis.
  Spectrum again{};
  analyzer.GetSpectrum(again.data());
  EXPECT_EQ(again, out);

  // The block is queued again after the analysis.
  EXPECT_EQ(Analyse(analyzer, second), Filled(16));

  // Mono mixing truncates toward zero: (-16385 + -16384) / 2 = -16384,
  // which halves nine times to exactly -32 (magnitude 32). Rounding toward
  // minus infinity would give -16385 and -33.
  EXPECT_EQ(Analyse(analyzer, ImpulseBlock(-16385, -16384)), Filled(32));
}

TEST(AudioAnalyzer, GainControlClimbsSlowlyAndFallsAtOnce) {
  AudioAnalyzer analyzer;
  EXPECT_EQ(analyzer.AgcGain(), 1.0f);
  const Block silence{};
  // Silence asks for the cap 5: (5 + 49 * 1) / 50 = 1.08, then
  // (5 + 49 * 1.08) / 50 = 1.1584; the spectrum stays all zero.
  EXPECT_EQ(Analyse(analyzer, silence), Filled(0));
  EXPECT_EQ(analyzer.AgcGain(), 1.08f);
  EXPECT_EQ(Analyse(analyzer, silence), Filled(0));
  EXPECT_FLOAT_EQ(analyzer.AgcGain(), 1.1584f);
  Spectrum unchanged{};
  analyzer.GetSpectrum(unchanged.data());  // no block: no step
  EXPECT_FLOAT_EQ(analyzer.AgcGain(), 1.1584f);
  for (int i = 0; i < 300; ++i) Analyse(analyzer, silence);
  EXPECT_GT(analyzer.AgcGain(), 4.99f);
  EXPECT_LE(analyzer.AgcGain(), 5.0f);

  // A loud constant 16384: s = 512 * (16384 / 32767)^2, target =
  // sqrt(5.12 / s) = 0.1 * 32767 / 16384 = 0.19999; the gain drops to it in
  // one step and the samples become 16384 * 0.19999 = 3276.7 -> 3276, so
  // bin 0 holds about 3276 (each stage's truncation costs a little).
  const Spectrum loud = Analyse(analyzer, ConstantBlock(16384));
  EXPECT_FLOAT_EQ(analyzer.AgcGain(), 0.1f * 32767.0f / 16384.0f);
  EXPECT_NEAR(loud[0], 3276, 12);

  // A lone impulse of 16384 after that: target = sqrt(5.12 * 32767^2 /
  // 16384^2) = 4.5254 is above the gain, which climbs to
  // (4.5254 + 49 * 0.19999) / 50 = 0.2865; 16384 * 0.2865 = 4694 -> bins
  // 4694 / 512 = 9.17 -> 9.
  EXPECT_EQ(Analyse(analyzer, ImpulseBlock(16384, 16384)), Filled(9));
}

TEST(AudioAnalyzer, GainSwitchAndSixteenBitOverflow) {
  // With the gain control off the impulse reaches the transform unscaled
  // (32 per bin) and the gain is never touched.
  AudioAnalyzer off;
  off.agcEnabled = 0;
  EXPECT_EQ(Analyse(off, ImpulseBlock(16384, 16384)), Filled(32));
  EXPECT_EQ(off.AgcGain(), 1.0f);

  // On, the first impulse is scaled: target = sqrt(5.12) * 32767 / 16384 =
  // 4.5254, gain = (4.5254 + 49) / 50 = 1.0705, 16384 * 1.0705 = 17539 ->
  // 17539 / 512 = 34.3 -> 34.
  AudioAnalyzer on;
  EXPECT_EQ(Analyse(on, ImpulseBlock(16384, 16384)), Filled(34));

  // A full-scale impulse: gain (sqrt(5.12) + 49) / 50 = 1.0253 makes
  // 32767 * 1.0253 = 33594, outside 16 bits, so the sample becomes -32768
  // (not 32767, not a wrapped 33594 - 65536): -32768 / 512 = -64 in every
  // bin, magnitude 64.
  AudioAnalyzer overflow;
  EXPECT_EQ(Analyse(overflow, ImpulseBlock(32767, 32767)), Filled(64));
}

TEST(AudioAnalyzer, TriggerLevelWatchesBinsAboveTheBand) {
  AudioAnalyzer analyzer;
  analyzer.agcEnabled = 0;

  // Silence, no block at all: level 0, so only a threshold of 0 fires.
  AudioTrigger trigger;
  trigger.lowBand = 0;
  trigger.highBand = 1;
  trigger.threshold = 0;
  EXPECT_EQ(analyzer.TriggerLevel(trigger), 0);
  EXPECT_TRUE(analyzer.AudioTriggerActive(trigger));
  trigger.threshold = 1;
  EXPECT_FALSE(analyzer.AudioTriggerActive(trigger));

  // The trigger analyses a waiting block itself and queues it again.
  // Constant 8192 goes (nearly) all into bin 0, which band 0 (bin 1) must
  // not see.
  const Block constant = ConstantBlock(8192);
  ASSERT_TRUE(analyzer.DeliverBlock(constant.data()));
  EXPECT_LT(analyzer.TriggerLevel(trigger), 8);  // rounding leftovers only
  EXPECT_TRUE(analyzer.DeliverBlock(constant.data()));
  Spectrum dc{};
  analyzer.GetSpectrum(dc.data());
  EXPECT_GT(dc[0], 8000);

  // Impulse: 32 in every bin. A level equal to the threshold fires.
  const Block impulse = ImpulseBlock(16384, 16384);
  ASSERT_TRUE(analyzer.DeliverBlock(impulse.data()));
  trigger.threshold = 32;
  EXPECT_TRUE(analyzer.AudioTriggerActive(trigger));
  trigger.threshold = 33;
  EXPECT_FALSE(analyzer.AudioTriggerActive(trigger));

  // An empty range gives level 0; so do bands that lie beyond the
  // spectrum, even in a damaged record.
  trigger.lowBand = 5;
  trigger.highBand = 4;
  EXPECT_EQ(analyzer.TriggerLevel(trigger), 0);
  trigger.lowBand = 2147483647;
  trigger.highBand = 2147483647;
  EXPECT_EQ(analyzer.TriggerLevel(trigger), 0);
  trigger.lowBand = -2147483647 - 1;
  trigger.highBand = 2147483647;
  EXPECT_EQ(analyzer.TriggerLevel(trigger), 32);
}

}  // namespace
}  // namespace quor

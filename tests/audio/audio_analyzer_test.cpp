// The fixed-point transform, gain control, 16-bit overflow, block hand-over and
// trigger level; the trigger record and the setup dialog's arithmetic.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "audio/audio_analyzer.h"
#include "audio/audio_trigger_setup.h"

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
    // Truncation costs about 10 LSB over 10 stages; a wrong twiddle thousands.
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
  EXPECT_EQ(std::pair(wrapRe[7], wrapIm[7]), std::pair(int16_t{-5793}, int16_t{-31775}));
  // Orders outside 0..10 are refused and leave the data alone.
  EXPECT_EQ(FixedPointFft(re, im, 11) + FixedPointFft(re, im, -1), -2);
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
  EXPECT_TRUE(analyzer.AgcGain() > 4.99f && analyzer.AgcGain() <= 5.0f) << analyzer.AgcGain();
  // Constant 16384: the gain drops in one step to 0.1 * 32767 / 16384.
  EXPECT_NEAR(Analyse(analyzer, Impulse(16384, 0, true))[0], 3276, 12);
  EXPECT_FLOAT_EQ(analyzer.AgcGain(), 0.1f * 32767.0f / 16384.0f);
  // Impulse: gain (4.5254 + 49 * 0.19999) / 50 = 0.2865 -> 4694 / 512 = 9.
  EXPECT_EQ(Analyse(analyzer, Impulse(16384, 16384)), Filled(9));

  AudioAnalyzer overflow;
  // 32767 * 1.0253 = 33594 becomes -32768 (not clamped, not wrapped): magnitude 64.
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
  EXPECT_FALSE(analyzer.AudioTriggerActive(AudioTrigger{1200, 50, 33, 0, 1}));
}

TEST(AudioTriggerRecord, RoundTripsAndRepairsDamage) {
  const AudioTrigger trigger{1200, 50, 900, 14, 30};
  std::array<uint8_t, 24> bytes;
  bytes.fill(0xEE);  // the last word lies past the record and stays
  ByteWriter writer(bytes);
  PutAudioTrigger(writer, trigger);
  ASSERT_TRUE(writer.ok());
  EXPECT_EQ(bytes, (std::array<uint8_t, 24>{0xB0, 4, 0, 0, 50, 0, 0, 0, 0x84, 3, 0, 0, 14, 0, 0, 0, 30, 0, 0, 0, 0xEE,
                                            0xEE, 0xEE, 0xEE}));
  ByteReader reader(bytes);
  EXPECT_EQ(GetAudioTrigger(reader), trigger);
  EXPECT_EQ(reader.position(), kAudioTriggerBytes);
  // {stored, after}: valid records stay; values are clamped; crossed bands become 14..30.
  const AudioTrigger cases[][2] = {{{7000, 0, -5, 0, 178}, {7000, 0, -5, 0, 178}},
                                   {{0, 250, 12345, -3, 999}, {10, 100, 12345, 0, 178}},
                                   {{1200, 50, 600, 90, 40}, {1200, 50, 600, 14, 30}}};
  for (const auto& c : cases) {
    AudioTrigger t = c[0];
    EXPECT_EQ(RepairAudioTrigger(t), c[0] != c[1]);
    EXPECT_EQ(t, c[1]);
  }
}

// The widget test shows the sliders reach these rules; here are ends and truncations.
TEST(AudioTriggerSetup, SliderArithmeticAndBandSnapBack) {
  AudioTrigger trigger;  // gain 1200, 50 %, stored threshold 900, bands 14..30
  // {gain slider?, position, gain, percent, threshold}: the gain slider runs
  // right = lower gain; positions past the ends are taken at the ends.
  const int moves[][5] = {{1, 6677, 333, 50, 166},  // 166.5 -> 166
                          {0, 0, 333, 0, 0}, {1, 9000, 10, 0, 0}, {1, -5, 7000, 0, 0}, {0, 250, 7000, 100, 7000}};
  for (const auto& m : moves) {
    m[0] != 0 ? MoveGainSlider(trigger, m[1]) : MoveThreshSlider(trigger, m[1]);
    EXPECT_EQ((std::array{trigger.gain, trigger.thresholdPercent, trigger.threshold}), (std::array{m[2], m[3], m[4]}))
        << m[1];
  }
  // {low slider?, position, result, low, high}: Low onto or above Hi and Hi
  // onto or below Low snap back.
  const int bands[][5] = {{1, 30, 14, 14, 30}, {1, 29, 29, 29, 30},     {0, 29, 30, 29, 30},
                          {0, 178, 178, 29, 178}, {1, 0, 0, 0, 178}, {0, 1, 1, 0, 1}};
  for (const auto& b : bands) {
    EXPECT_EQ(b[0] != 0 ? MoveLowSlider(trigger, b[1]) : MoveHiSlider(trigger, b[1]), b[2]) << b[1];
    EXPECT_EQ((std::array{trigger.lowBand, trigger.highBand}), (std::array{b[3], b[4]})) << b[1];
    EXPECT_EQ(LowSliderSelection(trigger), (SliderRange{0, b[4]}));
    EXPECT_EQ(HiSliderSelection(trigger), (SliderRange{b[3], 178}));
  }
  EXPECT_EQ(BandText(AudioTrigger{1200, 50, 900, 177, 178}), "15308 - 15394 Hz");
}

TEST(AudioTriggerSetup, MeterBarsShareOneScaleAndWatchBandsOneBinUp) {
  // {gain, percent, level, h, t}: h = level * 106 / gain, t = percent * 106 /
  // 100, both capped at 106; gain 0 and a huge percentage neither divide by
  // zero nor overflow; level == threshold fires.
  const int cases[][5] = {{1200, 50, 600, 53, 53}, {1200, 50, 599, 52, 53}, {1200, 50, 32767, 106, 53},
                          {1200, 99, 0, 0, 104},   {0, INT_MAX, 32767, 106, 106}};
  for (const auto& c : cases) {
    const TriggerMeter m = ComputeTriggerMeter(AudioTrigger{c[0], c[1], 600, 0, 1}, c[2]);
    EXPECT_EQ((std::array{m.levelHeight, m.thresholdHeight}), (std::array{c[3], c[4]})) << c[2];
    EXPECT_EQ(m.firing, c[2] >= 600);
    EXPECT_EQ(m.thresholdColor, c[2] >= 600 ? kMeterFiringColor : kMeterQuietColor);
  }
  Spectrum spectrum{};
  spectrum[0] = 30000;   // DC: never watched
  spectrum[1] = 100;     // band 0
  spectrum[2] = -32768;  // band 1: a wrapped magnitude never counts
  spectrum[3] = 700;     // band 2
  spectrum[255] = 1200;  // band 254: past every valid high band
  // {low, high, level}: inclusive; a damaged range reads nothing outside the spectrum.
  const int bands[][3] = {{0, 1, 100},    {1, 1, 0},       {0, 2, 700},           {2, 0, 0},
                          {-9, 178, 700}, {0, 9999, 1200}, {INT_MAX, INT_MAX, 0}, {INT_MIN, INT_MAX, 1200}};
  for (const auto& b : bands) {
    const AudioTrigger trigger{1200, 50, 600, b[0], b[1]};
    EXPECT_EQ(TriggerBandLevel(spectrum, trigger), b[2]) << b[0] << ".." << b[1];
    EXPECT_EQ(MeterForSpectrum(spectrum, trigger), ComputeTriggerMeter(trigger, b[2]));
  }
}

}  // namespace
}  // namespace quor

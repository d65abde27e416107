// The trigger record in a settings block and the setup dialog's rules:
// slider arithmetic, band snap-back, band text and the level meter.
#include <gtest/gtest.h>

#include <array>
#include <climits>

#include "audio/audio_analyzer.h"
#include "audio/audio_trigger_setup.h"

namespace quor {
namespace {

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
  // {stored, after}: a valid record keeps even a threshold no slider
  // produced; values are clamped; crossed bands fall back to 14..30.
  const AudioTrigger cases[][2] = {{{7000, 0, -5, 0, 178}, {7000, 0, -5, 0, 178}},
                                   {{0, 250, 12345, -3, 999}, {10, 100, 12345, 0, 178}},
                                   {{1200, 50, 600, 90, 40}, {1200, 50, 600, 14, 30}}};
  for (const auto& c : cases) {
    AudioTrigger t = c[0];
    EXPECT_EQ(RepairAudioTrigger(t), c[0] != c[1]);
    EXPECT_EQ(t, c[1]);
  }
}

TEST(AudioTriggerSetup, SliderArithmeticAndBandSnapBack) {
  AudioTrigger trigger;  // gain 1200, 50 %, stored threshold 900, bands 14..30
  EXPECT_EQ(GainSliderPosition(trigger), 5810);
  EXPECT_EQ(BandText(trigger), "1290 - 2666 Hz");
  // {gain slider?, position, gain, percent, threshold}: the gain slider runs
  // right = lower gain; positions past the ends are taken at the ends.
  const int moves[][5] = {{0, 50, 1200, 50, 600}, {1, 6677, 333, 50, 166},  // 166.5 -> 166
                          {0, 0, 333, 0, 0},      {0, 100, 333, 100, 333}, {1, 9000, 10, 100, 10},
                          {1, -5, 7000, 100, 7000}, {0, 250, 7000, 100, 7000}};
  for (const auto& m : moves) {
    m[0] != 0 ? MoveGainSlider(trigger, m[1]) : MoveThreshSlider(trigger, m[1]);
    EXPECT_EQ((std::array{trigger.gain, trigger.thresholdPercent, trigger.threshold}), (std::array{m[2], m[3], m[4]}))
        << m[1];
  }
  // {low slider?, position, result, low, high}: Low onto or above Hi and Hi
  // onto or below Low snap back.
  const int bands[][5] = {{1, 30, 14, 14, 30},     {1, 100, 14, 14, 30},    {1, 29, 29, 29, 30},
                          {0, 29, 30, 29, 30},     {0, 3, 30, 29, 30},      {0, 178, 178, 29, 178},
                          {0, 179, 178, 29, 178},  {1, 0, 0, 0, 178},       {0, 1, 1, 0, 1}};
  for (const auto& b : bands) {
    EXPECT_EQ(b[0] != 0 ? MoveLowSlider(trigger, b[1]) : MoveHiSlider(trigger, b[1]), b[2]) << b[1];
    EXPECT_EQ((std::array{trigger.lowBand, trigger.highBand}), (std::array{b[3], b[4]})) << b[1];
    EXPECT_EQ(LowSliderSelection(trigger), (SliderRange{0, b[4]}));
    EXPECT_EQ(HiSliderSelection(trigger), (SliderRange{b[3], 178}));
  }
  EXPECT_EQ(BandText(trigger), "86 - 172 Hz");
  EXPECT_EQ(BandText(AudioTrigger{1200, 50, 900, 177, 178}), "15308 - 15394 Hz");
}

TEST(AudioTriggerSetup, MeterBarsShareOneScale) {
  // {gain, percent, level, h, t}: h = level * 106 / gain, t = percent * 106 /
  // 100, both capped at 106; gain 0 and a huge percentage neither divide by
  // zero nor overflow.
  const int cases[][5] = {{1200, 50, 600, 53, 53}, {1200, 50, 599, 52, 53}, {1200, 50, 32767, 106, 53},
                          {1200, 99, 0, 0, 104},   {0, INT_MAX, 32767, 106, 106}};
  for (const auto& c : cases) {
    const TriggerMeter m = ComputeTriggerMeter(AudioTrigger{c[0], c[1], 600, 0, 1}, c[2]);
    EXPECT_EQ((std::array{m.levelHeight, m.thresholdHeight}), (std::array{c[3], c[4]})) << c[2];
  }
  AudioTrigger trigger{1200, 50, 600, 0, 1};
  const TriggerMeter at = ComputeTriggerMeter(trigger, 600), below = ComputeTriggerMeter(trigger, 599);
  EXPECT_TRUE(at.firing);  // level == threshold fires
  EXPECT_EQ(at.thresholdColor, kMeterFiringColor);
  EXPECT_EQ(LevelBarRect(at), (DialogRect{150, 67, 161, 120}));
  EXPECT_EQ(ThresholdBarRect(at), (DialogRect{166, 67, 169, 120}));
  EXPECT_FALSE(below.firing);
  EXPECT_EQ(below.thresholdColor, kMeterQuietColor);

  // The timer tick reads a fresh level: silence 0, an impulse 32 per bin.
  AudioAnalyzer analyzer;
  analyzer.agcEnabled = 0;
  EXPECT_EQ(ReadTriggerMeter(analyzer, trigger), ComputeTriggerMeter(trigger, 0));
  std::array<int16_t, kAudioChannels * kAudioBlockFrames> impulse{};
  impulse[0] = impulse[1] = 16384;
  ASSERT_TRUE(analyzer.DeliverBlock(impulse.data()));
  EXPECT_EQ(ReadTriggerMeter(analyzer, trigger), ComputeTriggerMeter(trigger, 32));
}

TEST(AudioTriggerSetup, MeterFromASpectrumWatchesBandsOneBinUp) {
  std::array<int16_t, kSpectrumBins> spectrum{};
  spectrum[0] = 30000;  // DC: never watched
  spectrum[1] = 100;    // band 0
  spectrum[2] = -32768; // band 1: a wrapped magnitude never counts
  spectrum[3] = 700;    // band 2
  spectrum[255] = 1200; // band 254: past every valid high band
  // {low, high, level}: the range is inclusive; a damaged range reads
  // nothing outside the spectrum.
  const int cases[][3] = {{0, 1, 100},    {1, 1, 0},       {0, 2, 700},           {2, 0, 0},
                          {-9, 178, 700}, {0, 9999, 1200}, {INT_MAX, INT_MAX, 0}, {INT_MIN, INT_MAX, 1200}};
  for (const auto& c : cases) {
    const AudioTrigger trigger{1200, 50, 600, c[0], c[1]};
    EXPECT_EQ(TriggerBandLevel(spectrum, trigger), c[2]) << c[0] << ".." << c[1];
    EXPECT_EQ(MeterForSpectrum(spectrum, trigger), ComputeTriggerMeter(trigger, c[2]));
  }
  // 700 of gain 1200 fills 61 of 106; the mark at 50 % turns red (700 >= 600).
  const TriggerMeter meter = MeterForSpectrum(spectrum, AudioTrigger{1200, 50, 600, 0, 2});
  EXPECT_EQ((std::array{meter.levelHeight, meter.thresholdHeight}), (std::array{61, 53}));
  EXPECT_EQ(meter.thresholdColor, kMeterFiringColor);
  // The layout keeps every control inside the 181 x 153 frame.
  for (const TriggerSetupControl& c : kTriggerSetupLayout) {
    EXPECT_LE(c.x + c.width, kTriggerSetupWidth) << c.text;
    EXPECT_LE(c.y + c.height, kTriggerSetupHeight) << c.text;
  }
}

}  // namespace
}  // namespace quor

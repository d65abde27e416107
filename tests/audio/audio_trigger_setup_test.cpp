// The trigger record in a settings block and the setup dialog's rules:
// slider arithmetic, band snap-back, band text and the level meter.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "audio/audio_analyzer.h"
#include "audio/audio_trigger_setup.h"

namespace quor {
namespace {

TEST(AudioTriggerRecord, RoundTripsAndRepairsDamage) {
  AudioTrigger trigger{1200, 50, 900, 14, 30};
  std::array<uint8_t, 24> bytes;
  bytes.fill(0xEE);
  ByteWriter writer(bytes);
  PutAudioTrigger(writer, trigger);
  ASSERT_TRUE(writer.ok());
  const std::array<uint8_t, 24> expected = {
      0xB0, 0x04, 0x00, 0x00,  // gain 1200
      0x32, 0x00, 0x00, 0x00,  // thresholdPercent 50
      0x84, 0x03, 0x00, 0x00,  // threshold 900
      0x0E, 0x00, 0x00, 0x00,  // lowBand 14
      0x1E, 0x00, 0x00, 0x00,  // highBand 30
      0xEE, 0xEE, 0xEE, 0xEE,  // past the record: untouched
  };
  EXPECT_EQ(bytes, expected);
  ByteReader reader(bytes);
  EXPECT_EQ(GetAudioTrigger(reader), trigger);
  EXPECT_EQ(reader.position(), kAudioTriggerBytes);

  // A valid record is left exactly as stored, including a threshold that
  // no slider move produced.
  AudioTrigger valid{7000, 0, -5, 0, 178};
  EXPECT_FALSE(RepairAudioTrigger(valid));
  EXPECT_EQ(valid, (AudioTrigger{7000, 0, -5, 0, 178}));

  AudioTrigger outOfRange{0, 250, 12345, -3, 999};
  EXPECT_TRUE(RepairAudioTrigger(outOfRange));
  EXPECT_EQ(outOfRange, (AudioTrigger{10, 100, 12345, 0, 178}));

  // Bands the dialog could never have produced fall back to 14..30.
  AudioTrigger crossed{1200, 50, 600, 90, 40};
  EXPECT_TRUE(RepairAudioTrigger(crossed));
  EXPECT_EQ(crossed, (AudioTrigger{1200, 50, 600, 14, 30}));
}

TEST(AudioTriggerSetup, GainAndThreshSlidersRecomputeTheThreshold) {
  AudioTrigger trigger;  // gain 1200, 50 %, stored threshold 900
  EXPECT_EQ(GainSliderPosition(trigger), 5810);
  EXPECT_EQ(trigger.threshold, 900);

  MoveThreshSlider(trigger, 50);
  EXPECT_EQ(trigger.threshold, 600);  // 50 * 1200 / 100

  MoveGainSlider(trigger, 7010 - 333);  // slider right = lower gain
  EXPECT_EQ(trigger.gain, 333);
  EXPECT_EQ(trigger.threshold, 166);  // 50 * 333 / 100 = 166.5 -> 166
  EXPECT_EQ(GainSliderPosition(trigger), 6677);

  MoveThreshSlider(trigger, 0);
  EXPECT_EQ(trigger.threshold, 0);
  MoveThreshSlider(trigger, 100);
  EXPECT_EQ(trigger.threshold, 333);

  // Positions beyond the slider ranges are taken at the ends, so the gain
  // can never reach 0 (the meter divides by it).
  MoveGainSlider(trigger, 9000);
  EXPECT_EQ(trigger.gain, 10);
  MoveGainSlider(trigger, -5);
  EXPECT_EQ(trigger.gain, 7000);
  MoveThreshSlider(trigger, 250);
  EXPECT_EQ(trigger.thresholdPercent, 100);
  EXPECT_EQ(trigger.threshold, 7000);
}

TEST(AudioTriggerSetup, BandSlidersSnapBackAndLabelTheRange) {
  AudioTrigger trigger;  // bands 14..30
  EXPECT_EQ(BandText(trigger), "1290 - 2666 Hz");
  EXPECT_EQ(LowSliderSelection(trigger), (SliderRange{0, 30}));
  EXPECT_EQ(HiSliderSelection(trigger), (SliderRange{14, 178}));

  // Low onto or above Hi snaps back to the current low band.
  EXPECT_EQ(MoveLowSlider(trigger, 30), 14);
  EXPECT_EQ(MoveLowSlider(trigger, 100), 14);
  EXPECT_EQ(trigger.lowBand, 14);
  EXPECT_EQ(MoveLowSlider(trigger, 29), 29);
  EXPECT_EQ(trigger.lowBand, 29);
  EXPECT_EQ(HiSliderSelection(trigger), (SliderRange{29, 178}));

  // Hi onto or below Low snaps back to the current high band.
  EXPECT_EQ(MoveHiSlider(trigger, 29), 30);
  EXPECT_EQ(MoveHiSlider(trigger, 3), 30);
  EXPECT_EQ(trigger.highBand, 30);
  EXPECT_EQ(MoveHiSlider(trigger, 178), 178);
  EXPECT_EQ(LowSliderSelection(trigger), (SliderRange{0, 178}));
  EXPECT_EQ(MoveHiSlider(trigger, 179), 178);  // past the slider's end

  EXPECT_EQ(MoveLowSlider(trigger, 0), 0);
  EXPECT_EQ(MoveHiSlider(trigger, 1), 1);
  EXPECT_EQ(BandText(trigger), "86 - 172 Hz");
  trigger.lowBand = 177;
  trigger.highBand = 178;
  EXPECT_EQ(BandText(trigger), "15308 - 15394 Hz");
}

TEST(AudioTriggerSetup, MeterBarsShareOneScale) {
  AudioTrigger trigger{1200, 50, 600, 0, 1};
  // h = level * 106 / gain, t = percent * 106 / 100, both capped at 106.
  TriggerMeter at = ComputeTriggerMeter(trigger, 600);
  EXPECT_EQ(at.levelHeight, 53);  // 600 * 106 / 1200
  EXPECT_EQ(at.thresholdHeight, 53);
  EXPECT_TRUE(at.firing);  // level == threshold fires
  EXPECT_EQ(at.thresholdColor, kMeterFiringColor);
  EXPECT_EQ(LevelBarRect(at), (DialogRect{150, 67, 161, 120}));
  EXPECT_EQ(ThresholdBarRect(at), (DialogRect{166, 67, 169, 120}));

  TriggerMeter below = ComputeTriggerMeter(trigger, 599);
  EXPECT_EQ(below.levelHeight, 52);  // 63494 / 1200 = 52.9 -> 52
  EXPECT_FALSE(below.firing);
  EXPECT_EQ(below.thresholdColor, kMeterQuietColor);

  EXPECT_EQ(ComputeTriggerMeter(trigger, 32767).levelHeight, 106);
  trigger.thresholdPercent = 99;
  EXPECT_EQ(ComputeTriggerMeter(trigger, 0).thresholdHeight, 104);  // 10494 / 100

  // A damaged record (gain 0, percentage far out) draws without dividing
  // by zero or overflowing.
  AudioTrigger damaged{0, 2147483647, 5, 0, 1};
  const TriggerMeter meter = ComputeTriggerMeter(damaged, 32767);
  EXPECT_EQ(meter.levelHeight, 106);
  EXPECT_EQ(meter.thresholdHeight, 106);

  // The timer tick reads a fresh level: silence gives 0 (green mark,
  // threshold 600 not reached); an impulse gives 32 in every bin.
  AudioAnalyzer analyzer;
  analyzer.agcEnabled = 0;
  trigger = AudioTrigger{1200, 50, 600, 0, 1};
  EXPECT_EQ(ReadTriggerMeter(analyzer, trigger), ComputeTriggerMeter(trigger, 0));
  std::array<int16_t, kAudioChannels * kAudioBlockFrames> impulse{};
  impulse[0] = impulse[1] = 16384;
  ASSERT_TRUE(analyzer.DeliverBlock(impulse.data()));
  trigger.threshold = 32;
  const TriggerMeter loud = ReadTriggerMeter(analyzer, trigger);
  EXPECT_EQ(loud.level, 32);
  EXPECT_EQ(loud.levelHeight, 2);  // 32 * 106 / 1200 = 2.8 -> 2
  EXPECT_TRUE(loud.firing);
}

}  // namespace
}  // namespace quor

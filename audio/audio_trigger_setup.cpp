#include "audio/audio_trigger_setup.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <limits>

#include "audio/audio_analyzer.h"

namespace quor {
namespace {

constexpr int64_t kBandWidthHz = 86;
constexpr int kMeterBaseline = 120;

// thresholdPercent * gain / 100 in 64 bits, so a record that was never
// repaired cannot overflow; the result is exact for every in-range record.
int32_t ThresholdFor(const AudioTrigger& trigger) {
  const int64_t threshold = int64_t{trigger.thresholdPercent} * trigger.gain / 100;
  return static_cast<int32_t>(
      std::clamp<int64_t>(threshold, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

int GainSliderPosition(const AudioTrigger& trigger) {
  return kGainSliderSum - std::clamp(trigger.gain, kAudioTriggerMinGain, kAudioTriggerMaxGain);
}

SliderRange LowSliderSelection(const AudioTrigger& trigger) { return {0, trigger.highBand}; }

SliderRange HiSliderSelection(const AudioTrigger& trigger) { return {trigger.lowBand, kAudioTriggerMaxHighBand}; }

void MoveGainSlider(AudioTrigger& trigger, int position) {
  position = std::clamp(position, kGainSliderSum - kAudioTriggerMaxGain, kGainSliderSum - kAudioTriggerMinGain);
  trigger.gain = kGainSliderSum - position;
  trigger.threshold = ThresholdFor(trigger);
}

void MoveThreshSlider(AudioTrigger& trigger, int position) {
  trigger.thresholdPercent = std::clamp(position, 0, kAudioTriggerMaxPercent);
  trigger.threshold = ThresholdFor(trigger);
}

int MoveLowSlider(AudioTrigger& trigger, int position) {
  if (position < 0 || position > kAudioTriggerMaxLowBand || position >= trigger.highBand) return trigger.lowBand;
  trigger.lowBand = position;
  return position;
}

int MoveHiSlider(AudioTrigger& trigger, int position) {
  if (position < kAudioTriggerMinHighBand || position > kAudioTriggerMaxHighBand || position <= trigger.lowBand) {
    return trigger.highBand;
  }
  trigger.highBand = position;
  return position;
}

std::string BandText(const AudioTrigger& trigger) {
  char text[64];
  std::snprintf(text, sizeof(text), "%" PRId64 " - %" PRId64 " Hz", (int64_t{trigger.lowBand} + 1) * kBandWidthHz,
                (int64_t{trigger.highBand} + 1) * kBandWidthHz);
  return text;
}

TriggerMeter ComputeTriggerMeter(const AudioTrigger& trigger, int level) {
  // Gain and percentage are taken inside their slider ranges so a damaged
  // record can neither divide by zero nor overflow the bar arithmetic.
  const int gain = std::clamp(trigger.gain, kAudioTriggerMinGain, kAudioTriggerMaxGain);
  const int percent = std::clamp(trigger.thresholdPercent, 0, kAudioTriggerMaxPercent);
  const int64_t levelHeight = std::max<int64_t>(level, 0) * kTriggerMeterFullScale / gain;
  TriggerMeter meter;
  meter.level = level;
  meter.levelHeight = static_cast<int>(std::min<int64_t>(levelHeight, kTriggerMeterFullScale));
  meter.thresholdHeight = std::min(percent * kTriggerMeterFullScale / 100, kTriggerMeterFullScale);
  meter.firing = level >= trigger.threshold;
  meter.thresholdColor = meter.firing ? kMeterFiringColor : kMeterQuietColor;
  return meter;
}

TriggerMeter MeterForSpectrum(std::span<const int16_t> spectrum, const AudioTrigger& trigger) {
  return ComputeTriggerMeter(trigger, TriggerBandLevel(spectrum, trigger));
}

TriggerMeter ReadTriggerMeter(AudioAnalyzer& analyzer, const AudioTrigger& trigger) {
  return ComputeTriggerMeter(trigger, analyzer.TriggerLevel(trigger));
}

DialogRect LevelBarRect(const TriggerMeter& meter) {
  return {150, kMeterBaseline - meter.levelHeight, 161, kMeterBaseline};
}

DialogRect ThresholdBarRect(const TriggerMeter& meter) {
  return {166, kMeterBaseline - meter.thresholdHeight, 169, kMeterBaseline};
}

}  // namespace quor

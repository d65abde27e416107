// An audio trigger: a generator's watch on one band of the spectrum. Five
// 32-bit words inside the owning generator's settings block, in this order.
// The generator reads it on the clock thread; the setup dialog edits it
// through Engine::EditGenerator, so the two never overlap.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/byte_io.h"

namespace quor {

struct AudioTrigger {
  int32_t gain = 1200;            // 10..7000: band level that fills the meter
  int32_t thresholdPercent = 50;  // 0..100
  int32_t threshold = 900;        // level at which the trigger fires
  int32_t lowBand = 14;           // 0..177: band k is spectrum bin k + 1
  int32_t highBand = 30;          // 1..178
  friend bool operator==(const AudioTrigger&, const AudioTrigger&) = default;
};

inline constexpr int kAudioTriggerWords = 5;
inline constexpr size_t kAudioTriggerBytes = kAudioTriggerWords * 4;

inline constexpr int32_t kAudioTriggerMinGain = 10;
inline constexpr int32_t kAudioTriggerMaxGain = 7000;
inline constexpr int32_t kAudioTriggerMaxPercent = 100;
inline constexpr int32_t kAudioTriggerMaxLowBand = 177;
inline constexpr int32_t kAudioTriggerMinHighBand = 1;
inline constexpr int32_t kAudioTriggerMaxHighBand = 178;

// The record as it sits in a settings block: five little-endian words.
inline void PutAudioTrigger(ByteWriter& writer, const AudioTrigger& trigger) {
  writer.PutI32(trigger.gain);
  writer.PutI32(trigger.thresholdPercent);
  writer.PutI32(trigger.threshold);
  writer.PutI32(trigger.lowBand);
  writer.PutI32(trigger.highBand);
}

inline AudioTrigger GetAudioTrigger(ByteReader& reader) {
  AudioTrigger trigger;
  trigger.gain = reader.GetI32();
  trigger.thresholdPercent = reader.GetI32();
  trigger.threshold = reader.GetI32();
  trigger.lowBand = reader.GetI32();
  trigger.highBand = reader.GetI32();
  return trigger;
}

// The level a trigger watches in one spectrum: the largest of bins
// lowBand + 1 .. highBand + 1 (band k is bin k + 1, so the DC bin is never
// watched), starting from 0 so negative magnitudes never count. Bands past
// the end of the spectrum are not watched, so a damaged record cannot read
// outside it.
inline int TriggerBandLevel(std::span<const int16_t> spectrum, const AudioTrigger& trigger) {
  const int64_t first = std::max<int64_t>(trigger.lowBand, 0);
  const int64_t last = std::min<int64_t>(trigger.highBand, static_cast<int64_t>(spectrum.size()) - 2);
  int level = 0;
  for (int64_t k = first; k <= last; ++k) level = std::max<int>(level, spectrum[static_cast<size_t>(k + 1)]);
  return level;
}

// Load repair for a record from a damaged block: gain, percentage and bands
// are pulled into their slider ranges; a band range the dialog could never
// have produced (highBand not above lowBand) goes back to the default
// 14..30. The threshold is kept as stored: any value is meaningful (it is
// only recomputed when "Gain" or "Thresh" is moved). Returns true when
// something changed.
inline bool RepairAudioTrigger(AudioTrigger& trigger) {
  const AudioTrigger before = trigger;
  trigger.gain = std::clamp(trigger.gain, kAudioTriggerMinGain, kAudioTriggerMaxGain);
  trigger.thresholdPercent = std::clamp(trigger.thresholdPercent, 0, kAudioTriggerMaxPercent);
  trigger.lowBand = std::clamp(trigger.lowBand, 0, kAudioTriggerMaxLowBand);
  trigger.highBand = std::clamp(trigger.highBand, kAudioTriggerMinHighBand, kAudioTriggerMaxHighBand);
  if (trigger.highBand <= trigger.lowBand) {
    const AudioTrigger defaults;
    trigger.lowBand = defaults.lowBand;
    trigger.highBand = defaults.highBand;
  }
  return !(trigger == before);
}

}  // namespace quor

// Counts equal parts of the beats of the tempo in use (quarters for chase
// steps, halves or quarters for the strobe) from the beat count and the
// phase that the tempo source publishes each mix pass. The two are read
// separately, so near a beat one may already show the new beat while the
// other still shows the old; the divider never lets the count go back: a
// phase that starts the next beat before the beat is counted holds the
// last part, and a beat counted while the phase still ends the last beat
// starts at its first part. Plain value type; one thread (the mix pass).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace quor {

class BeatDivider {
 public:
  // The part reached: beats * parts plus the part of the phase (0..1).
  int64_t Position(uint32_t beats, double phase, int parts) {
    parts = std::max(parts, 1);
    int part = static_cast<int>(std::clamp(std::floor(phase * parts), 0.0, static_cast<double>(parts - 1)));
    if (beats != seenBeats_ || parts != seenParts_) {
      if (beats != seenBeats_ && part >= (parts + 1) / 2 && parts > 1) part = 0;
      seenBeats_ = beats, seenParts_ = parts;
    } else {
      part = std::max(part, seenPart_);
    }
    seenPart_ = part;
    return int64_t{beats} * parts + part;
  }

 private:
  uint32_t seenBeats_ = 0;
  int seenParts_ = 1;
  int seenPart_ = 0;
};

}  // namespace quor

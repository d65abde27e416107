// A generator's audio trigger as its Render sees it: the level of the
// trigger's band against its threshold, or, while the generator's
// beatTrigger is set, active in the first render after each new beat of the
// tempo in use (so a generator that acts on the trigger's rising edge acts
// once per beat). One per generator; the thread that renders it.
#pragma once

#include <cstdint>

#include "audio/audio_analyzer.h"
#include "audio/audio_trigger.h"
#include "core/generator.h"

namespace quor {

class TriggerWatch {
 public:
  bool Active(GeneratorContext& context, const Generator& generator, const AudioTrigger& trigger) {
    if (!generator.beatTrigger.load(std::memory_order_relaxed)) {
      primed_ = false;
      return context.audio.AudioTriggerActive(trigger);
    }
    const uint32_t beats = context.beats.load(std::memory_order_acquire);
    // The beats before the trigger followed them do not fire it.
    const bool fresh = primed_ && beats != seenBeats_;
    seenBeats_ = beats, primed_ = true;
    return fresh;
  }

 private:
  uint32_t seenBeats_ = 0;
  bool primed_ = false;
};

}  // namespace quor

#include "core/live_state.h"

namespace quor {

void MixerPanel::Reset() {
  for (int s = 0; s < kSlotCount; ++s) {
    effectListPosition[static_cast<size_t>(s)].store(kNoneListPosition);
    speed[static_cast<size_t>(s)].store(kDefaultSlotSpeed);
    invert[static_cast<size_t>(s)].store(0);
  }
  for (int m = 0; m < kMixCount; ++m) {
    mergeMode[static_cast<size_t>(m)].store(0);
    masterFade[static_cast<size_t>(m)].store(128);
  }
}

}  // namespace quor

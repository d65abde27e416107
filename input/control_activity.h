// Which controls a surface (OSC, MIDI) reached lately: every input counts
// each control it sets, and the Controls window lights the rows whose count
// moved since it last looked. Counts are per control and instance.
//
// Threads: Touch from the input threads, Count from any thread. A short
// lock guards the map; the clock thread never uses it.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>

#include "core/controls.h"

namespace quor {

class ControlActivity {
 public:
  void Touch(const ControlAddress& address) {
    const std::lock_guard lock(mutex_);
    ++counts_[Key(address)];
  }
  uint64_t Count(const ControlAddress& address) const {
    const std::lock_guard lock(mutex_);
    const auto found = counts_.find(Key(address));
    return found == counts_.end() ? 0 : found->second;
  }

 private:
  static std::pair<int, int> Key(const ControlAddress& address) {
    return {static_cast<int>(address.id), address.instance};
  }
  mutable std::mutex mutex_;
  std::map<std::pair<int, int>, uint64_t> counts_;
};

}  // namespace quor

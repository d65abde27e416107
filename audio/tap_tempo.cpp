#include "audio/tap_tempo.h"

#include <algorithm>
#include <vector>

namespace quor {

double TapTempo::Tap(int64_t ms) {
  // A pause, or a clock that went back, starts a new run.
  if (count_ > 0 && (ms - LastTapMs() > kTapTempoResetMs || ms <= LastTapMs())) {
    first_ = 0;
    count_ = 0;
  }
  if (count_ == kTapTempoTaps) {
    first_ = (first_ + 1) % kTapTempoTaps;
    --count_;
  }
  taps_[static_cast<size_t>((first_ + count_) % kTapTempoTaps)] = ms;
  ++count_;
  if (count_ < 2) return bpm_;
  std::vector<int64_t> intervals;
  for (int i = 1; i < count_; ++i) {
    intervals.push_back(taps_[static_cast<size_t>((first_ + i) % kTapTempoTaps)] -
                        taps_[static_cast<size_t>((first_ + i - 1) % kTapTempoTaps)]);
  }
  std::sort(intervals.begin(), intervals.end());
  const size_t n = intervals.size();
  const double median =
      n % 2 == 1 ? static_cast<double>(intervals[n / 2]) : (intervals[n / 2 - 1] + intervals[n / 2]) / 2.0;
  bpm_ = 60000.0 / median;
  return bpm_;
}

void TapTempo::Reset() {
  first_ = 0;
  count_ = 0;
  bpm_ = 0;
}

}  // namespace quor

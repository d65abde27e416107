// Tap tempo: the tempo of the operator's last taps. The beats per minute
// come from the median of the intervals between up to the last 16 taps, so
// one early or late tap does not move it; a pause of more than 2 s starts a
// new run of taps (the tempo found before holds until the new run has two
// taps).
//
// Not thread-safe: the engine keeps it under a lock of its own that the
// clock thread never takes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quor {

inline constexpr int kTapTempoTaps = 16;
inline constexpr int64_t kTapTempoResetMs = 2000;

class TapTempo {
 public:
  // A tap at `ms` on a steady clock. Returns the tempo after it.
  double Tap(int64_t ms);
  // Beats per minute of the taps; 0 before two taps of one run.
  double Bpm() const { return bpm_; }
  // Taps in the current run.
  int Taps() const { return count_; }
  int64_t LastTapMs() const { return count_ > 0 ? taps_[static_cast<size_t>((first_ + count_ - 1) % kTapTempoTaps)] : 0; }
  void Reset();

 private:
  std::array<int64_t, kTapTempoTaps> taps_{};
  int first_ = 0;
  int count_ = 0;
  double bpm_ = 0;
};

}  // namespace quor

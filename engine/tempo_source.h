// The tempo the show follows: the one the tempo tracker detects in the
// sound input, or the one tapped on "Tap" (the main panel, key T, the
// "tempo/tap" control from OSC, MIDI and the web remote). Taps override the
// detection until "Auto" ("tempo/auto") hands it back; without a detected
// tempo the tapped one is used.
//
// Every mix pass calls Advance, which turns the chosen source's beats into
// one running beat count (BeatCount) that the chase player and the strobe
// follow, and prints "Tempo: <bpm>" on the console when the tempo in use
// has moved by 1 BPM or more since the last line.
//
// Threads: Tap and UseDetection from any thread but the clock's (they take
// a lock of their own, which the clock thread never takes); Advance on the
// mix pass; the readers from any thread (atomics).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "audio/tap_tempo.h"
#include "audio/tempo_tracker.h"
#include "core/change_feed.h"
#include "core/console.h"

namespace quor {

class TempoSource {
 public:
  TempoSource(Console& console, ChangeFeed& changes, const TempoTracker& tracker)
      : console_(console), changes_(changes), tracker_(tracker) {}

  // A tap now, or at `ms` on the steady clock.
  void Tap();
  void Tap(int64_t ms);
  // "Auto": the detected tempo again.
  void UseDetection();

  // Mix pass: takes the beats since the last pass.
  void Advance();
  void Advance(int64_t nowUs);

  // Beats per minute in use, 0 when there is none.
  double Bpm() const { return bpmMilli_.load(std::memory_order_relaxed) / 1000.0; }
  // True while taps override the detection.
  bool Tapped() const { return tapped_.load(std::memory_order_relaxed); }
  // Beats so far (from whichever source was in use at the time).
  uint32_t BeatCount() const { return beats_.load(std::memory_order_acquire); }
  // Where the last pass lay in its beat, 0..1.
  double Phase() const { return phaseMilli_.load(std::memory_order_relaxed) / 1000.0; }

 private:
  Console& console_;
  ChangeFeed& changes_;
  const TempoTracker& tracker_;

  std::mutex tapMutex_;  // never taken by the clock thread
  TapTempo taps_;
  // Published by Tap: the tapped beat period and the time of the last tap
  // (the tapped beats lie on it), 0 = none; a counter of taps.
  std::atomic<int64_t> tapPeriodUs_{0};
  std::atomic<int64_t> tapAnchorUs_{0};
  std::atomic<uint32_t> tapCount_{0};
  std::atomic<bool> tapped_{false};

  // Mix pass only.
  enum class Source { kNone, kDetected, kTapped };
  Source lastSource_ = Source::kNone;
  uint32_t lastDetectedBeats_ = 0;
  uint32_t lastTapCount_ = 0;
  int64_t lastTapBeat_ = -1;
  double printedBpm_ = 0;

  std::atomic<int32_t> bpmMilli_{0};
  std::atomic<int32_t> phaseMilli_{0};
  std::atomic<uint32_t> beats_{0};
};

}  // namespace quor

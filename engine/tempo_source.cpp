#include "engine/tempo_source.h"

#include <chrono>
#include <cmath>

namespace quor {
namespace {

int64_t SteadyUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void TempoSource::Tap() { Tap(SteadyUs() / 1000); }

void TempoSource::Tap(int64_t ms) {
  {
    std::lock_guard lock(tapMutex_);
    const double bpm = taps_.Tap(ms);
    if (bpm > 0) tapPeriodUs_.store(std::llround(60'000'000.0 / bpm), std::memory_order_relaxed);
    tapAnchorUs_.store(ms * 1000, std::memory_order_relaxed);
    tapCount_.fetch_add(1, std::memory_order_release);
  }
  if (!tapped_.exchange(true)) changes_.Announce(Change::kMaster);
}

void TempoSource::UseDetection() {
  if (tapped_.exchange(false)) changes_.Announce(Change::kMaster);
}

void TempoSource::Advance() { Advance(SteadyUs()); }

void TempoSource::Advance(int64_t nowUs) {
  const TempoReading detected = tracker_.Reading();
  const uint32_t tapCount = tapCount_.load(std::memory_order_acquire);
  const int64_t period = tapPeriodUs_.load(std::memory_order_relaxed);
  const int64_t anchor = tapAnchorUs_.load(std::memory_order_relaxed);
  const bool useTaps = period > 0 && (tapped_.load(std::memory_order_relaxed) || detected.bpm <= 0);
  const Source source = useTaps ? Source::kTapped : detected.bpm > 0 ? Source::kDetected : Source::kNone;

  uint32_t newBeats = 0;
  double bpm = 0, phase = 0;
  if (source == Source::kDetected) {
    bpm = detected.bpm;
    phase = detected.phase;
    // Beats the tracker reported while it was not the source are not replayed.
    if (lastSource_ == Source::kDetected) newBeats = detected.beats - lastDetectedBeats_;
  } else if (source == Source::kTapped) {
    bpm = 60'000'000.0 / static_cast<double>(period);
    // The tapped beats lie on the last tap and every period after it; a tap
    // is a beat itself.
    const int64_t beat = nowUs >= anchor ? (nowUs - anchor) / period : -1;
    phase = nowUs >= anchor ? static_cast<double>((nowUs - anchor) % period) / static_cast<double>(period) : 0;
    if (lastSource_ != Source::kTapped || tapCount != lastTapCount_) {
      newBeats = beat >= 0 ? 1 : 0;
    } else if (beat > lastTapBeat_) {
      newBeats = static_cast<uint32_t>(beat - lastTapBeat_);
    }
    lastTapBeat_ = beat;
  }
  lastDetectedBeats_ = detected.beats;
  lastTapCount_ = tapCount;
  lastSource_ = source;
  if (newBeats > 0) beats_.fetch_add(newBeats, std::memory_order_release);
  bpmMilli_.store(static_cast<int32_t>(std::lround(bpm * 1000.0)), std::memory_order_relaxed);
  phaseMilli_.store(static_cast<int32_t>(std::lround(phase * 1000.0)), std::memory_order_relaxed);
  if (bpm > 0 && std::abs(bpm - printedBpm_) >= 1.0) {
    printedBpm_ = bpm;
    console_.Print("Tempo: %.1f\n", bpm);
  }
}

}  // namespace quor

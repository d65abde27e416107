// The sound input and its spectrum. Capture fills one 512-frame stereo block
// at a time; whoever asks for the spectrum first after a block was filled
// analyses it (mono mix, gain control, 512-point fixed-point transform) and
// hands the block back to the capture side; everyone else gets the last
// result again. Without an input device the spectrum stays all zero.
//
// Threads: GetSpectrum, AudioTriggerActive, TriggerLevel and AgcGain from any
// thread (one lock around the whole analysis); Start/Stop/Capturing from the
// UI thread; DeliverBlock from the capture callback (lock-free, never waits).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "audio/audio_trigger.h"
#include "audio/tempo_tracker.h"
#include "platform/failure.h"

namespace quor {

inline constexpr int kSpectrumBins = 256;
inline constexpr int kAudioBlockFrames = 512;
inline constexpr int kAudioChannels = 2;
inline constexpr int kAudioSampleRate = 44100;
inline constexpr int kFftOrder = 9;  // 2^9 = kAudioBlockFrames points
inline constexpr int kSineTableSize = 1024;
static_assert((1 << kFftOrder) == kAudioBlockFrames);
static_assert(kSpectrumBins * 2 == kAudioBlockFrames);

// One full sine period in Q15: entry i = 32767 * sin(2 pi i / 1024),
// truncated toward zero.
const std::array<int16_t, kSineTableSize>& FixedPointSineTable();

// In-place forward transform of 2^order complex 16-bit values, halving at
// every stage (an overall factor 1/n). Returns -1 (data untouched) for an
// order outside 0..10, else 0.
int FixedPointFft(int16_t* re, int16_t* im, int order);

class AudioCapture;

class AudioAnalyzer {
 public:
  AudioAnalyzer();
  ~AudioAnalyzer();
  AudioAnalyzer(const AudioAnalyzer&) = delete;
  AudioAnalyzer& operator=(const AudioAnalyzer&) = delete;

  // 256 magnitudes; bin k covers k * 44100 / 512 Hz. Never waits for sound.
  void GetSpectrum(int16_t* out);
  // A fresh spectrum's band level for the trigger: the largest of bins
  // lowBand + 1 .. highBand + 1, never below 0 (0 for an empty range).
  int TriggerLevel(const AudioTrigger& trigger);
  // True when TriggerLevel reaches the trigger's threshold.
  bool AudioTriggerActive(const AudioTrigger& trigger) { return TriggerLevel(trigger) >= trigger.threshold; }

  // Automatic gain control switch (saved in the project) and its last gain.
  std::atomic<int> agcEnabled{1};
  float AgcGain();

  // Opens the default input (44100 Hz, stereo, 16-bit, 512-frame buffers)
  // and starts capturing. Returns a failure, and keeps the spectrum as it
  // is, when there is no usable input (its message says so in one line).
  // Calling it while capturing does nothing.
  std::optional<Failure> Start();
  // Stops and closes the input; the spectrum keeps its last result.
  void Stop();
  bool Capturing() const;
  // The tempo of the input: its worker runs while capturing; every block
  // the capture delivers reaches it.
  TempoTracker& tempo() { return tempo_; }
  const TempoTracker& tempo() const { return tempo_; }

  // The capture side's hand-over: 512 interleaved stereo frames. Accepted
  // (and the block marked filled) only while the block is queued, not while
  // a filled one waits for its analysis.
  bool DeliverBlock(const int16_t* interleavedFrames);

 private:
  enum BlockState : int { kQueued, kFilling, kFilled };

  void AnalyzeLocked(int16_t* out);

  std::mutex mutex_;
  std::atomic<int> blockState_{kQueued};
  static_assert(std::atomic<int>::is_always_lock_free);
  // Written only by the DeliverBlock that moved the state to kFilling; read
  // only by the analysis that finds it kFilled.
  std::array<int16_t, kAudioChannels * kAudioBlockFrames> block_{};
  // Guarded by mutex_.
  std::array<int16_t, kAudioBlockFrames> real_{};
  std::array<int16_t, kAudioBlockFrames> imag_{};
  std::array<int16_t, kSpectrumBins> triggerSpectrum_{};
  float agcGain_ = 1.0f;
  TempoTracker tempo_;
  // UI thread only.
  std::unique_ptr<AudioCapture> capture_;
};

}  // namespace quor

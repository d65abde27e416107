// Tempo of a sound stream: onsets found by aubio's onset detection (high
// frequency content), then a period search over the onsets of the last 8 s
// that gives the beats per minute, the beat phase and the beat positions.
//
// The period search scores every candidate period P by how well the onsets
// line up on it and on P / 2 (|sum w e^(2 pi i t / P)| + |sum w e^(4 pi i t / P)|,
// w the loudness of the onset). Candidates lie in one octave (88..176 BPM),
// so a tempo and its double or half are never both candidates: a 90 BPM
// loop with hi-hats on the eighths reads 90, a 174 BPM click track reads
// 174 rather than 87. The beat falls on the phase of the louder onsets, so
// a kick and snare pattern beats on the kick and snare, not the hats.
//
// Not thread-safe: one thread feeds it (the tempo tracker's worker or a test).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace quor {

inline constexpr double kTempoMinBpm = 88.0;
inline constexpr double kTempoMaxBpm = 176.0;
// The onsets the period search looks at.
inline constexpr double kTempoWindowSeconds = 8.0;

class TempoAnalysis {
 public:
  explicit TempoAnalysis(int sampleRate);
  ~TempoAnalysis();
  TempoAnalysis(const TempoAnalysis&) = delete;
  TempoAnalysis& operator=(const TempoAnalysis&) = delete;

  // Analyses `frames` interleaved 16-bit stereo frames and appends to
  // `beats` the sample positions (counted from the first sample ever fed) of
  // the beats that fall inside them.
  void Process(const int16_t* interleavedStereo, int frames, std::vector<int64_t>& beats);

  // Beats per minute found, 0 while there is none (too few onsets, or the
  // sound has stopped beating for a few beats).
  double Bpm() const { return locked() ? 60.0 * sampleRate_ / period_ : 0.0; }
  // Samples fed so far.
  int64_t FramesSeen() const { return framesSeen_; }
  // Where `frame` lies in its beat: 0 on a beat, rising to 1; 0 without a tempo.
  double PhaseAt(int64_t frame) const;

 private:
  struct Onset {
    int64_t frame;
    double weight;
  };
  struct Aubio;

  bool locked() const { return period_ > 0; }
  void AnalyseHop();
  void Estimate();

  const int sampleRate_;
  std::unique_ptr<Aubio> aubio_;
  std::vector<float> hop_;  // mono samples of the hop being filled
  int hopFill_ = 0;
  int64_t framesSeen_ = 0;
  int64_t hopsSeen_ = 0;
  // Loudness (RMS) of the recent hops, newest last, to weigh onsets.
  std::deque<float> hopLevels_;
  std::deque<Onset> onsets_;
  double period_ = 0;     // samples per beat, 0 = no tempo
  double beatZero_ = 0;   // a beat position (samples); beats lie at beatZero_ + k * period_
  int64_t nextBeat_ = -1; // the next beat not yet reported
};

}  // namespace quor

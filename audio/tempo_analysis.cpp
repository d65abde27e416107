#include "audio/tempo_analysis.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace quor {
namespace {

constexpr int kWindow = 1024;
constexpr int kHop = 256;
// Onsets are weighed by the loudest hop from their start over this many hops.
constexpr int kWeightHops = 6;
constexpr size_t kKeptHopLevels = 64;
// The period is searched again every 43 hops (a quarter second at 44100 Hz).
constexpr int kEstimateEveryHops = 43;
constexpr size_t kMinOnsets = 4;
// Without an onset for this long the sound has stopped beating.
constexpr double kLostAfterSeconds = 2.5;
// A small offset under every sample: aubio takes a hop of exact zeros for
// silence and drops an onset whose peak it finds in such a hop, which is
// what follows a short click on a clean recording. The offset lies in the
// DC bin, which the high-frequency-content measure weighs with 0.
constexpr float kSilenceOffset = 1e-4f;

}  // namespace

struct TempoAnalysis::Aubio {
  aubio_onset_t* onset = nullptr;
  fvec_t* input = nullptr;
  fvec_t* output = nullptr;
  ~Aubio() {
    if (onset != nullptr) del_aubio_onset(onset);
    if (input != nullptr) del_fvec(input);
    if (output != nullptr) del_fvec(output);
  }
};

TempoAnalysis::TempoAnalysis(int sampleRate) : sampleRate_(sampleRate), aubio_(std::make_unique<Aubio>()) {
  aubio_->onset = new_aubio_onset("hfc", kWindow, kHop, static_cast<uint_t>(sampleRate));
  aubio_->input = new_fvec(kHop);
  aubio_->output = new_fvec(1);
  if (aubio_->onset != nullptr) {
    aubio_onset_set_minioi_ms(aubio_->onset, 40);
    aubio_onset_set_silence(aubio_->onset, -90);
  }
  hop_.assign(kHop, 0.0f);
}

TempoAnalysis::~TempoAnalysis() = default;

void TempoAnalysis::Process(const int16_t* interleavedStereo, int frames, std::vector<int64_t>& beats) {
  for (int i = 0; i < frames; ++i) {
    const int sum = interleavedStereo[2 * i] + interleavedStereo[2 * i + 1];
    hop_[static_cast<size_t>(hopFill_++)] = static_cast<float>(sum) / 65536.0f + kSilenceOffset;
    ++framesSeen_;
    if (hopFill_ < kHop) continue;
    hopFill_ = 0;
    AnalyseHop();
    if (!locked()) continue;
    // Report the beats of the grid that fall inside this hop.
    const int64_t hopStart = framesSeen_ - kHop;
    if (nextBeat_ < hopStart) {
      nextBeat_ = static_cast<int64_t>(std::llround(beatZero_ + std::ceil((hopStart - beatZero_) / period_) * period_));
    }
    while (nextBeat_ < framesSeen_) {
      beats.push_back(nextBeat_);
      const double k = std::round((static_cast<double>(nextBeat_) - beatZero_) / period_) + 1.0;
      nextBeat_ = static_cast<int64_t>(std::llround(beatZero_ + k * period_));
    }
  }
}

void TempoAnalysis::AnalyseHop() {
  ++hopsSeen_;
  double energy = 0;
  for (float v : hop_) energy += static_cast<double>(v) * v;
  hopLevels_.push_back(static_cast<float>(std::sqrt(energy / kHop)));
  if (hopLevels_.size() > kKeptHopLevels) hopLevels_.pop_front();

  if (aubio_->onset != nullptr) {
    std::copy(hop_.begin(), hop_.end(), aubio_->input->data);
    aubio_onset_do(aubio_->onset, aubio_->input, aubio_->output);
    if (aubio_->output->data[0] != 0) {
      const auto frame = static_cast<int64_t>(aubio_onset_get_last(aubio_->onset));
      // Hop h (0-based) is hopLevels_[h - firstKept].
      const int64_t firstKept = hopsSeen_ - static_cast<int64_t>(hopLevels_.size());
      double weight = 0;
      for (int64_t h = frame / kHop; h < frame / kHop + kWeightHops && h < hopsSeen_; ++h) {
        if (h >= firstKept) weight = std::max<double>(weight, hopLevels_[static_cast<size_t>(h - firstKept)]);
      }
      onsets_.push_back({frame, weight});
    }
  }
  const auto window = static_cast<int64_t>(kTempoWindowSeconds * sampleRate_);
  while (!onsets_.empty() && onsets_.front().frame < framesSeen_ - window) onsets_.pop_front();
  if (hopsSeen_ % kEstimateEveryHops == 0) Estimate();
}

void TempoAnalysis::Estimate() {
  const auto lostAfter = static_cast<int64_t>(kLostAfterSeconds * sampleRate_);
  if (onsets_.size() < kMinOnsets || onsets_.back().frame < framesSeen_ - lostAfter) {
    period_ = 0;
    nextBeat_ = -1;
    return;
  }
  // Times relative to the newest sample keep the phases exact over hours.
  const int64_t origin = framesSeen_;
  using Complex = std::complex<double>;
  struct Score {
    double value = -1;
    double period = 0;
    Complex whole, half;
  };
  auto score = [&](double bpm) {
    const double period = 60.0 * sampleRate_ / bpm;
    Complex whole, half;
    for (const Onset& onset : onsets_) {
      const double turn = 2.0 * std::numbers::pi * static_cast<double>(onset.frame - origin) / period;
      whole += std::polar(onset.weight, turn);
      half += std::polar(onset.weight, 2.0 * turn);
    }
    return Score{std::abs(whole) + std::abs(half), period, whole, half};
  };
  // Coarse steps first (the peaks are several BPM wide over 8 s), then fine
  // steps around the best.
  Score best;
  double bestBpm = kTempoMinBpm;
  for (double bpm = kTempoMinBpm; bpm < kTempoMaxBpm; bpm += 0.25) {
    const Score s = score(bpm);
    if (s.value > best.value) best = s, bestBpm = bpm;
  }
  const double coarse = bestBpm;
  for (double bpm = std::max(kTempoMinBpm, coarse - 0.5); bpm <= std::min(kTempoMaxBpm, coarse + 0.5); bpm += 0.01) {
    const Score s = score(bpm);
    if (s.value > best.value) best = s;
  }
  if (best.value <= 0) return;
  // The onsets cluster at one position modulo P / 2; of that position and the
  // one half a period later, the beat is where the louder onsets lie.
  const double halfPeriod = best.period / 2.0;
  double zero = std::arg(best.half) / (2.0 * std::numbers::pi) * halfPeriod;
  const Complex atZero = best.whole * std::polar(1.0, -2.0 * std::numbers::pi * zero / best.period);
  if (atZero.real() < 0) zero += halfPeriod;
  const bool wasLocked = locked();
  period_ = best.period;
  beatZero_ = static_cast<double>(origin) + zero;
  // A beat already reported is not reported again after the grid moves a little.
  if (wasLocked && nextBeat_ >= 0) {
    const double k = std::ceil((static_cast<double>(nextBeat_) - period_ / 2.0 - beatZero_) / period_);
    nextBeat_ = static_cast<int64_t>(std::llround(beatZero_ + k * period_));
  } else {
    nextBeat_ = -1;
  }
}

double TempoAnalysis::PhaseAt(int64_t frame) const {
  if (!locked()) return 0.0;
  const double beats = (static_cast<double>(frame) - beatZero_) / period_;
  return beats - std::floor(beats);
}

}  // namespace quor

#include "audio/tempo_tracker.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "audio/audio_analyzer.h"
#include "audio/tempo_analysis.h"

namespace quor {
namespace {

int64_t SteadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

TempoTracker::TempoTracker() : ring_(std::make_unique<int16_t[]>(kRingSamples)) {}

void TempoTracker::Start() {
  if (worker_.joinable()) return;
  stop_.store(false);
  read_.store(written_.load());
  worker_ = std::thread([this] { Work(); });
}

void TempoTracker::Stop() {
  if (!worker_.joinable()) return;
  stop_.store(true);
  wake_.fetch_add(1, std::memory_order_release);
  wake_.notify_one();
  worker_.join();
  bpmMilli_.store(0);
}

bool TempoTracker::Feed(const int16_t* interleavedStereo, int frames) {
  if (frames <= 0) return true;
  const auto samples = static_cast<uint64_t>(frames) * kAudioChannels;
  const uint64_t written = written_.load(std::memory_order_relaxed);
  if (written + samples - read_.load(std::memory_order_acquire) > kRingSamples) {
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  for (uint64_t i = 0; i < samples; ++i) ring_[(written + i) % kRingSamples] = interleavedStereo[i];
  written_.store(written + samples, std::memory_order_release);
  wake_.fetch_add(1, std::memory_order_release);
  wake_.notify_one();
  return true;
}

TempoReading TempoTracker::Reading() const {
  TempoReading reading;
  reading.beats = beats_.load(std::memory_order_acquire);
  reading.bpm = bpmMilli_.load(std::memory_order_relaxed) / 1000.0;
  const int64_t last = lastBeatNs_.load(std::memory_order_relaxed);
  if (reading.bpm > 0 && last != 0) {
    const double beats = static_cast<double>(SteadyNs() - last) * 1e-9 * reading.bpm / 60.0;
    reading.phase = std::clamp(beats - std::floor(beats), 0.0, 1.0);
  }
  return reading;
}

void TempoTracker::Work() {
  TempoAnalysis analysis(kAudioSampleRate);
  std::vector<int16_t> chunk;
  std::vector<int64_t> beats;
  constexpr uint64_t kChunkSamples = kAudioBlockFrames * kAudioChannels;
  while (!stop_.load()) {
    const uint32_t seen = wake_.load(std::memory_order_acquire);
    const uint64_t written = written_.load(std::memory_order_acquire);
    uint64_t read = read_.load(std::memory_order_relaxed);
    if (written == read) {
      wake_.wait(seen, std::memory_order_acquire);
      continue;
    }
    while (read < written && !stop_.load(std::memory_order_relaxed)) {
      const uint64_t samples = std::min<uint64_t>(written - read, kChunkSamples) & ~uint64_t{1};
      if (samples == 0) break;
      chunk.resize(samples);
      for (uint64_t i = 0; i < samples; ++i) chunk[i] = ring_[(read + i) % kRingSamples];
      read += samples;
      read_.store(read, std::memory_order_release);
      beats.clear();
      analysis.Process(chunk.data(), static_cast<int>(samples / kAudioChannels), beats);
      analysed_.store(static_cast<uint64_t>(analysis.FramesSeen()), std::memory_order_relaxed);
      bpmMilli_.store(static_cast<int32_t>(std::lround(analysis.Bpm() * 1000.0)), std::memory_order_relaxed);
      if (!beats.empty()) {
        // The beat lies as far before now as it lies before the newest sample.
        const int64_t behind = analysis.FramesSeen() - beats.back();
        lastBeatNs_.store(SteadyNs() - behind * 1'000'000'000 / kAudioSampleRate, std::memory_order_relaxed);
        beats_.fetch_add(static_cast<uint32_t>(beats.size()), std::memory_order_release);
      }
    }
  }
}

}  // namespace quor

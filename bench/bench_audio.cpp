// One spectrum analysis as a generator's Render triggers it: hand over a
// 512-frame block and analyse it, with and without the gain control.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "audio/audio_analyzer.h"
#include "bench/bench_support.h"

namespace quor {
namespace {

void GetSpectrumCase(benchmark::State& state, bool agc) {
  std::array<int16_t, kAudioChannels * kAudioBlockFrames> block{};
  for (int i = 0; i < kAudioBlockFrames; ++i) {
    const double t = static_cast<double>(i) / kAudioSampleRate;
    block[static_cast<size_t>(2 * i)] = static_cast<int16_t>(12000.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * t));
    block[static_cast<size_t>(2 * i + 1)] =
        static_cast<int16_t>(9000.0 * std::sin(2.0 * std::numbers::pi * 3100.0 * t));
  }
  AudioAnalyzer analyzer;
  analyzer.agcEnabled = agc ? 1 : 0;
  std::array<int16_t, kSpectrumBins> spectrum{};
  for (auto _ : state) {
    analyzer.DeliverBlock(block.data());
    analyzer.GetSpectrum(spectrum.data());
    benchmark::DoNotOptimize(spectrum.data());
    benchmark::ClobberMemory();
  }
  // One "pixel" per stereo frame: the block in, the spectrum out.
  bench::SetCaseSize(state, kAudioBlockFrames, sizeof(block), sizeof(spectrum));
}

const bool kRegistered = [] {
  benchmark::RegisterBenchmark("Audio/GetSpectrum/Agc", GetSpectrumCase, true);
  benchmark::RegisterBenchmark("Audio/GetSpectrum/NoAgc", GetSpectrumCase, false);
  return true;
}();

}  // namespace
}  // namespace quor

// MixFrames in each merge mode as the channel mixes call it (master 255,
// gamma 1.0), plus the scene fade (mixing into its own input) and the main
// mix with gamma and master active.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/bench_support.h"
#include "core/mixer.h"

namespace quor {
namespace {

const char* const kModeNames[kMixModeCount] = {
    "Progressive", "Linear",  "ShapeOfA", "ShapeOfB", "IntensityOfA", "IntensityOfB",
    "OverlayA",    "OverlayB", "OverlayBorderA", "OverlayBorderB"};

void MixCase(benchmark::State& state, int width, int height, MixParams params, bool inPlace,
             MixerKernels kernels) {
  const auto a = bench::TestFrame(width, height, 1);
  const auto b = bench::TestFrame(width, height, 2);
  auto dst = a;
  Mixer mixer(kernels);
  for (auto _ : state) {
    // In place the picture changes every pass, as in a real scene fade.
    mixer.MixFrames(inPlace ? dst.data() : a.data(), b.data(), dst.data(), width, height, params);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  const double bytes = static_cast<double>(a.size());
  bench::SetCaseSize(state, width * height, 2 * bytes, bytes);
}

std::string SizeName(int width, int height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

const bool kRegistered = [] {
  for (auto [width, height] : {std::pair{32, 16}, std::pair{128, 128}}) {
    for (int mode = 0; mode < kMixModeCount; ++mode) {
      MixParams params;
      params.mode = mode;
      params.fade = 100;
      benchmark::RegisterBenchmark(("MixFrames/" + std::string(kModeNames[mode]) + "/" + SizeName(width, height)).c_str(),
                                   MixCase, width, height, params, false, MixerKernels::kFastest);
    }
  }
  // The kernels of processors without the wide vector instructions.
  for (int mode = 0; mode < kMixModeCount; ++mode) {
    MixParams params;
    params.mode = mode;
    params.fade = 100;
    benchmark::RegisterBenchmark(("MixFrames/Portable/" + std::string(kModeNames[mode]) + "/128x128").c_str(),
                                 MixCase, 128, 128, params, false, MixerKernels::kPortable);
  }
  MixParams fade;
  fade.fade = 60;
  benchmark::RegisterBenchmark("MixFrames/SceneFadeInPlace/128x128", MixCase, 128, 128, fade, true,
                               MixerKernels::kFastest);
  MixParams mainMix;
  mainMix.mode = kMixLinear;
  mainMix.fade = 128;
  mainMix.master = 200;
  mainMix.gamma = GammaFromSetting(220);
  benchmark::RegisterBenchmark("MixFrames/LinearGammaMaster/128x128", MixCase, 128, 128, mainMix, false,
                               MixerKernels::kFastest);
  return true;
}();

}  // namespace
}  // namespace quor

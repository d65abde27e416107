// The whole mix pass at 128x128 as the mix timer runs it: both channel
// mixes, the main mix with gamma 2.0 and a master level, the scene fade and
// the strobe, with all four slots holding pictures.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "bench/bench_support.h"
#include "engine/engine.h"
#include "engine/engine_write_access.h"
#include "generators/generator_catalogue.h"

namespace quor {
namespace {

void MixPass(benchmark::State& state) {
  Engine engine(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
  engine.ResizeMatrix(128, 128);
  engine.StopClock();
  const int pixels = 128 * 128;
  for (int s = 0; s < kSlotCount; ++s) {
    const auto picture = bench::TestFrame(128, 128, static_cast<uint32_t>(s + 1));
    std::copy(picture.begin(), picture.end(), engine.frame(static_cast<FrameIndex>(s)));
  }
  const auto old = bench::TestFrame(128, 128, 9);
  std::copy(old.begin(), old.end(), engine.frame(FrameIndex::kSceneFade));
  engine.SetMergeMode(kMixChannel1, 6);
  engine.SetMergeMode(kMixChannel2, 1);
  engine.SetInvert(2, true);
  engine.SetGammaSetting(200);
  engine.SetMasterLevel(230);
  engine.SetStrobeTime(1);
  engine.SetStrobe(true);
  for (auto _ : state) {
    EngineWriteAccess::Settings(engine).sceneFadeLevel.store(100);  // keep the fade running
    engine.RunMixPass();
    benchmark::DoNotOptimize(engine.frame(FrameIndex::kOutput));
  }
  // Three mixes and the fade: eight frames read, four written.
  const double frameBytes = pixels * 3.0;
  bench::SetCaseSize(state, pixels, 8 * frameBytes, 4 * frameBytes);
}

BENCHMARK(MixPass)->Name("MixPass/Gamma2Fade+Strobe/128x128");

}  // namespace
}  // namespace quor

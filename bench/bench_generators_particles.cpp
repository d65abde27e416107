// Render of Fire, Metaballs, Falling Rain, Starfield and Fading Pixels at
// 128 x 128 with their default settings, as the slot timer calls it.
#include <benchmark/benchmark.h>

#include <atomic>
#include <vector>

#include "audio/audio_analyzer.h"
#include "bench/bench_support.h"
#include "core/console.h"
#include "core/random_source.h"
#include "generators/color.h"
#include "generators/falling_rain.h"
#include "generators/fading_pixels.h"
#include "generators/fire.h"
#include "generators/metaballs.h"
#include "generators/starfield.h"

namespace quor {
namespace {

constexpr int kSide = 128;


// `stateBytes` is what Render reads and writes of its own besides the frame.
void RenderCase(benchmark::State& state, GeneratorFactory factory, double frameBytesRead, double stateBytes) {
  bench::GeneratorBench bench;
  auto generator = factory(bench.context);
  generator->Create(kSide, kSide);
  std::vector<uint8_t> frame = bench::TestFrame(kSide, kSide, 1);
  for (auto _ : state) {
    generator->Render({frame.data(), kSide, kSide});
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  generator->Destroy();
  const double frameBytes = static_cast<double>(frame.size());
  bench::SetCaseSize(state, kSide * kSide, frameBytesRead + stateBytes, frameBytes + stateBytes);
}

const bool kRegistered = [] {
  constexpr double kPixels = kSide * kSide;
  // Fire: one heat byte per pixel plus the hidden row.
  benchmark::RegisterBenchmark("GeneratorRender/Fire/128x128", RenderCase, &CreateFireGenerator, 0.0,
                               kPixels + kSide);
  // Metaballs: the intensity field.
  benchmark::RegisterBenchmark("GeneratorRender/Metaballs/128x128", RenderCase, &CreateMetaballsGenerator, 0.0,
                               kPixels);
  // Falling Rain and Starfield clear the frame and draw a few particles.
  benchmark::RegisterBenchmark("GeneratorRender/FallingRain/128x128", RenderCase, &CreateFallingRainGenerator, 0.0,
                               0.0);
  benchmark::RegisterBenchmark("GeneratorRender/Starfield/128x128", RenderCase, &CreateStarfieldGenerator, 0.0,
                               0.0);
  // Fading Pixels dims the previous picture in place.
  benchmark::RegisterBenchmark("GeneratorRender/FadingPixels/128x128", RenderCase, &CreateFadingPixelsGenerator,
                               kPixels * 3, 0.0);
  return true;
}();

}  // namespace
}  // namespace quor

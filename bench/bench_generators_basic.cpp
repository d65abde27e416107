// Render of the plain and palette generators at 128x128: Simple Color,
// Strobe, Plasma and Color Scroll, each in its default settings and, where a
// style costs more per pixel, in its dearest one (Plasma "Mix", Color Scroll
// "Spiral" and "Circle").
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bench/bench_support.h"
#include "core/byte_io.h"
#include "core/console.h"
#include "core/random_source.h"
#include "audio/audio_analyzer.h"
#include "generators/color.h"
#include "generators/color_scroll.h"
#include "generators/plasma.h"
#include "generators/simple_color.h"
#include "generators/strobe.h"

namespace quor {
namespace {

constexpr int kSide = 128;


// `words` are loaded as the generator's settings block before timing.
void RenderCase(benchmark::State& state, GeneratorFactory factory, std::vector<int32_t> words) {
  bench::GeneratorBench bench;
  std::unique_ptr<Generator> generator = factory(bench.context);
  generator->Create(kSide, kSide);
  if (!words.empty()) {
    SettingsBlock block{};
    ByteWriter writer(block);
    for (int32_t word : words) writer.PutI32(word);
    generator->ExchangeSettings(block, SettingsDirection::kLoad);
  }
  std::vector<uint8_t> frame = bench::TestFrame(kSide, kSide, 3);
  for (auto _ : state) {
    generator->Render({frame.data(), kSide, kSide});
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  bench::SetCaseSize(state, kSide * kSide, 0, static_cast<double>(frame.size()));
  generator->Destroy();
}

const bool kRegistered = [] {
  benchmark::RegisterBenchmark("Generators/SimpleColor/Fixed/128x128", RenderCase, &CreateSimpleColorGenerator,
                               std::vector<int32_t>{});
  benchmark::RegisterBenchmark("Generators/SimpleColor/AutoColor/128x128", RenderCase, &CreateSimpleColorGenerator,
                               std::vector<int32_t>{10, 20, 30, 1});
  // Audio trigger on, so every frame also asks the analyser for its band.
  benchmark::RegisterBenchmark("Generators/Strobe/AudioTrigger/128x128", RenderCase, &CreateStrobeGenerator,
                               std::vector<int32_t>{2, 2, 1, 1200, 50, 900, 14, 30, 255, 255, 255, 0});
  benchmark::RegisterBenchmark("Generators/Strobe/Rhythm/128x128", RenderCase, &CreateStrobeGenerator,
                               std::vector<int32_t>{});
  // zoom, palette, style, speed
  benchmark::RegisterBenchmark("Generators/Plasma/Mix/128x128", RenderCase, &CreatePlasmaGenerator,
                               std::vector<int32_t>{});
  benchmark::RegisterBenchmark("Generators/Plasma/Radial/128x128", RenderCase, &CreatePlasmaGenerator,
                               std::vector<int32_t>{30, 1, 3, 50});
  // zoom, speed, palette, style, reverse
  benchmark::RegisterBenchmark("Generators/ColorScroll/Horizontal/128x128", RenderCase, &CreateColorScrollGenerator,
                               std::vector<int32_t>{});
  benchmark::RegisterBenchmark("Generators/ColorScroll/Circle/128x128", RenderCase, &CreateColorScrollGenerator,
                               std::vector<int32_t>{20, 2, 0, 6, 0});
  benchmark::RegisterBenchmark("Generators/ColorScroll/Spiral/128x128", RenderCase, &CreateColorScrollGenerator,
                               std::vector<int32_t>{20, 2, 0, 9, 0});
  return true;
}();

}  // namespace
}  // namespace quor

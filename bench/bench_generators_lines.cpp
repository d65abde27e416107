// Render of the line and sweep generators at 128x128: Radar/Scan Lines,
// Expanding Shapes, Simple Lines (every mode) and Sine Lines, in their
// default settings and in the dearer ones (wide faded radar band, a hundred
// filled shapes, all four spotlights, five snakes, three curves). The text
// shape needs a GUI application and is left out here.
#include <benchmark/benchmark.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio_analyzer.h"
#include "bench/bench_support.h"
#include "core/console.h"
#include "core/random_source.h"
#include "generators/color.h"
#include "generators/expanding_shapes.h"
#include "generators/radar.h"
#include "generators/simple_lines.h"
#include "generators/sine_lines.h"

namespace quor {
namespace {

constexpr int kSide = 128;

template <class G>
void RenderCase(benchmark::State& state, const std::function<void(G&)>& setup) {
  bench::GeneratorBench bench;
  G generator(bench.context);
  if (!generator.Create(kSide, kSide)) {
    state.SkipWithError("Create failed");
    return;
  }
  setup(generator);
  auto frame = bench::TestFrame(kSide, kSide, 3);
  for (auto _ : state) {
    generator.Render({frame.data(), kSide, kSide});
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  generator.Destroy();
  // Every case clears or fades the whole frame once and draws into it.
  const double bytes = kSide * kSide * 3.0;
  bench::SetCaseSize(state, kSide * kSide, bytes, bytes);
}

template <class G>
void Register(const std::string& name, std::function<void(G&)> setup) {
  benchmark::RegisterBenchmark(("GeneratorsLines/" + name + "/128x128").c_str(),
                               [setup](benchmark::State& state) { RenderCase<G>(state, setup); });
}

const bool kRegistered = [] {
  Register<RadarGenerator>("Radar", [](RadarGenerator&) {});
  Register<RadarGenerator>("RadarWideFaded", [](RadarGenerator& g) {
    g.SetBandWidth(30);
    g.SetFade(100);
  });
  Register<ExpandingShapesGenerator>("ExpandingShapes", [](ExpandingShapesGenerator&) {});
  Register<ExpandingShapesGenerator>("ExpandingShapes100FilledCircles", [](ExpandingShapesGenerator& g) {
    g.SetShape(ExpandingShapesGenerator::kFilledCircle);
    g.SetCount(100);
  });
  Register<ExpandingShapesGenerator>("ExpandingShapes100FilledStars", [](ExpandingShapesGenerator& g) {
    g.SetShape(ExpandingShapesGenerator::kFilledStar5);
    g.SetCount(100);
  });
  Register<SimpleLinesGenerator>("SimpleLinesCross", [](SimpleLinesGenerator&) {});
  Register<SimpleLinesGenerator>("SimpleLinesRectangular",
                                 [](SimpleLinesGenerator& g) { g.SetMode(SimpleLinesGenerator::kRectangular); });
  Register<SimpleLinesGenerator>("SimpleLinesDancing5", [](SimpleLinesGenerator& g) {
    g.SetMode(SimpleLinesGenerator::kDancingLines);
    g.SetCount(5);
  });
  Register<SimpleLinesGenerator>("SimpleLinesSpotlights4", [](SimpleLinesGenerator& g) {
    g.SetMode(SimpleLinesGenerator::kSpotlights);
    g.SetCorners(15);
  });
  Register<SimpleLinesGenerator>("SimpleLinesSnakes5", [](SimpleLinesGenerator& g) {
    g.SetMode(SimpleLinesGenerator::kDancingSnakes);
    g.SetCount(5);
  });
  Register<SineLinesGenerator>("SineLines", [](SineLinesGenerator&) {});
  Register<SineLinesGenerator>("SineLines3Audio", [](SineLinesGenerator& g) {
    g.SetLines(3);
    g.SetAudio(true);
  });
  return true;
}();

}  // namespace
}  // namespace quor

// Drawing primitives at 128 x 128: a disc, a filled star, a flood fill and a
// line of text, each drawn over a frame that is cleared before every pass.
// The counted pixels are those the shape lights, each written once (read
// too when max-blending).
#include <benchmark/benchmark.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "bench/bench_support.h"
#include "generators/draw.h"
#include "generators/text_render.h"

namespace quor {
namespace {

constexpr int kSide = 128;
constexpr Rgb kColor{250, 120, 30};

using DrawFn = std::function<void(const Canvas&)>;

void DrawCase(benchmark::State& state, const DrawFn& draw, bool maxBlend) {
  std::vector<uint8_t> frame(static_cast<size_t>(kSide) * kSide * 3);
  const Canvas canvas{frame.data(), kSide, kSide};
  draw(canvas);
  double lit = 0;
  for (size_t i = 0; i < frame.size(); i += 3) lit += frame[i] + frame[i + 1] + frame[i + 2] != 0;
  for (auto _ : state) {
    std::memset(frame.data(), 0, frame.size());
    draw(canvas);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  bench::SetCaseSize(state, lit, maxBlend ? 3 * lit : 0, 3 * lit);
}

const bool kRegistered = [] {
  benchmark::RegisterBenchmark("Draw/FillCircle/r50/128x128", DrawCase,
                               DrawFn([](const Canvas& c) { FillCircle(c, 64, 64, 50, kColor, false); }), false);
  benchmark::RegisterBenchmark("Draw/FillCircleMaxBlend/r50/128x128", DrawCase,
                               DrawFn([](const Canvas& c) { FillCircle(c, 64, 64, 50, kColor, true); }), true);
  benchmark::RegisterBenchmark("Draw/FillStar5/r60/128x128", DrawCase,
                               DrawFn([](const Canvas& c) { FillStar5(c, 64, 64, 60, kColor, false); }), false);
  benchmark::RegisterBenchmark("Draw/FloodFill/Circle/128x128", DrawCase, DrawFn([](const Canvas& c) {
                                 DrawCircle(c, 64, 64, 50, {1, 1, 1}, false);
                                 FloodFill(c, 64, 64, kColor, false);
                               }),
                               false);
  benchmark::RegisterBenchmark("Draw/DrawTextChars/24px/128x128", DrawCase, DrawFn([](const Canvas& c) {
                                 bench::EnsureGuiApplication();
                                 TextStyle style;
                                 style.antialias = true;
                                 DrawTextChars(c, 2, 50, 24, kColor, false, style, "Quor 128");
                               }),
                               false);
  return true;
}();

}  // namespace
}  // namespace quor

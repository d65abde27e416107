// The previews: DrawPreview of a 128x128 frame into 320 x 200 (three per mix
// pass), and the whole mix pass at 128x128 with the three previews drawn and
// handed over, as the clock thread runs it while the window is open.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "bench/bench_support.h"
#include "engine/engine.h"
#include "generators/generator_catalogue.h"
#include "ui/preview_renderer.h"

namespace quor {
namespace {

void DrawThreePreviews(benchmark::State& state) {
  const auto frame = bench::TestFrame(128, 128, 3);
  std::array<QImage, 3> pictures;
  for (QImage& picture : pictures) picture = QImage(kPreviewWidth, 200, QImage::Format_RGB32);
  for (auto _ : state) {
    for (size_t i = 0; i < pictures.size(); ++i) DrawPreview(frame.data(), 128, 128, 1, i == 2, pictures[i]);
    benchmark::DoNotOptimize(pictures[0].constBits());
  }
  // Per preview pixel written (three 320 x 200 pictures).
  bench::SetCaseSize(state, 3 * kPreviewWidth * 200, 3 * 128 * 128 * 3.0, 3 * kPreviewWidth * 200 * 4.0);
}

void MixPassWithPreviews(benchmark::State& state) {
  Engine engine(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
  engine.ResizeMatrix(128, 128);
  engine.StopClock();
  PreviewRenderer renderer(engine);
  engine.EditHooks([&renderer](EngineHooks& hooks) { hooks.drawPreview = [&renderer] { renderer.RenderAll(); }; });
  for (int s = 0; s < kSlotCount; ++s) {
    const auto picture = bench::TestFrame(128, 128, static_cast<uint32_t>(s + 1));
    std::copy(picture.begin(), picture.end(), engine.frame(static_cast<FrameIndex>(s)));
  }
  engine.SetMergeMode(kMixChannel1, 6);
  engine.SetGammaSetting(200);
  engine.SetPreviewSource(1, kPreviewGenerator2);
  for (auto _ : state) {
    engine.RunMixPass();
    // The GUI side takes each picture, as the window's refresh does.
    for (int i = 0; i < kPreviewCount; ++i) benchmark::DoNotOptimize(renderer.buffer(i).TakeNew());
  }
  engine.EditHooks([](EngineHooks& hooks) { hooks.drawPreview = nullptr; });
  const int pixels = 128 * 128;
  bench::SetCaseSize(state, pixels, 6 * pixels * 3.0, 3 * pixels * 3.0 + 3 * kPreviewWidth * 200 * 4.0);
}

BENCHMARK(DrawThreePreviews)->Name("DrawPreview/Three/128x128");
BENCHMARK(MixPassWithPreviews)->Name("MixPass/WithPreviews/128x128");

}  // namespace
}  // namespace quor

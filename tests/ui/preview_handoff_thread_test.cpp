// The previews drawn by the real clock thread while this thread, standing in for the GUI,
// reads them, switches sources and show mode and resizes the matrix (run under TSan).
#include <gtest/gtest.h>

#include <thread>

#include "engine/engine.h"
#include "generators/generator_catalogue.h"
#include "ui/preview_renderer.h"

namespace quor {
namespace {

TEST(PreviewHandoffThread, GuiReadsEveryPreviewWhileTheClockDrawsThem) {
  Engine engine(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kThread, 1});
  PreviewRenderer renderer(engine);
  engine.EditHooks([&renderer](EngineHooks& hooks) { hooks.drawPreview = [&renderer] { renderer.RenderAll(); }; });
  engine.SelectEffect(0, 3), engine.SelectEffect(1, 5);  // Plasma, Metaballs
  engine.RebindSlots();
  engine.StartClock();

  std::array<int, kPreviewCount> taken{};
  uint64_t checksum = 0;
  const auto start = std::chrono::steady_clock::now();
  bool resized = false;
  while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(800)) {
    for (int i = 0; i < kPreviewCount; ++i) {
      if (!renderer.buffer(i).TakeNew()) continue;
      ++taken[static_cast<size_t>(i)];
      const QImage& picture = renderer.buffer(i).Latest();
      ASSERT_EQ(picture.width(), kPreviewWidth);
      for (int y = 0; y < picture.height(); y += 7) checksum += picture.pixel(y % kPreviewWidth, y);
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    engine.SetPreviewSource(0, static_cast<int>(elapsed.count() / 1000000 / 50 % 4));
    engine.SetControl({ControlId::kShowMode}, elapsed > std::chrono::milliseconds(600) ? 1 : 0);
    if (!resized && elapsed > std::chrono::milliseconds(300)) {
      ASSERT_TRUE((resized = engine.ResizeMatrix(32, 260)));  // taller previews
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  engine.StopClock();
  engine.EditHooks([](EngineHooks& hooks) { hooks.drawPreview = nullptr; });
  for (int i = 0; i < kPreviewCount; ++i) EXPECT_GT(taken[static_cast<size_t>(i)], 5) << "preview " << i;
  EXPECT_EQ(renderer.buffer(kPreviewCentre).Latest().height(), 260);
  EXPECT_NE(checksum, 0u);
}

}  // namespace
}  // namespace quor

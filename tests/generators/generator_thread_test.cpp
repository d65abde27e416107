#include "generators/generator_catalogue.h"
#include "generators/image_viewer.h"

#include <chrono>
#include <thread>
#include <atomic>

#include "engine/engine.h"
#include "generator_rig.h"
#include "image_files.h"

namespace quor {
namespace {

// Dialog edits against the running clock: every control of every table is moved through Engine::EditGenerator while
// the four slots render on the clock thread. The ThreadSanitizer build runs this.
TEST(SettingsDialogThread, EveryControlEditsTheLiveGeneratorWhileItRenders) {
  Engine engine(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kThread, 1});
  engine.StartClock();
  const auto dialogs = BuiltinSettingsDialogs();
  for (size_t first = 0; first < dialogs.size(); first += kSlotCount) {
    for (int slot = 0; slot < kSlotCount; ++slot) {
      engine.SelectEffect(slot, EffectListPosition(dialogs[(first + static_cast<size_t>(slot)) % dialogs.size()]->typeId));
    }
    engine.RebindSlots();
    for (int round = 0; round < 3; ++round) {
      for (int slot = 0; slot < kSlotCount; ++slot) {
        const SettingsDialogTable& dialogTable = *dialogs[(first + static_cast<size_t>(slot)) % dialogs.size()];
        for (const DialogControl& c : dialogTable.controls) {
          const PositionRange range = ControlRange(c);
          engine.EditGenerator(slot, [&](Generator& g) {
            if (range.first <= range.last) ApplyControlPosition(c, g, round % 2 == 0 ? range.last : range.first);
            if (c.kind == ControlKind::kColorGroup) {
              ApplyColorChannel(c, g, ColorChannel::kRed, 40 * round);
              ApplyAutoColorBox(c, g, AutoColorBox::kAutoColorSync, round == 1);
            }
            if (c.kind == ControlKind::kTextBox) ApplyControlText(c, g, round == 1 ? "" : "Quor!");
            (void)ControlEnabled(dialogTable, c, g, engine.width(), engine.height());
          });
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
  }
  engine.StopRendering();
  SUCCEED();
}

// The Image Viewer on a rendering thread of its own while the UI side reloads, replaces and destroys images: a Render
// never reads a released image (ASan) and never races the loader or the UI side (TSan).
TEST(ImageViewerThreads, RenderingSurvivesReloadsAndDestroys) {
  const std::string dir = test::FreshTestDir("image_viewer_threads");
  std::vector<uint8_t> rgb(24 * 12 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = uint8_t(i * 7);
  test::WriteFile(dir + "/a.png", test::Png(24, 12, rgb));
  test::WriteFile(dir + "/b.gif", test::AnimatedGif(8, 8, {{255, 0, 0}, {0, 0, 255}}));
  test::GeneratorHarness harness;
  ImageViewerGenerator viewer(harness.context);
  ASSERT_TRUE(viewer.Create(16, 8));

  std::atomic<bool> stop{false};
  std::thread clock([&] {
    std::vector<uint8_t> frame(16 * 8 * 3);
    while (!stop.load()) viewer.Render({frame.data(), 16, 8});
  });
  SettingsBlock block{};
  for (int n = 0; n < 200; ++n) {
    switch (n % 4) {
      case 0: viewer.LoadPath(dir + "/a.png"); break;
      case 1: viewer.LoadPath(dir + "/b.gif"); break;
      case 2: viewer.ExchangeSettings(block, SettingsDirection::kLoad); break;
      case 3: viewer.Destroy(); break;
    }
    if (n % 8 == 1) viewer.ExchangeSettings(block, SettingsDirection::kStore);
    if (n % 16 == 5) viewer.WaitForLoader(5000);
  }
  stop.store(true);
  clock.join();
  viewer.Destroy();
  EXPECT_EQ(viewer.status(), BusyStatus::kDestroyed);
}

}  // namespace
}  // namespace quor

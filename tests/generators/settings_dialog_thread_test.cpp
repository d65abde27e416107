// Dialog edits against the running clock: every control of every table is moved through Engine::EditGenerator while
// the four slots render on the clock thread. The ThreadSanitizer build runs this.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engine/engine.h"
#include "generators/builtin_dialogs.h"
#include "generators/builtin_generators.h"

namespace quor {
namespace {

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

}  // namespace
}  // namespace quor

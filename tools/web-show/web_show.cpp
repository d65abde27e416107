// Writes the show the web remote's page test and screenshot play: an 8 x 4
// matrix sent as one Art-Net universe to 127.0.0.1 at one port, with the
// output running when the show is loaded, and two scenes: "Dark" (every
// slot None / Blackout, as the show starts) and "Plasma" (Plasma in every
// slot), plus one chase.
//
//   quor_web_show OUT.qrx PORT
#include <cstdio>
#include <string>

#include "engine/engine.h"
#include "tools/show-writer/show_writer.h"
#include "generators/generator_catalogue.h"
#include "show/show.h"

namespace quor {
namespace {

constexpr int kPlasmaType = 1;

int Write(const std::string& path, int port) {
  Engine engine(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
  engine.console().SetSink([](std::string_view) {});
  if (!engine.ResizeMatrix(8, 4)) return 1;
  OutputDevice device;
  device.driver = kDriverArtNet, device.port = port, device.channels = 3 * 8 * 4;
  device.universe = 0;
  device.SetAddress("127.0.0.1");
  engine.outputs().devices().Add(device);
  for (int i = 0; i < 8 * 4; ++i) engine.patch().entries()[static_cast<size_t>(i)] = PatchEntry{0, i * 3, i * 3 + 1, i * 3 + 2};
  engine.outputs().PatchChanged();
  Show& show = engine.show();
  for (int slot = 0; slot < kSlotCount; ++slot) engine.SelectEffect(slot, EffectListPosition(kPlasmaType));
  engine.RebindSlots();
  show.sceneList().Add("Plasma");
  for (int slot = 0; slot < kSlotCount; ++slot) engine.SelectEffect(slot, 0);
  engine.RebindSlots();
  show.sceneList().Add("Dark");
  show.chases().InsertChase(0, "Both");
  show.chases().InsertStep(0, 0, ChaseStep{kStepScene, 0, 0, 0, 1000});
  show.chases().InsertStep(0, 1, ChaseStep{kStepScene, 1, 0, 0, 1000});
  return SaveRunningShow(engine, path, "quor_web_show");
}

}  // namespace
}  // namespace quor

int main(int argc, char** argv) { return quor::ShowWriterMain(argc, argv, "quor_web_show", quor::Write); }

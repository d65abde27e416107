// Writes the show that tools/cpu-headless measures: a 128 x 128 matrix whose every
// pixel is patched, in order, to 97 Art-Net devices (170 pixels to a
// universe, universes 0..96), all sending to 127.0.0.1 at one port, with the
// output running when the show is loaded.
//
//   quor_cpu_show OUT.qrx PORT
#include <cstdio>
#include <string>

#include "engine/engine.h"
#include "tools/show-writer/show_writer.h"
#include "generators/generator_catalogue.h"

namespace quor {
namespace {

constexpr int kSide = 128;
constexpr int kPixelsPerUniverse = 170;

int Write(const std::string& path, int port) {
  Engine engine(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
  engine.console().SetSink([](std::string_view) {});
  if (!engine.ResizeMatrix(kSide, kSide)) {
    std::fprintf(stderr, "quor_cpu_show: cannot make a %d x %d matrix\n", kSide, kSide);
    return 1;
  }
  const int pixels = engine.width() * engine.height();
  for (int universe = 0; universe * kPixelsPerUniverse < pixels; ++universe) {
    OutputDevice device;
    device.driver = kDriverArtNet, device.port = port, device.channels = 3 * kPixelsPerUniverse;
    device.universe = universe;
    device.SetAddress("127.0.0.1");
    engine.outputs().devices().Add(device);
  }
  for (int i = 0; i < pixels; ++i) {
    const int channel = i % kPixelsPerUniverse * 3;
    engine.patch().entries()[static_cast<size_t>(i)] =
        PatchEntry{i / kPixelsPerUniverse, channel, channel + 1, channel + 2};
  }
  engine.outputs().PatchChanged();
  return SaveRunningShow(engine, path, "quor_cpu_show");
}

}  // namespace
}  // namespace quor

int main(int argc, char** argv) { return quor::ShowWriterMain(argc, argv, "quor_cpu_show", quor::Write); }

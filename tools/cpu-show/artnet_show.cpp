// Writes the show that tools/cpu-headless measures: a 128 x 128 matrix whose every
// pixel is patched, in order, to 97 Art-Net devices (170 pixels to a
// universe, universes 0..96), all sending to 127.0.0.1 at one port, with the
// output running when the show is loaded.
//
//   quor_cpu_show OUT.qrx PORT
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/engine.h"
#include "engine/project_file.h"
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
  // Saved with the output running, so loading the show starts it.
  if (!engine.OpenOutputs()) {
    std::fprintf(stderr, "quor_cpu_show: the outputs did not open\n");
    return 1;
  }
  const ProjectFileResult saved = SaveProject(engine, path);
  engine.CloseOutputs();
  if (saved.status != ProjectFileStatus::kDone) {
    std::fprintf(stderr, "quor_cpu_show: cannot save %s: %s\n", path.c_str(), saved.reason.c_str());
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace quor

int main(int argc, char** argv) {
  const int port = argc == 3 ? std::atoi(argv[2]) : 0;
  if (port <= 0 || port > 65535) {
    std::fprintf(stderr, "usage: quor_cpu_show OUT.qrx PORT\n");
    return 2;
  }
  return quor::Write(argv[1], port);
}

// libFuzzer target: arbitrary bytes as a project file. Whatever the parser
// accepts is applied to a fresh engine on a manual clock, and written back
// out, which must give a file the parser accepts again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "core/generator_registry.h"
#include "engine/engine.h"
#include "engine/project_file.h"
#include "files/project_format.h"
#include "generators/none_generator.h"

namespace {

const quor::GeneratorRegistry& Registry() {
  static const quor::GeneratorRegistry registry(&quor::CreateNoneGenerator);  // None / Blackout only
  return registry;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  (void)quor::ParseProject(bytes, quor::ProjectScope::kScenesAndChases);
  quor::Result<quor::ProjectData> parsed = quor::ParseProject(bytes);
  if (!parsed) return 0;

  // Outputs never open here: the devices would create files and send
  // packets wherever the input says.
  parsed->outputRunning = 0;
  quor::Engine engine(Registry(), quor::EngineOptions{quor::FrameClock::Mode::kManual, 1});
  engine.console().SetSink([](std::string_view) {});
  quor::ApplyProject(engine, std::move(*parsed));
  engine.RunMixPass();
  if (!quor::ParseProject(quor::SerializeProject(engine))) std::abort();
  (void)quor::ImportProjectBytes(engine, bytes);
  return 0;
}

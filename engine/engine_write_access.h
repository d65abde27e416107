// Write access to the engine's live values for the engine layer's own code
// that sets them wholesale (loading a project, the lifecycle's start-up and
// shut-down). Front ends (ui/, app/, input surfaces) never include this
// header; tools/check-layers refuses it there. They go through the
// engine's commands and the control address space instead.
#pragma once

#include "engine/engine.h"

namespace quor {

struct EngineWriteAccess {
  static EngineSettings& Settings(Engine& engine) { return engine.settings_; }
  static RuntimeFlags& Flags(Engine& engine) { return engine.flags_; }
  static MixerPanel& Panel(Engine& engine) { return engine.panel_; }
};

}  // namespace quor

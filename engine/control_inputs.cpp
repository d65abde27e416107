#include "engine/control_inputs.h"

namespace quor {

ControlSettings CurrentControlSettings(Engine& engine) {
  ControlSettings settings;
  settings.osc = engine.oscSettings();
  settings.midi = engine.midi().Settings();
  return settings;
}

bool ApplyOscSettings(Engine& engine, const OscSettings& settings) {
  engine.oscSettings() = settings;
  if (!settings.enabled) {
    engine.osc().Close();
    return true;
  }
  if (!engine.osc().Open()) return false;
  engine.console().Print("OSC input listening on UDP port %d\n", engine.osc().LocalPort());
  return true;
}

bool ApplyControlSettings(Engine& engine, const ControlSettings& settings) {
  engine.midi().Apply(settings.midi);
  return ApplyOscSettings(engine, settings.osc);
}

}  // namespace quor

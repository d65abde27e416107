// The control surfaces (OSC, MIDI) as a whole: the settings in use, taking
// new ones, and the kept settings of a project's side file.
// UI thread.
#pragma once

#include <string>

#include "engine/engine.h"
#include "files/control_settings.h"

namespace quor {

// The settings the inputs use now (MIDI with the mappings learn made).
ControlSettings CurrentControlSettings(Engine& engine);
// Takes `settings`: the OSC input reopens (or closes) and the MIDI input
// applies its part. False when OSC was to open and could not (the console
// says why).
bool ApplyControlSettings(Engine& engine, const ControlSettings& settings);
// Only the OSC part; the same answer.
bool ApplyOscSettings(Engine& engine, const OscSettings& settings);

}  // namespace quor

// The control surfaces' settings a project keeps: the OSC input (on or off,
// where it listens, where feedback goes) and the MIDI input (on or off, its
// ports and every mapping). They live in the "controls" section of the
// project's side file (files/side_file.h), so the project file's bytes never
// change for them, and an installation opened without a window still plays
// from its surfaces.
//
// Reading is bounded: a section with a field of the wrong type, a number out
// of range, an unknown control name, a doubled MIDI source or more mappings
// than there are MIDI sources is refused whole, with a message that names
// the file and the field, and nothing is taken from it.
// Any thread but the clock thread (reads and writes wait for the disk).
#pragma once

#include <QJsonObject>
#include <optional>
#include <string>

#include "input/midi_mapping.h"
#include "input/osc_input.h"
#include "platform/failure.h"

namespace quor {

inline constexpr const char* kControlsSection = "controls";
// More than any set of surfaces has pads, keys and faders, and few enough
// that the section stays far inside the side file's size limit.
inline constexpr int kMaxMidiMappings = 2048;
// Longer port names than any system gives.
inline constexpr int kMaxMidiPortNameLength = 256;

struct ControlSettings {
  OscSettings osc;
  MidiSettings midi;
};

// Field by field (OscSettings has no comparison of its own).
bool operator==(const ControlSettings& a, const ControlSettings& b);

QJsonObject ControlSettingsToJson(const ControlSettings& settings);
// Nothing, with `problem` naming the field, for a damaged section.
std::optional<ControlSettings> ControlSettingsFromJson(const QJsonObject& section, std::string& problem);

struct ControlSettingsRead {
  // Nothing when the side file is missing, has no "controls" section, or
  // the file or section was refused.
  std::optional<ControlSettings> settings;
  // Why a file or section that is there was refused, naming the file;
  // empty otherwise.
  std::string problem;
};

// The "controls" section of the side file at `sidePath`.
ControlSettingsRead ReadControlSettings(const std::string& sidePath);
// Replaces the "controls" section, keeping the file's other sections.
std::optional<Failure> WriteControlSettings(const std::string& sidePath, const ControlSettings& settings);

}  // namespace quor

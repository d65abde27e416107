// MIDI messages and the mappings that tie a pad, key or fader of a MIDI
// surface to a control.
//
// A mapping's source is a note (pads and keys), a control change (faders,
// knobs, buttons that send CC) or a program change on one channel. What the
// source does depends on the control's kind:
//   fader            the source's value 0..127 spans low..high of the
//                    control's range (high..low when inverted); with soft
//                    takeover a fader that is away from the control's value
//                    does nothing until it crosses that value
//   toggle           momentary: on while held (note on / value >= 64), off
//                    on release; toggle (latch): each press flips it
//   button, trigger  a press acts once; a release does nothing
// Feedback: when a mapped control's value changes, the output port gets the
// source's message with the control's value (a fader's position as 0..127,
// on = 127 and off = 0 for the rest), so pad lights and motor faders follow.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/controls.h"

namespace quor {

enum class MidiKind : uint8_t { kNoteOff, kNoteOn, kControlChange, kProgramChange };

// One channel message; channel 0..15, number and value 0..127 (a program
// change carries its program in `number` and 0 in `value`).
struct MidiMessage {
  MidiKind kind = MidiKind::kNoteOn;
  uint8_t channel = 0;
  uint8_t number = 0;
  uint8_t value = 0;
  friend bool operator==(const MidiMessage&, const MidiMessage&) = default;
};

enum class MidiSourceKind : uint8_t { kNote, kControlChange, kProgramChange };

struct MidiSource {
  MidiSourceKind kind = MidiSourceKind::kNote;
  uint8_t channel = 0;  // 0..15 (shown as 1..16)
  uint8_t number = 0;   // note, controller or program 0..127
  friend bool operator==(const MidiSource&, const MidiSource&) = default;
};

enum class MidiButtonMode : uint8_t { kMomentary, kToggle };

struct MidiMapping {
  ControlAddress control;
  MidiSource source;
  MidiButtonMode buttonMode = MidiButtonMode::kMomentary;
  // The part of the control's range a fader spans, in the control's units;
  // learn sets the control's whole range.
  int low = 0;
  int high = 127;
  bool inverted = false;
  bool softTakeover = true;
  friend bool operator==(const MidiMapping&, const MidiMapping&) = default;
};

// The MIDI input's settings: kept in the project's side file (and beside
// the autosave).
struct MidiSettings {
  bool enabled = false;
  // Port names as the system lists them; empty: none. A port that is not
  // there yet is opened when it appears.
  std::string inputPort;
  std::string outputPort;
  std::vector<MidiMapping> mappings;
  friend bool operator==(const MidiSettings&, const MidiSettings&) = default;
};

// "Note 36 ch 1", "CC 7 ch 2", "Program 5 ch 1".
std::string MidiSourceText(const MidiSource& source);

}  // namespace quor

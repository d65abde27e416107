// MIDI ports of the system: the ALSA sequencer's clients and ports, read
// and written through RtMidi. The MIDI input (input/midi_input.h) works on
// the MidiBackend interface, so tests can hand it an injected source.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quor {

struct MidiPortList {
  std::vector<std::string> inputs;
  std::vector<std::string> outputs;
};

// Where MIDI bytes come from and go to.
class MidiBackend {
 public:
  virtual ~MidiBackend() = default;
  virtual MidiPortList Ports() = 0;
  // Opens the input port `name` and hands every received message's bytes
  // to `receive` (on a thread of the backend's); false when it cannot.
  virtual bool OpenInput(const std::string& name, std::function<void(std::span<const uint8_t>)> receive) = 0;
  virtual void CloseInput() = 0;
  virtual bool OpenOutput(const std::string& name) = 0;
  virtual void CloseOutput() = 0;
  // Sends one message's bytes to the open output; false when none is open.
  virtual bool Send(std::span<const uint8_t> bytes) = 0;
};

// The ALSA sequencer backend; nothing when this system has no sequencer
// (no /dev/snd/seq), with the reason in `why`.
std::unique_ptr<MidiBackend> MakeSystemMidiBackend(std::string* why);
// A backend with no ports, for a system without a sequencer.
std::unique_ptr<MidiBackend> MakeNoMidiBackend();

// The port of `ports` that `wanted` names: the same name, else the one whose
// name without the trailing "client:port" numbers is the same (the numbers
// change when a controller is plugged in again); nothing when none is.
std::optional<std::string> MatchMidiPort(const std::vector<std::string>& ports, const std::string& wanted);

}  // namespace quor

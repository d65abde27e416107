// The MIDI input: pads, keys and faders of MIDI surfaces set controls
// through their mappings (input/midi_mapping.h), mappings are made by learn,
// and mapped controls send their state back to the surface's lights.
//
// The ports come from a MidiBackend: the ALSA sequencer in the program
// (platform/), an injected source in tests. Ports that appear after the
// input opened (a controller plugged in later) are found by rescanning.
//
// Threads: everything public on the UI thread except Inject (any thread).
// Incoming messages are handled on the backend's or the input's own
// thread; it sets controls through ControlSurface::SetControl and never
// touches the clock thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/console.h"
#include "core/controls.h"
#include "input/control_activity.h"
#include "input/midi_mapping.h"
#include "platform/midi_ports.h"

namespace quor {

// How often the input compares the mapped controls' values for feedback,
// and looks for named ports that were missing.
inline constexpr int kMidiFeedbackIntervalMs = 40;
inline constexpr int kMidiRescanIntervalMs = 2000;

// What `quor --list-midi` prints: the system's MIDI input and output ports
// by the names the settings take, or why there are none.
std::string MidiPortListText(MidiBackend* backend, const std::string& unavailable);

struct MidiCounters {
  std::atomic<int64_t> received{0};   // messages decoded
  std::atomic<int64_t> malformed{0};  // bytes that made no message
  std::atomic<int64_t> mapped{0};     // messages that reached a control
  std::atomic<int64_t> feedback{0};   // feedback messages sent
};

class MidiInput {
 public:
  MidiInput(ControlSurface& controls, Console& console, ControlActivity& activity,
            std::unique_ptr<MidiBackend> backend);
  ~MidiInput();
  MidiInput(const MidiInput&) = delete;
  MidiInput& operator=(const MidiInput&) = delete;

  // Takes new settings: (re)opens the named ports when enabled, closes them
  // when not, and uses the mappings from now on. A port that is missing is
  // said once on the console and opened when a rescan finds it.
  void Apply(const MidiSettings& settings);
  // The settings in use, with the mappings learn made.
  MidiSettings Settings() const;
  void Close();
  bool InputOpen() const;
  bool OutputOpen() const;
  // The ports there now (rescans).
  MidiPortList Ports();

  // The next note, control change or program change from the surface maps
  // to `control` (replacing what that source or that control was mapped to
  // before); the learn ends with it.
  void Learn(const ControlAddress& control);
  void CancelLearn();
  std::optional<ControlAddress> Learning() const;
  // Goes up by one each time a learn completes or a mapping is cleared.
  uint64_t MappingsVersion() const;
  // Removes the mappings of `control`.
  void Clear(const ControlAddress& control);

  // Handles raw MIDI bytes as if the input port had sent them.
  void Inject(std::span<const uint8_t> bytes);
  const MidiCounters& counters() const;
  // Compares the mapped controls' values with those last sent and sends
  // feedback for the changed ones (the input calls it every 40 ms on its
  // thread while a port is open; tests may call it directly).
  void SendFeedback();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace quor

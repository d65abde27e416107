#include "input/midi_input.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>

#include "input/midi_decoder.h"

namespace quor {
namespace {

using SourceKey = std::tuple<int, int, int>;
SourceKey KeyOf(const MidiSource& source) {
  return {static_cast<int>(source.kind), source.channel, source.number};
}
using MappingKey = std::tuple<int, int, int, int, int>;
MappingKey KeyOf(const MidiMapping& mapping) {
  return {static_cast<int>(mapping.source.kind), mapping.source.channel, mapping.source.number,
          static_cast<int>(mapping.control.id), mapping.control.instance};
}

MidiSource SourceOf(const MidiMessage& message) {
  switch (message.kind) {
    case MidiKind::kNoteOff:
    case MidiKind::kNoteOn: return {MidiSourceKind::kNote, message.channel, message.number};
    case MidiKind::kControlChange: return {MidiSourceKind::kControlChange, message.channel, message.number};
    case MidiKind::kProgramChange: return {MidiSourceKind::kProgramChange, message.channel, message.number};
  }
  return {};
}

bool ValidAddress(const ControlAddress& control) {
  for (const ControlSpec& spec : ControlSpecs()) {
    if (spec.id == control.id) return control.instance >= 0 && control.instance < spec.maxInstances;
  }
  return false;
}

// The ends of the span a position 0..127 covers: `from` at 0, `to` at 127.
std::pair<int64_t, int64_t> Span(const MidiMapping& mapping) {
  const int64_t low = mapping.low, high = mapping.high;
  return mapping.inverted ? std::pair{high, low} : std::pair{low, high};
}

int PositionToValue(const MidiMapping& mapping, int position) {
  const auto [from, to] = Span(mapping);
  const int64_t value = from + static_cast<int64_t>(std::llround(static_cast<double>(to - from) * position / 127.0));
  return static_cast<int>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

int ValueToPosition(const MidiMapping& mapping, int value) {
  const auto [from, to] = Span(mapping);
  if (from == to) return value >= from ? 127 : 0;
  const double position = static_cast<double>(value - from) * 127.0 / static_cast<double>(to - from);
  return static_cast<int>(std::clamp<double>(std::round(position), 0, 127));
}

// The mapping learn makes for `control` from `source`: a fader spans the
// control's whole range; toggles latch, so letting go of a pad leaves the
// control as the press set it.
MidiMapping LearnedMapping(const ControlAddress& control, const MidiSource& source) {
  const ControlSpec& spec = SpecOf(control.id);
  MidiMapping mapping;
  mapping.control = control;
  mapping.source = source;
  mapping.low = spec.min;
  mapping.high = spec.max;
  mapping.buttonMode = MidiButtonMode::kToggle;
  return mapping;
}

}  // namespace

std::string MidiPortListText(MidiBackend* backend, const std::string& unavailable) {
  if (backend == nullptr) return "No MIDI ports: " + unavailable + "\n";
  const MidiPortList ports = backend->Ports();
  std::string text;
  auto list = [&](const char* title, const std::vector<std::string>& names) {
    text += title;
    if (names.empty()) text += "  (none)\n";
    for (const std::string& name : names) text += "  " + name + "\n";
  };
  list("MIDI input ports:\n", ports.inputs);
  list("MIDI output ports (feedback):\n", ports.outputs);
  return text;
}

struct MidiInput::State {
  State(ControlSurface& c, Console& o, ControlActivity& a, std::unique_ptr<MidiBackend> b)
      : controls(c), console(o), activity(a), backend(std::move(b)) {}

  ControlSurface& controls;
  Console& console;
  ControlActivity& activity;
  const std::unique_ptr<MidiBackend> backend;
  MidiCounters counters;

  // Settings, learn and the version: held briefly, never around a call
  // into the backend or the controls.
  mutable std::mutex mutex;
  MidiSettings settings;
  std::optional<ControlAddress> learning;
  uint64_t version = 0;

  // One message at a time: the decoder and what the handling remembers.
  std::mutex handleMutex;
  MidiDecoder decoder;
  struct Pickup {
    bool caught = false;
    std::optional<int> lastTarget;  // where the fader last asked to go
    std::optional<int> lastSet;     // the value it last set
  };
  std::map<MappingKey, Pickup> pickups;
  std::map<SourceKey, bool> held;  // control-change buttons pressed now

  // The ports: opening, closing and sending, in that order with `sentMutex`.
  std::mutex portMutex;
  std::atomic<bool> inputOpen{false};
  std::atomic<bool> outputOpen{false};
  std::set<std::string> said;  // missing ports told on the console

  // The position each source's feedback last sent (or the surface set).
  std::mutex sentMutex;
  std::map<SourceKey, int> sent;

  // The thread that sends feedback and rescans.
  std::mutex threadMutex;
  std::condition_variable wake;
  bool stopping = false;
  std::thread thread;

  void Receive(std::span<const uint8_t> bytes);
  void Handle(const MidiMessage& message);
  // True when the mapping set its control.
  bool ApplyMapping(const MidiMapping& mapping, const MidiMessage& message, bool press, bool release);
  void Set(const ControlAddress& control, int value, bool& acted);
  void OpenPorts(bool sayMissing);
  void SendFeedback();
  void Run();
  void StopThread();
  void ResetHandling();
};

void MidiInput::State::Handle(const MidiMessage& message) {
  const MidiSource source = SourceOf(message);
  // Whether the message presses or lets go of a pad or button. A control
  // change presses when it rises to 64 or more and lets go when it falls
  // below, so a knob sending 70, 80, 90 presses once.
  bool press = message.kind == MidiKind::kNoteOn || message.kind == MidiKind::kProgramChange;
  bool release = message.kind == MidiKind::kNoteOff;
  if (message.kind == MidiKind::kControlChange) {
    bool& down = held[KeyOf(source)];
    const bool now = message.value >= 64;
    press = now && !down;
    release = !now && down;
    down = now;
  }
  std::vector<MidiMapping> matches;
  {
    const std::lock_guard lock(mutex);
    if (!settings.enabled) return;
    if (learning && message.kind != MidiKind::kNoteOff) {
      const MidiMapping learned = LearnedMapping(*learning, source);
      std::erase_if(settings.mappings, [&](const MidiMapping& m) {
        return m.source == source || m.control == learned.control;
      });
      settings.mappings.push_back(learned);
      learning.reset();
      ++version;
      return;  // the message that taught the mapping does not act
    }
    for (const MidiMapping& mapping : settings.mappings) {
      if (mapping.source == source) matches.push_back(mapping);
    }
  }
  bool acted = false;
  for (const MidiMapping& mapping : matches) acted = ApplyMapping(mapping, message, press, release) || acted;
  if (acted) counters.mapped.fetch_add(1);
}

void MidiInput::State::Receive(std::span<const uint8_t> bytes) {
  std::vector<MidiMessage> messages;
  const std::lock_guard lock(handleMutex);
  const int64_t stray = decoder.strayBytes();
  decoder.Feed(bytes, messages);
  counters.malformed.fetch_add(decoder.strayBytes() - stray);
  for (const MidiMessage& message : messages) {
    counters.received.fetch_add(1);
    Handle(message);
  }
}

void MidiInput::State::Set(const ControlAddress& control, int value, bool& acted) {
  if (!controls.SetControl(control, value)) return;
  activity.Touch(control);
  acted = true;
}

bool MidiInput::State::ApplyMapping(const MidiMapping& mapping, const MidiMessage& message, bool press,
                                    bool release) {
  const ControlSpec& spec = SpecOf(mapping.control.id);
  bool acted = false;
  switch (spec.kind) {
    case ControlType::kFader: {
      // Notes move a fader by their velocity; a note off or a program
      // change has no position.
      if (message.kind == MidiKind::kNoteOff || message.kind == MidiKind::kProgramChange) return false;
      const int position = message.value;
      const int target = ClampControlValue(mapping.control.id, PositionToValue(mapping, position));
      Pickup& pickup = pickups[KeyOf(mapping)];
      if (mapping.softTakeover) {
        const std::optional<int> current = controls.ControlValue(mapping.control);
        if (!current) return false;
        // Moved by something else since: the fader must find it again.
        if (pickup.caught && pickup.lastSet && *current != *pickup.lastSet) pickup.caught = false;
        if (!pickup.caught) {
          const bool reached = ValueToPosition(mapping, *current) == position || *current == target;
          const bool crossed = pickup.lastTarget && std::min(*pickup.lastTarget, target) <= *current &&
                               *current <= std::max(*pickup.lastTarget, target);
          pickup.lastTarget = target;
          if (!reached && !crossed) return false;
          pickup.caught = true;
        }
      }
      pickup.lastTarget = target;
      Set(mapping.control, target, acted);
      if (acted) {
        pickup.lastSet = controls.ControlValue(mapping.control);
        // The fader is where it is: sending its own position back would
        // only fight a hand on a motor fader.
        const int now = pickup.lastSet.value_or(target);
        const std::lock_guard lock(sentMutex);
        sent[KeyOf(mapping.source)] = now == target ? position : ValueToPosition(mapping, now);
      }
      break;
    }
    case ControlType::kToggle: {
      const bool latch = mapping.buttonMode == MidiButtonMode::kToggle ||
                         message.kind == MidiKind::kProgramChange;  // a program change is never let go
      if (latch) {
        if (!press) return false;
        const std::optional<int> current = controls.ControlValue(mapping.control);
        if (!current) return false;
        Set(mapping.control, *current != 0 ? 0 : 1, acted);
      } else if (press || release) {
        Set(mapping.control, press ? 1 : 0, acted);
      }
      break;
    }
    case ControlType::kButton:
    case ControlType::kTrigger:
      if (press) Set(mapping.control, 1, acted);
      break;
  }
  return acted;
}

void MidiInput::State::OpenPorts(bool sayMissing) {
  MidiSettings wanted;
  {
    const std::lock_guard lock(mutex);
    if (!settings.enabled) return;
    wanted.inputPort = settings.inputPort;
    wanted.outputPort = settings.outputPort;
  }
  const bool needInput = !wanted.inputPort.empty() && !inputOpen.load();
  const bool needOutput = !wanted.outputPort.empty() && !outputOpen.load();
  if (!needInput && !needOutput) return;
  const MidiPortList ports = backend->Ports();
  auto missing = [&](const std::string& what, const std::string& name) {
    if (!sayMissing || !said.insert(what + name).second) return;
    console.Print(
        "MIDI %s: the port \"%s\" is not there; it opens by itself when it appears. Connect the controller, "
        "or choose another port (quor --list-midi lists them).\n",
        what.c_str(), name.c_str());
  };
  if (needInput) {
    if (const std::optional<std::string> name = MatchMidiPort(ports.inputs, wanted.inputPort)) {
      const bool opened = backend->OpenInput(*name, [this](std::span<const uint8_t> bytes) { Receive(bytes); });
      inputOpen.store(opened);
      if (opened) {
        said.erase("input" + wanted.inputPort);
        console.Print("MIDI input: reading \"%s\"\n", name->c_str());
      } else if (said.insert("input" + wanted.inputPort).second) {
        console.Print("MIDI input: the port \"%s\" could not be opened; it is tried again every %d s. Close "
                      "other programs that hold it.\n",
                      name->c_str(), kMidiRescanIntervalMs / 1000);
      }
    } else {
      missing("input", wanted.inputPort);
    }
  }
  if (needOutput) {
    if (const std::optional<std::string> name = MatchMidiPort(ports.outputs, wanted.outputPort)) {
      const bool opened = backend->OpenOutput(*name);
      outputOpen.store(opened);
      if (opened) {
        said.erase("feedback" + wanted.outputPort);
        // A surface plugged in (again) gets every light set.
        const std::lock_guard lock(sentMutex);
        sent.clear();
      } else if (said.insert("feedback" + wanted.outputPort).second) {
        console.Print("MIDI feedback: the port \"%s\" could not be opened; it is tried again every %d s.\n",
                      name->c_str(), kMidiRescanIntervalMs / 1000);
      }
    } else {
      missing("feedback", wanted.outputPort);
    }
  }
}

void MidiInput::State::SendFeedback() {
  const std::lock_guard portLock(portMutex);
  if (!outputOpen.load()) return;
  std::vector<MidiMapping> mappings;
  {
    const std::lock_guard lock(mutex);
    mappings = settings.mappings;
  }
  std::vector<MidiMessage> out;
  {
    const std::lock_guard lock(sentMutex);
    for (const MidiMapping& mapping : mappings) {
      // A program change has nothing a light could show.
      if (mapping.source.kind == MidiSourceKind::kProgramChange) continue;
      const std::optional<int> value = controls.ControlValue(mapping.control);
      if (!value) continue;
      const int position = SpecOf(mapping.control.id).kind == ControlType::kFader ? ValueToPosition(mapping, *value)
                                                                                 : (*value != 0 ? 127 : 0);
      const auto [at, added] = sent.try_emplace(KeyOf(mapping.source), position);
      if (!added && at->second == position) continue;
      at->second = position;
      const MidiKind kind =
          mapping.source.kind == MidiSourceKind::kNote ? MidiKind::kNoteOn : MidiKind::kControlChange;
      out.push_back({kind, mapping.source.channel, mapping.source.number, static_cast<uint8_t>(position)});
    }
  }
  for (const MidiMessage& message : out) {
    if (backend->Send(EncodeMidiMessage(message))) counters.feedback.fetch_add(1);
  }
}

void MidiInput::State::Run() {
  using Clock = std::chrono::steady_clock;
  Clock::time_point nextScan = Clock::now() + std::chrono::milliseconds(kMidiRescanIntervalMs);
  std::unique_lock lock(threadMutex);
  while (!stopping) {
    wake.wait_for(lock, std::chrono::milliseconds(kMidiFeedbackIntervalMs));
    if (stopping) break;
    lock.unlock();
    SendFeedback();
    if (Clock::now() >= nextScan) {
      nextScan = Clock::now() + std::chrono::milliseconds(kMidiRescanIntervalMs);
      const std::lock_guard portLock(portMutex);
      OpenPorts(true);
    }
    lock.lock();
  }
}

void MidiInput::State::StopThread() {
  if (!thread.joinable()) return;
  {
    const std::lock_guard lock(threadMutex);
    stopping = true;
  }
  wake.notify_all();
  thread.join();
}

void MidiInput::State::ResetHandling() {
  const std::lock_guard lock(handleMutex);
  decoder.Reset();
  pickups.clear();
  held.clear();
}

MidiInput::MidiInput(ControlSurface& controls, Console& console, ControlActivity& activity,
                     std::unique_ptr<MidiBackend> backend)
    : state_(std::make_unique<State>(controls, console, activity,
                                     backend ? std::move(backend) : MakeNoMidiBackend())) {}

MidiInput::~MidiInput() { Close(); }

void MidiInput::Apply(const MidiSettings& settings) {
  MidiSettings next = settings;
  // Mappings of controls that do not exist would never act.
  std::erase_if(next.mappings, [](const MidiMapping& m) {
    return !ValidAddress(m.control) || m.source.channel > 15 || m.source.number > 127;
  });
  MidiSettings previous;
  {
    const std::lock_guard lock(state_->mutex);
    previous = state_->settings;
    state_->settings = next;
    if (previous.mappings != next.mappings) ++state_->version;
  }
  if (!next.enabled) {
    Close();
    return;
  }
  {
    const std::lock_guard portLock(state_->portMutex);
    if (state_->inputOpen.load() && (!previous.enabled || previous.inputPort != next.inputPort)) {
      state_->backend->CloseInput();
      state_->inputOpen.store(false);
    }
    if (state_->outputOpen.load() && (!previous.enabled || previous.outputPort != next.outputPort)) {
      state_->backend->CloseOutput();
      state_->outputOpen.store(false);
    }
    if (previous.inputPort != next.inputPort || previous.outputPort != next.outputPort) state_->said.clear();
    {
      const std::lock_guard lock(state_->sentMutex);
      state_->sent.clear();
    }
  }
  if (previous.mappings != next.mappings) state_->ResetHandling();
  {
    const std::lock_guard portLock(state_->portMutex);
    state_->OpenPorts(true);
  }
  if (!state_->thread.joinable()) {
    state_->stopping = false;
    state_->thread = std::thread([this] { state_->Run(); });
  }
}

MidiSettings MidiInput::Settings() const {
  const std::lock_guard lock(state_->mutex);
  return state_->settings;
}

void MidiInput::Close() {
  state_->StopThread();
  {
    const std::lock_guard portLock(state_->portMutex);
    if (state_->inputOpen.exchange(false)) state_->backend->CloseInput();
    if (state_->outputOpen.exchange(false)) state_->backend->CloseOutput();
  }
  state_->ResetHandling();
}

bool MidiInput::InputOpen() const { return state_->inputOpen.load(); }
bool MidiInput::OutputOpen() const { return state_->outputOpen.load(); }

MidiPortList MidiInput::Ports() {
  const std::lock_guard portLock(state_->portMutex);
  state_->OpenPorts(false);
  return state_->backend->Ports();
}

void MidiInput::Learn(const ControlAddress& control) {
  if (!ValidAddress(control)) return;
  const std::lock_guard lock(state_->mutex);
  state_->learning = control;
}

void MidiInput::CancelLearn() {
  const std::lock_guard lock(state_->mutex);
  state_->learning.reset();
}

std::optional<ControlAddress> MidiInput::Learning() const {
  const std::lock_guard lock(state_->mutex);
  return state_->learning;
}

uint64_t MidiInput::MappingsVersion() const {
  const std::lock_guard lock(state_->mutex);
  return state_->version;
}

void MidiInput::Clear(const ControlAddress& control) {
  const std::lock_guard lock(state_->mutex);
  if (std::erase_if(state_->settings.mappings, [&](const MidiMapping& m) { return m.control == control; }) > 0) {
    ++state_->version;
  }
}

void MidiInput::Inject(std::span<const uint8_t> bytes) { state_->Receive(bytes); }

const MidiCounters& MidiInput::counters() const { return state_->counters; }

void MidiInput::SendFeedback() { state_->SendFeedback(); }

}  // namespace quor

// libFuzzer target: arbitrary bytes as a MIDI stream. The bytes are decoded
// in reads whose sizes the data chooses, every message must have fields in
// range and encode to bytes that decode to it again; then the same bytes go
// through a MIDI input whose first eight bytes choose its mappings (and a
// learn), over a surface that refuses values outside a control's range, and
// the feedback it sends must be well-formed messages.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <span>
#include <vector>

#include "input/midi_decoder.h"
#include "input/midi_input.h"

namespace {

class Surface final : public quor::ControlSurface {
 public:
  bool SetControl(const quor::ControlAddress& address, int value) override {
    const quor::ControlSpec& spec = quor::SpecOf(address.id);
    if (address.instance < 0 || address.instance >= ControlInstances(address.id)) return false;
    if (value < spec.min || value > spec.max) std::abort();
    values_[{static_cast<int>(address.id), address.instance}] = value;
    return true;
  }
  std::optional<int> ControlValue(const quor::ControlAddress& address) const override {
    if (address.instance < 0 || address.instance >= ControlInstances(address.id)) return std::nullopt;
    const auto found = values_.find({static_cast<int>(address.id), address.instance});
    return found == values_.end() ? quor::SpecOf(address.id).min : found->second;
  }
  int ControlInstances(quor::ControlId id) const override {
    const quor::ControlSpec& spec = quor::SpecOf(id);
    return spec.instances > 0 ? spec.instances : 3;
  }

 private:
  std::map<std::pair<int, int>, int> values_;
};

class Port final : public quor::MidiBackend {
 public:
  quor::MidiPortList Ports() override { return {{"In 1:0"}, {"Out 1:0"}}; }
  bool OpenInput(const std::string&, std::function<void(std::span<const uint8_t>)>) override { return true; }
  void CloseInput() override {}
  bool OpenOutput(const std::string&) override { return true; }
  void CloseOutput() override {}
  bool Send(std::span<const uint8_t> bytes) override {
    if (bytes.size() < 2 || bytes.size() > 3 || bytes[0] < 0x80 || bytes[0] >= 0xF0) std::abort();
    for (size_t i = 1; i < bytes.size(); ++i) {
      if (bytes[i] >= 0x80) std::abort();
    }
    return true;
  }
};

void CheckDecoder(std::span<const uint8_t> data) {
  quor::MidiDecoder decoder;
  std::vector<quor::MidiMessage> messages;
  size_t at = 0;
  while (at < data.size()) {
    const size_t chunk = std::min<size_t>(data.size() - at, 1 + data[at] % 7);
    decoder.Feed(data.subspan(at, chunk), messages);
    at += chunk;
  }
  for (const quor::MidiMessage& message : messages) {
    if (message.channel > 15 || message.number > 127 || message.value > 127) std::abort();
    quor::MidiDecoder again;
    std::vector<quor::MidiMessage> back;
    again.Feed(quor::EncodeMidiMessage(message), back);
    if (back.size() != 1 || !(back[0] == message)) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static quor::Console console;
  static const bool quiet = (console.SetSink([](std::string_view) {}), true);
  (void)quiet;
  const std::span<const uint8_t> bytes(data, size);
  CheckDecoder(bytes);
  if (size < 8) return 0;

  Surface surface;
  quor::ControlActivity activity;
  quor::MidiInput input(surface, console, activity, std::make_unique<Port>());
  const std::span<const quor::ControlSpec> specs = quor::ControlSpecs();
  quor::MidiSettings settings;
  settings.enabled = true;
  settings.inputPort = "In 1:0";
  settings.outputPort = "Out 9:9";  // matched without its numbers
  for (size_t i = 0; i < 3; ++i) {
    const uint8_t a = data[2 * i], b = data[2 * i + 1];
    quor::MidiMapping mapping;
    mapping.control = {specs[a % specs.size()].id, b % 4};
    mapping.source = {static_cast<quor::MidiSourceKind>(b % 3), static_cast<uint8_t>(a % 16),
                      static_cast<uint8_t>(b & 0x7F)};
    mapping.low = (a & 0x80) != 0 ? -1000 : 0;
    mapping.high = b * 7;
    mapping.inverted = (b & 0x80) != 0;
    mapping.softTakeover = (a & 0x40) != 0;
    mapping.buttonMode = (a & 0x20) != 0 ? quor::MidiButtonMode::kToggle : quor::MidiButtonMode::kMomentary;
    settings.mappings.push_back(mapping);
  }
  input.Apply(settings);
  if ((data[6] & 1) != 0) input.Learn({specs[data[7] % specs.size()].id, data[7] % 3});
  size_t at = 8;
  while (at < size) {
    const size_t chunk = std::min<size_t>(size - at, 1 + data[at] % 5);
    input.Inject(bytes.subspan(at, chunk));
    at += chunk;
  }
  input.SendFeedback();
  if (input.counters().malformed.load() < 0 || input.counters().mapped.load() > input.counters().received.load()) {
    std::abort();
  }
  return 0;
}

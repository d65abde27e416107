#include "platform/midi_ports.h"

#include <rtmidi/RtMidi.h>
#include <sys/stat.h>

#include <cctype>
#include <exception>
#include <mutex>

namespace quor {
namespace {

constexpr const char* kSequencer = "/dev/snd/seq";

// "nanoPAD:nanoPAD MIDI 1 20:0" -> "nanoPAD:nanoPAD MIDI 1".
std::string WithoutPortNumbers(const std::string& name) {
  size_t end = name.size();
  auto digits = [&](size_t& at) {
    const size_t start = at;
    while (at > 0 && std::isdigit(static_cast<unsigned char>(name[at - 1]))) --at;
    return at < start;
  };
  size_t at = end;
  if (!digits(at) || at == 0 || name[at - 1] != ':') return name;
  --at;
  if (!digits(at) || at == 0 || name[at - 1] != ' ') return name;
  return name.substr(0, at - 1);
}

// RtMidi reports warnings (and errors it also throws) through this; the
// backend's callers say what failed themselves.
void QuietErrors(RtMidiError::Type, const std::string&, void*) {}

class SequencerBackend final : public MidiBackend {
 public:
  SequencerBackend(std::unique_ptr<RtMidiIn> in, std::unique_ptr<RtMidiOut> out)
      : in_(std::move(in)), out_(std::move(out)) {
    in_->setErrorCallback(&QuietErrors, nullptr);
    out_->setErrorCallback(&QuietErrors, nullptr);
    // SysEx, timing and active sensing are of no use to the input.
    in_->ignoreTypes(true, true, true);
  }
  ~SequencerBackend() override {
    CloseInput();
    CloseOutput();
  }

  MidiPortList Ports() override {
    MidiPortList list;
    try {
      for (unsigned i = 0, n = in_->getPortCount(); i < n; ++i) list.inputs.push_back(in_->getPortName(i));
      for (unsigned i = 0, n = out_->getPortCount(); i < n; ++i) list.outputs.push_back(out_->getPortName(i));
    } catch (const std::exception&) {
    }
    return list;
  }

  bool OpenInput(const std::string& name, std::function<void(std::span<const uint8_t>)> receive) override {
    CloseInput();
    try {
      for (unsigned i = 0, n = in_->getPortCount(); i < n; ++i) {
        if (in_->getPortName(i) != name) continue;
        receive_ = std::move(receive);
        in_->setCallback(&Received, this);
        in_->openPort(i, "Quor input");
        if (in_->isPortOpen()) return true;
        in_->cancelCallback();
        return false;
      }
    } catch (const std::exception&) {
      in_->cancelCallback();
    }
    return false;
  }
  void CloseInput() override {
    try {
      in_->closePort();  // joins RtMidi's reading thread
      in_->cancelCallback();
    } catch (const std::exception&) {
    }
  }
  bool OpenOutput(const std::string& name) override {
    CloseOutput();
    const std::lock_guard lock(sendMutex_);
    try {
      for (unsigned i = 0, n = out_->getPortCount(); i < n; ++i) {
        if (out_->getPortName(i) != name) continue;
        out_->openPort(i, "Quor feedback");
        return out_->isPortOpen();
      }
    } catch (const std::exception&) {
    }
    return false;
  }
  void CloseOutput() override {
    const std::lock_guard lock(sendMutex_);
    try {
      out_->closePort();
    } catch (const std::exception&) {
    }
  }
  bool Send(std::span<const uint8_t> bytes) override {
    const std::lock_guard lock(sendMutex_);
    if (!out_->isPortOpen() || bytes.empty()) return false;
    try {
      out_->sendMessage(bytes.data(), bytes.size());
      return true;
    } catch (const std::exception&) {
      return false;
    }
  }

 private:
  static void Received(double, std::vector<unsigned char>* message, void* self) {
    if (message == nullptr || message->empty()) return;
    static_cast<SequencerBackend*>(self)->receive_(std::span<const uint8_t>(message->data(), message->size()));
  }

  std::unique_ptr<RtMidiIn> in_;
  std::unique_ptr<RtMidiOut> out_;
  std::function<void(std::span<const uint8_t>)> receive_;
  std::mutex sendMutex_;
};

class NoBackend final : public MidiBackend {
 public:
  MidiPortList Ports() override { return {}; }
  bool OpenInput(const std::string&, std::function<void(std::span<const uint8_t>)>) override { return false; }
  void CloseInput() override {}
  bool OpenOutput(const std::string&) override { return false; }
  void CloseOutput() override {}
  bool Send(std::span<const uint8_t>) override { return false; }
};

}  // namespace

std::unique_ptr<MidiBackend> MakeSystemMidiBackend(std::string* why) {
  auto fail = [&](std::string reason) -> std::unique_ptr<MidiBackend> {
    if (why != nullptr) *why = std::move(reason);
    return nullptr;
  };
  struct stat info {};
  if (::stat(kSequencer, &info) != 0) {
    return fail("this system has no ALSA sequencer (" + std::string(kSequencer) +
                " is missing; load the snd-seq kernel module to use MIDI)");
  }
  try {
    auto in = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, "Quor");
    auto out = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, "Quor");
    return std::make_unique<SequencerBackend>(std::move(in), std::move(out));
  } catch (const std::exception& error) {
    return fail("the ALSA sequencer could not be opened (" + std::string(error.what()) + ")");
  }
}

std::unique_ptr<MidiBackend> MakeNoMidiBackend() { return std::make_unique<NoBackend>(); }

std::optional<std::string> MatchMidiPort(const std::vector<std::string>& ports, const std::string& wanted) {
  if (wanted.empty()) return std::nullopt;
  for (const std::string& port : ports) {
    if (port == wanted) return port;
  }
  const std::string bare = WithoutPortNumbers(wanted);
  for (const std::string& port : ports) {
    if (WithoutPortNumbers(port) == bare) return port;
  }
  return std::nullopt;
}

}  // namespace quor

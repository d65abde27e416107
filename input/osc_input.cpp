#include "input/osc_input.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <climits>
#include <cmath>
#include <string>

#include "input/osc_protocol.h"
#include "platform/interruptible_wait.h"

namespace quor {
namespace {

constexpr std::string_view kRoot = "/quor/";
// Datagrams taken per wake-up at most, so feedback still goes out under a
// flood.
constexpr int kMaxOscReadsPerWakeUp = 1024;

struct Alias {
  std::string_view name;  // after "/quor/"
  ControlAddress address;
};
// The fixed aliases that a pattern reaches too.
constexpr Alias kAliases[] = {
    {"master", {ControlId::kMasterLevel, 0}},  {"ch1/fade", {ControlId::kChannelFade, 0}},
    {"ch2/fade", {ControlId::kChannelFade, 1}}, {"strobe", {ControlId::kStrobe, 0}},
    {"gamma", {ControlId::kGamma, 0}},
};

std::optional<int> ParsePositive(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 1) return std::nullopt;
  return value;
}

std::optional<int> ParsePort(std::string_view text) {
  const std::optional<int> port = ParsePositive(text);
  if (!port || *port > 65535) return std::nullopt;
  return port;
}

int SaturatedInt(int64_t value) { return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX)); }

}  // namespace

bool ParseOscListen(std::string_view text, OscSettings& settings) {
  const size_t colon = text.rfind(':');
  const std::optional<int> port = ParsePort(colon == std::string_view::npos ? text : text.substr(colon + 1));
  if (!port) return false;
  std::array<uint8_t, 4> address{0, 0, 0, 0};
  if (colon != std::string_view::npos) {
    const std::optional<Ipv4Endpoint> local = Ipv4Endpoint::Parse(text.substr(0, colon), 0);
    if (!local) return false;
    address = local->address;
  }
  settings.enabled = true;
  settings.listenAddress = address;
  settings.port = *port;
  return true;
}

std::optional<Ipv4Endpoint> ParseOscEndpoint(std::string_view text) {
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::optional<int> port = ParsePort(text.substr(colon + 1));
  if (!port) return std::nullopt;
  return Ipv4Endpoint::Parse(text.substr(0, colon), static_cast<uint16_t>(*port));
}

std::optional<OscTarget> ResolveOscAddress(std::string_view address) {
  if (!address.starts_with(kRoot)) return std::nullopt;
  const std::string_view name = address.substr(kRoot.size());
  for (const Alias& alias : kAliases) {
    if (alias.name == name) return OscTarget{alias.address, false};
  }
  if (name == "scene/recall") return OscTarget{{ControlId::kSceneRecall, 0}, true};
  if (name == "chase/play") return OscTarget{{ControlId::kChasePlay, 0}, true};
  if (name.starts_with("scene/")) {
    const std::optional<int> number = ParsePositive(name.substr(6));
    if (number && *number <= SpecOf(ControlId::kSceneRecall).maxInstances) {
      return OscTarget{{ControlId::kSceneRecall, *number - 1}, false};
    }
  }
  if (const std::optional<ControlAddress> control = ParseControlName(name)) return OscTarget{*control, false};
  return std::nullopt;
}

std::optional<int> OscControlValue(const ControlSpec& spec, const OscArgument& argument) {
  switch (argument.type) {
    case OscArgType::kInt: return SaturatedInt(argument.integer);
    case OscArgType::kFloat:
      if (spec.kind != ControlType::kFader) return argument.number >= 0.5 ? 1 : 0;
      return spec.min + static_cast<int>(std::lround(std::clamp(argument.number, 0.0, 1.0) * (spec.max - spec.min)));
    default: return std::nullopt;
  }
}

std::vector<std::pair<std::string, ControlAddress>> OscPatternSpace(const ControlSurface& controls) {
  std::vector<std::pair<std::string, ControlAddress>> space;
  for (const ControlSpec& spec : ControlSpecs()) {
    const int instances = controls.ControlInstances(spec.id);
    for (int n = 0; n < instances; ++n) {
      const ControlAddress address{spec.id, n};
      space.emplace_back(std::string(kRoot) + ControlName(address), address);
    }
  }
  for (const Alias& alias : kAliases) space.emplace_back(std::string(kRoot) + std::string(alias.name), alias.address);
  return space;
}

OscInput::OscInput(ControlSurface& controls, Console& console, ControlActivity& activity,
                   const OscSettings& settings)
    : controls_(controls), console_(console), activity_(activity), configured_(settings) {}

bool OscInput::Set(const ControlAddress& address, int value) {
  if (!controls_.SetControl(address, value)) return false;
  activity_.Touch(address);
  return true;
}

OscInput::~OscInput() { Close(); }

bool OscInput::Open() {
  Close();
  settings_ = configured_;
  if (!settings_.enabled) return false;
  Result<std::unique_ptr<UdpSocket>> socket = UdpSocket::OpenListening(settings_.port, settings_.listenAddress);
  if (!socket || (*socket)->bindFailure()) {
    const Failure failure = socket ? *(*socket)->bindFailure() : socket.failure();
    console_.Print("OSC input: %s. Choose another port with --osc=[ADDRESS:]PORT.\n", failure.DialogText().c_str());
    return false;
  }
  Result<std::unique_ptr<InterruptibleWait>> wait = InterruptibleWait::Create();
  if (!wait) {
    console_.Print("OSC input: %s\n", wait.failure().DialogText().c_str());
    return false;
  }
  socket_ = std::move(*socket);
  wait_ = std::move(*wait);
  port_.store(socket_->LocalPort());
  // What is there now is not news: feedback sends what changes from here on.
  seen_.clear();
  for (const ControlSpec& spec : ControlSpecs()) {
    std::vector<int>& values = seen_.emplace_back();
    for (int n = 0; n < controls_.ControlInstances(spec.id); ++n) {
      values.push_back(controls_.ControlValue({spec.id, n}).value_or(INT_MIN));
    }
  }
  stopping_.store(false);
  thread_ = std::thread([this] { Run(); });
  return true;
}

void OscInput::Close() {
  if (thread_.joinable()) {
    stopping_.store(true);
    wait_->Interrupt();
    thread_.join();
  }
  socket_.reset();
  wait_.reset();
  port_.store(0);
}

void OscInput::Run() {
  using Clock = std::chrono::steady_clock;
  const bool feedback = settings_.feedback.has_value();
  Clock::time_point nextFeedback = Clock::now() + std::chrono::milliseconds(kOscFeedbackIntervalMs);
  while (!stopping_.load()) {
    int timeoutMs = kWaitForever;
    if (feedback) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(nextFeedback - Clock::now()).count();
      timeoutMs = static_cast<int>(std::clamp<int64_t>(left, 0, kOscFeedbackIntervalMs));
    }
    const WaitResult woke = wait_->Wait(socket_->WaitHandle(), timeoutMs);
    if (woke == WaitResult::kFailed) {
      console_.Print("OSC input stopped: the system would not let it wait for input\n");
      return;
    }
    if (woke == WaitResult::kReadable || woke == WaitResult::kHangUp) ReadDatagrams();
    if (feedback && Clock::now() >= nextFeedback) {
      SendFeedback();
      nextFeedback = Clock::now() + std::chrono::milliseconds(kOscFeedbackIntervalMs);
    }
  }
}

void OscInput::ReadDatagrams() {
  // Larger than any UDP datagram, so none is ever cut.
  static constexpr size_t kBufferBytes = 65536;
  std::vector<uint8_t> buffer(kBufferBytes);
  for (int taken = 0; taken < kMaxOscReadsPerWakeUp; ++taken) {
    Ipv4Endpoint sender;
    const std::optional<size_t> got = socket_->ReceiveFrom(buffer, sender);
    if (!got) break;
    HandlePacket(std::span<const uint8_t>(buffer.data(), *got), sender);
    counters_.received.fetch_add(1);
  }
}

void OscInput::HandlePacket(std::span<const uint8_t> packet, const Ipv4Endpoint& sender) {
  const std::optional<std::vector<OscMessage>> messages = ParseOscPacket(packet);
  if (!messages) {
    counters_.malformed.fetch_add(1);
    return;
  }
  std::vector<std::pair<std::string, ControlAddress>> space;  // built once per packet, when a pattern needs it
  int answers = 0;
  for (const OscMessage& message : *messages) {
    const bool question = !message.first || (message.first->type == OscArgType::kString && message.first->text == "?");
    // The addresses this message reaches, with whether they take a number.
    std::vector<std::pair<std::string, OscTarget>> reached;
    if (IsOscPattern(message.address)) {
      if (space.empty()) space = OscPatternSpace(controls_);
      for (const auto& [address, control] : space) {
        if (OscPatternMatches(message.address, address)) reached.push_back({address, {control, false}});
      }
    } else if (const std::optional<OscTarget> target = ResolveOscAddress(message.address)) {
      reached.push_back({std::string(message.address), *target});
    }
    bool acted = false;
    for (const auto& [address, target] : reached) {
      const ControlSpec& spec = SpecOf(target.address.id);
      if (question) {
        if (target.numbered || answers >= kMaxOscAnswersPerPacket) continue;
        if (const std::optional<int> value = controls_.ControlValue(target.address)) {
          SendValue(sender, address, target.address, *value);
          counters_.answers.fetch_add(1);
          ++answers;
          acted = true;
        }
        continue;
      }
      if (target.numbered) {
        // The argument is the 1-based number of the scene or chase.
        const OscArgument& argument = *message.first;
        int64_t number = 0;
        if (argument.type == OscArgType::kInt) number = argument.integer;
        else if (argument.type == OscArgType::kFloat) number = std::llround(argument.number);
        if (number < 1 || number > spec.maxInstances) continue;
        acted = Set({target.address.id, static_cast<int>(number - 1)}, 1) || acted;
        continue;
      }
      const std::optional<int> value = OscControlValue(spec, *message.first);
      if (value) acted = Set(target.address, *value) || acted;
    }
    (acted ? counters_.messages : counters_.unmatched).fetch_add(1);
  }
}

void OscInput::SendValue(const Ipv4Endpoint& to, std::string_view address, const ControlAddress& control, int value) {
  const ControlSpec& spec = SpecOf(control.id);
  float number = static_cast<float>(value);
  if (spec.kind == ControlType::kFader && spec.max > spec.min) {
    number = static_cast<float>(value - spec.min) / static_cast<float>(spec.max - spec.min);
  }
  socket_->SendTo(to, BuildOscMessage(address, number));
}

void OscInput::SendFeedback() {
  const Ipv4Endpoint to = *settings_.feedback;
  const std::span<const ControlSpec> specs = ControlSpecs();
  for (size_t i = 0; i < specs.size(); ++i) {
    const ControlSpec& spec = specs[i];
    std::vector<int>& seen = seen_[i];
    // Scenes and chases added since: their first value is news.
    seen.resize(static_cast<size_t>(std::max(0, controls_.ControlInstances(spec.id))), INT_MIN);
    for (size_t n = 0; n < seen.size(); ++n) {
      const ControlAddress control{spec.id, static_cast<int>(n)};
      const std::optional<int> value = controls_.ControlValue(control);
      if (!value || *value == seen[n]) continue;
      seen[n] = *value;
      SendValue(to, std::string(kRoot) + ControlName(control), control, *value);
      counters_.feedback.fetch_add(1);
      for (const Alias& alias : kAliases) {
        if (alias.address == control) SendValue(to, std::string(kRoot) + std::string(alias.name), control, *value);
      }
      if (spec.id == ControlId::kSceneRecall) {
        SendValue(to, std::string(kRoot) + "scene/" + std::to_string(n + 1), control, *value);
      }
    }
  }
}

}  // namespace quor

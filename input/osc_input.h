// The OSC input: a touch-screen controller or any OSC sender drives every
// control over UDP through a fixed address space that needs no setup, and
// hears back every change of a control, whatever made it.
//
// Addresses (see share/help/64.html for the full table):
//   /quor/<control name>   every control by its name ("slot/1/effect",
//                          "scene/3/recall", `quor --list-controls`)
//   /quor/master           master level          /quor/strobe  strobe on/off
//   /quor/ch1/fade         channel 1 fade (ch2)  /quor/gamma   gamma x 100
//   /quor/scene/N          recall scene N (1 = press)
//   /quor/scene/recall i   recall scene i        /quor/chase/play i  start chase i
// Values: a float 0..1 spans a fader's range (0 = its minimum, 1 = its
// maximum) and is a press or on at 0.5 and above for the other kinds; an int
// (or T/F) is the control's own value. Scene and chase numbers count from 1.
// A message with no argument or the string "?" is a question: the answer,
// in the form feedback takes, goes back to the sender.
//
// Feedback: every 40 ms the input thread compares each control's value
// with the one it last saw and sends the changed ones to the feedback
// address as "/quor/<name> f" (and under its alias, when it has one), faders
// as 0..1, the rest as 0 or 1.
//
// Packets are read by input/osc_protocol.h, which refuses malformed ones
// whole; they are counted and otherwise ignored.
//
// Threads: Open, Close and the destructor on the UI thread. While open the
// input reads, answers and sends feedback on a thread of its own, which
// sleeps on the socket (and wakes for the feedback comparison); Close
// interrupts its wait and joins it before it releases the socket. The clock
// thread has nothing to do with the input.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/console.h"
#include "core/controls.h"
#include "input/control_activity.h"
#include "platform/udp_socket.h"

namespace quor {

class InterruptibleWait;
struct OscArgument;

inline constexpr int kDefaultOscPort = 7700;
// Answers to the questions of one packet at most: a small packet with a
// pattern must not make the input send thousands of datagrams (to a sender
// address anyone can forge).
inline constexpr int kMaxOscAnswersPerPacket = 256;
// How often the feedback compares the controls' values.
inline constexpr int kOscFeedbackIntervalMs = 40;

struct OscSettings {
  bool enabled = false;
  // The local address to listen on (0.0.0.0: every interface) and port.
  std::array<uint8_t, 4> listenAddress{0, 0, 0, 0};
  int port = kDefaultOscPort;
  // Where feedback goes; nothing: no feedback.
  std::optional<Ipv4Endpoint> feedback;
};

// "[ADDRESS:]PORT" (for --osc) into `settings`; false for text that is not.
bool ParseOscListen(std::string_view text, OscSettings& settings);
// "HOST:PORT" (for --osc-feedback), the host as a dotted IPv4 address.
std::optional<Ipv4Endpoint> ParseOscEndpoint(std::string_view text);

// What an exact address sets: a control, or (numbered) the scene or chase
// whose 1-based number the argument gives.
struct OscTarget {
  ControlAddress address;
  bool numbered = false;
  friend bool operator==(const OscTarget&, const OscTarget&) = default;
};
// The target of an exact address (no pattern characters); nothing when the
// address names no control.
std::optional<OscTarget> ResolveOscAddress(std::string_view address);
// The value an argument sets on a control of this kind and range.
std::optional<int> OscControlValue(const ControlSpec& spec, const OscArgument& argument);
// The addresses a pattern can reach, in the order the controls are listed:
// each existing control instance under its name, and the fixed aliases.
std::vector<std::pair<std::string, ControlAddress>> OscPatternSpace(const ControlSurface& controls);

struct OscCounters {
  std::atomic<int64_t> received{0};   // datagrams taken
  std::atomic<int64_t> malformed{0};  // datagrams refused as malformed
  std::atomic<int64_t> messages{0};   // messages that reached a control
  std::atomic<int64_t> unmatched{0};  // messages that reached none
  std::atomic<int64_t> answers{0};    // answers sent to questions
  std::atomic<int64_t> feedback{0};   // feedback messages sent
};

class OscInput {
 public:
  // Every control a message sets is counted in `activity`.
  OscInput(ControlSurface& controls, Console& console, ControlActivity& activity, const OscSettings& settings);
  ~OscInput();
  OscInput(const OscInput&) = delete;
  OscInput& operator=(const OscInput&) = delete;

  // Opens the input the settings describe (when enabled) and starts its
  // thread; true on success. An input already open is closed first. A port
  // that cannot be bound is said once on the console.
  bool Open();
  void Close();
  bool IsOpen() const { return thread_.joinable(); }
  // The port bound (0 when closed).
  int LocalPort() const { return port_.load(); }
  const OscCounters& counters() const { return counters_; }

 private:
  void Run();
  void ReadDatagrams();
  void HandlePacket(std::span<const uint8_t> packet, const Ipv4Endpoint& sender);
  void SendFeedback();
  void SendValue(const Ipv4Endpoint& to, std::string_view address, const ControlAddress& control, int value);

  bool Set(const ControlAddress& address, int value);

  ControlSurface& controls_;
  Console& console_;
  ControlActivity& activity_;
  const OscSettings& configured_;
  OscSettings settings_;  // copy taken at open
  OscCounters counters_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> port_{0};
  std::unique_ptr<InterruptibleWait> wait_;
  std::unique_ptr<UdpSocket> socket_;
  std::thread thread_;
  // The values feedback last sent or saw, per control and instance.
  std::vector<std::vector<int>> seen_;
};

}  // namespace quor

// The remote-control input: a lighting console or another controller drives
// the show through four consecutive channels of a tpm2 serial stream, a
// tpm2.net datagram or an Art-Net DMX datagram (+0 scene, +1 chase,
// +2 master, +3 strobe). In Art-Net mode the input also answers discovery
// polls as a node with one output port.
//
// The input knows nothing of the engine: it sets controls through the
// control address space (core/controls.h), writes its messages to the
// console and reports whether it is open through an active flag.
//
// Threads: OpenRemoteInput, CloseRemoteInput and the destructor on the UI
// thread. While the input is open it reads on a thread of its own, which
// sleeps until a datagram or serial bytes arrive, then takes what is there
// and sets the controls at once; it also answers Art-Net polls. Master and
// strobe act at once; the control surface leaves chase starts and scene
// recalls to the main thread, which owns the show, and wakes it. The input
// thread works on a copy of the settings taken when it opens and is the only
// user of the socket or port while it runs: Close interrupts its wait and
// joins it before it releases them. A serial line that goes away is said
// once on the console and the thread ends; the input counts as open until it
// is closed. The mix pass has nothing to do with the input.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "core/console.h"
#include "core/controls.h"
#include "input/remote_input_parser.h"
#include "input/remote_input_settings.h"

namespace quor {

class DatagramSocket;
class InterruptibleWait;
class SerialLine;

// Reads and datagrams taken per wake-up at most: under a flood the values
// are still applied after every so many datagrams, not only once it ends.
inline constexpr int kMaxRemoteReadsPerWakeUp = 1024;
// How often a socket that cannot be waited on is looked at.
inline constexpr int kUnwaitableRemoteLookMs = 10;

// Counters for diagnostics and the tests (any thread).
struct RemoteInputCounters {
  // Datagrams or serial reads taken, and datagrams that carried the four
  // channels; each counted once its values were acted on.
  std::atomic<int64_t> received{0};
  std::atomic<int64_t> frames{0};
  std::atomic<int64_t> polls{0};     // Art-Net discovery polls answered
  std::atomic<int64_t> applied{0};   // wake-ups that had new channel values
  std::atomic<int64_t> wakeUps{0};   // times the input thread woke to read
};

class RemoteControl {
 public:
  // `settings` is read at each open (the input copies it); `active` is set
  // while the input is open and cleared when it is not.
  RemoteControl(ControlSurface& controls, Console& console, const RemoteInputSettings& settings,
                std::atomic<bool>& active);
  ~RemoteControl();
  RemoteControl(const RemoteControl&) = delete;
  RemoteControl& operator=(const RemoteControl&) = delete;

  // Opens the input the remote settings describe and starts its thread;
  // true on success (the active flag is then set). An input already open is
  // closed first. On failure nothing stays open.
  bool OpenRemoteInput();
  // Stops the input thread, then releases the handle and the buffer; the
  // active flag is cleared. Nothing happens when the input is not open.
  void CloseRemoteInput();

  const RemoteInputCounters& counters() const { return counters_; }
  // The value last acted on per channel; -1 = nothing received yet.
  RemoteValues LastValues() const;

 private:
  // The input thread: waits, reads, applies, until Close interrupts it.
  void Run();
  void ReadDatagrams();
  // False once the line has gone away (it is not read again).
  bool ReadSerial(bool hungUp);
  void AnswerPoll();
  // Applies one set of received values: each channel that changed sets its
  // control.
  void Apply(const RemoteValues& received);

  ControlSurface& controls_;
  Console& console_;
  const RemoteInputSettings& configured_;
  std::atomic<bool>& active_;
  RemoteInputCounters counters_;
  // Set by Close before it interrupts the wait.
  std::atomic<bool> stopping_{false};
  std::unique_ptr<InterruptibleWait> wait_;
  std::thread thread_;
  RemoteInputSettings settings_;  // copy taken at open
  std::unique_ptr<DatagramSocket> socket_;  // the datagram inputs
  std::unique_ptr<SerialLine> serial_;      // tpm2 over a serial line
  std::unique_ptr<Tpm2StreamBuffer> serialBuffer_;
  std::array<uint8_t, 4> ownAddress_{127, 0, 0, 1};
  std::array<std::atomic<int>, kRemoteChannelCount> last_{};
};

}  // namespace quor

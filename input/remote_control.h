// The remote-control input: a lighting console or another controller drives
// the show through four consecutive channels of a tpm2 serial stream, a
// tpm2.net datagram or an Art-Net DMX datagram (+0 scene, +1 chase,
// +2 master, +3 strobe). In Art-Net mode the input also answers discovery
// polls as a node with one output port.
//
// The input knows nothing of the engine: it sets controls through the
// control address space (core/controls.h), writes its messages to the
// console and reports whether it is open through an active flag the mix
// pass reads.
//
// Threads: OpenRemoteInput and CloseRemoteInput on the UI thread;
// PollRemoteInput in the mix pass. The input works on a copy of the
// settings taken when it opens. Open and Close change the handle only while
// they hold a lock that a pass only tries: Close waits for a running pass
// before it releases the socket or port, so a pass never reads a closed
// handle, and a pass that comes while the UI thread holds the lock is
// skipped, so the clock never waits. A poll only reads non-blocking handles
// and sets controls; the control surface leaves chase starts and scene
// recalls to the main thread, which owns the show.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "core/console.h"
#include "core/controls.h"
#include "input/remote_input_parser.h"
#include "input/remote_input_settings.h"

namespace quor {

class DatagramSocket;
class SerialLine;

// Reads and datagrams taken per pass at most, so a flood cannot hold the
// mix pass beyond its period; the rest waits for the next pass.
inline constexpr int kMaxRemoteReadsPerPass = 1024;

// Counters for diagnostics and the load test (any thread).
struct RemoteInputCounters {
  std::atomic<int64_t> received{0};  // datagrams or serial reads taken
  std::atomic<int64_t> frames{0};    // of them carrying the four channels
  std::atomic<int64_t> polls{0};     // Art-Net discovery polls answered
  std::atomic<int64_t> passes{0};    // polls that had new channel values
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

  // Opens the input the remote settings describe; true on success
  // (RemoteInputActive is then 1). On failure nothing stays open.
  bool OpenRemoteInput();
  // Releases the handle and the buffer; RemoteInputActive 0. Nothing
  // happens when the input is not open.
  void CloseRemoteInput();
  // Drains what has arrived since the last pass and applies the last
  // complete set of channel values.
  void PollRemoteInput();

  const RemoteInputCounters& counters() const { return counters_; }
  // The value last acted on per channel; -1 = nothing received yet.
  RemoteValues LastValues() const;
  // Applies one set of received values (what a poll does after reading):
  // each channel that changed sets its control.
  void Apply(const RemoteValues& received);
 private:
  void PollDatagrams();
  void PollSerial();
  void AnswerPoll();

  ControlSurface& controls_;
  Console& console_;
  const RemoteInputSettings& configured_;
  std::atomic<bool>& active_;
  // Held by Open and Close while they change the handle; a pass only tries it.
  std::mutex handleLock_;
  RemoteInputCounters counters_;
  RemoteInputSettings settings_;  // copy taken at open
  std::unique_ptr<DatagramSocket> socket_;  // the datagram inputs
  std::unique_ptr<SerialLine> serial_;      // tpm2 over a serial line
  std::unique_ptr<Tpm2StreamBuffer> serialBuffer_;
  std::array<uint8_t, 4> ownAddress_{127, 0, 0, 1};
  std::array<std::atomic<int>, kRemoteChannelCount> last_{};
};

}  // namespace quor

// The remote-control input: a lighting console or another controller drives
// the show through four consecutive channels of a tpm2 serial stream, a
// tpm2.net datagram or an Art-Net DMX datagram (+0 scene, +1 chase,
// +2 master, +3 strobe). In Art-Net mode the input also answers discovery
// polls as a node with one output port.
//
// Threads: OpenRemoteInput and CloseRemoteInput on the UI thread;
// PollRemoteInput in the mix pass. The input works on a copy of the
// settings taken when it opens, and Close waits for a running pass before it
// releases the socket or port, so a pass never reads a closed handle. A
// poll only reads non-blocking handles, sets the master level and strobe
// and leaves chase starts and scene recalls as requests: the stores and the
// chase list belong to the UI thread, which carries the requests out in
// CarryOutRequests (the engine's post-message work) after a wake-up.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "engine/engine.h"
#include "output/remote_input_parser.h"
#include "output/remote_input_settings.h"

namespace quor {

class DatagramSocket;
class SerialLine;
class Show;

// Reads and datagrams taken per pass at most, so a flood cannot hold the
// mix pass beyond its period; the rest waits for the next pass.
inline constexpr int kMaxRemoteReadsPerPass = 1024;

struct RemoteControlHooks {
  // A remote action happened (master and strobe: mix pass, must not block;
  // chase and scene: UI thread): the show mode window highlights the scene
  // or chase button and the master and strobe controls follow. `channel` is
  // a RemoteChannel, `value` the applied 1-based scene/chase number, master
  // level or strobe value.
  std::function<void(int channel, int value)> acted;
};

// Counters for diagnostics and the load test (any thread).
struct RemoteInputCounters {
  std::atomic<int64_t> received{0};  // datagrams or serial reads taken
  std::atomic<int64_t> frames{0};    // of them carrying the four channels
  std::atomic<int64_t> polls{0};     // Art-Net discovery polls answered
  std::atomic<int64_t> passes{0};    // polls that had new channel values
};

class RemoteControl {
 public:
  RemoteControl(Engine& engine, Show& show);
  ~RemoteControl();
  RemoteControl(const RemoteControl&) = delete;
  RemoteControl& operator=(const RemoteControl&) = delete;

  // Opens the input the engine's remote settings describe; true on success
  // (RemoteInputActive is then 1). On failure nothing stays open.
  bool OpenRemoteInput();
  // Releases the handle and the buffer; RemoteInputActive 0. Nothing
  // happens when the input is not open.
  void CloseRemoteInput();
  // Drains what has arrived since the last pass and applies the last
  // complete set of channel values.
  void PollRemoteInput();

  RemoteControlHooks& hooks() { return hooks_; }
  const RemoteInputCounters& counters() const { return counters_; }
  // The value last acted on per channel; -1 = nothing received yet.
  RemoteValues LastValues() const;
  // Applies one set of received values (what a poll does after reading):
  // master and strobe at once, chase and scene as requests.
  void Apply(const RemoteValues& received);
  // UI thread: starts the requested chase and recalls the requested scene
  // when they exist, in the order they came (a scene stops a chase; within
  // one frame the chase comes first). What a later pass requests before
  // this runs replaces an earlier request of its kind.
  void CarryOutRequests();
  // The 1-based chase and scene numbers waiting for CarryOutRequests; 0 =
  // none (any thread).
  int PendingChase() const { return pendingChase_.load(); }
  int PendingScene() const { return pendingScene_.load(); }

 private:
  void PollDatagrams();
  void PollSerial();
  void AnswerPoll();

  Engine& engine_;
  Show& show_;
  RemoteControlHooks hooks_;
  RemoteInputCounters counters_;
  RemoteInputSettings settings_;  // copy taken at open
  std::unique_ptr<DatagramSocket> socket_;  // the datagram inputs
  std::unique_ptr<SerialLine> serial_;      // tpm2 over a serial line
  std::unique_ptr<Tpm2StreamBuffer> serialBuffer_;
  std::array<uint8_t, 4> ownAddress_{127, 0, 0, 1};
  std::array<std::atomic<int>, kRemoteChannelCount> last_{};
  std::atomic<int> pendingChase_{0};
  std::atomic<int> pendingScene_{0};
  std::atomic<bool> sceneBeforeChase_{false};  // the pending scene came first
};

}  // namespace quor

// Art-Net discovery: the poll that asks every node on the network to
// answer, the reader of their poll replies and the rules that turn a reply
// into new Art-Net devices, one per output port not yet in the list. The
// scan itself (ArtNetScan) owns a socket for about five seconds and is
// driven by ticks, so a window's timer or the headless host can run it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/console.h"
#include "output/device_list.h"

namespace quor {

class DatagramSocket;

inline constexpr size_t kArtPollBytes = 14;
inline constexpr size_t kScanDatagramBytes = 250;
inline constexpr int kScanDurationMs = 5000;
inline constexpr int kScanTickMs = 40;
inline constexpr int kMaxReplyPorts = 4;
// Datagrams read per tick: a flood of replies can neither stretch a tick
// nor keep the scan from ending on time.
inline constexpr int kScanDatagramsPerTick = 256;
// Replies a scan keeps for its caller; later ones are only counted.
inline constexpr size_t kMaxScanReplies = 4096;

std::array<uint8_t, kArtPollBytes> BuildArtPoll();

struct ArtPollReplyPort {
  int number = 0;  // 1..4
  int universe = 0;
};

// What a poll reply says about its node. Only the ports marked as output
// ports are listed.
struct ArtPollReplyInfo {
  std::string shortName;  // up to 18 characters; unprintable bytes become '?'
  std::array<uint8_t, 4> address{};
  int port = 0;
  int net = 0;
  int subnet = 0;
  int portCount = 0;  // as the reply states it
  std::vector<ArtPollReplyPort> outputPorts;

  std::string AddressText() const;
};

// A poll reply ("Art-Net", OpPollReply), or nothing. A reply too short for
// the node name is refused; ports whose bytes lie past the end are left out.
// A port counts as an output port when its port-type byte has the output
// bit (0x80) or its following status byte is exactly 0x80.
std::optional<ArtPollReplyInfo> ParseArtPollReply(std::span<const uint8_t> datagram);

// The Art-Net ports a device list holds, by address text, Net, subnet and
// universe, so a scan tells a known port at once however long the list.
using ArtNetPortKeys = std::unordered_set<std::string>;
ArtNetPortKeys KnownArtNetPorts(const OutputDeviceList& devices);

// Adds one Art-Net device per output port of `reply` that the list does not
// hold yet (same address text, Net, subnet and universe); a node whose name
// begins with "Quor" is this program and adds nothing, and nothing is added
// to a full list. Writes the scan's console lines. `known`, when given,
// holds the list's ports (KnownArtNetPorts) and is kept up to date. Returns
// the number of devices added.
int AddDiscoveredDevices(OutputDeviceList& devices, const ArtPollReplyInfo& reply, Console& console,
                         ArtNetPortKeys* known = nullptr);

// One scan. Start() opens the socket and broadcasts the poll; Tick() is
// called every kScanTickMs, reads at most kScanDatagramsPerTick datagrams
// and returns false once the scan is over (more than five seconds after the
// start, however many replies keep coming), after which the socket is
// closed. When the device list fills up, kDeviceListFullMessage goes to the
// console once and listFull() turns true.
class ArtNetScan {
 public:
  struct Options {
    std::string pollAddress = "255.255.255.255";
    int port = 6454;
    int durationMs = kScanDurationMs;
    std::function<int64_t()> nowMs;  // default: the steady clock
  };
  ArtNetScan(OutputDeviceList& devices, Console& console);
  ArtNetScan(OutputDeviceList& devices, Console& console, Options options);
  ~ArtNetScan();
  ArtNetScan(const ArtNetScan&) = delete;
  ArtNetScan& operator=(const ArtNetScan&) = delete;

  // False when no socket could be created ("cant open socket"); the scan
  // then has not started and adds nothing.
  bool Start();
  bool Tick();
  // The countdown text "Please Wait ... %d" when the shown second changed
  // at the last tick.
  std::optional<std::string> TakeCountdown();
  int added() const { return added_; }
  // The first kMaxScanReplies replies, and how many more came.
  const std::vector<ArtPollReplyInfo>& replies() const { return replies_; }
  int64_t repliesLeftOut() const { return repliesLeftOut_; }
  bool listFull() const { return listFull_; }

 private:
  void Close();
  int64_t Now() const;

  OutputDeviceList& devices_;
  Console& console_;
  Options options_;
  std::unique_ptr<DatagramSocket> socket_;
  int64_t startMs_ = 0;
  int lastShownSecond_ = -1;
  std::optional<std::string> countdown_;
  int added_ = 0;
  std::vector<ArtPollReplyInfo> replies_;
  int64_t repliesLeftOut_ = 0;
  ArtNetPortKeys known_;
  bool listFull_ = false;
};

// Runs a whole scan on the calling thread, sleeping between ticks; returns
// the scan (its replies and how many devices it added), or nothing when the
// socket could not be opened.
struct ArtNetScanResult {
  int added = 0;
  std::vector<ArtPollReplyInfo> replies;
  int64_t repliesLeftOut = 0;
  bool listFull = false;
};
std::optional<ArtNetScanResult> RunArtNetScan(OutputDeviceList& devices, Console& console,
                                              ArtNetScan::Options options = {});

// Said by the scan window and printed by the command-line scan when no
// node answered the poll.
inline constexpr const char* kNoArtNetNodesMessage = "No Art-Net nodes answered";

// The command-line scan's listing: one line per output port of every node
// that answered (or per node without output ports), or
// kNoArtNetNodesMessage when none did.
std::string ArtNetScanListing(const ArtNetScanResult& result);

}  // namespace quor

#include "input/artnet_discovery.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "output/output_device.h"
#include "platform/udp_socket.h"

namespace quor {
namespace {

constexpr size_t kShortNameOffset = 26;
constexpr size_t kShortNameBytes = 18;
constexpr size_t kPortCountOffset = 173;
constexpr size_t kPortTypeOffset = 173;    // + p, p = 1..4
constexpr size_t kGoodInputOffset = 177;   // + p
constexpr size_t kOutUniverseOffset = 189;  // + p
constexpr uint8_t kPortOutputBit = 0x80;
constexpr int kArtNetChannels = 512;
constexpr int kArtNetHeaderLength = 18;

}  // namespace

std::array<uint8_t, kArtPollBytes> BuildArtPoll() {
  std::array<uint8_t, kArtPollBytes> poll{};
  std::memcpy(poll.data(), "Art-Net", 8);
  poll[8] = 0x00, poll[9] = 0x20;    // OpPoll, low byte first
  poll[10] = 0x00, poll[11] = 0x0E;  // protocol version 14
  return poll;                       // 12, 13: no reply on change, priority 0
}

std::string ArtPollReplyInfo::AddressText() const {
  return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." + std::to_string(address[2]) + "." +
         std::to_string(address[3]);
}

std::optional<ArtPollReplyInfo> ParseArtPollReply(std::span<const uint8_t> datagram) {
  const size_t length = datagram.size();
  if (length < kShortNameOffset + kShortNameBytes) return std::nullopt;
  if (std::memcmp(datagram.data(), "Art-Net", 7) != 0 || datagram[8] != 0x00 || datagram[9] != 0x21) {
    return std::nullopt;
  }
  ArtPollReplyInfo info;
  for (size_t i = 0; i < kShortNameBytes && datagram[kShortNameOffset + i] != 0; ++i) {
    const uint8_t c = datagram[kShortNameOffset + i];
    info.shortName.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
  }
  std::copy(&datagram[10], &datagram[14], info.address.begin());
  info.port = datagram[14] + 256 * datagram[15];
  info.net = datagram[18];
  info.subnet = datagram[19] & 0x0F;
  if (length <= kPortCountOffset) return info;
  info.portCount = datagram[kPortCountOffset];
  const int ports = std::min(info.portCount, kMaxReplyPorts);
  for (int p = 1; p <= ports; ++p) {
    const size_t at = static_cast<size_t>(p);
    if (kOutUniverseOffset + at >= length) break;
    const bool output = (datagram[kPortTypeOffset + at] & kPortOutputBit) != 0 || datagram[kGoodInputOffset + at] == 0x80;
    if (output) info.outputPorts.push_back({p, datagram[kOutUniverseOffset + at] & 0x0F});
  }
  return info;
}

namespace {

std::string PortKey(const std::string& address, int net, int subnet, int universe) {
  return address + '/' + std::to_string(net) + '/' + std::to_string(subnet) + '/' + std::to_string(universe);
}

}  // namespace

ArtNetPortKeys KnownArtNetPorts(const OutputDeviceList& devices) {
  ArtNetPortKeys keys;
  for (const OutputDevice& d : devices.devices()) {
    if (d.driver == kDriverArtNet) keys.insert(PortKey(std::string(d.AddressText()), d.driverParam, d.subnet, d.universe));
  }
  return keys;
}

int AddDiscoveredDevices(OutputDeviceList& devices, const ArtPollReplyInfo& reply, Console& console,
                         ArtNetPortKeys* known) {
  const std::string address = reply.AddressText();
  console.Print("Artpollreply: %s %s (%x) net: %d subnet: %d\n", reply.shortName.c_str(), address.c_str(),
                static_cast<unsigned>(reply.port), reply.net, reply.subnet);
  console.Print("Artpollreply: #Ports %d\n", reply.portCount);
  const bool ownReply = reply.shortName.rfind("Quor", 0) == 0;
  ArtNetPortKeys scratch;
  if (known == nullptr && !ownReply) {
    scratch = KnownArtNetPorts(devices);
    known = &scratch;
  }
  int added = 0;
  for (const ArtPollReplyPort& port : reply.outputPorts) {
    console.Print("Artpollreply: Out-Port %d: Universe: %d\n", port.number, port.universe);
    if (ownReply || devices.Full()) continue;
    std::string key = PortKey(address, reply.net, reply.subnet, port.universe);
    if (known->count(key) > 0) continue;
    console.Write("Artpollreply: New Device, adding to Devicelist.\n");
    OutputDevice device;
    device.driver = kDriverArtNet;
    device.SetAddress(address);
    device.port = reply.port;
    device.channels = kArtNetChannels;
    device.driverParam = reply.net;
    device.subnet = reply.subnet;
    device.universe = port.universe;
    device.headerLength = kArtNetHeaderLength;
    devices.Add(device);
    known->insert(std::move(key));
    ++added;
  }
  return added;
}

ArtNetScan::ArtNetScan(OutputDeviceList& devices, Console& console) : ArtNetScan(devices, console, Options{}) {}

ArtNetScan::ArtNetScan(OutputDeviceList& devices, Console& console, Options options)
    : devices_(devices), console_(console), options_(std::move(options)) {}

ArtNetScan::~ArtNetScan() { Close(); }

int64_t ArtNetScan::Now() const {
  if (options_.nowMs) return options_.nowMs();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool ArtNetScan::Start() {
  Close();
  Result<std::unique_ptr<UdpSocket>> opened = UdpSocket::OpenListening(options_.port);
  if (!opened) {
    console_.Write("cant open socket\n");
    return false;
  }
  if ((*opened)->bindFailure()) console_.Write("cant bind socket\n");
  socket_ = std::move(*opened);

  if (const auto target = Ipv4Endpoint::Parse(options_.pollAddress, static_cast<uint16_t>(options_.port))) {
    const std::array<uint8_t, kArtPollBytes> poll = BuildArtPoll();
    socket_->SendTo(*target, poll);
  }
  startMs_ = Now();
  added_ = 0;
  replies_.clear();
  repliesLeftOut_ = 0;
  known_ = KnownArtNetPorts(devices_);
  listFull_ = false;
  return true;
}

bool ArtNetScan::Tick() {
  if (!socket_) return false;
  const int64_t elapsed = Now() - startMs_;
  const int seconds = static_cast<int>(elapsed / 1000);
  if (seconds != lastShownSecond_) {
    lastShownSecond_ = seconds;
    countdown_ = "Please Wait ... " + std::to_string(options_.durationMs / 1000 - seconds);
  }
  uint8_t buffer[kScanDatagramBytes];
  // Bounded in count and in time, so the window stays responsive and the
  // scan ends on time whatever arrives.
  const int64_t tickEnd = Now() + kScanTickMs / 2;
  for (int datagram = 0; datagram < kScanDatagramsPerTick && Now() < tickEnd; ++datagram) {
    const std::optional<size_t> got = socket_->Receive(buffer);
    if (!got) break;
    const std::optional<ArtPollReplyInfo> reply = ParseArtPollReply(std::span<const uint8_t>(buffer, *got));
    if (!reply) continue;
    added_ += AddDiscoveredDevices(devices_, *reply, console_, &known_);
    if (devices_.Full() && !listFull_) {
      listFull_ = true;
      console_.Print("Artpollreply: %s\n", kDeviceListFullMessage);
    }
    if (replies_.size() < kMaxScanReplies) {
      replies_.push_back(*reply);
    } else {
      ++repliesLeftOut_;
    }
  }
  if (elapsed > options_.durationMs) {
    console_.Write("Artpoll timer finished.\n");
    Close();
    return false;
  }
  return true;
}

std::optional<std::string> ArtNetScan::TakeCountdown() {
  std::optional<std::string> text = std::move(countdown_);
  countdown_.reset();
  return text;
}

void ArtNetScan::Close() {
  socket_.reset();
}

std::optional<ArtNetScanResult> RunArtNetScan(OutputDeviceList& devices, Console& console,
                                              ArtNetScan::Options options) {
  ArtNetScan scan(devices, console, std::move(options));
  if (!scan.Start()) return std::nullopt;
  while (scan.Tick()) std::this_thread::sleep_for(std::chrono::milliseconds(kScanTickMs));
  return ArtNetScanResult{scan.added(), scan.replies(), scan.repliesLeftOut(), scan.listFull()};
}

std::string ArtNetScanListing(const ArtNetScanResult& result) {
  if (result.replies.empty() && result.repliesLeftOut == 0) return std::string(kNoArtNetNodesMessage) + "\n";
  std::string text;
  char line[160];
  auto add = [&](int length) {
    if (length > 0) text.append(line, std::min(static_cast<size_t>(length), sizeof line - 1));
  };
  add(std::snprintf(line, sizeof line, "Art-Net nodes found: %zu\n", result.replies.size()));
  for (const ArtPollReplyInfo& node : result.replies) {
    for (const ArtPollReplyPort& port : node.outputPorts) {
      add(std::snprintf(line, sizeof line, "node \"%s\" %s port %d net %d subnet %d universe %d\n",
                        node.shortName.c_str(), node.AddressText().c_str(), node.port, node.net, node.subnet,
                        port.universe));
    }
    if (node.outputPorts.empty()) {
      add(std::snprintf(line, sizeof line, "node \"%s\" %s port %d (no output port)\n", node.shortName.c_str(),
                        node.AddressText().c_str(), node.port));
    }
  }
  if (result.repliesLeftOut > 0) {
    add(std::snprintf(line, sizeof line, "%lld more replies were not listed\n",
                      static_cast<long long>(result.repliesLeftOut)));
  }
  return text;
}

}  // namespace quor

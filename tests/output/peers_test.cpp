// Art-Net and sACN output as tshark decodes it on loopback (the test's own port only); the private network fixture.
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "output/drivers.h"
#include "output/outputs.h"
#include "output/sacn_encoder.h"
#include "private_network.h"
#include "test_support.h"
#include "tests/output/udp_receiver.h"

namespace quor {
namespace {

TEST(PrivateNetwork, HoldsOnlyLoopbackAndCarriesLimitedBroadcast) {
  const test::PrivateNetworkResult result = test::RunInPrivateNetwork([] {
    struct if_nameindex* names = if_nameindex();
    const bool onlyLo = names && names[0].if_index != 0 && std::strcmp(names[0].if_name, "lo") == 0 && names[1].if_index == 0;
    if (names) if_freenameindex(names);
    if (!onlyLo) return std::fprintf(stderr, "the private network holds more than lo\n"), false;
    const int receiver = socket(AF_INET, SOCK_DGRAM, 0), sender = socket(AF_INET, SOCK_DGRAM, 0), on = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    socklen_t length = sizeof(address);
    if (bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        getsockname(receiver, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        setsockopt(sender, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on)) != 0) {
      return false;
    }
    address.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    if (sendto(sender, "ping", 5, 0, reinterpret_cast<sockaddr*>(&address), sizeof(address)) < 0) {
      return std::fprintf(stderr, "broadcast send failed: %s\n", std::strerror(errno)), false;
    }
    pollfd wait{receiver, POLLIN, 0};
    char got[8] = {};
    return poll(&wait, 1, 1000) == 1 && recv(receiver, got, sizeof(got), 0) == 5 && std::strcmp(got, "ping") == 0;
  });
  if (result == test::PrivateNetworkResult::kUnavailable) {
    GTEST_SKIP() << "this kernel allows no private network namespace here (run as root or enable "
                    "unprivileged user namespaces)";
  }
  EXPECT_EQ(result, test::PrivateNetworkResult::kPassed);
}

std::string ReadPipe(FILE* pipe, const std::string& until = "") {
  std::string text;
  char line[4096];
  while ((until.empty() || text.find(until) == std::string::npos) && std::fgets(line, sizeof line, pipe)) text += line;
  return text;
}
std::string Shell(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return "";
  std::string text = ReadPipe(pipe);
  ::pclose(pipe);
  return text;
}

OutputDevice NetDevice(int driver, int port, int channels, int universe) {
  OutputDevice d;
  d.driver = driver, d.port = port, d.channels = channels, d.universe = universe;
  d.headerLength = FindDriver(driver)->headerLength;
  d.driverParam = driver == kDriverSacn ? kSacnDefaultPriority : 0;
  d.SetAddress("127.0.0.1");
  return d;
}

// Outputs of one 2 x 1 frame, patched by `first` and `second`.
struct TwoPixels {
  TwoPixels(std::vector<OutputDevice> devices, PatchEntry first, PatchEntry second) : patch(2, 1) {
    console.SetSink([](std::string_view) {});
    outputs.devices().Load(std::move(devices));
    patch.At(0, 0) = first, patch.At(1, 0) = second;
  }
  void SendAndStop() {
    ASSERT_EQ(outputs.OpenOutputs(), std::nullopt);
    outputs.SendFrame({frame, 2, 1});
    outputs.CloseOutputs();
  }
  Console console;
  std::atomic<OutputStateValue> state{kOutputStopped};
  PatchTable patch;
  Outputs outputs{console, state, patch, OutputsOptions{[](std::chrono::milliseconds) {}}};
  const uint8_t frame[6] = {0x0A, 0x14, 0x1E, 0x28, 0x32, 0x3C};
};

// Captures `count` datagrams to `port` on lo while `send` runs; returns the
// capture file, or "" and why tshark cannot capture here.
std::string CaptureOnLoopback(int port, int count, const std::function<void()>& send, std::string& why) {
  if (std::system("command -v tshark >/dev/null 2>&1") != 0) return why = "tshark is not installed", "";
  if (::geteuid() != 0) return why = "capturing on the loopback interface needs root", "";
  const std::string file = test::FreshTestDir("capture_" + std::to_string(port)) + "/capture.pcapng";
  FILE* tshark = ::popen(("tshark -q -i lo -c " + std::to_string(count) + " -a duration:10 -f 'udp dst port " +
                          std::to_string(port) + "' -w '" + file + "' 2>&1").c_str(), "r");
  if (tshark == nullptr) return why = "tshark did not start", "";
  const std::string started = ReadPipe(tshark, "Capture started");
  if (started.find("Capture started") == std::string::npos) why = "tshark could not capture on lo: " + started;
  if (why.empty()) send();
  ReadPipe(tshark);  // to its end: the capture is complete
  ::pclose(tshark);
  return why.empty() ? file : "";
}

TEST(ArtNetCapture, TsharkDecodesUniverseLengthAndData) {
  test::UdpReceiver receiver;
  OutputDevice art = NetDevice(kDriverArtNet, receiver.port(), 6, 2);
  art.subnet = 1;
  TwoPixels out({art}, {0, 0, 1, 2}, {0, 5, 4, 3});
  std::string why;
  const std::string file = CaptureOnLoopback(receiver.port(), 3, [&] { out.SendAndStop(); }, why);
  if (file.empty()) GTEST_SKIP() << why;
  EXPECT_EQ(Shell("tshark -r '" + file + "' -d udp.port==" + std::to_string(receiver.port()) +
                  ",artnet -Y artnet -T fields -e artnet.output.universe -e artnet.output.length "
                  "-e dmx_chan.data_filter 2>/dev/null"),
            "18\t6\t0a141e3c3228\n18\t6\t000000000000\n18\t6\t000000000000\n");
}

// Two sACN universes (tshark 4.0's DMX view calls packets with fewer than 6
// slots malformed although E1.31 allows 1 to 512; these have 6 and 7). Per
// universe: one running frame, the plain black frame, three terminating ones.
TEST(SacnPeers, TsharkDecodesEveryPacketWithoutMalformedOnes) {
  test::UdpReceiver receiver;
  TwoPixels out({NetDevice(kDriverSacn, receiver.port(), 6, 1), NetDevice(kDriverSacn, receiver.port(), 7, 63999)},
                {0, 0, 1, 2}, {1, 2, 1, 0});
  std::string why;
  const std::string file = CaptureOnLoopback(receiver.port(), 10, [&] { out.SendAndStop(); }, why);
  if (file.empty()) GTEST_SKIP() << why;
  // The ACN heuristic goes first so no dissector registered on a random
  // ephemeral port of the capture gets the packets.
  const std::string decode = "tshark -r '" + file + "' --enable-heuristic acn -o udp.try_heuristic_first:TRUE " +
                             "-o acn.dmx_enable:TRUE " +
                             "-o acn.dmx_display_zeros:TRUE -o acn.dmx_display_leading_zeros:TRUE ";
  const std::string decoded = Shell(decode + "-T fields -E separator=, -e acn.dmx.universe -e acn.dmx.seq_number "
                                             "-e acn.dmx.option_s -e acn.dmx.source_name -e acn.dmx.priority "
                                             "-e acn.dmx.data 2>/dev/null");
  // tshark shows the slots under a column ruler: keep what follows "001-020: ".
  std::string packets;
  for (size_t at = 0, end; (end = decoded.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = decoded.substr(at, end - at);
    const size_t ruler = line.find("    1  2"), slots = line.find("001-020: ");
    packets += (ruler == std::string::npos || slots == std::string::npos ? line : line.substr(0, ruler) + line.substr(slots + 9)) + "\n";
  }
  EXPECT_EQ(packets, "1,0,0,Quor,100,0A 14 1E 00 00 00 \n63999,0,0,Quor,100,3C 32 28 00 00 00 00 \n"
                     "1,1,0,Quor,100,00 00 00 00 00 00 \n63999,1,0,Quor,100,00 00 00 00 00 00 00 \n"
                     "1,2,1,Quor,100,00 00 00 00 00 00 \n1,3,1,Quor,100,00 00 00 00 00 00 \n"
                     "1,4,1,Quor,100,00 00 00 00 00 00 \n63999,2,1,Quor,100,00 00 00 00 00 00 00 \n"
                     "63999,3,1,Quor,100,00 00 00 00 00 00 00 \n63999,4,1,Quor,100,00 00 00 00 00 00 00 \n");
  // Expert severities are bit fields (comment 0x100000 .. error 0x800000):
  // only warnings, errors and malformed packets count as faults; the
  // messages are printed so a failure names what tshark objected to.
  EXPECT_EQ(Shell(decode + "-Y '_ws.malformed || _ws.expert.severity >= 0x600000' -T fields -e frame.number "
                           "-e _ws.expert.message 2>/dev/null"),
            "")
      << "tshark reports malformed sACN packets";
}

// Frame sync as tshark sees it: two universes, one running frame and the
// two black frames of the stop; each frame's sync packet right after its
// data packets, once, and nothing tshark calls malformed.
TEST(SyncPeers, TsharkDecodesArtSyncAfterTheArtDmxPacketsOfEachFrame) {
  test::UdpReceiver receiver;
  TwoPixels out({NetDevice(kDriverArtNet, receiver.port(), 3, 0), NetDevice(kDriverArtNet, receiver.port(), 3, 1)},
                {0, 0, 1, 2}, {1, 0, 1, 2});
  out.outputs.SetSync({true, 0});
  std::string why;
  const std::string file = CaptureOnLoopback(receiver.port(), 9, [&] { out.SendAndStop(); }, why);
  if (file.empty()) GTEST_SKIP() << why;
  const std::string decode = "tshark -r '" + file + "' -d udp.port==" + std::to_string(receiver.port()) + ",artnet ";
  EXPECT_EQ(Shell(decode + "-T fields -e artnet.header.opcode -e artnet.header.protver 2>/dev/null"),
            "0x5000\t14\n0x5000\t14\n0x5200\t14\n0x5000\t14\n0x5000\t14\n0x5200\t14\n"
            "0x5000\t14\n0x5000\t14\n0x5200\t14\n");
  EXPECT_EQ(Shell(decode + "-Y '_ws.malformed || _ws.expert.severity >= 0x600000' -T fields -e frame.number "
                           "-e _ws.expert.message 2>/dev/null"),
            "")
      << "tshark reports malformed Art-Net packets";
}

TEST(SyncPeers, TsharkDecodesSacnSyncAfterTheDataPacketsOfEachFrame) {
  test::UdpReceiver receiver;
  TwoPixels out({NetDevice(kDriverSacn, receiver.port(), 6, 1), NetDevice(kDriverSacn, receiver.port(), 6, 2)},
                {0, 0, 1, 2}, {1, 2, 1, 0});
  out.outputs.SetSync({false, 7000});
  std::string why;
  const std::string file = CaptureOnLoopback(receiver.port(), 13, [&] { out.SendAndStop(); }, why);
  if (file.empty()) GTEST_SKIP() << why;
  const std::string decode = "tshark -r '" + file + "' --enable-heuristic acn -o udp.try_heuristic_first:TRUE " +
                             "-o acn.dmx_enable:TRUE ";
  // tshark 4.0's ACN dissector decodes data packets only, so the sync
  // packets appear as 49 data bytes, checked here whole: root vector 8,
  // the source's CID, framing vector 1, the sequence, universe 7000
  // (0x1b58) and the reserved zeros.
  std::string cid;
  for (const uint8_t b : CidOf(out.outputs.devices()[0])) {
    static const char* digits = "0123456789abcdef";
    cid += digits[b >> 4], cid += digits[b & 15];
  }
  const std::string sync = ",,49,001000004153432d45312e3137000000702100000008" + cid + "700b00000001";
  EXPECT_EQ(Shell(decode + "-T fields -E separator=, -e acn.dmx.universe -e acn.dmx.seq_number -e data.len "
                           "-e data.data 2>/dev/null"),
            "1,0,,\n2,0,,\n" + sync + "001b580000\n1,1,,\n2,1,,\n" + sync + "011b580000\n" +
                "1,2,,\n1,3,,\n1,4,,\n2,2,,\n2,3,,\n2,4,,\n" + sync + "021b580000\n");
  EXPECT_EQ(Shell(decode + "-Y '_ws.malformed || _ws.expert.severity >= 0x600000' -T fields -e frame.number "
                           "-e _ws.expert.message 2>/dev/null"),
            "")
      << "tshark reports malformed sACN packets";
}

}  // namespace
}  // namespace quor

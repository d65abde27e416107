// The Art-Net scan flooded with invented poll replies in a private network: it ends on time, the list stops at its limit.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "input/artnet_discovery.h"
#include "private_network.h"
#include "test_support.h"

namespace quor {
namespace {

// A reply from node 10.n/16 with four output ports on universes 0..3.
std::array<uint8_t, 239> InventedReply(uint32_t n) {
  std::array<uint8_t, 239> reply{};
  std::memcpy(reply.data(), "Art-Net", 8);
  reply[9] = 0x21;                                                   // OpPollReply, low byte first
  reply[10] = 10, reply[11] = uint8_t(n >> 16), reply[12] = uint8_t(n >> 8), reply[13] = uint8_t(n);  // address
  reply[14] = 0x36, reply[15] = 0x19;                                // port 6454
  std::memcpy(&reply[26], "Flood", 5);                               // short name
  reply[173] = 4;                                                    // port count
  for (int p = 0; p < 4; ++p) reply[174 + p] = 0x80, reply[190 + p] = uint8_t(p);  // output ports, universes
  return reply;
}

TEST(ArtNetScan, AFloodOfRepliesEndsOnTimeAndFillsTheListOnlyToItsLimit) {
  const test::PrivateNetworkResult result = test::RunInPrivateNetwork([] {
    Console console;
    test::ConsoleCapture capture(console);
    OutputDeviceList devices(console);
    devices.Load(std::vector<OutputDevice>(kMaxDevices - 2000));  // room for 500 flooding nodes
    std::atomic<bool> flooding{true};
    std::thread flood([&] {
      const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
      sockaddr_in to{};
      to.sin_family = AF_INET, to.sin_port = htons(6454), to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      for (uint32_t n = 0; flooding.load(); ++n) {
        const auto reply = InventedReply(n);
        ::sendto(fd, reply.data(), reply.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
      }
      ::close(fd);
    });
    ArtNetScan::Options options;
    options.pollAddress = "127.0.0.1", options.durationMs = 2000;
    const auto start = std::chrono::steady_clock::now();
    const std::optional<ArtNetScanResult> scan = RunArtNetScan(devices, console, options);
    const auto tookMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    flooding.store(false);
    flood.join();
    const bool onTime = tookMs < options.durationMs + 500;
    const bool bounded = scan && devices.count() == kMaxDevices && scan->listFull && scan->added == 2000 &&
                         scan->replies.size() <= kMaxScanReplies;
    const int said = capture.Count(kDeviceListFullMessage);
    if (!onTime || !bounded || said != 1) {
      std::fprintf(stderr, "took %lld ms, %d devices, %d added, list full said %d times\n",
                   static_cast<long long>(tookMs), devices.count(), scan ? scan->added : -1, said);
    }
    return onTime && bounded && said == 1;
  });
  if (result == test::PrivateNetworkResult::kUnavailable) GTEST_SKIP() << "no private network namespace here";
  EXPECT_EQ(result, test::PrivateNetworkResult::kPassed);
}

TEST(ArtNetScan, AFullListTakesNoMoreDevicesAndChangesNothing) {
  Console console;
  OutputDeviceList devices(console);
  std::vector<OutputDevice> many(kMaxDevices - 1);
  devices.Load(many);
  const std::optional<ArtPollReplyInfo> node = ParseArtPollReply(InventedReply(7));
  ASSERT_TRUE(node.has_value());
  EXPECT_EQ(AddDiscoveredDevices(devices, *node, console), 1);  // one of its four ports still fits
  EXPECT_TRUE(devices.Full());
  EXPECT_EQ(devices.Add(OutputDevice{}), -1);
  devices.ReserveOne();
  EXPECT_EQ(std::pair(devices.count(), devices.capacity()), std::pair(kMaxDevices, kMaxDevices));
}

}  // namespace
}  // namespace quor

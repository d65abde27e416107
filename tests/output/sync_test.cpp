// Frame sync as it leaves the shared socket: ArtSync after the ArtDmx
// packets of a frame to several universes, sACN data packets naming the
// sync universe followed by one sync packet per destination.
#include <gtest/gtest.h>

#include "output/artnet_encoder.h"
#include "output/drivers.h"
#include "output/outputs.h"
#include "output/sacn_encoder.h"
#include "tests/output/udp_receiver.h"

namespace quor {
namespace {

OutputDevice Net(int driver, int port, int channels, int universe) {
  OutputDevice d;
  d.driver = driver, d.port = port, d.channels = channels, d.universe = universe;
  d.headerLength = FindDriver(driver)->headerLength;
  d.driverParam = driver == kDriverSacn ? kSacnDefaultPriority : 0;
  d.SetAddress("127.0.0.1");
  return d;
}

// Sends `frames` running frames of 2 x 1 pixels (pixel k to device k),
// then stops (two black frames), and returns what arrived.
std::vector<test::Datagram> SendFrames(std::vector<OutputDevice> devices, const OutputSync& sync,
                                test::UdpReceiver& receiver, int frames) {
  Console console;
  console.SetSink([](std::string_view) {});
  std::atomic<OutputStateValue> state{kOutputStopped};
  PatchTable patch(2, 1);
  Outputs outputs{console, state, patch, OutputsOptions{[](std::chrono::milliseconds) {}}};
  const int count = static_cast<int>(devices.size());
  outputs.devices().Load(std::move(devices));
  for (int x = 0; x < 2; ++x) patch.At(x, 0) = {std::min(x, count - 1), 0, 1, 2};
  outputs.SetSync(sync);
  EXPECT_EQ(outputs.OpenOutputs(), std::nullopt);
  const uint8_t frame[6] = {1, 2, 3, 4, 5, 6};
  for (int k = 0; k < frames; ++k) outputs.SendFrame({frame, 2, 1});
  outputs.CloseOutputs();
  return receiver.ReceiveAll();
}

// One letter per datagram: D ArtDmx, S ArtSync, d sACN data, t sACN
// terminating data, s sACN sync, ? anything else.
std::string Kinds(const std::vector<test::Datagram>& all) {
  std::string kinds;
  for (const test::Datagram& d : all) {
    const std::vector<uint8_t>& b = d.bytes;
    if (b.size() >= 10 && std::memcmp(b.data(), "Art-Net", 8) == 0) {
      kinds += b[9] == 0x50 ? 'D' : b[9] == 0x52 && b.size() == kArtSyncBytes ? 'S' : '?';
    } else if (b.size() == kSacnHeaderBytes + 6 && b[21] == 4) {
      kinds += (b[112] & 0x40) ? 't' : 'd';
    } else if (b.size() == kSacnSyncBytes && b[21] == 8 && b[43] == 1) {
      kinds += 's';
    } else {
      kinds += '?';
    }
  }
  return kinds;
}

TEST(ArtSync, FollowsEveryFrameToSeveralUniversesOncePerDestination) {
  struct Case {
    const char* name;
    bool on;
    std::vector<int> universes;
    const char* kinds;  // two running frames, then the two black frames
  };
  const Case cases[] = {
      {"off", false, {0, 1}, "DDDDDDDD"},
      {"two universes", true, {0, 1}, "DDSDDSDDSDDS"},
      {"one universe", true, {3}, "DDDD"},
      {"two devices, one universe", true, {3, 3}, "DDDDDDDD"},
  };
  for (const Case& c : cases) {
    test::UdpReceiver receiver;
    std::vector<OutputDevice> devices;
    for (const int u : c.universes) devices.push_back(Net(kDriverArtNet, receiver.port(), 3, u));
    const std::vector<test::Datagram> got = SendFrames(devices, {c.on, 0}, receiver, 2);
    EXPECT_EQ(Kinds(got), c.kinds) << c.name;
    for (const test::Datagram& d : got) {
      if (d.bytes.size() == kArtSyncBytes) {
        EXPECT_EQ(d.bytes, std::vector<uint8_t>(kArtSyncPacket.begin(), kArtSyncPacket.end())) << c.name;
      }
    }
  }
}

TEST(SacnSync, DataNamesTheSyncUniverseAndOneSyncPacketFollowsEachFrame) {
  test::UdpReceiver receiver;
  OutputDevice first = Net(kDriverSacn, receiver.port(), 6, 1);
  OutputDevice second = Net(kDriverSacn, receiver.port(), 6, 2);
  SetCid(first, NewCid());
  SetCid(second, CidOf(first));
  const std::vector<test::Datagram> got = SendFrames({first, second}, {false, 7000}, receiver, 2);
  // Two running frames, the plain black frame, then three terminating
  // packets per universe; each frame closed by its sync packet.
  ASSERT_EQ(Kinds(got), "ddsddsddstttttts");
  uint8_t sequence = 0;
  for (const test::Datagram& d : got) {
    const std::vector<uint8_t>& b = d.bytes;
    if (b.size() == kSacnSyncBytes) {
      EXPECT_EQ((b[16] << 8 | b[17]), 0x7000 | 33);          // root layer flags and length
      EXPECT_EQ((b[38] << 8 | b[39]), 0x7000 | 11);          // framing layer flags and length
      EXPECT_EQ(b[44], sequence++);                          // its own sequence
      EXPECT_EQ((b[45] << 8 | b[46]), 7000);                 // synchronization address
      EXPECT_EQ((b[47] | b[48]), 0);                         // reserved
      EXPECT_TRUE(std::equal(b.begin() + 22, b.begin() + 38, CidOf(first).begin()));
    } else {
      EXPECT_EQ((b[kSacnSyncAddressOffset] << 8 | b[kSacnSyncAddressOffset + 1]), 7000);
    }
  }
}

TEST(SacnSync, OffLeavesTheSyncAddressZeroAndSendsNoSyncPacket) {
  test::UdpReceiver receiver;
  const std::vector<test::Datagram> got = SendFrames({Net(kDriverSacn, receiver.port(), 6, 1)}, {}, receiver, 1);
  ASSERT_EQ(Kinds(got), "ddttt");
  for (const test::Datagram& d : got) EXPECT_EQ(d.bytes[kSacnSyncAddressOffset] | d.bytes[kSacnSyncAddressOffset + 1], 0);
}

TEST(SacnSync, SyncGoesToTheSyncUniversesGroupWhenDataIsMulticast) {
  OutputDevice multicast = Net(kDriverSacn, kSacnPort, 6, 1);
  multicast.SetAddress("multicast");
  EXPECT_EQ(SacnSyncDestination(multicast, 7000), "239.255.27.88");
  EXPECT_EQ(SacnSyncDestination(Net(kDriverSacn, kSacnPort, 6, 1), 7000), "127.0.0.1");
}

}  // namespace
}  // namespace quor

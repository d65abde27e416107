// DDP output: the header byte for byte, frames split into 1440-byte
// packets, and a receiver written from the published header layout that
// puts a whole frame back together from what Quor sends on 127.0.0.1.
#include "output/ddp_encoder.h"

#include <gtest/gtest.h>

#include "output/device_editor.h"
#include "output/drivers.h"
#include "output/outputs.h"
#include "tests/output/udp_receiver.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;

std::vector<Bytes> Encode(int channels, Bytes& buffer) {
  OutputDevice d;
  d.driver = kDriverDdp, d.channels = channels;
  std::vector<Bytes> packets;
  Bytes scratch;
  EncodeDdp(d, buffer, scratch, [&](std::span<const uint8_t> b) { packets.emplace_back(b.begin(), b.end()); });
  return packets;
}

TEST(Ddp, SmallFrameIsOnePushedPacket) {
  Bytes buffer = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x11, 0x22, 0x33, 0x00 /* trailer */};
  const Bytes expected = {
      0x41,                    // version 1 (0x40) and push (0x01)
      0x01,                    // sequence number, 1..15
      0x0B,                    // data type: standard, RGB, 8 bits per element
      0x01,                    // destination id: the display
      0x00, 0x00, 0x00, 0x00,  // data offset, big-endian
      0x00, 0x03,              // data length, big-endian
      0x11, 0x22, 0x33};       // RGB
  EXPECT_EQ(Encode(3, buffer), std::vector<Bytes>{expected});
  EXPECT_TRUE(Encode(0, buffer = Bytes(kDdpHeaderBytes + 1)).empty());
}

TEST(Ddp, LongFrameIsSplitAt1440BytesWithPushOnTheLast) {
  const size_t channels = 3000;  // 1440 + 1440 + 120
  Bytes buffer(kDdpHeaderBytes + channels + kBufferTrailerBytes, 0);
  for (size_t i = 0; i < channels; ++i) buffer[kDdpHeaderBytes + i] = static_cast<uint8_t>(i * 7);
  const std::vector<Bytes> packets = Encode(static_cast<int>(channels), buffer);
  ASSERT_EQ(packets.size(), 3u);
  const struct {
    uint8_t flags, sequence;
    uint32_t offset;
    uint16_t length;
  } want[] = {{0x40, 1, 0, 1440}, {0x40, 2, 1440, 1440}, {0x41, 3, 2880, 120}};
  for (size_t k = 0; k < 3; ++k) {
    const Bytes header = {want[k].flags, want[k].sequence, 0x0B, 0x01,
                          static_cast<uint8_t>(want[k].offset >> 24), static_cast<uint8_t>(want[k].offset >> 16),
                          static_cast<uint8_t>(want[k].offset >> 8), static_cast<uint8_t>(want[k].offset),
                          static_cast<uint8_t>(want[k].length >> 8), static_cast<uint8_t>(want[k].length)};
    EXPECT_EQ(Bytes(packets[k].begin(), packets[k].begin() + 10), header) << k;
    EXPECT_EQ(Bytes(packets[k].begin() + 10, packets[k].end()),
              Bytes(buffer.begin() + static_cast<long>(kDdpHeaderBytes + want[k].offset),
                    buffer.begin() + static_cast<long>(kDdpHeaderBytes + want[k].offset + want[k].length)))
        << k;
  }
  // The channel data survives for the next frame; the sequence runs on
  // through 15 and back to 1, never 0.
  EXPECT_EQ(buffer[kDdpHeaderBytes + 1441], static_cast<uint8_t>(1441 * 7));
  for (int frame = 0; frame < 4; ++frame) Encode(static_cast<int>(channels), buffer);
  EXPECT_EQ(Encode(static_cast<int>(channels), buffer)[0][1], 1);  // packets 16, 17, 18 = 1, 2, 3
}

TEST(Ddp, EditorKnowsTheDriver) {
  const std::vector<std::string> ports;
  DeviceForm f = OpenForm(NewDeviceDefaults(), ports);
  ChangeDriver(f, kDriverDdp, 32, 16, ports);
  EXPECT_EQ(std::make_tuple(f.channels, f.blocks, f.port), std::make_tuple("1536", "2", "4048"));
  EXPECT_EQ(EnabledFields(f), kFieldIpAddress | kFieldChannels | kFieldRedirect);
  const FormCheck check = CheckForm(f, NewDeviceDefaults());
  EXPECT_EQ(check.failed, kFieldNone);
  EXPECT_EQ(std::make_tuple(check.device.driver, check.device.port, check.device.channels, check.device.headerLength),
            std::make_tuple(int{kDriverDdp}, kDdpPort, 1536, 10));
  f.channels = "65536";
  EXPECT_EQ(CheckForm(f, NewDeviceDefaults()).failed, kFieldChannels);
}

// Receives DDP datagrams, checking each header against the published
// layout, and returns the frame assembled up to the packet with push set.
Bytes ReceiveDdpFrame(test::UdpReceiver& receiver, std::string& fault) {
  Bytes frame;
  for (test::Datagram d; receiver.Receive(d, 2000);) {
    const Bytes& p = d.bytes;
    if (p.size() < 10) return fault = "short datagram", frame;
    if ((p[0] & 0xC0) != 0x40) return fault = "version is not 1", frame;
    if ((p[0] & 0x10) != 0) return fault = "timecode flag set", frame;
    if ((p[1] & 0x0F) == 0) return fault = "sequence 0", frame;
    if (p[2] != 0x0B || p[3] != 0x01) return fault = "type or id", frame;
    const size_t offset = (size_t{p[4]} << 24) | (size_t{p[5]} << 16) | (size_t{p[6]} << 8) | p[7];
    const size_t length = (size_t{p[8]} << 8) | p[9];
    if (length != p.size() - 10 || length > 1440) return fault = "length field", frame;
    if (offset != frame.size()) return fault = "offset out of order", frame;
    frame.insert(frame.end(), p.begin() + 10, p.end());
    if (p[0] & 0x01) return frame;
  }
  fault = "no packet with push";
  return frame;
}

TEST(Ddp, ReceiverReassemblesWhatOutputsSend) {
  constexpr int kWidth = 40, kHeight = 30;  // 3600 channels: three packets
  Console console;
  console.SetSink([](std::string_view) {});
  std::atomic<int> state{0};
  PatchTable patch(kWidth, kHeight);
  Outputs outputs(console, state, patch, OutputsOptions{[](std::chrono::milliseconds) {}});
  test::UdpReceiver receiver;
  OutputDevice d;
  d.driver = kDriverDdp, d.port = receiver.port(), d.channels = kWidth * kHeight * 3;
  d.SetAddress("127.0.0.1");
  outputs.devices().Add(d);
  for (int p = 0; p < kWidth * kHeight; ++p) patch.entries()[static_cast<size_t>(p)] = PatchEntry{0, 3 * p, 3 * p + 1, 3 * p + 2};
  Bytes frame(static_cast<size_t>(d.channels));
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 13 + 5);
  ASSERT_TRUE(outputs.OpenOutputs());
  for (int n = 0; n < 2; ++n) {
    outputs.SendFrame(frame.data(), kWidth, kHeight);
    std::string fault;
    EXPECT_EQ(ReceiveDdpFrame(receiver, fault), frame) << n;
    EXPECT_EQ(fault, "") << n;
  }
  outputs.CloseOutputs();
  std::string fault;
  EXPECT_EQ(ReceiveDdpFrame(receiver, fault), Bytes(frame.size(), 0));  // the black frames of the stop
}

}  // namespace
}  // namespace quor

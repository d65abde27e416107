// The byte-exact wire and file formats of the output encoders; tpm2,
// Glediator and miniDMX frames are also checked where they are sent.
#include <gtest/gtest.h>

#include <tuple>

#include "output/artnet_encoder.h"
#include "output/bitmap_encoder.h"
#include "output/drivers.h"
#include "output/minidmx_encoder.h"
#include "output/recorder_encoder.h"
#include "output/tpm2net_encoder.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;

OutputDevice Device(int driver, int channels, int driverParam = 0) {
  OutputDevice d;
  d.driver = driver, d.channels = channels, d.driverParam = driverParam;
  d.headerLength = FindDriver(driver)->headerLength;
  return d;
}

// Runs the driver's encoder on a send buffer (header, `channels`, trailer)
// the way the sender does; returns every packet. The buffer is kept in
// `keep` when given.
std::vector<Bytes> Encode(const OutputDevice& d, const Bytes& channels, Bytes* keep = nullptr) {
  Bytes buffer(static_cast<size_t>(d.headerLength + d.channels) + kBufferTrailerBytes, 0);
  std::copy(channels.begin(), channels.end(), buffer.begin() + d.headerLength);
  std::vector<Bytes> packets;
  Bytes scratch;
  FindDriver(d.driver)->encode(d, buffer, scratch,
                               [&](std::span<const uint8_t> b) { packets.emplace_back(b.begin(), b.end()); });
  if (keep) *keep = buffer;
  return packets;
}

TEST(Encoders, ArtNetHeaderCarriesAddressAndLength) {
  OutputDevice d = Device(kDriverArtNet, 2, /*net*/ 1);
  d.subnet = 2, d.universe = 3;
  const Bytes expected = {'A', 'r', 't', '-', 'N', 'e', 't', 0,
                          0x00, 0x50,  // OpDmx, low byte first
                          0x00, 0x0E,  // protocol version 14
                          0x00, 0x00,  // sequence, physical input
                          0x23, 0x01,  // subnet/universe, net
                          0x00, 0x02,  // length, high byte first
                          0xAB, 0xCD};
  EXPECT_EQ(Encode(d, {0xAB, 0xCD}), std::vector<Bytes>{expected});
}

TEST(Encoders, Tpm2NetSplitsChannelsIntoNumberedBlocks) {
  const OutputDevice d = Device(kDriverTpm2Net, 1000, 300);
  Bytes channels(1000), buffer;
  for (size_t i = 0; i < channels.size(); ++i) channels[i] = static_cast<uint8_t>(i % 251);
  const std::vector<Bytes> packets = Encode(d, channels, &buffer);
  ASSERT_EQ(packets.size(), 4u);
  for (size_t n = 0; n < 4; ++n) {
    const uint8_t size = n < 3 ? 44 : 100;  // 300 = 0x012C: high byte 1 in the header
    Bytes expected = {0x9C, 0xDA, static_cast<uint8_t>(n < 3), size, static_cast<uint8_t>(n + 1), 4};
    const auto from = channels.begin() + static_cast<long>(n * 300);
    expected.insert(expected.end(), from, from + (n < 3 ? 300 : 100));
    expected.push_back(0x36);
    EXPECT_EQ(packets[n], expected) << n;
  }
  // The channel part survives for the next frame.
  EXPECT_TRUE(std::equal(channels.begin(), channels.end(), buffer.begin() + 6));
  for (int perBlock : {0, -5}) EXPECT_TRUE(Encode(Device(kDriverTpm2Net, 10, perBlock), {}).empty()) << perBlock;
  EXPECT_EQ(Tpm2NetPacketCount(10, 3), 4);
  EXPECT_EQ(Tpm2NetPacketCount(0, 3), 0);
}

TEST(Encoders, MiniDmxTypeByteNamesTheChannelCount) {
  // The 96-channel frame's bytes are checked on a pseudo-terminal; other
  // counts have their own type, and counts without one send nothing.
  const std::pair<int, uint8_t> types[] = {{96, 0xA0},  {256, 0xA1}, {512, 0xA2}, {3072, 0xB2},
                                           {0, 0},      {97, 0},     {513, 0},    {3071, 0}};
  for (const auto& [channels, type] : types) {
    const std::vector<Bytes> q = Encode(Device(kDriverMiniDmx, channels), {});
    ASSERT_EQ(q.size(), type ? 1u : 0u) << channels;
    if (type) {
      EXPECT_EQ(std::make_tuple(q[0].size(), q[0][1], q[0].back()), std::make_tuple(channels + 3u, type, 0xA5));
    }
  }
}

TEST(Encoders, RecorderWritesColumnsWithTheTopBitInverted) {
  // 2 x 3, row by row: pixel (x, y) = (x * 16 + y, 255, 1).
  const Bytes frame = {0, 255, 1, 16, 255, 1, 1, 255, 1, 17, 255, 1, 2, 255, 1, 18, 255, 1};
  Bytes out;
  EncodeRecorderFrame(frame.data(), 2, 3, out);
  const Bytes expected = {
      0x80, 0x7F, 0x81, 0x81, 0x7F, 0x81, 0x82, 0x7F, 0x81,  // column 0, rows 0..2
      0x90, 0x7F, 0x81, 0x91, 0x7F, 0x81, 0x92, 0x7F, 0x81,  // column 1
  };
  EXPECT_EQ(out, expected);
}

TEST(Encoders, BitmapStoresRowsBottomUpAsPaddedBgr) {
  const Bytes frame = {1, 2, 3, 4, 5, 6,  // top row, RGB
                       7, 8, 9, 10, 11, 12};
  Bytes file;
  EncodeBitmap(frame.data(), 2, 2, file);
  Bytes expected = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file size, reserved, pixel offset
                    40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0,             // info size, width, height (bottom-up)
                    1, 0, 24, 0};                                     // planes, bits per pixel
  expected.resize(54, 0);
  expected.insert(expected.end(), {9, 8, 7, 12, 11, 10, 0, 0,  // bottom row first, BGR, padded to 4
                                   3, 2, 1, 6, 5, 4, 0, 0});
  EXPECT_EQ(file, expected);
  EXPECT_EQ(BitmapFileName("/tmp/out/", 123), "/tmp/out/00000123.bmp");
  EXPECT_EQ(BitmapFileName("/tmp/out", 1), "/tmp/out/00000001.bmp");
}

}  // namespace
}  // namespace quor

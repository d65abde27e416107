// The byte-exact wire and file formats of the output encoders, run on a send
// buffer the way the sender does; tpm2, Glediator and miniDMX frames are
// also checked where they are sent.
#include <gtest/gtest.h>

#include <tuple>

#include "output/bitmap_encoder.h"
#include "output/ddp_encoder.h"
#include "output/device_list.h"
#include "output/drivers.h"
#include "output/recorder_encoder.h"
#include "output/sacn_encoder.h"
#include "output/tpm2net_encoder.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr SacnCid kCid = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x46, 0x77,
                          0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};

OutputDevice Device(int driver, int channels, int driverParam = 0) {
  OutputDevice d;
  d.driver = driver, d.channels = channels, d.driverParam = driverParam;
  d.headerLength = FindDriver(driver)->headerLength;
  SetCid(d, kCid);
  return d;
}
// The send buffer of `d`: header room, `channels` (zero-padded), trailer.
Bytes Buffer(const OutputDevice& d, const Bytes& channels = {}) {
  Bytes buffer(static_cast<size_t>(d.headerLength + d.channels) + kBufferTrailerBytes, 0);
  std::copy(channels.begin(), channels.end(), buffer.begin() + d.headerLength);
  return buffer;
}
// Every packet the driver's encoder (or its stop encoder) makes of `buffer`.
std::vector<Bytes> Encode(const OutputDevice& d, Bytes& buffer, bool stop = false) {
  const DriverInfo* driver = FindDriver(d.driver);
  std::vector<Bytes> packets;
  Bytes scratch;
  (stop && driver->encodeStop ? driver->encodeStop : driver->encode)(
      d, buffer, scratch, [&](std::span<const uint8_t> b) { packets.emplace_back(b.begin(), b.end()); });
  return packets;
}
std::vector<Bytes> EncodeChannels(const OutputDevice& d, const Bytes& channels) {
  Bytes buffer = Buffer(d, channels);
  return Encode(d, buffer);
}

TEST(Encoders, ArtNetHeaderCarriesAddressAndLength) {
  OutputDevice d = Device(kDriverArtNet, 2, /*net*/ 1);
  d.subnet = 2, d.universe = 3;
  const Bytes expected = {'A', 'r', 't', '-', 'N', 'e', 't', 0,  //
                          0x00, 0x50, 0x00, 0x0E,  // OpDmx (low byte first), protocol version 14
                          0x00, 0x00, 0x23, 0x01,  // sequence, physical input, subnet/universe, net
                          0x00, 0x02, 0xAB, 0xCD};  // length (high byte first), data
  EXPECT_EQ(EncodeChannels(d, {0xAB, 0xCD}), std::vector<Bytes>{expected});
}

// Numbered blocks and their bytes are checked where Outputs sends them;
// here the size's high byte and block sizes no packet number can carry.
TEST(Encoders, Tpm2NetSplitsChannelsIntoNumberedBlocks) {
  const OutputDevice d = Device(kDriverTpm2Net, 1000, 300);
  Bytes buffer = Buffer(d, Bytes(1000, 7));
  const std::vector<Bytes> packets = Encode(d, buffer);
  ASSERT_EQ(packets.size(), 4u);
  EXPECT_EQ(Bytes(packets[2].begin(), packets[2].begin() + 6), (Bytes{0x9C, 0xDA, 0x01, 0x2C, 3, 4}));
  EXPECT_EQ(packets[3].size(), 6u + 100u + 1u);
  EXPECT_EQ(Bytes(buffer.begin() + 6, buffer.begin() + 1006), Bytes(1000, 7));  // kept for the next frame
  for (int perBlock : {0, -5}) EXPECT_TRUE(EncodeChannels(Device(kDriverTpm2Net, 10, perBlock), {}).empty()) << perBlock;
}

TEST(Encoders, MiniDmxTypeByteNamesTheChannelCount) {
  // The 96-channel frame's bytes are checked on a pseudo-terminal.
  const std::pair<int, uint8_t> types[] = {{96, 0xA0}, {256, 0xA1}, {512, 0xA2}, {3072, 0xB2}, {0, 0}, {97, 0}};
  for (const auto& [channels, type] : types) {
    const std::vector<Bytes> q = EncodeChannels(Device(kDriverMiniDmx, channels), {});
    ASSERT_EQ(q.size(), type ? 1u : 0u) << channels;
    if (type) {
      EXPECT_EQ(std::make_tuple(q[0].size(), q[0][1], q[0].back()), std::make_tuple(channels + 3u, type, 0xA5));
    }
  }
}

TEST(Encoders, RecorderWritesColumnsWithTheTopBitInvertedAndBitmapsBottomUpAsPaddedBgr) {
  // 2 x 3, row by row: pixel (x, y) = (x * 16 + y, 255, 1).
  const Bytes frame = {0, 255, 1, 16, 255, 1, 1, 255, 1, 17, 255, 1, 2, 255, 1, 18, 255, 1};
  Bytes out;
  EncodeRecorderFrame(frame.data(), 2, 3, out);
  EXPECT_EQ(out, (Bytes{0x80, 0x7F, 0x81, 0x81, 0x7F, 0x81, 0x82, 0x7F, 0x81,     // column 0, rows 0..2
                        0x90, 0x7F, 0x81, 0x91, 0x7F, 0x81, 0x92, 0x7F, 0x81}));  // column 1

  EncodeBitmap(frame.data() + 6, 2, 2, out);  // rows 1 and 2 as a 2 x 2 picture
  Bytes expected = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file size, reserved, pixel offset
                    40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0,             // info size, width, height (bottom-up)
                    1, 0, 24, 0};                                     // planes, bits per pixel
  expected.resize(54, 0);
  expected.insert(expected.end(), {1, 255, 2, 1, 255, 18, 0, 0,  // bottom row first, BGR, padded to 4
                                   1, 255, 1, 1, 255, 17, 0, 0});
  EXPECT_EQ(out, expected);
  EXPECT_EQ(BitmapFileName("/tmp/out/", 123) + BitmapFileName("/tmp/out", 1), "/tmp/out/00000123.bmp/tmp/out/00000001.bmp");
}

TEST(Ddp, FramesSplitAt1440BytesWithPushOnTheLastAndSequence1To15) {
  EXPECT_TRUE(EncodeChannels(Device(kDriverDdp, 0), {}).empty());
  const OutputDevice d = Device(kDriverDdp, 3000);  // 1440 + 1440 + 120
  Bytes channels(3000);
  for (size_t i = 0; i < channels.size(); ++i) channels[i] = static_cast<uint8_t>(i * 7);
  Bytes buffer = Buffer(d, channels);
  const std::vector<Bytes> packets = Encode(d, buffer);
  ASSERT_EQ(packets.size(), 3u);
  // Version 1, sequence, RGB 8 bits, display; offset and length big-endian.
  const Bytes headers[] = {{0x40, 1, 0x0B, 0x01, 0, 0, 0, 0, 0x05, 0xA0},
                           {0x40, 2, 0x0B, 0x01, 0, 0, 0x05, 0xA0, 0x05, 0xA0},
                           {0x41, 3, 0x0B, 0x01, 0, 0, 0x0B, 0x40, 0, 120}};  // push on the last
  for (size_t k = 0; k < 3; ++k) {
    Bytes expected = headers[k];
    expected.insert(expected.end(), channels.begin() + long(k * 1440), channels.begin() + long(std::min<size_t>(3000, k * 1440 + 1440)));
    EXPECT_EQ(packets[k], expected) << k;
  }
  // The channel data survives for the next frame; the sequence runs on
  // through 15 and back to 1, never 0.
  EXPECT_TRUE(std::equal(channels.begin(), channels.end(), buffer.begin() + kDdpHeaderBytes));
  for (int frame = 0; frame < 4; ++frame) Encode(d, buffer);
  EXPECT_EQ(Encode(d, buffer)[0][1], 1);  // packets 16, 17, 18 = 1, 2, 3
}

TEST(Sacn, PacketForUniverse63999IsByteExact) {
  OutputDevice d = Device(kDriverSacn, 2, 150);
  d.universe = 63999;
  Bytes expected = {0x00, 0x10, 0x00, 0x00,                               // root: preamble, post-amble size
                    'A', 'S', 'C', '-', 'E', '1', '.', '1', '7', 0, 0, 0,  // ACN packet identifier
                    0x70, 0x70, 0x00, 0x00, 0x00, 0x04};  // flags 7, length 112 (bytes 16..127), VECTOR_ROOT_E131_DATA
  expected.insert(expected.end(), kCid.begin(), kCid.end());
  expected.insert(expected.end(), {0x70, 0x5A, 0x00, 0x00, 0x00, 0x02,  // framing: flags 7, length 90, DATA_PACKET
                                   'Q', 'u', 'o', 'r'});                // source name, zero-padded to 64
  expected.resize(108, 0);
  expected.insert(expected.end(), {150, 0x00, 0x00, 0x00, 0x00,  // priority, no sync address, sequence, options
                                   0xF9, 0xFF, 0x70, 0x0D, 0x02, 0xA1,  // universe; DMP: flags 7, length 13, SET_PROPERTY, types
                                   0x00, 0x00, 0x00, 0x01, 0x00, 0x03,  // first address, increment, count: START code + 2
                                   0x00, 0xAB, 0xCD});                  // DMX512-A START code, slots 1 and 2
  EXPECT_EQ(EncodeChannels(d, {0xAB, 0xCD}), std::vector<Bytes>{expected});
  for (int reserved : {0, 64000, 65535, -1}) {
    OutputDevice bad = d;
    bad.universe = reserved;
    EXPECT_TRUE(EncodeChannels(bad, {}).empty()) << reserved;
  }
  d.SetAddress("127.0.0.1");
  EXPECT_EQ(SacnDestination(d), "127.0.0.1");
  d.SetAddress("multicast");
  EXPECT_EQ(SacnDestination(d), "239.255.249.255");
  d.SetAddress(""), d.universe = 1;
  EXPECT_EQ(SacnDestination(d), "239.255.0.1");
}

TEST(Sacn, SequenceWrapsAndTheStopEndsTheStream) {
  OutputDevice d = Device(kDriverSacn, 3);
  d.universe = 7;
  Bytes buffer = Buffer(d);
  std::vector<int> sequences;
  for (int frame = 0; frame < 257; ++frame) sequences.push_back(Encode(d, buffer).at(0)[111]);
  EXPECT_EQ(std::make_tuple(sequences[0], sequences[255], sequences[256]), std::make_tuple(0, 255, 0));
  // First stop frame: a plain packet receivers show; second: three
  // Stream_Terminated packets, the sequence running on.
  const std::vector<Bytes> first = Encode(d, buffer, true), second = Encode(d, buffer, true);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0][112], 0x00);
  ASSERT_EQ(second.size(), 3u);
  for (size_t k = 0; k < 3; ++k) EXPECT_EQ(std::make_pair(int{second[k][112]}, int{second[k][111]}), std::make_pair(0x40, int(2 + k)));
}

TEST(Sacn, CidIsKeptInTheRecordAndSharedByTheProject) {
  OutputDevice d = Device(kDriverSacn, 510);
  d.SetPath(std::string(300, 'p'));  // cut before the CID
  EXPECT_EQ(std::make_pair(d.PathText().size(), CidOf(d)), std::make_pair(kSacnPathChars, kCid));
  Bytes record(kDeviceRecordBytes);
  ByteWriter out(record);
  WriteDeviceRecord(d, out);
  ByteReader in(record);
  OutputDevice back;
  ASSERT_TRUE(ReadDeviceRecord(in, 4, back));
  EXPECT_EQ(back, d);

  // Records without a CID (older projects) get the project's CID, or one new CID for all.
  Console console;
  console.SetSink([](std::string_view) {});
  OutputDeviceList list(console);
  OutputDevice bare = Device(kDriverSacn, 3);
  SetCid(bare, SacnCid{});
  list.Load({bare, Device(kDriverSacn, 3), bare});
  for (int i = 0; i < 3; ++i) EXPECT_EQ(CidOf(list[i]), kCid) << i;
  list.Load({bare, bare});
  const SacnCid fresh = CidOf(list[0]);
  EXPECT_TRUE(!IsZeroCid(fresh) && fresh[6] >> 4 == 4 && CidOf(list[1]) == fresh && NewCid() != fresh);  // version 4 UUIDs
}

}  // namespace
}  // namespace quor

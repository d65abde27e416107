#include "output/artnet_encoder.h"

#include <gtest/gtest.h>

#include "tests/output/encoder_test_support.h"

namespace quor {
namespace {

TEST(ArtNetEncoder, HeaderCarriesAddressAndLengthAheadOfTheChannels) {
  OutputDevice d = test::Device(kDriverArtNet, 512, /*net*/ 1);
  d.subnet = 2;
  d.universe = 3;
  std::vector<uint8_t> channels(512);
  for (size_t i = 0; i < channels.size(); ++i) channels[i] = static_cast<uint8_t>(i * 7);
  auto buffer = test::SendBuffer(d, channels);
  const test::Packets packets = test::Encode(d, buffer);
  ASSERT_EQ(packets.size(), 1u);
  ASSERT_EQ(packets[0].size(), 530u);
  const std::vector<uint8_t> header = {
      'A', 'r', 't', '-', 'N', 'e', 't', 0,  // id
      0x00, 0x50,                            // OpDmx, low byte first
      0x00, 0x0E,                            // protocol version 14
      0x00,                                  // sequence
      0x00,                                  // physical input
      0x23, 0x01,                            // subnet/universe, net
      0x02, 0x00,                            // length, high byte first
  };
  EXPECT_EQ(std::vector<uint8_t>(packets[0].begin(), packets[0].begin() + 18), header);
  EXPECT_EQ(std::vector<uint8_t>(packets[0].begin() + 18, packets[0].end()), channels);

  // An odd small count: the length field follows the buffer.
  OutputDevice small = test::Device(kDriverArtNet, 2, 127);
  small.subnet = 15;
  small.universe = 15;
  auto smallBuffer = test::SendBuffer(small, {0xAB, 0xCD});
  const test::Packets p2 = test::Encode(small, smallBuffer);
  ASSERT_EQ(p2.size(), 1u);
  const std::vector<uint8_t> tail = {
      0xFF, 0x7F,  // subnet/universe, net
      0x00, 0x02,  // length
      0xAB, 0xCD,  // data
  };
  EXPECT_EQ(std::vector<uint8_t>(p2[0].begin() + 14, p2[0].end()), tail);
}

}  // namespace
}  // namespace quor

#include "output/tpm2net_encoder.h"

#include <gtest/gtest.h>

#include "tests/output/encoder_test_support.h"

namespace quor {
namespace {

TEST(Tpm2NetEncoder, SplitsChannelsIntoNumberedBlocks) {
  const OutputDevice d = test::Device(kDriverTpm2Net, 1000, 300);
  std::vector<uint8_t> channels(1000);
  for (size_t i = 0; i < channels.size(); ++i) channels[i] = static_cast<uint8_t>(i % 251);
  auto buffer = test::SendBuffer(d, channels);
  const test::Packets packets = test::Encode(d, buffer);
  ASSERT_EQ(packets.size(), 4u);
  const size_t sizes[4] = {300, 300, 300, 100};
  for (size_t n = 0; n < 4; ++n) {
    SCOPED_TRACE(n);
    const auto& p = packets[n];
    ASSERT_EQ(p.size(), sizes[n] + 7);
    const std::vector<uint8_t> header = {
        0x9C, 0xDA,                                                                      // start, data frame
        static_cast<uint8_t>(sizes[n] >> 8), static_cast<uint8_t>(sizes[n] & 0xFF),      // size, high byte first
        static_cast<uint8_t>(n + 1),                                                     // packet number
        4,                                                                               // packets
    };
    EXPECT_EQ(std::vector<uint8_t>(p.begin(), p.begin() + 6), header);
    EXPECT_TRUE(std::equal(p.begin() + 6, p.end() - 1, channels.begin() + static_cast<long>(n * 300)));
    EXPECT_EQ(p.back(), 0x36);  // end byte
  }
  // The channel part survives for the next frame.
  EXPECT_TRUE(std::equal(channels.begin(), channels.end(), buffer.begin() + 6));
}

TEST(Tpm2NetEncoder, BlockSizeBelowOneSendsNothing) {
  for (int perBlock : {0, -5}) {
    const OutputDevice d = test::Device(kDriverTpm2Net, 10, perBlock);
    auto buffer = test::SendBuffer(d, {});
    EXPECT_TRUE(test::Encode(d, buffer).empty()) << perBlock;
  }
  EXPECT_EQ(Tpm2NetPacketCount(10, 3), 4);
  EXPECT_EQ(Tpm2NetPacketCount(0, 3), 0);
}

}  // namespace
}  // namespace quor

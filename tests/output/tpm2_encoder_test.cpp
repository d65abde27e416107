#include "output/tpm2_encoder.h"

#include <gtest/gtest.h>

#include "tests/output/encoder_test_support.h"

namespace quor {
namespace {

TEST(Tpm2Encoder, FramesChannelsBetweenHeaderAndEndByte) {
  const OutputDevice d = test::Device(kDriverTpm2, 3);
  auto buffer = test::SendBuffer(d, {0x11, 0x22, 0x33});
  const test::Packets packets = test::Encode(d, buffer);
  ASSERT_EQ(packets.size(), 1u);
  const std::vector<uint8_t> expected = {
      0xC9, 0xDA,        // start, data frame
      0x00, 0x03,        // channels, high byte first
      0x11, 0x22, 0x33,  // r g b
      0x36,              // end byte
  };
  EXPECT_EQ(packets[0], expected);

  const OutputDevice big = test::Device(kDriverTpm2, 300);
  auto bigBuffer = test::SendBuffer(big, {});
  const test::Packets p2 = test::Encode(big, bigBuffer);
  ASSERT_EQ(p2[0].size(), 305u);
  EXPECT_EQ(p2[0][2], 0x01);
  EXPECT_EQ(p2[0][3], 0x2C);
  EXPECT_EQ(p2[0].back(), 0x36);
}

}  // namespace
}  // namespace quor

#include "output/minidmx_encoder.h"

#include <gtest/gtest.h>

#include "tests/output/encoder_test_support.h"

namespace quor {
namespace {

TEST(MiniDmxEncoder, TypeByteNamesTheChannelCount) {
  const OutputDevice d = test::Device(kDriverMiniDmx, 512);
  auto buffer = test::SendBuffer(d, {9, 8, 7});
  const test::Packets packets = test::Encode(d, buffer);
  ASSERT_EQ(packets.size(), 1u);
  const auto& p = packets[0];
  ASSERT_EQ(p.size(), 515u);
  EXPECT_EQ(p[0], 0x5A);  // start
  EXPECT_EQ(p[1], 0xA2);  // 512 channels
  EXPECT_EQ(p[2], 9);
  EXPECT_EQ(p[4], 7);
  EXPECT_EQ(p[513], 0);
  EXPECT_EQ(p[514], 0xA5);  // end

  const std::pair<int, uint8_t> types[] = {{96, 0xA0}, {256, 0xA1}, {768, 0xB0}, {1536, 0xB1}, {3072, 0xB2}};
  for (const auto& [channels, type] : types) {
    const OutputDevice other = test::Device(kDriverMiniDmx, channels);
    auto b = test::SendBuffer(other, {});
    const test::Packets q = test::Encode(other, b);
    ASSERT_EQ(q.size(), 1u) << channels;
    EXPECT_EQ(q[0][1], type) << channels;
    EXPECT_EQ(q[0].size(), static_cast<size_t>(channels) + 3);
  }
}

TEST(MiniDmxEncoder, OtherChannelCountsSendNothing) {
  for (int channels : {0, 95, 97, 513, 3071}) {
    const OutputDevice d = test::Device(kDriverMiniDmx, channels);
    auto b = test::SendBuffer(d, {});
    EXPECT_TRUE(test::Encode(d, b).empty()) << channels;
  }
}

}  // namespace
}  // namespace quor

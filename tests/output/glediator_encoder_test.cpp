#include "output/glediator_encoder.h"

#include <gtest/gtest.h>

#include "tests/output/encoder_test_support.h"

namespace quor {
namespace {

TEST(GlediatorEncoder, OneOnlyEverMarksTheFrameStart) {
  const OutputDevice d = test::Device(kDriverGlediator, 6);
  auto buffer = test::SendBuffer(d, {1, 0, 2, 255, 1, 0x10});
  const test::Packets packets = test::Encode(d, buffer);
  ASSERT_EQ(packets.size(), 1u);
  const std::vector<uint8_t> expected = {
      0x01,                          // frame start
      0x02, 0x00, 0x02, 0xFF, 0x02,  // 1 is sent as 2
      0x10,
  };
  EXPECT_EQ(packets[0], expected);
}

}  // namespace
}  // namespace quor

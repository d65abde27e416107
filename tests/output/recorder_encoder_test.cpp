#include "output/recorder_encoder.h"

#include <gtest/gtest.h>

namespace quor {
namespace {

TEST(RecorderEncoder, WritesColumnsWithTheTopBitInverted) {
  std::vector<uint8_t> out;
  const std::vector<uint8_t> black(4 * 4 * 3, 0);
  EncodeRecorderFrame(black.data(), 4, 4, out);
  EXPECT_EQ(out, std::vector<uint8_t>(48, 0x80));

  // 2 x 3: pixel (x, y) = (x * 16 + y, 255, 1).
  std::vector<uint8_t> frame;
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 2; ++x) frame.insert(frame.end(), {static_cast<uint8_t>(x * 16 + y), 255, 1});
  }
  EncodeRecorderFrame(frame.data(), 2, 3, out);
  const std::vector<uint8_t> expected = {
      0x80, 0x7F, 0x81, 0x81, 0x7F, 0x81, 0x82, 0x7F, 0x81,  // column 0, rows 0..2
      0x90, 0x7F, 0x81, 0x91, 0x7F, 0x81, 0x92, 0x7F, 0x81,  // column 1
  };
  EXPECT_EQ(out, expected);
}

}  // namespace
}  // namespace quor

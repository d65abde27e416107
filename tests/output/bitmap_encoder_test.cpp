#include "output/bitmap_encoder.h"

#include <gtest/gtest.h>

#include "core/byte_io.h"

namespace quor {
namespace {

TEST(BitmapEncoder, StoresRowsBottomUpAsPaddedBgr) {
  // 5 x 4: each pixel (x, y) is R = x, G = y, B = 0x80.
  std::vector<uint8_t> frame(5 * 4 * 3);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 5; ++x) {
      uint8_t* p = &frame[static_cast<size_t>((y * 5 + x) * 3)];
      p[0] = static_cast<uint8_t>(x), p[1] = static_cast<uint8_t>(y), p[2] = 0x80;
    }
  }
  std::vector<uint8_t> file;
  EncodeBitmap(frame.data(), 5, 4, file);
  ASSERT_EQ(file.size(), 118u);
  EXPECT_EQ(BitmapRowBytes(5), 16u);
  const std::vector<uint8_t> header = {
      'B', 'M',
      118, 0, 0, 0,     // file size
      0, 0, 0, 0,       // reserved
      54, 0, 0, 0,      // pixel data offset
      40, 0, 0, 0,      // information header size
      5, 0, 0, 0,       // width
      4, 0, 0, 0,       // height: bottom-up
      1, 0,             // planes
      24, 0,            // bits per pixel
  };
  EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 30), header);
  EXPECT_TRUE(std::all_of(file.begin() + 30, file.begin() + 54, [](uint8_t b) { return b == 0; }));
  for (int stored = 0; stored < 4; ++stored) {
    const int y = 3 - stored;  // the first stored row is the bottom row
    const uint8_t* row = &file[54 + static_cast<size_t>(stored) * 16];
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(row[x * 3 + 0], 0x80);  // blue
      EXPECT_EQ(row[x * 3 + 1], y);     // green
      EXPECT_EQ(row[x * 3 + 2], x);     // red
    }
    EXPECT_EQ(row[15], 0);  // padding
  }
}

TEST(BitmapEncoder, FileNamesAreEightDigitCounters) {
  EXPECT_EQ(BitmapFileName("/tmp/out", 1), "/tmp/out/00000001.bmp");
  EXPECT_EQ(BitmapFileName("/tmp/out/", 123), "/tmp/out/00000123.bmp");
}

}  // namespace
}  // namespace quor

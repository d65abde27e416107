#include "output/fast_patch.h"

#include <gtest/gtest.h>

#include "core/console.h"

namespace quor {
namespace {

class FastPatchTest : public testing::Test {
 protected:
  void AddDevice(int driver, int channels) {
    OutputDevice d;
    d.driver = driver, d.channels = channels;
    devices_.Add(d);
  }
  Console console_;
  OutputDeviceList devices_{console_};
};

TEST_F(FastPatchTest, VisitsTheAreaInEachOfTheSixteenOrders) {
  // Visiting sequence of a 3 x 2 area, as pixel indices y * 3 + x.
  const int expected[kPixelOrderCount][6] = {
      {0, 1, 2, 3, 4, 5}, {2, 1, 0, 5, 4, 3}, {3, 4, 5, 0, 1, 2}, {5, 4, 3, 2, 1, 0},  // linewise
      {0, 1, 2, 5, 4, 3}, {2, 1, 0, 3, 4, 5}, {3, 4, 5, 2, 1, 0}, {5, 4, 3, 0, 1, 2},  // snakelines
      {0, 3, 1, 4, 2, 5}, {2, 5, 1, 4, 0, 3}, {3, 0, 4, 1, 5, 2}, {5, 2, 4, 1, 3, 0},  // columnwise
      {0, 3, 4, 1, 2, 5}, {2, 5, 4, 1, 0, 3}, {3, 0, 1, 4, 5, 2}, {5, 2, 1, 4, 3, 0},  // snakecolumns
  };
  AddDevice(kDriverArtNet, 512);
  for (int order = 0; order < kPixelOrderCount; ++order) {
    SCOPED_TRACE(PixelOrderName(order));
    PatchTable patch(5, 4);
    FastPatchSettings s{3, 2, 0, order, 0, 0};
    ASSERT_TRUE(ApplyFastPatch(patch, devices_, 1, 1, s));
    for (int k = 0; k < 6; ++k) {
      const int x = 1 + expected[order][k] % 3;
      const int y = 1 + expected[order][k] / 3;
      EXPECT_EQ(patch.At(x, y), (PatchEntry{0, 3 * k, 3 * k + 1, 3 * k + 2})) << k;
    }
    int patched = 0;
    for (const PatchEntry& e : patch.entries()) patched += e.device >= 0;
    EXPECT_EQ(patched, 6);
    EXPECT_EQ(s.firstChannel, 18);
  }
  EXPECT_STREQ(PixelOrderName(16), "");
}

TEST_F(FastPatchTest, ColourOrdersPlaceEachColour) {
  AddDevice(kDriverTpm2, 100);
  const PatchEntry expected[kColourOrderCount] = {
      {0, 30, 31, 32}, {0, 30, 32, 31}, {0, 32, 31, 30}, {0, 31, 32, 30}, {0, 32, 30, 31}, {0, 31, 30, 32},
  };
  for (int c = 0; c < kColourOrderCount; ++c) {
    PatchTable patch(2, 2);
    FastPatchSettings s{1, 1, 30, 0, c, 0};
    ASSERT_TRUE(ApplyFastPatch(patch, devices_, 0, 0, s));
    EXPECT_EQ(patch.At(0, 0), expected[c]) << ColourOrderName(c);
  }
}

TEST_F(FastPatchTest, StopsWhenTheDeviceRunsOutAndClipsTheArea) {
  AddDevice(kDriverArtNet, 6);
  PatchTable patch(4, 4);
  FastPatchSettings s{4, 4, 0, 0, 0, 0};
  ASSERT_TRUE(ApplyFastPatch(patch, devices_, 0, 0, s));
  EXPECT_EQ(patch.At(1, 0), (PatchEntry{0, 3, 4, 5}));
  EXPECT_EQ(patch.At(2, 0), PatchEntry{});
  EXPECT_EQ(s.firstChannel, 0);

  // 10 x 10 from cell 8/8 of a 16 x 8 matrix: 9 x 1.
  PatchTable wide(16, 8);
  AddDevice(kDriverArtNet, 512);
  FastPatchSettings c{10, 10, 0, 0, 0, 1};
  ASSERT_TRUE(ApplyFastPatch(wide, devices_, 7, 7, c));
  EXPECT_EQ(c.dimensionX, 9);
  EXPECT_EQ(c.dimensionY, 1);
  EXPECT_EQ(wide.At(15, 7), (PatchEntry{1, 24, 25, 26}));
  EXPECT_EQ(c.firstChannel, 27);
  // The next area continues on the following channels.
  ASSERT_TRUE(ApplyFastPatch(wide, devices_, 0, 1, c));
  EXPECT_EQ(wide.At(0, 1), (PatchEntry{1, 27, 28, 29}));

  // Devices that take no channels, and no device at all, change nothing.
  AddDevice(kDriverBitmapExport, 0);
  FastPatchSettings none{2, 2, 0, 0, 0, 2};
  EXPECT_FALSE(ApplyFastPatch(wide, devices_, 0, 0, none));
  none.device = 7;
  EXPECT_FALSE(ApplyFastPatch(wide, devices_, 0, 0, none));
  EXPECT_EQ(wide.At(0, 0), PatchEntry{});
}

}  // namespace
}  // namespace quor

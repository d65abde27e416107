// The patch as sent (PatchPlan) and as filled by the fast patch.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "output/fast_patch.h"
#include "output/patch_plan.h"

namespace quor {
namespace {

using Buffers = std::vector<std::vector<uint8_t>>;

// The patch applied entry by entry to a `width` x `height` frame, skipping
// pixels outside either and channels outside the device.
void ApplyDirectly(const PatchTable& patch, int width, int height, const uint8_t* frame,
                   std::span<const PatchTarget> targets, Buffers& buffers) {
  for (int y = 0; y < std::min(height, patch.height()); ++y) {
    for (int x = 0; x < std::min(width, patch.width()); ++x) {
      const PatchEntry& e = patch.At(x, y);
      if (e.device < 0 || static_cast<size_t>(e.device) >= targets.size()) continue;
      const PatchTarget& t = targets[static_cast<size_t>(e.device)];
      const int channel[3] = {e.red, e.green, e.blue};
      for (int c = 0; c < 3; ++c) {
        if (channel[c] < 0 || channel[c] >= t.channels) continue;
        buffers[static_cast<size_t>(e.device)][static_cast<size_t>(t.headerLength + channel[c])] =
            frame[(y * width + x) * 3 + c];
      }
    }
  }
}

TEST(PatchPlan, MatchesEntryByEntryApplicationAndNeverLeavesTheBuffer) {
  const std::vector<PatchTarget> targets = {{18, 512, 531}, {4, 30, 35}, {0, -1, 0}, {1, 90, 92}};
  std::mt19937 random(7);
  for (int round = 0; round < 30; ++round) {
    PatchTable patch(13, 7);
    // Straight and reversed runs, odd colour orders, stray and hostile entries.
    int channel = static_cast<int>(random() % 40);
    for (PatchEntry& e : patch.entries()) {
      const int kind = static_cast<int>(random() % 10);
      if (kind < 4) {
        e = PatchEntry{0, channel, channel + 1, channel + 2};
        channel += 3;
      } else if (kind < 6) {
        e = PatchEntry{3, 90 - channel % 90, 91 - channel % 90, 89 - channel % 90};
        channel += 3;
      } else if (kind == 6) {
        e = PatchEntry{static_cast<int32_t>(random() % 5), static_cast<int32_t>(random() % 700) - 100,
                       static_cast<int32_t>(random()), -static_cast<int32_t>(random() % 3)};
      } else if (kind == 7) {
        e = PatchEntry{1, 27, 28, 29};
      }
    }
    // Frames of the patch's size, and smaller or larger ones.
    const int width = 13 + round % 3 - 1, height = 7 + round % 2;
    std::vector<uint8_t> frame(static_cast<size_t>(width * height * 3));
    for (uint8_t& b : frame) b = static_cast<uint8_t>(random());
    Buffers expected;
    for (const PatchTarget& t : targets) expected.emplace_back(static_cast<size_t>(std::max(4, t.headerLength + t.channels + 2)), 0x55);
    Buffers actual = expected;
    ApplyDirectly(patch, width, height, frame.data(), targets, expected);
    PatchPlan plan;
    plan.Build(patch, width, height, targets);
    std::vector<uint8_t*> pointers;
    for (auto& b : actual) pointers.push_back(b.data());
    plan.Apply(frame.data(), pointers);
    for (size_t d = 0; d < targets.size(); ++d) {
      actual[d][targets[d].discardOffset] = 0x55;  // the discard byte may hold anything
      EXPECT_EQ(actual[d], expected[d]) << "round " << round << " device " << d;
    }
  }
}

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

TEST_F(FastPatchTest, VisitsTheAreaInEachPixelOrderAndPlacesEachColourOrder) {
  // Visiting sequence of a 3 x 2 area, as pixel indices y * 3 + x.
  const int visits[kPixelOrderCount][6] = {
      {0, 1, 2, 3, 4, 5}, {2, 1, 0, 5, 4, 3}, {3, 4, 5, 0, 1, 2}, {5, 4, 3, 2, 1, 0},  // linewise
      {0, 1, 2, 5, 4, 3}, {2, 1, 0, 3, 4, 5}, {3, 4, 5, 2, 1, 0}, {5, 4, 3, 0, 1, 2},  // snakelines
      {0, 3, 1, 4, 2, 5}, {2, 5, 1, 4, 0, 3}, {3, 0, 4, 1, 5, 2}, {5, 2, 4, 1, 3, 0},  // columnwise
      {0, 3, 4, 1, 2, 5}, {2, 5, 4, 1, 0, 3}, {3, 0, 1, 4, 5, 2}, {5, 2, 1, 4, 3, 0},  // snakecolumns
  };
  // Offsets of red, green and blue within a pixel's three channels.
  const int colours[kColourOrderCount][3] = {{0, 1, 2}, {0, 2, 1}, {2, 1, 0}, {1, 2, 0}, {2, 0, 1}, {1, 0, 2}};
  AddDevice(kDriverArtNet, 512);
  for (int order = 0; order < kPixelOrderCount; ++order) {
    const int c = order % kColourOrderCount;
    SCOPED_TRACE(std::string(PixelOrderName(order)) + " " + ColourOrderName(c));
    PatchTable patch(5, 4);
    FastPatchSettings s{3, 2, 30, order, c, 0};
    ASSERT_TRUE(ApplyFastPatch(patch, devices_, 1, 1, s));
    for (int k = 0; k < 6; ++k) {
      const int x = 1 + visits[order][k] % 3, y = 1 + visits[order][k] / 3, first = 30 + 3 * k;
      EXPECT_EQ(patch.At(x, y), (PatchEntry{0, first + colours[c][0], first + colours[c][1], first + colours[c][2]}))
          << k;
    }
    EXPECT_EQ(std::ranges::count_if(patch.entries(), [](const PatchEntry& e) { return e.device >= 0; }), 6);
    EXPECT_EQ(s.firstChannel, 48);
  }
  EXPECT_STREQ(PixelOrderName(16), "");
}

TEST_F(FastPatchTest, StopsWhenTheDeviceRunsOutAndClipsTheArea) {
  AddDevice(kDriverSacn, 6);
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
  EXPECT_EQ(std::make_pair(c.dimensionX, c.dimensionY), std::make_pair(9, 1));
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

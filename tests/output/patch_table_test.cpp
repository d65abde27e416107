#include "output/patch_table.h"

#include <gtest/gtest.h>

namespace quor {
namespace {

TEST(PatchTable, ResizeKeepsTheOverlapAtTheSamePlace) {
  PatchTable table(8, 8);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) table.At(x, y) = PatchEntry{1, x * 3, x * 3 + 1, y};
  }
  table.Resize(4, 4);
  ASSERT_EQ(table.entries().size(), 16u);
  EXPECT_EQ(table.At(3, 2), (PatchEntry{1, 9, 10, 2}));
  table.Resize(8, 8);
  EXPECT_EQ(table.At(3, 3), (PatchEntry{1, 9, 10, 3}));
  EXPECT_EQ(table.At(4, 3), PatchEntry{});
  EXPECT_EQ(table.At(0, 7), PatchEntry{});

  // Wide to tall: rows are re-laid at the new width.
  PatchTable wide(6, 4);
  wide.At(5, 0) = PatchEntry{0, 1, 2, 3};
  wide.At(1, 3) = PatchEntry{0, 4, 5, 6};
  wide.Resize(4, 6);
  EXPECT_EQ(wide.At(1, 3), (PatchEntry{0, 4, 5, 6}));
  EXPECT_EQ(wide.At(3, 0), PatchEntry{});
  for (const PatchEntry& e : wide.entries()) EXPECT_TRUE(e.device == -1 || e.red == 4);
}

TEST(PatchTable, ClearUnpatchesEverything) {
  PatchTable table(4, 4);
  table.At(2, 2) = PatchEntry{3, 1, 1, 1};
  table.Clear();
  EXPECT_EQ(table.At(2, 2), (PatchEntry{-1, 0, 0, 0}));
}

}  // namespace
}  // namespace quor

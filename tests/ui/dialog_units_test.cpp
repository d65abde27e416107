#include "ui/dialog_units.h"

#include <gtest/gtest.h>

#include <QApplication>

namespace quor {
namespace {

// Rounded x = dlu * avgWidth / 4 and y = dlu * height / 8, for the metrics
// of the common dialog fonts and for negative offsets.
TEST(DialogUnitsTest, ConvertsWithTheFontMetrics) {
  struct Case {
    int charWidth, charHeight, dlu, x, y;
  };
  const Case cases[] = {
      {6, 13, 4, 6, 7},       // 8 pt: 4 units are one character wide, 6.5 -> 7 high
      {6, 13, 8, 12, 13},     // 8 units are one line
      {7, 16, 186, 326, 372}, // 325.5 -> 326
      {7, 16, -3, -5, -6},    // -5.25 -> -5, -6
      {0, 0, 10, 3, 1},       // degenerate metrics fall back to one pixel
  };
  for (const Case& c : cases) {
    DialogUnits units(c.charWidth, c.charHeight);
    EXPECT_EQ(QPoint(units.X(c.dlu), units.Y(c.dlu)), QPoint(c.x, c.y)) << c.charWidth << "/" << c.dlu;
  }
  EXPECT_EQ(DialogUnits(6, 13).Rect(7, 8, 50, 14), QRect(11, 13, 75, 23));
}

TEST(DialogUnitsTest, FollowsTheDialogFont) {
  QFont small = QApplication::font(), large = small;
  small.setPixelSize(10);
  large.setPixelSize(20);
  const DialogUnits a(small), b(large);
  EXPECT_GT(b.X(100), a.X(100));
  EXPECT_GT(b.Y(100), a.Y(100));
  EXPECT_EQ(a.Y(8), a.charHeight());
}

}  // namespace
}  // namespace quor

#include "ui/dialog_units.h"

#include "ui_support.h"

namespace quor {
namespace {

// Rounded x = dlu * avgWidth / 4 and y = dlu * height / 8, also for negative offsets.
TEST(DialogUnitsTest, ConvertsWithTheFontMetrics) {
  const struct {
    int charWidth, charHeight, dlu, x, y;
  } cases[] = {
      {6, 13, 4, 6, 7},       // 8 pt: 4 units are one character wide, 6.5 -> 7 high
      {7, 16, 186, 326, 372}, // 325.5 -> 326
      {7, 16, -3, -5, -6},    // -5.25 -> -5, -6
      {0, 0, 10, 3, 1},       // degenerate metrics fall back to one pixel
  };
  for (const auto& c : cases) {
    const DialogUnits units(c.charWidth, c.charHeight);
    EXPECT_EQ(QPoint(units.X(c.dlu), units.Y(c.dlu)), QPoint(c.x, c.y)) << c.charWidth << "/" << c.dlu;
  }
  EXPECT_EQ(DialogUnits(6, 13).Rect(7, 8, 50, 14), QRect(11, 13, 75, 23));
}

}  // namespace
}  // namespace quor

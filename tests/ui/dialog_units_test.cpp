#include "ui/dialog_units.h"

#include "generators/generator_catalogue.h"
#include "ui/generator_settings_dialog.h"
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

// Every dialog laid out in dialog units takes its size from the one conversion. The font's
// character height is odd, so an odd number of units ends in half a pixel: rounding and
// truncation disagree.
TEST(DialogUnitsTest, EveryDialogInDialogUnitsUsesTheOneConversion) {
  const QFont appFont = QApplication::font();
  QFont font = appFont;
  for (int pixels = 11; pixels < 30 && QFontMetrics(font).height() % 2 == 0; ++pixels) font.setPixelSize(pixels);
  ASSERT_EQ(QFontMetrics(font).height() % 2, 1);
  QApplication::setFont(font);
  Engine engine(BuiltinGenerators(), test::kManualClock);
  engine.SelectEffect(0, EffectListPosition(kStrobeDialog.typeId));
  engine.RebindSlots();
  engine.show().sceneList().Add("A");
  engine.show().chases().InsertChase(0, "X");
  ASSERT_TRUE(engine.show().editor().Open(0));
  SettingsDialogPosition position;
  GeneratorSettingsDialog settings(engine, 0, kStrobeDialog, position, DefaultSettingsDialogServices({}), nullptr);
  std::optional<QPoint> editorPosition;
  ChaseEditorDialog editor(engine, 0, editorPosition, nullptr, {});
  const std::tuple<QDialog*, int, int> dialogs[] = {{&settings, kStrobeDialog.width, kStrobeDialog.height},
                                                    {&editor, 303, 292}};
  QApplication::setFont(appFont);
  for (const auto& [dialog, width, height] : dialogs) {
    const DialogUnits units(dialog->font());
    EXPECT_EQ(dialog->size(), QSize(units.X(width), units.Y(height))) << dialog->windowTitle().toStdString();
  }
}

}  // namespace
}  // namespace quor

// The "Matrix Size" dialog, typed into the real line edits.
#include "ui/matrix_size_dialog.h"

#include "ui_support.h"

namespace quor {
namespace {

using test::Retype;

TEST(MatrixSizeDialog, ASideWithinRangeShrinksTheOtherToKeepWithin16384Pixels) {
  Engine engine(BuiltinGenerators(), test::kManualClock);
  WindowState windows;
  MatrixSizeDialog dialog(engine, windows, nullptr);
  auto texts = [&] {
    return QStringList({dialog.widthEdit()->text(), dialog.heightEdit()->text(), dialog.pixelCount()->text()});
  };
  Retype(dialog.widthEdit(), "100");
  Retype(dialog.heightEdit(), "320");
  EXPECT_EQ(texts(), QStringList({"51", "320", "16320"}));
  Retype(dialog.widthEdit(), "200");  // the width box works the same way round
  EXPECT_EQ(texts(), QStringList({"200", "81", "16200"}));
  // Out of range: left as typed (not capped, not cut) for "OK" to refuse.
  Retype(dialog.heightEdit(), "400");
  EXPECT_EQ(texts(), QStringList({"200", "400", "80000"}));
  Retype(dialog.widthEdit(), "100000");
  EXPECT_EQ(dialog.widthEdit()->text(), "100000");
}

TEST(MatrixSizeDialog, OkRefusesASideOutOfRangeBeforeAnythingChanges) {
  Engine engine(BuiltinGenerators(), test::kManualClock);
  engine.SelectEffect(0, 3);
  engine.RebindSlots();
  WindowState windows;
  const struct {
    const char *width, *height, *message;
  } cases[] = {
      {"0", "16", "The matrix width \"0\" was not applied: enter 4 to 320 pixels."},
      {"100000", "16", "The matrix width \"100000\" was not applied: enter 4 to 320 pixels."},
      {"", "16", "The matrix width \"\" was not applied: enter 4 to 320 pixels."},
      {"32", "3", "The matrix height \"3\" was not applied: enter 4 to 320 pixels."},
      {"32", "400", "The matrix height \"400\" was not applied: enter 4 to 320 pixels."},
  };
  for (const auto& c : cases) {
    MatrixSizeDialog dialog(engine, windows, nullptr);
    QString error;
    dialog.showError = [&error](const QString& text) { error = text; };
    Retype(dialog.widthEdit(), c.width), Retype(dialog.heightEdit(), c.height);
    EXPECT_FALSE(dialog.Apply()) << c.message;
    EXPECT_EQ(error, c.message);
  }
  EXPECT_EQ(std::pair(engine.width(), engine.height()), std::pair(32, 16));
  EXPECT_EQ(engine.BoundType(0), 1) << "no resize reset the slots";
  MatrixSizeDialog(engine, windows, nullptr).Apply();  // nothing changed: no resize, the slot keeps its effect
  EXPECT_EQ(engine.BoundType(0), 1);
  {
    MatrixSizeDialog dialog(engine, windows, nullptr);
    Retype(dialog.widthEdit(), "4");
    EXPECT_TRUE(dialog.Apply());
  }
  EXPECT_EQ(std::pair(engine.width(), engine.height()), std::pair(4, 16));
}

}  // namespace
}  // namespace quor

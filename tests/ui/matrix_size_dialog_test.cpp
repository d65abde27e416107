// The "Matrix Size" dialog's live corrections and what "OK" applies, typed
// into the real line edits.
#include "ui/matrix_size_dialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "engine/engine.h"
#include "generators/builtin_generators.h"

namespace quor {
namespace {

void Retype(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClicks(edit, text);
}

TEST(MatrixSizeDialog, TooTallHeightIsCappedAndWidthKeepsWithin16384Pixels) {
  Engine engine(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
  MatrixSizeDialog dialog(engine, nullptr);
  EXPECT_EQ(dialog.widthEdit()->text(), "32");
  EXPECT_EQ(dialog.pixelCount()->text(), "512");
  Retype(dialog.widthEdit(), "100");
  Retype(dialog.heightEdit(), "400");
  EXPECT_EQ(dialog.heightEdit()->text(), "320");
  EXPECT_EQ(dialog.widthEdit()->text(), "51");
  EXPECT_EQ(dialog.pixelCount()->text(), "16320");
  // The width box works the same way round.
  Retype(dialog.widthEdit(), "200");
  EXPECT_EQ(dialog.widthEdit()->text(), "200");
  EXPECT_EQ(dialog.heightEdit()->text(), "81");
  // At most three characters.
  Retype(dialog.widthEdit(), "12345");
  EXPECT_EQ(dialog.widthEdit()->text(), "123");
}

TEST(MatrixSizeDialog, OkRaisesSidesToFourAndResizesOnlyWhenSomethingChanged) {
  Engine engine(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
  {
    MatrixSizeDialog dialog(engine, nullptr);
    Retype(dialog.widthEdit(), "2");
    dialog.Apply();
  }
  EXPECT_EQ(engine.width(), 4);
  EXPECT_EQ(engine.height(), 16);
  engine.SelectEffect(0, 3);
  engine.RebindSlots();
  {
    MatrixSizeDialog dialog(engine, nullptr);
    dialog.Apply();  // nothing changed: no resize, the slot keeps its effect
  }
  EXPECT_EQ(engine.BoundType(0), 1);
}

}  // namespace
}  // namespace quor

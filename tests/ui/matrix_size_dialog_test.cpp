// The "Matrix Size" dialog, typed into the real line edits.
#include "ui/matrix_size_dialog.h"

#include "ui_support.h"

namespace quor {
namespace {

using test::Retype;

TEST(MatrixSizeDialog, TooTallHeightIsCappedAndWidthKeepsWithin16384Pixels) {
  Engine engine(BuiltinGenerators(), test::kManualClock);
  MatrixSizeDialog dialog(engine, nullptr);
  Retype(dialog.widthEdit(), "100");
  Retype(dialog.heightEdit(), "400");
  EXPECT_EQ(QStringList({dialog.widthEdit()->text(), dialog.heightEdit()->text(), dialog.pixelCount()->text()}),
            QStringList({"51", "320", "16320"}));
  Retype(dialog.widthEdit(), "200");  // the width box works the same way round
  EXPECT_EQ(dialog.heightEdit()->text(), "81");
  Retype(dialog.widthEdit(), "12345");  // at most three characters
  EXPECT_EQ(dialog.widthEdit()->text(), "123");
}

TEST(MatrixSizeDialog, OkRaisesSidesToFourAndResizesOnlyWhenSomethingChanged) {
  Engine engine(BuiltinGenerators(), test::kManualClock);
  {
    MatrixSizeDialog dialog(engine, nullptr);
    Retype(dialog.widthEdit(), "2");
    dialog.Apply();
  }
  EXPECT_EQ(std::pair(engine.width(), engine.height()), std::pair(4, 16));
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

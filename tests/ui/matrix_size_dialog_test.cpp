// The "Matrix Size" dialog, typed into the real line edits.
#include "ui/matrix_size_dialog.h"

#include "ui_support.h"

namespace quor {
namespace {

using test::Retype;

TEST(MatrixSizeDialog, TooTallHeightIsCappedAndWidthKeepsWithin16384Pixels) {
  Engine engine(BuiltinGenerators(), test::kManualClock);
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
  Engine engine(BuiltinGenerators(), test::kManualClock);
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

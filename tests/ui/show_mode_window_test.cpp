// The show mode window: button layout, clicks, the "Control" group, closing.
#include "ui/show_mode_window.h"

#include "show/show.h"
#include "ui/command_ids.h"
#include "ui/list_window.h"
#include "ui/main_window.h"
#include "ui_support.h"

namespace quor {
namespace {

TEST(ShowModeLayout, KeepsClearOfPreviewAndControlGroup) {
  struct Case {
    int width, count;
    std::vector<QPoint> expected;  // every top-left corner; empty: not checked
  };
  const Case cases[] = {
      // Two columns beside the preview: the rows start below the reserved oy 339.
      {360, 4, {{10, 370}, {120, 370}, {230, 370}, {10, 430}}},
      // The first row starts right of the preview at ox 330 and holds six.
      {1000, 7, {{340, 10}, {450, 10}, {560, 10}, {670, 10}, {780, 10}, {890, 10}, {340, 70}}},
      // Narrower than two buttons: every button is still placed.
      {100, 3, {}},
  };
  for (const Case& c : cases) {
    const std::vector<QPoint> at = ShowModeButtonPositions(c.width, 100, 50, 200, c.count);
    ASSERT_EQ(at.size(), static_cast<size_t>(c.count)) << c.width;
    if (!c.expected.empty()) {
      EXPECT_EQ(at, c.expected) << c.width;
    }
  }
}

class ShowModeTest : public testing::Test {
 protected:
  ShowModeTest() {
    SceneList& scenes = engine_.show().sceneList();
    scenes.Add("Intro");
    scenes.Add("Finale");
    engine_.show().chaseList().Add();
    engine_.show().editor().Close();
  }
  Engine engine_{BuiltinGenerators(), test::kManualClock};
  PreviewRenderer renderer_{engine_};
};

TEST_F(ShowModeTest, ButtonsHighlightTheClickedChaseOrSceneAndSizeMenuKeepsLimits) {
  ShowModeWindow window(engine_, renderer_.buffer(kPreviewCentre), {});
  window.show();
  ASSERT_EQ(window.buttonCount(), 3);
  EXPECT_TRUE(window.button(0)->text().startsWith(">> Chase <<\n"));
  EXPECT_EQ(window.button(1)->text(), engine_.show().scenes().Names()[0].c_str());
  EXPECT_EQ(engine_.flags().showModeActive.load(), 1);

  QTest::mouseClick(window.button(2), Qt::LeftButton);
  EXPECT_EQ(window.highlighted(), 2);
  EXPECT_TRUE(window.button(2)->isChecked());
  EXPECT_TRUE(window.button(2)->font().bold());
  EXPECT_EQ(engine_.PendingSceneIndex(), 1);
  EXPECT_EQ(engine_.show().sceneList().selection(), 1);

  QTest::mouseClick(window.button(0), Qt::LeftButton);
  EXPECT_EQ(window.highlighted(), 0);
  EXPECT_FALSE(window.button(2)->isChecked());
  EXPECT_FALSE(window.button(2)->font().bold());
  EXPECT_TRUE(engine_.show().chaseList().PlayPressed());

  // "Master" moves the master level; the size menu keeps its limits.
  window.masterSlider()->setFocus();
  QTest::keyClick(window.masterSlider(), Qt::Key_Home);
  EXPECT_EQ(engine_.settings().masterLevel.load(), 0);
  engine_.uiState().showButtonWidth.store(50);
  window.ResizeButtons(-5, 0);
  EXPECT_EQ(engine_.uiState().showButtonWidth.load(), 50);
  engine_.uiState().showButtonHeight.store(160);
  window.ResizeButtons(0, 5);
  EXPECT_EQ(engine_.uiState().showButtonHeight.load(), 160);
  window.close();
  EXPECT_EQ(engine_.flags().showModeActive.load(), 0);
}

TEST_F(ShowModeTest, ClosingGivesBackTheWindowsThatWereVisibleAndKeepsTheRectangle) {
  MainWindow main(engine_, renderer_);
  main.show();
  main.sceneWindow()->show();
  main.RunCommand(kCmdShowModeButton);
  ShowModeWindow* show = main.showModeWindow();
  ASSERT_NE(show, nullptr);
  EXPECT_FALSE(main.isVisible());
  EXPECT_FALSE(main.sceneWindow()->isVisible());
  main.RunCommand(kCmdShowMode);  // a second open is ignored
  EXPECT_EQ(main.showModeWindow(), show);
  show->resize(700, 600);
  const QRect outer = show->frameGeometry();
  show->close();
  EXPECT_EQ(main.showModeWindow(), nullptr);
  EXPECT_TRUE(main.isVisible());
  EXPECT_TRUE(main.sceneWindow()->isVisible());
  EXPECT_FALSE(main.chaseWindow()->isVisible());
  EXPECT_EQ(engine_.uiState().showWindowWidth.load(), outer.width());
  EXPECT_EQ(engine_.flags().showModeActive.load(), 0);
  // Opening again restores the same outer rectangle.
  main.RunCommand(kCmdShowMode);
  ASSERT_NE(main.showModeWindow(), nullptr);
  EXPECT_EQ(main.showModeWindow()->frameGeometry().size(), outer.size());
  main.showModeWindow()->close();
}

}  // namespace
}  // namespace quor

// The show mode window: button layout, clicks, the "Control" group, closing.
#include "ui/show_mode_window.h"

#include "ui/list_window.h"
#include "ui_support.h"

namespace quor {
namespace {

TEST(ShowModeLayout, KeepsClearOfPreviewAndControlGroup) {
  // The first row starts right of the preview at ox 330 and holds six.
  EXPECT_EQ(ShowModeButtonPositions(1000, 100, 50, 200, 7),
            (std::vector<QPoint>{{340, 10}, {450, 10}, {560, 10}, {670, 10}, {780, 10}, {890, 10}, {340, 70}}));
  // Narrower than two buttons: every button is still placed.
  EXPECT_EQ(ShowModeButtonPositions(100, 100, 50, 200, 3).size(), 3u);
}

class ShowModeTest : public testing::Test {
 protected:
  ShowModeTest() {
    engine_.show().sceneList().Add("Intro"), engine_.show().sceneList().Add("Finale");
    engine_.show().chaseList().Add();
    engine_.show().editor().Close();
  }
  Engine engine_{BuiltinGenerators(), test::kManualClock};
  PreviewRenderer renderer_{engine_};
  WindowState windows_;
};

TEST_F(ShowModeTest, ButtonsHighlightTheClickedChaseOrSceneAndSizeMenuKeepsLimits) {
  ShowModeWindow window(engine_, windows_, renderer_.buffer(kPreviewCentre), {});
  window.show();
  ASSERT_EQ(window.buttonCount(), 3);
  EXPECT_EQ(engine_.flags().showModeActive.load(), 1);
  QTest::mouseClick(window.button(2), Qt::LeftButton);
  EXPECT_EQ(window.highlighted(), 2);
  EXPECT_EQ(std::pair(engine_.LastRecalledScene(), engine_.show().sceneList().selection()), std::pair(1, 1));
  test::ConsoleCapture console(engine_.console());
  QTest::mouseClick(window.button(0), Qt::LeftButton);
  // Show mode prints its own line only, not the chase window's "Starting Chase".
  EXPECT_EQ(std::pair(console.Count("chaser: 0\n"), console.Count("Starting Chase")), std::pair(1, 0));
  EXPECT_EQ(window.highlighted(), 0);
  EXPECT_FALSE(window.button(2)->isChecked() || window.button(2)->font().bold());
  EXPECT_TRUE(engine_.show().chaseList().PlayPressed());

  // "Master" moves the master level; the size menu keeps its limits.
  window.masterSlider()->setFocus(), QTest::keyClick(window.masterSlider(), Qt::Key_Home);
  EXPECT_EQ(engine_.settings().masterLevel.load(), 0);
  window.ResizeButtons(-50, 110);
  window.ResizeButtons(-5, 5);
  // The engine saves what the window shows.
  const ShowWindowPlacement& saved = engine_.windowLayout().showWindow;
  EXPECT_EQ(std::pair(saved.buttonWidth, saved.buttonHeight), std::pair(50, 160));
  EXPECT_EQ(saved, windows_.layout.showWindow);
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
  EXPECT_FALSE(main.isVisible() || main.sceneWindow()->isVisible());
  main.RunCommand(kCmdShowMode);  // a second open is ignored
  EXPECT_EQ(main.showModeWindow(), show);
  show->resize(700, 600);
  const QRect outer = show->frameGeometry();
  show->close();
  EXPECT_EQ(main.showModeWindow(), nullptr);
  EXPECT_TRUE(main.isVisible() && main.sceneWindow()->isVisible() && !main.chaseWindow()->isVisible());
  EXPECT_EQ(engine_.windowLayout().showWindow.width, outer.width());
  EXPECT_EQ(engine_.flags().showModeActive.load(), 0);
  // Opening again restores the same outer rectangle.
  main.RunCommand(kCmdShowMode);
  ASSERT_NE(main.showModeWindow(), nullptr);
  EXPECT_EQ(main.showModeWindow()->frameGeometry().size(), outer.size());
  main.showModeWindow()->close();
}

}  // namespace
}  // namespace quor

// Show mode: the button layout, highlighting on clicks, the "Control" group
// and giving the hidden windows back on close.
#include "ui/show_mode_window.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "engine/engine.h"
#include "generators/builtin_generators.h"
#include "show/show.h"
#include "ui/command_ids.h"
#include "ui/list_window.h"
#include "ui/main_window.h"
#include "ui/preview_renderer.h"

namespace quor {
namespace {

TEST(ShowModeLayout, KeepsClearOfPreviewAndControlGroup) {
  // 360 wide, 100 x 50 buttons: columns = 2, rows are reserved up to oy 339.
  std::vector<QPoint> narrow = ShowModeButtonPositions(360, 100, 50, 200, 4);
  ASSERT_EQ(narrow.size(), 4u);
  EXPECT_EQ(narrow[0], QPoint(10, 370));
  EXPECT_EQ(narrow[1], QPoint(120, 370));
  EXPECT_EQ(narrow[2], QPoint(230, 370));
  EXPECT_EQ(narrow[3], QPoint(10, 430));
  // 1000 wide: the first row starts at ox 330 and holds six buttons.
  std::vector<QPoint> wide = ShowModeButtonPositions(1000, 100, 50, 200, 7);
  ASSERT_EQ(wide.size(), 7u);
  EXPECT_EQ(wide[0], QPoint(340, 10));
  EXPECT_EQ(wide[5], QPoint(890, 10));
  EXPECT_EQ(wide[6], QPoint(340, 70));
  // A window narrower than two buttons still places every button.
  EXPECT_EQ(ShowModeButtonPositions(100, 100, 50, 200, 3).size(), 3u);
}

class ShowModeTest : public testing::Test {
 protected:
  ShowModeTest() : engine_(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1}), renderer_(engine_) {
    SceneList& scenes = engine_.show().sceneList();
    scenes.Add("Intro");
    scenes.Add("Finale");
    engine_.show().chaseList().Add();
    engine_.show().editor().Close();
  }
  Engine engine_;
  PreviewRenderer renderer_;
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
  engine_.settings().showButtonWidth.store(50);
  window.ResizeButtons(-5, 0);
  EXPECT_EQ(engine_.settings().showButtonWidth.load(), 50);
  engine_.settings().showButtonHeight.store(160);
  window.ResizeButtons(0, 5);
  EXPECT_EQ(engine_.settings().showButtonHeight.load(), 160);
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
  EXPECT_EQ(engine_.settings().showWindowWidth.load(), outer.width());
  EXPECT_EQ(engine_.flags().showModeActive.load(), 0);
  // Opening again restores the same outer rectangle.
  main.RunCommand(kCmdShowMode);
  ASSERT_NE(main.showModeWindow(), nullptr);
  EXPECT_EQ(main.showModeWindow()->frameGeometry().size(), outer.size());
  main.showModeWindow()->close();
}

}  // namespace
}  // namespace quor

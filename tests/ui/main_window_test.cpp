// The main window: its menus, function keys, modal commands and closing.
#include "ui/main_window.h"

#include <QMenu>
#include <fstream>

#include "ui/chase_editor_dialog.h"
#include "ui/chase_window.h"
#include "ui/command_ids.h"
#include "ui/help_viewer.h"
#include "ui/list_window.h"
#include "ui/mixer_panel.h"
#include "ui/modal_commands.h"
#include "ui/preview_widget.h"
#include "ui/recorder_window.h"
#include "ui_support.h"

namespace quor {
namespace {

// What a right click showed: whether a menu opened, which entries were
// checked and which disabled.
struct Popup {
  bool opened = false;
  QStringList checked, disabled;
};

// Right-clicks `widget` at `pos` and picks `entry` in the menu that opens.
Popup RightClick(QWidget* widget, QPoint pos, const QString& entry) {
  Popup seen;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr) return;
    poll.stop();
    seen.opened = true;
    QAction* pick = nullptr;
    for (QAction* action : menu->actions()) {
      if (action->isChecked()) seen.checked << action->text();
      if (!action->isEnabled()) seen.disabled << action->text();
      if (action->text() == entry) pick = action;
    }
    if (pick != nullptr && pick->isEnabled()) {
      menu->setActiveAction(pick);
      QTest::keyClick(menu, Qt::Key_Return);
    } else {
      menu->close();
    }
  });
  poll.start(20);
  QContextMenuEvent event(QContextMenuEvent::Mouse, pos, widget->mapToGlobal(pos));
  QApplication::sendEvent(widget, &event);
  (void)QTest::qWaitFor([&] { return seen.opened; }, 100);  // a menu shown later would count too
  return seen;
}

class MainWindowTest : public testing::Test {
 protected:
  MainWindowTest() {
    std::ofstream(helpDir_ + "/1.html") << "<h1>Main window</h1>";
    window_.show();
    EXPECT_TRUE(Front(&window_));
  }
  // Brings `window` to the front so that it gets the keys.
  static bool Front(QWidget* window) {
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
  }
  Engine engine_{BuiltinGenerators(), test::kManualClock};
  PreviewRenderer renderer_{engine_};
  std::string helpDir_ = test::FreshTestDir("ui_help");
  MainWindow window_{engine_, renderer_, MainWindowOptions{QString::fromStdString(helpDir_), 40}};
};

TEST_F(MainWindowTest, PreviewMenusSetTheirSourceAndTheCentreHasNone) {
  engine_.settings().leftPreviewSource.store(kPreviewGenerator2);
  const Popup left = RightClick(window_.preview(kPreviewLeft), QPoint(100, 100), "Off");
  EXPECT_TRUE(left.opened);
  EXPECT_EQ(left.checked, QStringList({"Generator 2"}));
  EXPECT_EQ(engine_.settings().leftPreviewSource.load(), kPreviewOff);
  RightClick(window_.preview(kPreviewRight), QPoint(5, 5), "Generator 1");
  EXPECT_EQ(engine_.settings().rightPreviewSource.load(), kPreviewGenerator1);
  // The corner column and the centre preview have no menu.
  EXPECT_FALSE(RightClick(window_.preview(kPreviewRight), QPoint(0, 5), "Off").opened);
  EXPECT_FALSE(RightClick(window_.preview(kPreviewCentre), QPoint(100, 100), "Off").opened);
}

TEST_F(MainWindowTest, CopyAndPasteMenuOnTheEditButton) {
  QPushButton* edit = window_.panel()->editButton(0);
  EXPECT_EQ(RightClick(edit, QPoint(10, 10), "Paste").disabled, QStringList({"Paste"}));
  engine_.SelectEffect(0, 1);
  engine_.RebindSlots();
  RightClick(edit, QPoint(10, 10), "Copy");
  EXPECT_EQ(engine_.clipboard().type, 7);
  RightClick(window_.panel()->editButton(3), QPoint(10, 10), "Paste");
  EXPECT_EQ(engine_.RequestedType(3), 7);
  window_.Tick();  // the loop completes the paste
  EXPECT_EQ(engine_.BoundType(3), 7);
}

TEST_F(MainWindowTest, FunctionKeysActOnTheWindowInFront) {
  QTest::keyClick(window_.panel()->masterOut(), Qt::Key_F2);
  EXPECT_TRUE(window_.sceneWindow()->isVisible());
  EXPECT_TRUE(window_.action(kCmdSceneList)->isChecked());
  QTest::keyClick(window_.panel()->masterOut(), Qt::Key_F3);
  EXPECT_TRUE(window_.chaseWindow()->isVisible());
  // Docked: the chase window beside the main window, the scene window beside it.
  EXPECT_EQ(window_.chaseWindow()->frameGeometry().left(), window_.frameGeometry().right() + 1);
  EXPECT_EQ(window_.sceneWindow()->frameGeometry().left(), window_.chaseWindow()->frameGeometry().right() + 1);

  ASSERT_TRUE(Front(window_.chaseWindow()));
  QTest::keyClick(window_.chaseWindow(), Qt::Key_F3);
  EXPECT_FALSE(window_.chaseWindow()->isVisible());
  EXPECT_FALSE(window_.action(kCmdChaseList)->isChecked());

  ASSERT_TRUE(Front(&window_));
  QTest::keyClick(window_.panel()->masterOut(), Qt::Key_F1);
  EXPECT_TRUE(window_.helpViewer()->isVisible());
  EXPECT_EQ(window_.helpViewer()->currentContext(), 1);
  window_.helpViewer()->hide();

  ASSERT_TRUE(Front(&window_));
  QTest::keyClick(window_.panel()->masterOut(), Qt::Key_F11);
  ASSERT_NE(window_.showModeWindow(), nullptr);
  ShowModeWindow* show = window_.showModeWindow();
  ASSERT_TRUE(Front(show));
  QTest::keyClick(show, Qt::Key_F1);  // topic 24 has no page here: nothing
  EXPECT_EQ(window_.helpViewer()->currentContext(), 1);
  QTest::keyClick(show, Qt::Key_F11);
  EXPECT_EQ(window_.showModeWindow(), nullptr);
  EXPECT_TRUE(window_.isVisible());
}

// The recorder's menu entry toggles it with its check mark; a list window
// moved by hand is no longer docked.
TEST_F(MainWindowTest, RecorderCheckMarkAndUndockingByHand) {
  window_.RunCommand(kCmdFileRecorder);
  ASSERT_NE(window_.recorderWindow(), nullptr);
  EXPECT_TRUE(window_.action(kCmdFileRecorder)->isChecked());
  window_.action(kCmdFileRecorder)->trigger();
  EXPECT_FALSE(window_.recorderWindow()->isVisible());
  EXPECT_FALSE(window_.action(kCmdFileRecorder)->isChecked());
  window_.RunCommand(kCmdChaseList);
  ASSERT_TRUE(window_.chases()->isVisible());
  EXPECT_TRUE(window_.action(kCmdDockChaseWindow)->isChecked());
  window_.chases()->move(window_.chases()->pos() + QPoint(40, 30));
  EXPECT_FALSE(window_.action(kCmdDockChaseWindow)->isChecked());
}

TEST_F(MainWindowTest, ModalCommandsStopTheChaseAndDisableTheListWindows) {
  window_.sceneWindow()->show();
  bool sceneEnabledInside = true;
  window_.modal().Register(kCmdOutputPatch, [&](QWidget*) { sceneEnabledInside = window_.sceneWindow()->isEnabled(); });
  window_.RunCommand(kCmdOutputPatch);
  EXPECT_FALSE(sceneEnabledInside);
  EXPECT_TRUE(window_.sceneWindow()->isEnabled());

  {
    test::BoxCatcher box;
    window_.modal().RunCommand(-1, QStringLiteral("Unbuilt"));  // a command without a dialog
    EXPECT_TRUE(box.text.contains("not available yet")) << box.text.toStdString();
  }
  {
    // None / Blackout has no settings: "Edit" opens nothing.
    test::BoxCatcher none;
    QTest::mouseClick(window_.panel()->editButton(1), Qt::LeftButton);
    QTest::qWait(100);
    EXPECT_TRUE(none.text.isEmpty());
  }
  // A type without a registered settings dialog says so.
  const int typeWithoutDialog = 12;
  engine_.SelectEffect(1, EffectListPosition(typeWithoutDialog));
  engine_.RebindSlots();
  {
    test::BoxCatcher missing;
    ModalCommands(engine_, &window_).EditSlot(1);
    EXPECT_TRUE(missing.text.contains("settings is not available yet")) << missing.text.toStdString();
  }
  // A registered dialog runs with the windows locked.
  int editedSlot = -1;
  window_.modal().RegisterGeneratorDialog(typeWithoutDialog, [&](QWidget*, int slot) {
    editedSlot = slot;
    EXPECT_FALSE(window_.sceneWindow()->isEnabled());
  });
  QTest::mouseClick(window_.panel()->editButton(1), Qt::LeftButton);
  EXPECT_EQ(editedSlot, 1);
}

TEST_F(MainWindowTest, StartOutputWithoutDevicesChecksAndGreysTheSetupEntries) {
  window_.RunCommand(kCmdStartOutput);
  EXPECT_TRUE(window_.action(kCmdStartOutput)->isChecked());
  EXPECT_FALSE(window_.action(kCmdMatrixSize)->isEnabled());
  EXPECT_FALSE(window_.action(kCmdOutputPatch)->isEnabled());
  window_.RunCommand(kCmdStartOutput);
  EXPECT_FALSE(window_.action(kCmdStartOutput)->isChecked());
  EXPECT_TRUE(window_.action(kCmdMatrixSize)->isEnabled());
}

TEST_F(MainWindowTest, ClosingOrExitRequestsTheShutdownOnce) {
  int closed = 0;
  window_.onClosed = [&] { ++closed; };
  window_.RunCommand(kCmdExit);
  window_.close();
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(engine_.flags().shutdownRequested.load(), 1);
}

TEST_F(MainWindowTest, MatrixResizeMovesThePanelAndGrowsTheWindow) {
  engine_.SelectEffect(0, 3);
  window_.Tick();
  ASSERT_TRUE(engine_.ResizeMatrix(32, 250, 0));
  engine_.StopClock();
  EXPECT_EQ(engine_.uiState().previewHeight.load(), 250);
  window_.Tick();  // the window follows the engine's change events
  EXPECT_EQ(window_.panel()->effectList(0)->currentIndex(), 0);
  EXPECT_EQ(window_.panel()->y(), 250);
  EXPECT_EQ(window_.preview(kPreviewLeft)->height(), 250);
  EXPECT_GE(window_.height(), 250 + 300);
  EXPECT_EQ(window_.sceneWindow()->height(), 250 + 360);
}

}  // namespace
}  // namespace quor

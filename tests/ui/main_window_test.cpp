// The main window on the real widgets: menus, the preview source menus,
// the Copy/Paste menu, function keys for the window in front, the modal
// commands and closing.
#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "engine/engine.h"
#include "generators/builtin_generators.h"
#include "test_support.h"
#include "ui/command_ids.h"
#include "ui/help_viewer.h"
#include "ui/list_window.h"
#include "ui/mixer_panel.h"
#include "ui/modal_commands.h"
#include "ui/preview_widget.h"
#include <QSlider>

namespace quor {
namespace {

// Picks `entry` in the next pop-up menu and reports which entries were
// checked and enabled when it opened.
struct PopupChoice {
  explicit PopupChoice(const char* pick) : entry(QString::fromLatin1(pick)) {}
  QString entry;
  QStringList checked;
  QStringList disabled;
  bool opened = false;
  void Arm() {
    QTimer::singleShot(50, [this] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (menu == nullptr) return;
      opened = true;
      QAction* pick = nullptr;
      for (QAction* action : menu->actions()) {
        if (action->isChecked()) checked << action->text();
        if (!action->isEnabled()) disabled << action->text();
        if (action->text() == entry) pick = action;
      }
      if (pick != nullptr && pick->isEnabled()) {
        menu->setActiveAction(pick);
        QTest::keyClick(menu, Qt::Key_Return);
      } else {
        menu->close();
      }
    });
  }
};

// Closes the next message box and keeps its text.
struct BoxCatcher {
  QString text;
  void Arm() {
    QTimer::singleShot(50, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        text = box->text();
        box->accept();
      }
    });
  }
};

class MainWindowTest : public testing::Test {
 protected:
  MainWindowTest()
      : engine_(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1}),
        renderer_(engine_),
        helpDir_(test::FreshTestDir("ui_help")),
        window_(engine_, renderer_, MainWindowOptions{QString::fromStdString(helpDir_), 40}) {
    std::ofstream(helpDir_ + "/1.html") << "<h1>Main window</h1>";
    std::ofstream(helpDir_ + "/25.html") << "<h1>Matrix Size</h1>";
    window_.show();
    window_.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window_));
  }
  void RightClick(QWidget* widget, QPoint pos) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, widget->mapToGlobal(pos));
    QApplication::sendEvent(widget, &event);
  }
  Engine engine_;
  PreviewRenderer renderer_;
  std::string helpDir_;
  MainWindow window_;
};

TEST_F(MainWindowTest, TitleSizeMenusAndPreviewPlaces) {
  EXPECT_EQ(window_.windowTitle(), "Quor! - LED Matrix Control");
  EXPECT_EQ(window_.width(), 1046);
  EXPECT_GE(window_.height(), 200 + 300);
  QStringList menus;
  for (QAction* menu : window_.menuBar()->actions()) menus << menu->text();
  EXPECT_EQ(menus, QStringList({"&File", "&View", "&Setup", "&Help"}));
  EXPECT_EQ(window_.action(kCmdSceneList)->text(), "&Scenelist\tF2");
  EXPECT_EQ(window_.action(kCmdStartOutput)->text(), "Start &Output");
  EXPECT_EQ(window_.preview(kPreviewRight)->geometry(), QRect(710, 10, 320, 200));
  EXPECT_EQ(window_.panel()->y(), 200);
}

TEST_F(MainWindowTest, PreviewMenusSetTheirSourceAndTheCentreHasNone) {
  engine_.settings().leftPreviewSource.store(kPreviewGenerator2);
  PopupChoice choice{"Off"};
  choice.Arm();
  RightClick(window_.preview(kPreviewLeft), QPoint(100, 100));
  EXPECT_TRUE(choice.opened);
  EXPECT_EQ(choice.checked, QStringList({"Generator 2"}));
  EXPECT_EQ(engine_.settings().leftPreviewSource.load(), kPreviewOff);

  PopupChoice right{"Generator 1"};
  right.Arm();
  RightClick(window_.preview(kPreviewRight), QPoint(5, 5));
  EXPECT_EQ(engine_.settings().rightPreviewSource.load(), kPreviewGenerator1);

  PopupChoice edge{"Off"};
  edge.Arm();
  RightClick(window_.preview(kPreviewRight), QPoint(0, 5));  // the corner column has no menu
  PopupChoice centre{"Off"};
  centre.Arm();
  RightClick(window_.preview(kPreviewCentre), QPoint(100, 100));
  QTest::qWait(100);
  EXPECT_FALSE(edge.opened);
  EXPECT_FALSE(centre.opened);
}

TEST_F(MainWindowTest, CopyAndPasteMenuOnTheEditButton) {
  QPushButton* edit = window_.panel()->editButton(0);
  PopupChoice before{"Paste"};
  before.Arm();
  RightClick(edit, QPoint(10, 10));
  EXPECT_EQ(before.disabled, QStringList({"Paste"}));

  engine_.SelectEffect(0, 1);
  engine_.RebindSlots();
  PopupChoice copy{"Copy"};
  copy.Arm();
  RightClick(edit, QPoint(10, 10));
  EXPECT_EQ(engine_.clipboard().type, 7);

  PopupChoice paste{"Paste"};
  paste.Arm();
  RightClick(window_.panel()->editButton(3), QPoint(10, 10));
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

  window_.chaseWindow()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.chaseWindow()));
  QTest::keyClick(window_.chaseWindow(), Qt::Key_F3);
  EXPECT_FALSE(window_.chaseWindow()->isVisible());
  EXPECT_FALSE(window_.action(kCmdChaseList)->isChecked());

  window_.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
  QTest::keyClick(window_.panel()->masterOut(), Qt::Key_F1);
  EXPECT_TRUE(window_.helpViewer()->isVisible());
  EXPECT_EQ(window_.helpViewer()->currentContext(), 1);
  window_.helpViewer()->hide();

  window_.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
  QTest::keyClick(window_.panel()->masterOut(), Qt::Key_F11);
  ASSERT_NE(window_.showModeWindow(), nullptr);
  ShowModeWindow* show = window_.showModeWindow();
  show->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(show));
  QTest::keyClick(show, Qt::Key_F1);  // topic 24 has no page here: nothing
  EXPECT_EQ(window_.helpViewer()->currentContext(), 1);
  QTest::keyClick(show, Qt::Key_F11);
  EXPECT_EQ(window_.showModeWindow(), nullptr);
  EXPECT_TRUE(window_.isVisible());
}

TEST_F(MainWindowTest, ModalCommandsStopTheChaseAndDisableTheListWindows) {
  window_.sceneWindow()->show();
  bool sceneEnabledInside = true;
  window_.modal().Register(kCmdOutputPatch, [&](QWidget*) { sceneEnabledInside = window_.sceneWindow()->isEnabled(); });
  window_.RunCommand(kCmdOutputPatch);
  EXPECT_FALSE(sceneEnabledInside);
  EXPECT_TRUE(window_.sceneWindow()->isEnabled());

  BoxCatcher box;
  box.Arm();
  window_.modal().RunCommand(-1, QStringLiteral("Unbuilt"));  // a command without a dialog
  EXPECT_TRUE(box.text.contains("not available yet")) << box.text.toStdString();

  // None / Blackout has no settings: "Edit" opens nothing.
  BoxCatcher none;
  none.Arm();
  QTest::mouseClick(window_.panel()->editButton(1), Qt::LeftButton);
  QTest::qWait(100);
  EXPECT_TRUE(none.text.isEmpty());
  // A type without a registered settings dialog says so.
  const int typeWithoutDialog = 12;
  engine_.SelectEffect(1, EffectListPosition(typeWithoutDialog));
  engine_.RebindSlots();
  BoxCatcher missing;
  missing.Arm();
  ModalCommands(engine_, &window_).EditSlot(1);
  EXPECT_TRUE(missing.text.contains("settings is not available yet")) << missing.text.toStdString();
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

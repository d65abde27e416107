// The main window: its menus, function keys, modal commands and closing.

#include <QMenu>
#include <filesystem>
#include <fstream>
#include <thread>

#include "engine/lifecycle.h"
#include "files/project_format.h"
#include "show/show.h"

#include "ui/about_box.h"
#include "ui/list_window.h"
#include "ui/modal_commands.h"
#include "ui/preview_widget.h"
#include "ui/recorder_window.h"
#include "ui_support.h"

namespace quor {
namespace {

// What a right click showed: whether a menu opened, its checked and disabled entries.
struct Popup {
  bool opened = false;
  QStringList checked, disabled;
};

// Right-clicks `widget` at `pos` and picks `entry` in the menu that opens.
Popup RightClick(QWidget* widget, QPoint pos, const QString& entry) {
  Popup seen;
  QTimer::singleShot(20, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!(seen.opened = menu != nullptr)) return;
    for (QAction* action : menu->actions()) {
      if (action->isChecked()) seen.checked << action->text();
      if (!action->isEnabled()) seen.disabled << action->text();
      if (action->text() == entry && action->isEnabled()) menu->setActiveAction(action);
    }
    if (menu->activeAction() != nullptr) QTest::keyClick(menu, Qt::Key_Return);
    menu->close();
  });
  QContextMenuEvent event(QContextMenuEvent::Mouse, pos, widget->mapToGlobal(pos));
  QApplication::sendEvent(widget, &event);
  QTest::qWait(40);  // a menu shown later would count too
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
  engine_.SetPreviewSource(0, kPreviewGenerator2);
  EXPECT_EQ(RightClick(window_.preview(kPreviewLeft), QPoint(100, 100), "Off").checked, QStringList({"Generator 2"}));
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
  window_.Tick();  // the loop completes the paste
  EXPECT_EQ(engine_.BoundType(3), 7);
}

TEST_F(MainWindowTest, FunctionKeysActOnTheWindowInFront) {
  QTest::keyClick(window_.panel()->masterOut(), Qt::Key_F2);
  EXPECT_TRUE(window_.sceneWindow()->isVisible() && window_.action(kCmdSceneList)->isChecked());
  QTest::keyClick(window_.panel()->masterOut(), Qt::Key_F3);
  EXPECT_TRUE(window_.chaseWindow()->isVisible());
  // Docked: the chase window beside the main window, the scene window beside it.
  EXPECT_EQ(window_.chaseWindow()->frameGeometry().left(), window_.frameGeometry().right() + 1);
  EXPECT_EQ(window_.sceneWindow()->frameGeometry().left(), window_.chaseWindow()->frameGeometry().right() + 1);

  ASSERT_TRUE(Front(window_.chaseWindow()));
  QTest::keyClick(window_.chaseWindow(), Qt::Key_F3);
  EXPECT_FALSE(window_.chaseWindow()->isVisible() || window_.action(kCmdChaseList)->isChecked());

  ASSERT_TRUE(Front(&window_));
  QTest::keyClick(window_.panel()->masterOut(), Qt::Key_F1);
  EXPECT_TRUE(window_.helpViewer()->isVisible() && window_.helpViewer()->currentContext() == 1);
  window_.helpViewer()->hide();

  ASSERT_TRUE(Front(&window_));
  QTest::keyClick(window_.panel()->masterOut(), Qt::Key_F11);
  ShowModeWindow* show = window_.showModeWindow();
  ASSERT_NE(show, nullptr);
  ASSERT_TRUE(Front(show));
  QTest::keyClick(show, Qt::Key_F11);  // full screen there; its close box ends show mode
  EXPECT_TRUE(show->isFullScreen());
  show->close();
  EXPECT_TRUE(window_.showModeWindow() == nullptr && window_.isVisible());
}

// The recorder's entry toggles it with its check mark, and every way of closing it ends in a
// deleted window and a cleared mark (the sanitizer build checks nothing reads it half-destroyed).
// A list window moved by hand is undocked.
TEST_F(MainWindowTest, RecorderCheckMarkAndUndockingByHand) {
  const std::pair<const char*, std::function<void(RecorderWindow&)>> closers[] = {
      {"menu entry", [this](RecorderWindow&) { window_.action(kCmdFileRecorder)->trigger(); }},
      {"close box", [](RecorderWindow& r) { r.close(); }},
      {"Escape", [](RecorderWindow& r) { QTest::keyClick(&r, Qt::Key_Escape); }},
      {"F4", [](RecorderWindow& r) {
         ASSERT_TRUE(Front(&r));
         QTest::keyClick(&r, Qt::Key_F4);
       }},
  };
  for (const auto& [how, close] : closers) {
    window_.RunCommand(kCmdFileRecorder);
    ASSERT_NE(window_.recorderWindow(), nullptr) << how;
    EXPECT_TRUE(window_.action(kCmdFileRecorder)->isChecked()) << how;
    close(*window_.recorderWindow());
    EXPECT_FALSE(window_.recorderWindow()->isVisible() || window_.action(kCmdFileRecorder)->isChecked()) << how;
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window_.recorderWindow() == nullptr && !window_.action(kCmdFileRecorder)->isChecked()) << how;
  }
  window_.RunCommand(kCmdChaseList);
  EXPECT_TRUE(window_.chases()->isVisible() && window_.action(kCmdDockChaseWindow)->isChecked());
  window_.chases()->move(window_.chases()->pos() + QPoint(40, 30));
  EXPECT_FALSE(window_.action(kCmdDockChaseWindow)->isChecked());
}

// "About" and "Edit Chase" disable the main, scene and chase windows themselves: activating one
// passes the activation to the box, and no function key acts, from them or from the recorder.
// The box, the recorder and an error box shown meanwhile stay usable.
TEST_F(MainWindowTest, AboutAndEditChaseLockTheMainSceneAndChaseWindows) {
  engine_.show().sceneList().Add("A");
  QWidget* chases = window_.chaseWindow();
  const std::pair<const char*, std::function<QDialog*()>> boxes[] = {
      {"About", [this] {
         window_.RunCommand(kCmdAbout);
         for (QWidget* w : QApplication::topLevelWidgets()) {
           if (auto* box = dynamic_cast<AboutBox*>(w); box != nullptr && box->isVisible()) return static_cast<QDialog*>(box);
         }
         return static_cast<QDialog*>(nullptr);
       }},
      {"Edit Chase", [this] {
         window_.chaseWindow()->show();
         QTest::mouseClick(window_.chases()->button("Add"), Qt::LeftButton);
         return static_cast<QDialog*>(window_.chases()->editor());
       }},
  };
  for (const auto& [name, open] : boxes) {
    window_.RunCommand(kCmdFileRecorder);
    RecorderWindow* recorder = window_.recorderWindow();
    QDialog* box = open();
    ASSERT_NE(box, nullptr) << name;
    const bool chaseShown = chases->isVisible();
    EXPECT_EQ((std::array{window_.isEnabled(), window_.sceneWindow()->isEnabled(), chases->isEnabled(),
                          box->isEnabled(), recorder->isEnabled()}),
              (std::array{false, false, false, true, true}))
        << name;
    EXPECT_TRUE(Front(box)) << name;
    window_.activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == box; }, 2000)) << name;
    for (QWidget* from : std::initializer_list<QWidget*>{&window_, recorder}) {
      QApplication::setActiveWindow(from);  // as if a click had brought it forward
      for (Qt::Key key : {Qt::Key_F2, Qt::Key_F3, Qt::Key_F11}) QTest::keyClick(from, key);
    }
    EXPECT_EQ(window_.showModeWindow(), nullptr) << name;
    EXPECT_EQ(std::pair(window_.sceneWindow()->isVisible(), chases->isVisible()), std::pair(false, chaseShown)) << name;
    bool errorUsable = false;
    test::OnModal<QMessageBox> error([&](QMessageBox& b) { errorUsable = b.isEnabled(); });
    QMessageBox::critical(&window_, QStringLiteral("Error"), QStringLiteral("meanwhile"));
    EXPECT_TRUE(errorUsable) << name;

    box->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window_.isEnabled() && window_.sceneWindow()->isEnabled() && chases->isEnabled()) << name;
    window_.RunCommand(kCmdFileRecorder);
  }
}

// The program may end with "About" or "Edit Chase" open; the sanitizer build checks that
// nothing touches a window that is being destroyed.
TEST(MainWindowExit, EndsWithTheLockingBoxesOpen) {
  Engine engine{BuiltinGenerators(), test::kManualClock};
  PreviewRenderer renderer{engine};
  engine.show().sceneList().Add("A");
  for (const bool about : {false, true}) {
    MainWindow window(engine, renderer, MainWindowOptions{{}, 3600000});
    window.show();
    if (about) {
      window.RunCommand(kCmdAbout), window.close();
    } else {
      window.chaseWindow()->show(), QTest::mouseClick(window.chases()->button("Add"), Qt::LeftButton);
      ASSERT_NE(window.chases()->editor(), nullptr);
    }
  }
}

// The recorder in front of show mode: F11 ends show mode there too.
TEST_F(MainWindowTest, F11InTheRecorderClosesShowMode) {
  window_.RunCommand(kCmdShowMode);
  ASSERT_NE(window_.showModeWindow(), nullptr);
  window_.RunCommand(kCmdFileRecorder);
  // Its owner, the main window, is hidden: activated directly.
  QApplication::setActiveWindow(window_.recorderWindow());
  QTest::keyClick(window_.recorderWindow(), Qt::Key_F11);
  EXPECT_TRUE(window_.showModeWindow() == nullptr && window_.isVisible());
}

TEST_F(MainWindowTest, ModalCommandsStopTheChaseAndDisableTheListWindows) {
  window_.sceneWindow()->show();
  const int typeWithoutDialog = 12;
  engine_.SelectEffect(1, EffectListPosition(typeWithoutDialog));
  engine_.RebindSlots();
  // A command without a dialog, and a type without a registered settings dialog, say so.
  const std::pair<std::function<void()>, const char*> missing[] = {
      {[this] { window_.modal().RunCommand(-1, QStringLiteral("Unbuilt")); }, "not available yet"},
      {[this] { ModalCommands(engine_, &window_).EditSlot(1); }, "settings is not available yet"}};
  for (const auto& [run, says] : missing) {
    test::BoxCatcher box;
    run();
    EXPECT_TRUE(box.text.contains(says)) << box.text.toStdString();
  }
  // A registered dialog runs with the windows locked.
  int editedSlot = -1;
  window_.modal().RegisterGeneratorDialog(typeWithoutDialog, [&](QWidget*, int slot) {
    editedSlot = slot;
    EXPECT_FALSE(window_.sceneWindow()->isEnabled());
  });
  QTest::mouseClick(window_.panel()->editButton(1), Qt::LeftButton);
  EXPECT_EQ(editedSlot, 1);
  EXPECT_TRUE(window_.sceneWindow()->isEnabled());
  // "Edit" on None / Blackout opens nothing but stops the chase all the same.
  engine_.show().player().StartChase(1);
  QTest::mouseClick(window_.panel()->editButton(0), Qt::LeftButton);
  EXPECT_EQ(engine_.show().player().PendingCommand(), ChasePlayer::kStopRequested);
}

TEST_F(MainWindowTest, StartOutputWithoutDevicesChecksAndGreysTheSetupEntries) {
  window_.RunCommand(kCmdStartOutput);
  EXPECT_TRUE(window_.action(kCmdStartOutput)->isChecked());
  EXPECT_FALSE(window_.action(kCmdMatrixSize)->isEnabled() || window_.action(kCmdOutputPatch)->isEnabled() ||
               window_.action(kCmdNewMatrixOutput)->isEnabled());
  window_.RunCommand(kCmdStartOutput);
  EXPECT_TRUE(!window_.action(kCmdStartOutput)->isChecked() && window_.action(kCmdMatrixSize)->isEnabled());
}

TEST_F(MainWindowTest, ClosingOrExitRequestsTheShutdownOnce) {
  int closed = 0;
  window_.onClosed = [&] { ++closed; };
  window_.RunCommand(kCmdExit);
  window_.close();
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(engine_.flags().shutdownRequested.load(), 1);
}

// The window wired to the lifecycle as the windowed host wires it.
struct HostedWindow {
  explicit HostedWindow(const std::string& dir)
      : lifecycle(engine, {"--config-dir=" + dir}, LifecycleOptions{.wakeMainThread = [this] { window.Wake(); }}) {
    window.saveBeforeClose = [this] { return lifecycle.SaveAutosave(); };
    window.onClosed = [this] { ++closed; };
    window.show();
  }
  Engine engine{test::TestRegistry(), test::kManualClock};
  PreviewRenderer renderer{engine};
  MainWindow window{engine, renderer, MainWindowOptions{{}, 3600000}};  // the refresh never comes
  Lifecycle lifecycle;
  int closed = 0;
};

// A recall asked for on the clock thread runs at once, not at the next 40 ms refresh.
TEST(HostedMainWindow, ARecallFromTheClockThreadWakesTheWindow) {
  HostedWindow w(test::FreshTestDir("hosted_wake"));
  ASSERT_FALSE(w.lifecycle.Start());
  ASSERT_TRUE(w.engine.show().sceneList().Add("A"));
  std::thread([&w] { w.engine.RequestSceneRecall(0); }).join();
  QTRY_COMPARE_WITH_TIMEOUT(w.engine.PendingSceneIndex(), -1, 2000);
  w.lifecycle.Finish();
}

// Closing writes the autosave first; when that fails the user sees why and chooses between
// keeping the window (to save elsewhere) and exiting anyway.
TEST(HostedMainWindow, AFailedExitAutosaveIsShownBeforeTheWindowCloses) {
  for (const bool exitAnyway : {false, true}) {
    const std::string dir = test::FreshTestDir("hosted_autosave");
    HostedWindow w(dir);
    ASSERT_FALSE(w.lifecycle.Start());
    std::filesystem::create_directory(dir + "/autosave.dat");  // no file can replace a folder
    QString title, text;
    test::OnModal<QMessageBox> answer([&](QMessageBox& box) {
      title = box.windowTitle(), text = box.text();
      for (QAbstractButton* b : box.buttons()) {
        if (b->text() == (exitAnyway ? "Exit Without Saving" : "Keep Open")) b->click();
      }
    });
    w.window.close();
    EXPECT_EQ(title, "Error");
    EXPECT_TRUE(text.contains(QString::fromStdString("Failed to save " + dir + "/autosave.dat"))) << text.toStdString();
    EXPECT_EQ(std::tuple(w.closed, w.window.isVisible(), w.engine.flags().shutdownRequested.load()),
              exitAnyway ? std::tuple(1, false, 1) : std::tuple(0, true, 0));
    if (exitAnyway) continue;
    // Room again: the next close saves and closes without asking.
    std::filesystem::remove(dir + "/autosave.dat");
    test::BoxCatcher none;
    w.window.close();
    EXPECT_FALSE(none.opened);
    EXPECT_EQ(w.closed, 1);
    EXPECT_TRUE(ParseProject(test::ReadFileBytes(dir + "/autosave.dat")).ok());
    EXPECT_EQ(w.lifecycle.Finish(), 0);
  }
}

// The start-up load's window layout reaches the windows before their first refresh (show mode
// from the command line), and what they change there is what the autosave writes.
TEST(HostedMainWindow, TheWindowsTakeTheLoadedLayoutAndSaveWhatTheyChange) {
  const std::string dir = test::FreshTestDir("hosted_layout");
  WindowLayout loaded;
  loaded.previewAspect = 1, loaded.previewGrid = 0, loaded.showWindow = {40, 30, 700, 500, 120, 60};
  {
    Engine engine{test::TestRegistry(), test::kManualClock};
    engine.SetWindowLayout(loaded);
    ASSERT_EQ(SaveProject(engine, dir + "/autosave.dat").status, ProjectFileStatus::kDone);
  }
  HostedWindow w(dir);
  ASSERT_FALSE(w.lifecycle.Start());
  w.window.RunCommand(kCmdShowMode);
  ShowModeWindow* show = w.window.showModeWindow();
  ASSERT_NE(show, nullptr);
  EXPECT_EQ(show->frameGeometry(), QRect(40, 30, 700, 500));
  // 32 x 16 at its aspect ratio: the previews are 160 high, drawn without the grid.
  EXPECT_EQ(std::pair(show->preview()->height(), w.window.preview(kPreviewLeft)->height()), std::pair(160, 160));
  w.renderer.RenderAll();
  ASSERT_TRUE(w.renderer.buffer(kPreviewCentre).TakeNew());
  EXPECT_EQ(w.renderer.buffer(kPreviewCentre).Latest().height(), 160);
  show->move(80, 90);
  show->ResizeButtons(5, 5);
  show->close();
  ASSERT_EQ(w.lifecycle.SaveAutosave().status, ProjectFileStatus::kDone);
  const Result<ProjectData> saved = ParseProject(test::ReadFileBytes(dir + "/autosave.dat"));
  ASSERT_TRUE(saved.ok());
  WindowLayout expected = loaded;
  expected.showWindow = {80, 90, 700, 500, 125, 65};
  EXPECT_EQ(saved->windows, expected);
  EXPECT_EQ(w.lifecycle.Finish(), 0);
}

TEST_F(MainWindowTest, MatrixResizeMovesThePanelAndGrowsTheWindow) {
  engine_.SelectEffect(0, 3);
  window_.Tick();
  ASSERT_TRUE(engine_.ResizeMatrix(32, 250));
  engine_.StopClock();
  window_.Tick();  // the window follows the engine's change events
  EXPECT_EQ(window_.panel()->effectList(0)->currentIndex(), 0);
  EXPECT_EQ(std::pair(window_.panel()->y(), window_.preview(kPreviewLeft)->height()), std::pair(250, 250));
  EXPECT_GE(window_.height(), 250 + 300);
  EXPECT_EQ(window_.sceneWindow()->height(), 250 + 360);
}

}  // namespace
}  // namespace quor

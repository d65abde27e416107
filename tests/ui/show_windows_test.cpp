// The "Scenes" and "Chases" windows, the "Edit Chase" dialog and the file
// recorder window on real widgets, driven with QTest against a manual-clock
// engine; message boxes are found and closed by the test.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <set>

#include "engine/engine.h"
#include "files/recording_file.h"
#include "show/show.h"
#include "test_support.h"
#include "ui/chase_editor_dialog.h"
#include "ui/chase_window.h"
#include "ui/command_ids.h"
#include "ui/main_window.h"
#include "ui/preview_renderer.h"
#include "ui/recorder_window.h"
#include "ui/scene_window.h"

namespace quor {
namespace {

using test::SolidIn;

// Closes the next message box and keeps its title and text.
struct BoxCatcher {
  QString title, text;
  void Arm() {
    QTimer::singleShot(20, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        title = box->windowTitle();
        text = box->text();
        box->close();
      } else {
        Arm();
      }
    });
  }
};

void ClickRow(QListWidget* list, int row) {
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

class ShowWindowsTest : public testing::Test {
 protected:
  ShowWindowsTest()
      : engine_(test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1}), scenes_(engine_, nullptr),
        chases_(engine_, nullptr) {
    scenes_.show();
    chases_.show();
  }
  // A scene of slot 0 in colour (red, 0, 0) named through the window.
  void AddScene(const char* name, uint8_t red) {
    engine_.RequestType(0, test::kSolidType);
    engine_.RebindSlots();
    SolidIn(engine_, 0)->color[0] = red;
    scenes_.nameEdit()->setText(QString::fromLatin1(name));
    QTest::mouseClick(scenes_.button("Add"), Qt::LeftButton);
  }
  QStringList Names(QListWidget* list) {
    QStringList names;
    for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
    return names;
  }
  int OutputRed() { return engine_.CopyFrame(FrameIndex::kOutput)[0]; }

  Engine engine_;
  SceneWindow scenes_;
  ChaseWindow chases_;
};

TEST_F(ShowWindowsTest, SceneCommandsKeepChaseStepsOnTheirScenes) {
  AddScene("A", 10);
  ClickRow(scenes_.list(), 0);
  AddScene("B", 20);  // after the selection
  ClickRow(scenes_.list(), 0);
  AddScene("C", 30);
  EXPECT_EQ(Names(scenes_.list()), QStringList({"A", "C", "B"}));
  EXPECT_TRUE(scenes_.nameEdit()->text().isEmpty());
  ChaseStore& store = engine_.show().chases();
  store.InsertChase(0, "Uses B");
  store.InsertStep(0, 0, ChaseStep{kStepScene, 2, 0, 0, 1000});
  chases_.Refresh();

  BoxCatcher box;
  box.Arm();
  ClickRow(scenes_.list(), 2);
  QTest::mouseClick(scenes_.button("Delete"), Qt::LeftButton);
  EXPECT_EQ(box.title, "Error");
  EXPECT_EQ(box.text, kSceneInUseMessage);
  EXPECT_EQ(scenes_.list()->count(), 3);

  QTest::mouseClick(scenes_.button("Up"), Qt::LeftButton);
  EXPECT_EQ(Names(scenes_.list()), QStringList({"A", "B", "C"}));
  EXPECT_EQ(scenes_.list()->currentRow(), 1);
  EXPECT_EQ(store.at(0).steps[0].value, 1);
  QTest::mouseClick(scenes_.button("Down"), Qt::LeftButton);
  EXPECT_EQ(store.at(0).steps[0].value, 2);

  // Replace with an empty box keeps the name; a new name renames.
  ClickRow(scenes_.list(), 0);
  scenes_.nameEdit()->setText("First");
  QTest::mouseClick(scenes_.button("Replace"), Qt::LeftButton);
  EXPECT_EQ(Names(scenes_.list()), QStringList({"First", "C", "B"}));
  QTest::mouseClick(scenes_.button("Delete"), Qt::LeftButton);
  EXPECT_EQ(Names(scenes_.list()), QStringList({"C", "B"}));
  EXPECT_EQ(store.at(0).steps[0].value, 1);
}

TEST_F(ShowWindowsTest, ClickRecallsTheSceneWithAVisibleFade) {
  AddScene("Dark", 0);
  AddScene("Red", 200);
  scenes_.fadeTime()->setValue(20);  // step 10: 13 passes
  EXPECT_EQ(engine_.settings().sceneFadeStep.load(), 10);
  auto recall = [this](int row) {
    ClickRow(scenes_.list(), row);
    engine_.PostMessageWork();
    std::vector<int> reds;
    for (int pass = 0; pass < 14; ++pass) {
      engine_.RunMixPass();
      reds.push_back(OutputRed());
    }
    return reds;
  };
  // The red picture fades out over the dark one.
  recall(0);
  EXPECT_GT(recall(1).back(), 100);
  const std::vector<int> reds = recall(0);
  EXPECT_GT(reds.front(), 0);
  EXPECT_EQ(reds.back(), 0);
  EXPECT_TRUE(std::is_sorted(reds.rbegin(), reds.rend()));
  EXPECT_GT(std::set<int>(reds.begin(), reds.end()).size(), 5u);
}

TEST_F(ShowWindowsTest, ChaseWindowCommandsAndPlayFollowsThePlayer) {
  BoxCatcher box;
  box.Arm();
  QTest::mouseClick(chases_.button("Add"), Qt::LeftButton);
  EXPECT_EQ(box.text, kNeedScenesMessage);
  AddScene("A", 10);
  AddScene("B", 20);
  for (int i = 0; i < 2; ++i) {
    QTest::mouseClick(chases_.button("Add"), Qt::LeftButton);
    ASSERT_NE(chases_.editor(), nullptr);
    EXPECT_FALSE(chases_.isEnabled());
    QTest::mouseClick(chases_.editor()->button("Close"), Qt::LeftButton);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(chases_.isEnabled());
  }
  EXPECT_EQ(Names(chases_.list()), QStringList({"New Chase 1", "New Chase 2"}));
  ClickRow(chases_.list(), 1);
  QTest::mouseClick(chases_.button("Up"), Qt::LeftButton);
  EXPECT_EQ(Names(chases_.list()), QStringList({"New Chase 2", "New Chase 1"}));
  QTest::mouseClick(chases_.button("Delete"), Qt::LeftButton);
  EXPECT_EQ(Names(chases_.list()), QStringList({"New Chase 1"}));
  // A right click on a chase opens it in the editor.
  const QPoint at = chases_.list()->visualItemRect(chases_.list()->item(0)).center();
  QContextMenuEvent menu(QContextMenuEvent::Mouse, at, chases_.list()->viewport()->mapToGlobal(at));
  QApplication::sendEvent(chases_.list()->viewport(), &menu);
  ASSERT_NE(chases_.editor(), nullptr);
  EXPECT_EQ(engine_.show().editor().chaseIndex(), 0);
  QTest::keyClick(chases_.editor(), Qt::Key_Escape);
  EXPECT_EQ(chases_.editor(), nullptr);
  EXPECT_TRUE(chases_.isEnabled());

  // A chase of two 1 s steps without loop: both scenes, then it ends.
  ChaseStore& store = engine_.show().chases();
  store.InsertStep(0, 0, ChaseStep{kStepScene, 1, 0, 0, 1000});
  store.InsertStep(0, 1, ChaseStep{kStepScene, 0, 0, 0, 1000});
  store.EditChase(0, [](Chase& c) { c.loop = 0; });
  ClickRow(chases_.list(), 0);
  QTest::mouseClick(chases_.button("Play"), Qt::LeftButton);
  EXPECT_TRUE(chases_.button("Play")->isChecked());
  EXPECT_FALSE(chases_.button("Stop")->isChecked());
  std::vector<int> recalled;
  for (int ms = 0; ms <= 3000; ms += 500) {
    engine_.RunMixPass();
    if (engine_.PendingSceneIndex() >= 0) recalled.push_back(engine_.PendingSceneIndex());
    engine_.PostMessageWork();
    engine_.clock().Advance(500);
  }
  EXPECT_EQ(recalled, (std::vector<int>{1, 0}));
  chases_.Refresh();
  EXPECT_FALSE(chases_.button("Play")->isChecked());
  EXPECT_TRUE(chases_.button("Stop")->isChecked());
}

TEST_F(ShowWindowsTest, EditorRowsControlsPreviewsAndRestoreOnClose) {
  AddScene("A", 10);
  AddScene("B", 20);
  QTest::mouseClick(chases_.button("Add"), Qt::LeftButton);
  ChaseEditorDialog* dialog = chases_.editor();
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(dialog->typeList()->isEnabled());
  const std::array<int, 2> before{engine_.settings().strobeCounter.load(), engine_.settings().strobeTime.load()};

  // Three steps: scene B 2.5 s, strobe, crossfade.
  dialog->durationEdit()->setText("");
  QTest::mouseClick(dialog->button("Insert New Step"), Qt::LeftButton);
  dialog->sceneList()->setCurrentIndex(1);
  dialog->durationEdit()->clear();
  QTest::keyClicks(dialog->durationEdit(), "2,5");
  QTest::mouseClick(dialog->button("Insert New Step"), Qt::LeftButton);
  dialog->typeList()->setCurrentIndex(kStepMasterstrobe);
  dialog->strobe()->setValue(95);
  QTest::mouseClick(dialog->button("Insert New Step"), Qt::LeftButton);
  dialog->typeList()->setCurrentIndex(kStepCrossfade);
  dialog->crossfade()->setValue(200);

  struct Row {
    const char* step;
    const char* time;
  };
  const Row rows[] = {{"[B]", "2.5"}, {">> Masterstrobe", "2.5"}, {">> Crossfade", "2.5"}};
  ASSERT_EQ(dialog->steps()->topLevelItemCount(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(dialog->steps()->topLevelItem(i)->text(0), rows[i].step) << i;
    EXPECT_EQ(dialog->steps()->topLevelItem(i)->text(1), rows[i].time) << i;
  }
  // Previews reached the engine.
  EXPECT_EQ(engine_.settings().strobeTime.load(), 10);
  EXPECT_EQ(engine_.panel().masterFade[kMixMain].load(), 200);
  EXPECT_EQ(engine_.PendingSceneIndex(), 1);

  // Only the current kind's controls are enabled.
  struct Enabled {
    int row;
    bool scene, strobe, crossfade;
  };
  for (const Enabled& e : {Enabled{0, true, false, false}, Enabled{1, false, true, false}, Enabled{2, false, false, true}}) {
    dialog->steps()->setCurrentItem(dialog->steps()->topLevelItem(e.row));
    EXPECT_EQ(dialog->sceneList()->isEnabled(), e.scene) << e.row;
    EXPECT_EQ(dialog->strobe()->isEnabled(), e.strobe) << e.row;
    EXPECT_EQ(dialog->crossfade()->isEnabled(), e.crossfade) << e.row;
    EXPECT_EQ(dialog->autofade()->isEnabled(), e.crossfade) << e.row;
  }
  QTest::mouseClick(dialog->button("Close"), Qt::LeftButton);
  EXPECT_EQ((std::array{engine_.settings().strobeCounter.load(), engine_.settings().strobeTime.load()}), before);
  EXPECT_EQ(engine_.show().chases().at(0).StepCount(), 3);
}

TEST(RecorderWindowTest, RecordsFramesThatTheFilePlayerReadsBack) {
  Engine engine(test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1});
  const std::string path = std::string(QUOR_TEST_OUTPUT_DIR) + "/recorder_window.qrr";
  std::filesystem::create_directories(QUOR_TEST_OUTPUT_DIR);
  auto* window = new RecorderWindow(engine, nullptr);
  window->chooseFile = [&path](QWidget*) { return QString::fromStdString(path); };
  window->show();
  QTest::mouseClick(window->recordButton(), Qt::LeftButton);
  EXPECT_TRUE(window->recordButton()->isChecked());
  EXPECT_EQ(window->fileField()->text().toStdString(), path);
  for (int i = 0; i < 3; ++i) engine.RunMixPass();
  // Closing the window leaves the recording running.
  QTest::keyClick(window, Qt::Key_Escape);
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(engine.recorder().Recording());
  engine.RunMixPass();
  engine.recorder().Stop();

  std::unique_ptr<RecordingReader> reader;
  ASSERT_EQ(RecordingReader::Open(OpenRecordingFile(path), &reader), RecordingOpenResult::kOpened);
  std::vector<uint8_t> frame(reader->header().FrameBytes());
  int frames = 0;
  while (reader->ReadFrame(frame) == FrameReadResult::kFrame) ++frames;
  EXPECT_EQ(frames, 4);
}

}  // namespace
}  // namespace quor

namespace quor {
namespace {

// The main window's menu follows the recorder window and the docking of the
// list windows: F4 / the menu entry toggle the recorder with its check mark,
// a list window moved by hand is no longer docked.
TEST(ShowWindowsInMainWindow, RecorderCheckMarkAndUndockingByHand) {
  Engine engine(test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1});
  PreviewRenderer renderer(engine);
  MainWindow window(engine, renderer);
  window.show();
  window.RunCommand(kCmdFileRecorder);
  ASSERT_NE(window.recorderWindow(), nullptr);
  EXPECT_TRUE(window.action(kCmdFileRecorder)->isChecked());
  window.action(kCmdFileRecorder)->trigger();
  EXPECT_FALSE(window.recorderWindow()->isVisible());
  EXPECT_FALSE(window.action(kCmdFileRecorder)->isChecked());

  window.RunCommand(kCmdChaseList);
  ASSERT_TRUE(window.chases()->isVisible());
  EXPECT_TRUE(window.action(kCmdDockChaseWindow)->isChecked());
  window.chases()->move(window.chases()->pos() + QPoint(40, 30));
  EXPECT_FALSE(window.action(kCmdDockChaseWindow)->isChecked());
  window.close();
}

}  // namespace
}  // namespace quor

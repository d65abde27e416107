// The "Scenes" and "Chases" windows, the "Edit Chase" dialog and the
// recorder window, driven with QTest on a manual-clock engine.
#include <QContextMenuEvent>
#include <QListWidget>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <set>

#include "files/recording_file.h"
#include "show/show.h"
#include "ui/chase_editor_dialog.h"
#include "ui/chase_window.h"
#include "ui/recorder_window.h"
#include "ui/scene_window.h"
#include "ui_support.h"

namespace quor {
namespace {

void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }
void ClickRow(QListWidget* list, int row) {
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}
QStringList Names(QListWidget* list) {
  QStringList names;
  for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
  return names;
}

class ShowWindowsTest : public testing::Test {
 protected:
  ShowWindowsTest() {
    scenes_.show();
    chases_.show();
  }
  // A scene of slot 0 in colour (red, 0, 0) named through the window.
  void AddScene(const char* name, uint8_t red) {
    engine_.RequestType(0, test::kSolidType);
    engine_.RebindSlots();
    test::SolidIn(engine_, 0)->color[0] = red;
    scenes_.nameEdit()->setText(QString::fromLatin1(name));
    Click(scenes_.button("Add"));
  }
  Engine engine_{test::TestRegistry(), test::kManualClock};
  SceneWindow scenes_{engine_, nullptr};
  ChaseWindow chases_{engine_, nullptr};
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
  {
    test::BoxCatcher box;
    ClickRow(scenes_.list(), 2);
    Click(scenes_.button("Delete"));
    EXPECT_EQ(box.title, "Error");
    EXPECT_EQ(box.text, kSceneInUseMessage);
    EXPECT_EQ(scenes_.list()->count(), 3);
  }
  Click(scenes_.button("Up"));
  EXPECT_EQ(Names(scenes_.list()), QStringList({"A", "B", "C"}));
  EXPECT_EQ(scenes_.list()->currentRow(), 1);
  EXPECT_EQ(store.at(0).steps[0].value, 1);
  Click(scenes_.button("Down"));
  EXPECT_EQ(store.at(0).steps[0].value, 2);
  ClickRow(scenes_.list(), 0);
  scenes_.nameEdit()->setText("First");
  Click(scenes_.button("Replace"));
  EXPECT_EQ(Names(scenes_.list()), QStringList({"First", "C", "B"}));
  Click(scenes_.button("Delete"));
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
      reds.push_back(engine_.CopyFrame(FrameIndex::kOutput)[0]);
    }
    return reds;
  };
  recall(0);
  EXPECT_GT(recall(1).back(), 100);
  // The red picture fades out over the dark one in visible steps.
  const std::vector<int> reds = recall(0);
  EXPECT_GT(reds.front(), 0);
  EXPECT_EQ(reds.back(), 0);
  EXPECT_TRUE(std::is_sorted(reds.rbegin(), reds.rend()));
  EXPECT_GT(std::set<int>(reds.begin(), reds.end()).size(), 5u);
}

TEST_F(ShowWindowsTest, ChaseWindowCommandsAndPlayFollowsThePlayer) {
  {
    test::BoxCatcher box;
    Click(chases_.button("Add"));
    EXPECT_EQ(box.text, kNeedScenesMessage);
  }
  AddScene("A", 10);
  AddScene("B", 20);
  for (int i = 0; i < 2; ++i) {
    Click(chases_.button("Add"));
    ASSERT_NE(chases_.editor(), nullptr);
    EXPECT_FALSE(chases_.isEnabled());
    Click(chases_.editor()->button("Close"));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(chases_.isEnabled());
  }
  EXPECT_EQ(Names(chases_.list()), QStringList({"New Chase 1", "New Chase 2"}));
  ClickRow(chases_.list(), 1);
  Click(chases_.button("Up"));
  EXPECT_EQ(Names(chases_.list()), QStringList({"New Chase 2", "New Chase 1"}));
  Click(chases_.button("Delete"));
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

  // Two 1 s steps without loop: "Play" recalls both scenes, then the chase
  // ends and "Stop" is down again.
  ChaseStore& store = engine_.show().chases();
  store.InsertStep(0, 0, ChaseStep{kStepScene, 1, 0, 0, 1000});
  store.InsertStep(0, 1, ChaseStep{kStepScene, 0, 0, 0, 1000});
  store.EditChase(0, [](Chase& c) { c.loop = 0; });
  ClickRow(chases_.list(), 0);
  Click(chases_.button("Play"));
  EXPECT_TRUE(chases_.button("Play")->isChecked());
  EXPECT_FALSE(chases_.button("Stop")->isChecked());
  std::vector<int> recalled;
  for (int ms = 0; ms <= 3000; ms += 500, engine_.clock().Advance(500)) {
    engine_.RunMixPass();
    if (engine_.PendingSceneIndex() >= 0) recalled.push_back(engine_.PendingSceneIndex());
    engine_.PostMessageWork();
  }
  EXPECT_EQ(recalled, (std::vector<int>{1, 0}));
  chases_.Refresh();
  EXPECT_FALSE(chases_.button("Play")->isChecked());
  EXPECT_TRUE(chases_.button("Stop")->isChecked());
}

TEST_F(ShowWindowsTest, EditorRowsControlsPreviewsAndRestoreOnClose) {
  AddScene("A", 10);
  AddScene("B", 20);
  Click(chases_.button("Add"));
  ChaseEditorDialog* dialog = chases_.editor();
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(dialog->typeList()->isEnabled());
  const std::array<int, 2> before{engine_.settings().strobeCounter.load(), engine_.settings().strobeTime.load()};
  // Three steps: scene B 2.5 s (typed with a comma), strobe, crossfade.
  dialog->durationEdit()->setText("");
  Click(dialog->button("Insert New Step"));
  dialog->sceneList()->setCurrentIndex(1);
  test::Retype(dialog->durationEdit(), "2,5");
  Click(dialog->button("Insert New Step"));
  dialog->typeList()->setCurrentIndex(kStepMasterstrobe);
  dialog->strobe()->setValue(95);
  Click(dialog->button("Insert New Step"));
  dialog->typeList()->setCurrentIndex(kStepCrossfade);
  dialog->crossfade()->setValue(200);
  QTreeWidget* steps = dialog->steps();
  ASSERT_EQ(steps->topLevelItemCount(), 3);
  for (const auto& [row, text] : {std::pair{0, "[B]"}, {1, ">> Masterstrobe"}, {2, ">> Crossfade"}}) {
    EXPECT_EQ(steps->topLevelItem(row)->text(0), text);
    EXPECT_EQ(steps->topLevelItem(row)->text(1), "2.5") << row;
  }
  // The previews reached the engine.
  EXPECT_EQ(engine_.settings().strobeTime.load(), 10);
  EXPECT_EQ(engine_.panel().masterFade[kMixMain].load(), 200);
  EXPECT_EQ(engine_.PendingSceneIndex(), 1);
  // Only the current kind's controls are enabled.
  for (int row = 0; row < 3; ++row) {
    steps->setCurrentItem(steps->topLevelItem(row));
    EXPECT_EQ(dialog->sceneList()->isEnabled(), row == 0) << row;
    EXPECT_EQ(dialog->strobe()->isEnabled(), row == 1) << row;
    EXPECT_EQ(dialog->crossfade()->isEnabled(), row == 2) << row;
    EXPECT_EQ(dialog->autofade()->isEnabled(), row == 2) << row;
  }
  Click(dialog->button("Close"));
  EXPECT_EQ((std::array{engine_.settings().strobeCounter.load(), engine_.settings().strobeTime.load()}), before);
  EXPECT_EQ(engine_.show().chases().at(0).StepCount(), 3);
}

TEST(RecorderWindowTest, RecordsFramesThatTheFilePlayerReadsBack) {
  Engine engine(test::TestRegistry(), test::kManualClock);
  const std::string path = test::FreshTestDir("recorder_window") + "/take.qrr";
  auto* window = new RecorderWindow(engine, nullptr);
  window->chooseFile = [&path](QWidget*) { return QString::fromStdString(path); };
  window->show();
  Click(window->recordButton());
  EXPECT_TRUE(window->recordButton()->isChecked());
  EXPECT_EQ(window->fileField()->text().toStdString(), path);
  for (int i = 0; i < 3; ++i) engine.RunMixPass();
  // Closing the window leaves the recording running.
  QTest::keyClick(window, Qt::Key_Escape);
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(engine.recorder().Recording());
  engine.RunMixPass();
  engine.recorder().Stop();
  // The header and four marked frames.
  EXPECT_EQ(std::filesystem::file_size(path),
            kRecordingHeaderSize + 4 * (kFrameMarkerSize + static_cast<size_t>(engine.width() * engine.height() * 3)));
}

}  // namespace
}  // namespace quor

// The "Scenes" and "Chases" windows, "Edit Chase" and the recorder window (chase play is
// followed in show_mode_follow_test.cpp).
#include <QContextMenuEvent>
#include <filesystem>

#include "files/recording_file.h"
#include "ui/recorder_window.h"
#include "ui_support.h"

namespace quor {
namespace {

using test::Click, test::ClickRow;

QStringList Names(QListWidget* list) {
  QStringList names;
  for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
  return names;
}

class ShowWindowsTest : public testing::Test {
 protected:
  ShowWindowsTest() { scenes_.show(), chases_.show(); }
  // A scene of slot 0 in colour (red, 0, 0) named through the window.
  void AddScene(const char* name, uint8_t red) {
    engine_.RequestType(0, test::kSolidType);
    engine_.RebindSlots();
    test::SolidIn(engine_, 0)->color[0] = red;
    scenes_.nameEdit()->setText(QString::fromLatin1(name));
    Click(scenes_.button("Add"));
  }
  Engine engine_{test::TestRegistry(), test::kManualClock};
  WindowState windows_;
  SceneWindow scenes_{engine_, nullptr};
  ChaseWindow chases_{engine_, windows_, nullptr};
};

// The buttons reach the scene list (tested in tests/show) and its refusal is shown.
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
  }
  Click(scenes_.button("Up"));
  EXPECT_EQ(Names(scenes_.list()), QStringList({"A", "B", "C"}));
  EXPECT_EQ(scenes_.list()->currentRow(), 1);
  EXPECT_EQ(store.at(0).steps[0].value, 1);
  ClickRow(scenes_.list(), 0);
  scenes_.nameEdit()->setText("First");
  Click(scenes_.button("Replace"));
  EXPECT_EQ(Names(scenes_.list()), QStringList({"First", "B", "C"}));
  scenes_.fadeTime()->setValue(20);
  EXPECT_EQ(engine_.settings().sceneFadeStep.load(), 10);
}

TEST_F(ShowWindowsTest, ChaseWindowCommandsAndTheEditorLock) {
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
    EXPECT_FALSE(chases_.isEnabled());  // while the editor is open
    Click(chases_.editor()->button("Close"));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  ClickRow(chases_.list(), 0);
  Click(chases_.button("Delete"));
  EXPECT_EQ(Names(chases_.list()), QStringList({"New Chase 2"}));
  const QPoint at = chases_.list()->visualItemRect(chases_.list()->item(0)).center();
  QContextMenuEvent menu(QContextMenuEvent::Mouse, at, chases_.list()->viewport()->mapToGlobal(at));
  QApplication::sendEvent(chases_.list()->viewport(), &menu);  // a right click opens the chase in the editor
  ASSERT_NE(chases_.editor(), nullptr);
  QTest::keyClick(chases_.editor(), Qt::Key_Escape);
  EXPECT_TRUE(chases_.editor() == nullptr && chases_.isEnabled());
}

// The editor's rows show kind and duration; only the current kind's controls are enabled.
TEST_F(ShowWindowsTest, EditorRowsControlsPreviewsAndRestoreOnClose) {
  AddScene("A", 10);
  AddScene("B", 20);
  Click(chases_.button("Add"));
  ChaseEditorDialog* dialog = chases_.editor();
  ASSERT_NE(dialog, nullptr);
  const int strobeTime = engine_.settings().strobeTime.load();
  dialog->durationEdit()->setText("");
  Click(dialog->button("Insert New Step"));
  dialog->sceneList()->setCurrentIndex(1);
  test::Retype(dialog->durationEdit(), "2,5");
  Click(dialog->button("Insert New Step"));
  dialog->typeList()->setCurrentIndex(kStepMasterstrobe), dialog->strobe()->setValue(95);
  Click(dialog->button("Insert New Step"));
  dialog->typeList()->setCurrentIndex(kStepCrossfade);
  QTreeWidget* steps = dialog->steps();
  ASSERT_EQ(steps->topLevelItemCount(), 3);
  EXPECT_EQ(engine_.settings().strobeTime.load(), 10);  // the strobe step's preview
  for (const auto& [row, text] : {std::pair{0, "[B]"}, {1, ">> Masterstrobe"}, {2, ">> Crossfade"}}) {
    EXPECT_EQ(steps->topLevelItem(row)->text(0) + " " + steps->topLevelItem(row)->text(1), QString(text) + " 2.5");
    steps->setCurrentItem(steps->topLevelItem(row));
    EXPECT_EQ(std::tuple(dialog->sceneList()->isEnabled(), dialog->strobe()->isEnabled(),
                         dialog->crossfade()->isEnabled(), dialog->autofade()->isEnabled()),
              std::tuple(row == 0, row == 1, row == 2, row == 2)) << row;
  }
  // A length in beats shows as typed in the list and in the box.
  test::Retype(dialog->durationEdit(), "1/2 beat");
  QTest::keyClick(dialog->durationEdit(), Qt::Key_Return);
  EXPECT_EQ(steps->topLevelItem(2)->text(1), "0.5 beats");
  EXPECT_EQ(engine_.show().chases().at(0).steps[2].beatQuarters, 2);
  Click(dialog->button("Close"));
  EXPECT_EQ(engine_.settings().strobeTime.load(), strobeTime);
}

TEST(RecorderWindowTest, RecordsFramesThatTheFilePlayerReadsBack) {
  Engine engine(test::TestRegistry(), test::kManualClock);
  const std::string path = test::FreshTestDir("recorder_window") + "/take.qrr";
  RecorderWindow window(engine, nullptr);
  window.chooseFile = [&path](QWidget*) { return QString::fromStdString(path); };
  window.show();
  Click(window.recordButton());
  EXPECT_EQ(window.fileField()->text().toStdString(), path);
  for (int i = 0; i < 3; ++i) engine.RunMixPass();
  QTest::keyClick(&window, Qt::Key_Escape);  // closing the window leaves the recording running
  EXPECT_TRUE(!window.isVisible() && engine.recorder().Recording());
  engine.RunMixPass();
  engine.recorder().Stop();
  // The header and four marked frames.
  EXPECT_EQ(std::filesystem::file_size(path),
            kRecordingHeaderSize + 4 * (kFrameMarkerSize + static_cast<size_t>(engine.width() * engine.height() * 3)));
}

}  // namespace
}  // namespace quor

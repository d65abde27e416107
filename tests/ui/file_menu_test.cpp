// The main window's File and Edit menus: saving to the current file, Save
// As, the modified mark in the title, the unsaved-changes question,
// recent files, dropped project files and undo of the show windows' edits.

#include <QMenu>
#include <QMimeData>
#include <QUrl>
#include <filesystem>

#include "engine/project_file.h"
#include "show/show.h"
#include "ui/scene_window.h"
#include "ui_support.h"

namespace quor {
namespace {

std::string Title(const QWidget& w) { return w.windowTitle().toStdString(); }

class FileMenuTest : public testing::Test {
 protected:
  FileMenuTest() {
    window_.SetRecentFilesPath(QString::fromStdString(dir_ + "/recent_files.json"));
    // The file dialogs and the question answer from here.
    window_.chooseFile = [this](const QString& title) {
      dialogs_.push_back(title.toStdString());
      return QString::fromStdString(nextFile_);
    };
    window_.askDiscard = [this](const QString& text) {
      questions_.push_back(text.toStdString());
      return answer_;
    };
    window_.show();
  }
  // A scene stored through the scene window, as the operator stores one.
  void StoreScene(const QString& name) {
    SceneWindow* scenes = window_.scenes();
    test::Retype(scenes->nameEdit(), name);
    test::Click(scenes->button(QStringLiteral("Add")));
    window_.Tick();
  }
  // An empty project saved by another engine.
  std::string SavedProject(const std::string& name) {
    Engine other(BuiltinGenerators(), test::kManualClock);
    other.console().SetSink([](std::string_view) {});
    const std::string path = dir_ + "/" + name;
    EXPECT_EQ(SaveProject(other, path).status, ProjectFileStatus::kDone);
    return path;
  }

  std::string dir_ = test::FreshTestDir("ui_file_menu");
  Engine engine_{BuiltinGenerators(), test::kManualClock};
  PreviewRenderer renderer_{engine_};
  MainWindow window_{engine_, renderer_, MainWindowOptions{{}, 3600000}};
  std::vector<std::string> dialogs_, questions_;
  std::string nextFile_;
  int answer_ = QMessageBox::Cancel;
};

TEST_F(FileMenuTest, SaveAsThenSaveWritesTheCurrentFileWithoutAskingAndTheTitleFollows) {
  EXPECT_EQ(Title(window_), kMainWindowTitle);  // nothing to name yet
  StoreScene(QStringLiteral("Intro"));
  EXPECT_EQ(Title(window_), std::string("Untitled* - ") + kMainWindowTitle);

  // The first Save has no name: it asks for one.
  nextFile_ = dir_ + "/show.qrx";
  window_.RunCommand(kCmdSave);
  EXPECT_EQ(dialogs_, std::vector<std::string>{"Save As ..."});
  EXPECT_EQ(test::ReadFileBytes(nextFile_), SerializeProject(engine_));
  EXPECT_EQ(Title(window_), std::string("show.qrx - ") + kMainWindowTitle);

  // Then it writes the same file at once.
  StoreScene(QStringLiteral("Verse"));
  EXPECT_EQ(Title(window_), std::string("show.qrx* - ") + kMainWindowTitle);
  nextFile_.clear();
  window_.RunCommand(kCmdSave);
  EXPECT_EQ(dialogs_.size(), 1u);
  EXPECT_EQ(test::ReadFileBytes(dir_ + "/show.qrx"), SerializeProject(engine_));
  EXPECT_EQ(Title(window_), std::string("show.qrx - ") + kMainWindowTitle);

  // Undo back past the save marks the show modified again; redo clears it.
  window_.RunCommand(kCmdUndo);
  window_.Tick();
  EXPECT_EQ(Title(window_), std::string("show.qrx* - ") + kMainWindowTitle);
  window_.RunCommand(kCmdRedo);
  EXPECT_EQ(Title(window_), std::string("show.qrx - ") + kMainWindowTitle);

  // Save As moves to the new name; a cancelled Save As changes nothing.
  nextFile_ = dir_ + "/copy.qrx";
  window_.RunCommand(kCmdSaveAs);
  EXPECT_TRUE(std::filesystem::exists(nextFile_));
  EXPECT_EQ(window_.currentFile().toStdString(), nextFile_);
  nextFile_.clear();
  window_.RunCommand(kCmdSaveAs);
  EXPECT_EQ(window_.currentFile().toStdString(), dir_ + "/copy.qrx");
  EXPECT_EQ(window_.recentFiles().files(),
            QStringList({QString::fromStdString(dir_ + "/copy.qrx"), QString::fromStdString(dir_ + "/show.qrx")}));
  // The File menu lists them, newest first.
  QMenu* recent = nullptr;
  for (QMenu* menu : window_.findChildren<QMenu*>()) {
    if (menu->title() == QStringLiteral("Recent &Files")) recent = menu;
  }
  ASSERT_NE(recent, nullptr);
  ASSERT_TRUE(recent->isEnabled());
  EXPECT_EQ(recent->actions().front()->text(), QStringLiteral("&1 ") + QString::fromStdString(dir_ + "/copy.qrx"));
  // The list lives beside the config, not in the project.
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/recent_files.json"));
  EXPECT_EQ(RecentFiles(QString::fromStdString(dir_ + "/recent_files.json")).files(), window_.recentFiles().files());
}

TEST_F(FileMenuTest, NewAndOpenAskBeforeDiscardingChanges) {
  const std::string other = SavedProject("other.qrx");
  StoreScene(QStringLiteral("Mine"));

  // Cancel keeps everything.
  answer_ = QMessageBox::Cancel;
  nextFile_ = other;
  window_.RunCommand(kCmdOpen);
  window_.RunCommand(kCmdNew);
  EXPECT_EQ(questions_.size(), 2u);
  EXPECT_TRUE(dialogs_.empty());
  EXPECT_EQ(engine_.show().scenes().Names(), std::vector<std::string>{"Mine"});

  // Discard goes on.
  answer_ = QMessageBox::Discard;
  window_.RunCommand(kCmdOpen);
  EXPECT_EQ(engine_.show().scenes().count(), 0);
  EXPECT_EQ(window_.currentFile().toStdString(), other);
  EXPECT_EQ(Title(window_), std::string("other.qrx - ") + kMainWindowTitle);
  EXPECT_FALSE(window_.action(kCmdUndo)->isEnabled());  // a loaded show starts its own history

  // Unchanged: no question. Save first, then go on.
  const size_t asked = questions_.size();
  window_.RunCommand(kCmdNew);
  EXPECT_EQ(questions_.size(), asked);
  EXPECT_EQ(window_.currentFile(), QString());
  StoreScene(QStringLiteral("Kept"));
  answer_ = QMessageBox::Save;
  nextFile_ = dir_ + "/kept.qrx";
  window_.RunCommand(kCmdNew);
  EXPECT_EQ(questions_.size(), asked + 1);
  EXPECT_NE(test::ReadFileBytes(dir_ + "/kept.qrx").size(), 0u);
  EXPECT_EQ(engine_.show().scenes().count(), 0);

  // A file that cannot be read leaves the show and its name alone.
  window_.askDiscard = nullptr;
  test::BoxCatcher error;
  EXPECT_FALSE(window_.OpenProjectFile(QString::fromStdString(dir_ + "/missing.qrx")));
  QTRY_VERIFY(error.opened);
  EXPECT_EQ(error.title.toStdString(), "Error");
}

TEST_F(FileMenuTest, TheRealQuestionBoxAndADroppedProjectFile) {
  const std::string other = SavedProject("dropped.qrx");
  StoreScene(QStringLiteral("Mine"));
  window_.askDiscard = nullptr;  // the real message box
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(other))});
  QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window_, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QMimeData text;
  text.setText(QStringLiteral("no file"));
  QDragEnterEvent refused(QPoint(50, 50), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  refused.setAccepted(false);
  QApplication::sendEvent(&window_, &refused);
  EXPECT_FALSE(refused.isAccepted());

  QString asked;
  test::OnModal<QMessageBox> discard([&](QMessageBox& box) {
    asked = box.windowTitle();
    for (QAbstractButton* b : box.buttons()) {
      if (b->text() == QStringLiteral("&Discard")) b->click();
    }
  });
  QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window_, &drop);
  QTRY_COMPARE(window_.currentFile().toStdString(), other);
  EXPECT_EQ(asked, QStringLiteral("Unsaved Changes"));
  EXPECT_EQ(engine_.show().scenes().count(), 0);
}

TEST_F(FileMenuTest, UndoAndRedoOfTheSceneWindowNameTheirStep) {
  StoreScene(QStringLiteral("A"));
  StoreScene(QStringLiteral("B"));
  const std::vector<std::string> both = engine_.show().scenes().Names();
  engine_.show().sceneList().ShowSelection(0);
  test::Click(window_.scenes()->button(QStringLiteral("Delete")));
  window_.Tick();
  EXPECT_EQ(window_.action(kCmdUndo)->text(), QStringLiteral("&Undo Delete Scene"));
  EXPECT_FALSE(window_.action(kCmdRedo)->isEnabled());
  const std::vector<std::string> one = engine_.show().scenes().Names();
  EXPECT_EQ(one.size(), 1u);

  window_.RunCommand(kCmdUndo);
  window_.Tick();
  EXPECT_EQ(engine_.show().scenes().Names(), both);
  EXPECT_EQ(window_.scenes()->list()->count(), 2);  // the window follows
  EXPECT_EQ(window_.action(kCmdRedo)->text(), QStringLiteral("&Redo Delete Scene"));
  EXPECT_EQ(window_.action(kCmdUndo)->text(), QStringLiteral("&Undo Store Scene"));
  window_.RunCommand(kCmdRedo);
  EXPECT_EQ(engine_.show().scenes().Names(), one);
}

// "Add" opens the editor: the new chase and what the editor did to it are
// one step, recorded when it closes; Undo is greyed while it is open.
TEST_F(FileMenuTest, AChaseAddedInTheEditorIsOneStep) {
  StoreScene(QStringLiteral("A"));
  ChaseWindow* chases = window_.chases();
  test::Click(chases->button(QStringLiteral("Add")));
  ASSERT_NE(chases->editor(), nullptr);
  window_.Tick();
  EXPECT_FALSE(window_.action(kCmdUndo)->isEnabled());
  EXPECT_FALSE(engine_.Undo());
  test::Click(chases->editor()->button(QStringLiteral("Close")));
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  window_.Tick();
  EXPECT_EQ(engine_.show().chases().count(), 1);
  EXPECT_EQ(window_.action(kCmdUndo)->text(), QStringLiteral("&Undo Add Chase"));
  window_.RunCommand(kCmdUndo);
  EXPECT_EQ(engine_.show().chases().count(), 0);
  window_.Tick();
  EXPECT_EQ(chases->list()->count(), 0);
  EXPECT_EQ(window_.action(kCmdUndo)->text(), QStringLiteral("&Undo Store Scene"));
}

}  // namespace
}  // namespace quor

// The real binary on a private Xvfb: Ctrl+S saves to the project it was started with, the title carries the
// modified mark, Ctrl+Z brings a deleted scene back and New asks before it discards changes.
#include "show/show.h"
#include "tests/app/windowed_support.h"

namespace quor {
namespace {

using test::ReadWholeFile;

// Under a window manager, as a user runs it.
class FileMenuWindowedTest : public test::XvfbTest {
 protected:
  FileMenuWindowedTest() : XvfbTest("1400x900x24", true) {}
};

TEST_F(FileMenuWindowedTest, SaveUndoAndTheDiscardQuestionThroughTheRealBinary) {
  dir_ = test::FreshTestDir("windowed_file_menu");
  const std::string project = dir_ + "/show.qrx";
  {
    Engine setup(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
    setup.console().SetSink([](std::string_view) {});
    ASSERT_TRUE(setup.show().sceneList().Add("Second Scene"));
    setup.show().sceneList().ShowSelection(-1);
    ASSERT_TRUE(setup.show().sceneList().Add("First Scene"));  // at the top
    ASSERT_EQ(SaveProject(setup, project).status, ProjectFileStatus::kDone);
  }
  const std::string clean = std::string("show.qrx - ") + test::kMainTitle;
  const std::string modified = std::string("show.qrx* - ") + test::kMainTitle;
  quor_ = test::Spawn({QUOR_BINARY, project, "--config-dir=" + dir_}, dir_ + "/quor.log");
  ASSERT_TRUE(Steps({{"wait", clean, "20000"}}));
  // The scene window: the first scene, then "Delete".
  ASSERT_TRUE(Steps({
      {"key", clean, "ffbf"},  // F2
      {"wait", "Scenes", "5000"},
      {"click", "Scenes", "60", "20"},
      {"click", "Scenes", "181", "-129"},  // "Delete"
      {"wait", modified, "5000"},
  }, std::chrono::milliseconds(300)));
  // Ctrl+Z: the scene is back and the show is as loaded again.
  ASSERT_TRUE(Steps({{"key", modified, "ctrl+z"}, {"wait", clean, "5000"}}));
  // Ctrl+S writes it to show.qrx at once, with both scenes.
  ASSERT_TRUE(Steps({{"key", clean, "ctrl+s"}}));
  ASSERT_TRUE(test::WaitUntil(
      [&] {
        const std::string bytes = ReadWholeFile(project);
        return bytes.find("First Scene") != std::string::npos && bytes.find("Second Scene") != std::string::npos;
      },
      std::chrono::seconds(5)));
  // Deleted again and saved: the file loses the scene and the mark goes.
  ASSERT_TRUE(Steps({
      {"click", "Scenes", "60", "20"},
      {"click", "Scenes", "181", "-129"},
      {"wait", modified, "5000"},
      {"key", modified, "ctrl+s"},
      {"wait", clean, "5000"},
  }, std::chrono::milliseconds(300)));
  EXPECT_EQ(ReadWholeFile(project).find("First Scene"), std::string::npos);

  // A change, then New: the question comes; Cancel keeps the show, Discard empties it.
  ASSERT_TRUE(Steps({
      {"click", "Scenes", "60", "20"},
      {"click", "Scenes", "181", "-129"},
      {"wait", modified, "5000"},
      {"key", modified, "ctrl+n"},
      {"wait", "Unsaved Changes", "5000"},
      {"key", "Unsaved Changes", "Escape"},
      {"gone", "Unsaved Changes", "5000"},
      {"wait", modified, "2000"},
      {"key", modified, "ctrl+n"},
      {"key", "Unsaved Changes", "alt+d"},
      {"gone", "Unsaved Changes", "5000"},
  }, std::chrono::milliseconds(300)));
  // Untitled and unchanged: the plain title.
  ASSERT_TRUE(Steps({{"gone", clean, "3000"}, {"gone", modified, "3000"}, {"wait", test::kMainTitle, "3000"}}));
  ASSERT_TRUE(Steps({{"close", test::kMainTitle}}));
  EXPECT_EQ(test::WaitFor(std::exchange(quor_, -1), std::chrono::seconds(15)), 0) << ReadWholeFile(dir_ + "/quor.log");
  // The saved file kept the one scene; New did not touch it.
  EXPECT_NE(ReadWholeFile(project).find("Second Scene"), std::string::npos);
}

}  // namespace
}  // namespace quor

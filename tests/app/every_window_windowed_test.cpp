// The real binary (private Xvfb, also under sanitizers) opens and closes each window and dialog as a user
// does, then exits with its autosave.
#include "show/show.h"
#include "tests/app/windowed_support.h"

namespace quor {
namespace {

using test::ReadWholeFile;
constexpr const char* kTitle = test::kMainTitle;
constexpr const char* kRecorder = "Quor! File Recorder";
constexpr const char* kShowMode = "Quor! - LED Matrix Control - ShowMode";

// Scene "A" (recalled at start) runs Plasma in slot 0, whose "Edit" opens a dialog; one chase to edit.
void WriteStartProject(const std::string& path) {
  Engine setup(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
  setup.RequestType(0, 1);
  setup.RebindSlots();
  ASSERT_TRUE(setup.show().sceneList().Add("A"));
  ASSERT_TRUE(setup.show().chases().InsertChase(0, "X"));
  ASSERT_TRUE(setup.show().chases().InsertStep(0, 0, ChaseStep{kStepScene, 0, 0, 0, 5000}));
  ASSERT_EQ(SaveProject(setup, path).status, ProjectFileStatus::kDone);
}

class WindowedEveryWindow : public test::XvfbTest {};

TEST_F(WindowedEveryWindow, EachOpensAndClosesCleanly) {
  dir_ = test::FreshTestDir("windowed_every_window");
  WriteStartProject(dir_ + "/start.qrx");
  quor_ = test::Spawn({QUOR_BINARY, dir_ + "/start.qrx", "-S1", "--config-dir=" + dir_}, dir_ + "/quor.log");
  ASSERT_EQ(Probe({"wait", kTitle, "30000"}), 0) << ReadWholeFile(dir_ + "/quor.log");
  // Each window: the keys or clicks that open it, then the way it is closed.
  ASSERT_TRUE(Steps({
      {"key", kTitle, "alt+s", "o"},  // recalling the scene started the output: stop it for the setup entries
      {"key", kTitle, "ffbf"}, {"wait", "Scenes"}, {"close", "Scenes"}, {"gone", "Scenes"},  // F2
      {"key", kTitle, "ffc0"}, {"wait", "Chases"},                                          // F3
      {"click", "Chases", "60", "20"}, {"click", "Chases", "115", "-58"},                  // the chase, "Edit"
      {"wait", "Edit Chase"}, {"key", "Edit Chase", "Escape"}, {"gone", "Edit Chase"},
      {"close", "Chases"}, {"gone", "Chases"},
      {"key", kTitle, "ffc1"}, {"wait", kRecorder}, {"close", kRecorder}, {"gone", kRecorder},  // F4, close box
      {"key", kTitle, "ffc1"}, {"wait", kRecorder}, {"key", kRecorder, "ffc1"}, {"gone", kRecorder},
      {"key", kTitle, "ffc8"}, {"wait", kShowMode},                                         // F11
      {"key", kShowMode, "ffc1"}, {"wait", kRecorder}, {"key", kRecorder, "ffc8"},         // F11 in the recorder
      {"gone", kShowMode}, {"close", kRecorder}, {"gone", kRecorder}, {"wait", kTitle},
      {"key", kTitle, "ffbe"}, {"wait", "Quor! Help"}, {"close", "Quor! Help"}, {"gone", "Quor! Help"},  // F1
      {"key", kTitle, "alt+h", "a"}, {"key", "About", "Escape"}, {"gone", "About"},  // input waits for its window
      {"key", kTitle, "alt+s", "m"}, {"key", "Matrix Size", "Escape"}, {"gone", "Matrix Size"},
      {"key", kTitle, "alt+s", "d"}, {"key", "Output Devices", "Escape"}, {"gone", "Output Devices"},
      {"key", kTitle, "alt+s", "p"}, {"key", "Output Patch", "Escape"}, {"gone", "Output Patch"},
      {"key", kTitle, "alt+s", "r"}, {"key", "Remote Control", "Escape"}, {"gone", "Remote Control"},
      {"click", kTitle, "286", "-285"}, {"key", "Plasma", "Escape"}, {"gone", "Plasma"},  // "Edit"
  }));
  ASSERT_EQ(Probe({"close", kTitle}), 0);
  EXPECT_EQ(test::WaitFor(std::exchange(quor_, -1), std::chrono::seconds(30)), 0) << ReadWholeFile(dir_ + "/quor.log");
  EXPECT_EQ(ReadWholeFile(dir_ + "/autosave.dat").substr(0, 4), "QRX!") << ReadWholeFile(dir_ + "/quor.log");
}

}  // namespace
}  // namespace quor

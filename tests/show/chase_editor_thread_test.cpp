// The "Edit Chase" model working on a chase that the player runs under the
// real frame clock: the editor's step edits, previews and closing race the
// mix pass, and remote starts may restart the chase while it is edited.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engine/engine.h"
#include "show/show.h"
#include "test_support.h"

namespace quor {
namespace {

TEST(ChaseEditorThreads, EditingARunningChaseRacesNoMixPass) {
  Engine engine(test::TestRegistry(), EngineOptions{FrameClock::Mode::kThread, 1});
  Show& show = engine.show();
  test::ConsoleCapture capture(engine.console());
  engine.RequestType(0, test::kSolidType);
  engine.RebindSlots();
  ASSERT_TRUE(show.sceneList().Add("A"));
  ASSERT_TRUE(show.sceneList().Add("B"));
  ChaseStore& chases = show.chases();
  chases.InsertChase(0, "edited");
  // Zero-length steps and a long last one: every pass executes steps.
  const ChaseStep steps[] = {{kStepScene, 1, 5, 0, 0}, {kStepMasterstrobe, 60, 0, 0, 0}, {7, 0, 0, 0, 2100}};
  for (int i = 0; i < 3; ++i) chases.InsertStep(0, i, steps[i]);
  ChaseEditor& editor = show.editor();
  engine.StartClock();

  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(800);
  for (int round = 0; std::chrono::steady_clock::now() < end; ++round) {
    show.player().StartChase(1);
    // Long enough, every other round, for a mix pass to run the chase.
    std::this_thread::sleep_for(std::chrono::milliseconds(round % 2 == 0 ? 45 : 2));
    ASSERT_TRUE(editor.Open(0));
    // A remote start while the dialog is open runs the chase being edited.
    if (round % 3 == 0) show.player().StartChase(1);
    editor.SelectRow(round % chases.at(0).StepCount());
    editor.InsertStep();
    editor.SetType(round % 3);
    editor.SetStrobe(round % 256);
    editor.SetDurationText("0");
    editor.MoveUp();
    std::this_thread::sleep_for(std::chrono::milliseconds(round % 3 == 0 ? 45 : 1));
    editor.DeleteStep();
    editor.Close();
    engine.PostMessageWork();
  }
  show.player().StopChaseNow();
  engine.StopClock();

  EXPECT_FALSE(show.player().Running());
  EXPECT_EQ(chases.at(0).StepCount(), 3);
  EXPECT_EQ(engine.settings().strobeCounter.load(), -1);
  EXPECT_GT(capture.Count("Next Chase Step"), 0);
}

}  // namespace
}  // namespace quor

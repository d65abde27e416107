// The chase player and chase editor driven from this thread while the real clock thread runs mix passes.
#include <gtest/gtest.h>

#include <thread>

#include "engine/engine.h"
#include "show/show.h"
#include "test_support.h"

namespace quor {
namespace {

class ChaseThreads : public testing::Test {
 protected:
  void SetUp() override {
    engine.RequestType(0, test::kSolidType);
    engine.RebindSlots();
    ASSERT_TRUE(show.sceneList().Add("A") && show.sceneList().Add("B"));
  }
  void Insert(int index, std::initializer_list<ChaseStep> steps) {
    chases.InsertChase(index, "c");
    for (const ChaseStep& step : steps) chases.InsertStep(index, chases.at(index).StepCount(), step);
  }
  Engine engine{test::TestRegistry(), EngineOptions{FrameClock::Mode::kThread, 1}};
  Show& show = engine.show();
  test::ConsoleCapture capture{engine.console()};
  ChaseStore& chases = show.chases();
};

TEST_F(ChaseThreads, UiCommandsAndStepEditsRaceNoMixPass) {
  // Zero-length steps make every pass execute several steps.
  for (int c = 0; c < 2; ++c) {
    Insert(c, {{kStepMasterstrobe, 120, 0, 0, 0}, {kStepCrossfade, 2, 0, 1, 0}, {kStepScene, c, 27, 0, 0}, {7, 0, 0, 0, 2500}});
  }
  engine.StartClock();

  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
  for (int round = 0; std::chrono::steady_clock::now() < end; ++round) {
    show.player().StartChase(round % 2 + 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    // Edit the chase that may be running; steps move under the store lock.
    chases.InsertStep(1, 0, ChaseStep{kStepScene, 0, 0, 0, 0});
    chases.RemoveStep(1, 0);
    chases.EditChase(0, [round](Chase& c) { c.steps[0].value = round % 256; });
    if (round % 5 == 0) show.player().StopChaseNow();
    if (round % 7 == 0) show.player().RequestChaseStop();
    engine.PostMessageWork();
  }
  show.player().StopChaseNow();
  engine.StopClock();

  EXPECT_FALSE(show.player().Running());
  EXPECT_EQ(std::make_pair(engine.settings().strobeCounter.load(), engine.settings().sceneFadeStep.load()), std::make_pair(-1, 10));
  EXPECT_GT(capture.Count("Next Chase Step"), 0);
}

TEST_F(ChaseThreads, EditingARunningChaseRacesNoMixPass) {
  // Zero-length steps and a long last one: every pass executes steps.
  Insert(0, {{kStepScene, 1, 5, 0, 0}, {kStepMasterstrobe, 60, 0, 0, 0}, {7, 0, 0, 0, 2100}});
  ChaseEditor& editor = show.editor();
  engine.StartClock();

  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(800);
  for (int round = 0; std::chrono::steady_clock::now() < end; ++round) {
    show.player().StartChase(1);
    // Long enough, every other round, for a mix pass to run the chase.
    std::this_thread::sleep_for(std::chrono::milliseconds(round % 2 == 0 ? 45 : 2));
    ASSERT_TRUE(editor.Open(0));
    if (round % 3 == 0) show.player().StartChase(1);  // a remote start runs the chase being edited
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
  EXPECT_EQ(std::make_pair(chases.at(0).StepCount(), engine.settings().strobeCounter.load()), std::make_pair(3, -1));
  EXPECT_GT(capture.Count("Next Chase Step"), 0);
}

TEST(ChasePlayerThreads, AStepEditThatStopsThePlayerDoesNotDeadlockWithAPass) {
  Engine engine(test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1});
  Show& show = engine.show();
  ChaseStore& chases = show.chases();
  chases.InsertChase(0, "c");
  chases.InsertStep(0, 0, ChaseStep{7, 0, 0, 0, 2500});
  show.player().StartChase(1);
  engine.RunMixPass();
  ASSERT_TRUE(show.player().Running());
  // The edit stops the player while a pass on another thread holds the
  // player's lock and wants the store's.
  test::FinishesWithin(5000, "EditChase calling StopChaseNow during a pass", [&] {
    chases.EditChase(0, [&](Chase& c) {
      c.steps[0].duration = 3000;
      std::thread pass([&] { engine.RunMixPass(); });
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      show.player().StopChaseNow();
      pass.join();
    });
  });
  EXPECT_FALSE(show.player().Running());
  EXPECT_EQ(chases.at(0).steps[0].duration, 3000);
}

}  // namespace
}  // namespace quor

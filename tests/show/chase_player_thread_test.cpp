// The chase player against the real frame-clock thread: starts, switches,
// stops and step edits from this (UI) thread while mix passes run.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engine/engine.h"
#include "show/show.h"
#include "test_support.h"

namespace quor {
namespace {

TEST(ChasePlayerThreads, UiCommandsAndStepEditsRaceNoMixPass) {
  Engine engine(test::TestRegistry(), EngineOptions{FrameClock::Mode::kThread, 1});
  Show& show = engine.show();
  test::ConsoleCapture capture(engine.console());
  engine.RequestType(0, test::kSolidType);
  engine.RebindSlots();
  ASSERT_TRUE(show.sceneList().Add("A"));
  ASSERT_TRUE(show.sceneList().Add("B"));
  ChaseStore& chases = show.chases();
  // Zero-length steps make every pass execute several steps.
  for (int c = 0; c < 2; ++c) {
    chases.InsertChase(c, "c");
    const ChaseStep steps[] = {{kStepMasterstrobe, 120, 0, 0, 0}, {kStepCrossfade, 2, 0, 1, 0}, {kStepScene, c, 27, 0, 0},
                               {7, 0, 0, 0, 2500}};
    for (int i = 0; i < 4; ++i) chases.InsertStep(c, i, steps[i]);
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
  EXPECT_EQ(engine.settings().strobeCounter.load(), -1);
  EXPECT_EQ(engine.settings().sceneFadeStep.load(), 10);
  EXPECT_GT(capture.Count("Next Chase Step"), 0);
}

}  // namespace
}  // namespace quor

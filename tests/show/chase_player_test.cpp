#include "show/chase_player.h"

#include <gtest/gtest.h>

#include "show_fixture.h"

namespace quor {
namespace {

using test::ShowTest;

class ChasePlayerTest : public ShowTest {
 protected:
  ChasePlayer& player() { return show_.player(); }
};

TEST_F(ChasePlayerTest, LoopingChaseRunsAndTooShortOrEmptyChasesStopAtOnce) {
  AddScene("A");
  AddScene("B");
  const int loop = AddChase({SceneStep(0, 1000), SceneStep(1, 1000)});
  const int shortChase = AddChase({SceneStep(0, 900), SceneStep(1, 1000)});
  const int empty = AddChase({});
  capture_.Clear();

  player().StartChase(loop + 1);
  PassAt(0);
  EXPECT_EQ(engine_.PendingSceneIndex(), 0);
  EXPECT_EQ(show_.sceneList().selection(), 0);
  PassAt(999);
  EXPECT_EQ(capture_.Text(), "Next Chase Step: 1\n");
  PassAt(1000);
  PassAt(2000);
  EXPECT_EQ(capture_.Text(), "Next Chase Step: 1\nNext Chase Step: 0\nNext Chase Step: 1\n");
  EXPECT_EQ(player().RunningChase(), loop + 1);

  // The stop takes effect in the next pass.
  player().RequestChaseStop();
  EXPECT_TRUE(player().Running());
  PassAt(2040);
  EXPECT_EQ(player().RunningChase(), ChasePlayer::kIdle);
  EXPECT_EQ(capture_.Count("Chase stopped.\n"), 1);

  for (int number : {shortChase + 1, empty + 1, 99}) {
    capture_.Clear();
    player().StartChase(number);
    PassAt(NowMs() + 40);
    EXPECT_EQ(capture_.Text(), "Chase stopped.\n") << number;
    EXPECT_EQ(player().RunningChase(), ChasePlayer::kIdle);
  }
}

TEST_F(ChasePlayerTest, ChaseWithoutLoopEndsAfterItsLastStepAndRestoresSettings) {
  AddScene("A", 10);
  AddScene("B", 20);
  const int chase = AddChase({StrobeStep(50, 0), SceneStep(0, 1000, 0), SceneStep(1, 2000, 27)}, 0);
  show_.chaseList().PlayAt(chase);
  EXPECT_FALSE(show_.chaseList().StopPressed());
  capture_.Clear();

  // A zero-length step runs in the same pass as the step after it.
  PassAt(100);
  EXPECT_EQ(capture_.Text(), "Next Chase Step: 1\nNext Chase Step: 2\n");
  EXPECT_EQ(StrobeAndFade(), (std::array{0, 6, 10, 0}));
  EXPECT_EQ(engine_.PendingSceneIndex(), 0);

  PassAt(1099);
  EXPECT_EQ(capture_.Count("Next Chase Step"), 2);
  PassAt(1100);
  EXPECT_EQ(capture_.Count("Next Chase Step: -1\n"), 1);
  EXPECT_EQ(engine_.PendingSceneIndex(), 1);
  EXPECT_EQ(settings().sceneFadeStep.load(), 4);  // fade 27: "Fadetime" at 26
  EXPECT_EQ(settings().sceneFadeEnabled.load(), 1);

  PassAt(3099);
  EXPECT_EQ(capture_.Count("Chase ended."), 0);
  PassAt(3100);
  EXPECT_EQ(capture_.Text(),
            "Next Chase Step: 1\nNext Chase Step: 2\nNext Chase Step: -1\nChase ended.\nChase stopped.\n");
  // B's recall stays asked for; strobe and fade are back as before.
  test::SolidIn(engine_, 0)->color[0] = 99;
  engine_.PostMessageWork();
  EXPECT_EQ(test::SolidIn(engine_, 0)->color[0], 20);
  EXPECT_EQ(StrobeAndFade(), kStartUpStrobeAndFade);
  EXPECT_EQ(player().RunningChase(), ChasePlayer::kIdle);
  EXPECT_TRUE(show_.chaseList().StopPressed());
  EXPECT_FALSE(show_.chaseList().PlayPressed());
}

TEST_F(ChasePlayerTest, StepsMapStrobeValuesFadesAndMoveTheCrossfader) {
  AddScene("A");
  const int chase = AddChase({StrobeStep(1, 0), ChaseStep{7, 0, 0, 0, 5000}});  // then an unknown kind waits
  // Replaces step 0 and restarts the chase, which runs step 0 again.
  const auto runFirstStep = [&](ChaseStep step) {
    show_.chases().EditChase(chase, [step](Chase& c) { c.steps[0] = step; });
    player().StartChase(chase + 1);
    PassAt(NowMs() + 40);
  };
  for (auto [value, expected] : {std::pair{1, 1}, {9, 1}, {10, 2}, {100, 11}, {255, 25}}) {
    runFirstStep(StrobeStep(value, 0));
    EXPECT_EQ(settings().strobeTime.load(), expected) << value;
    EXPECT_GE(settings().strobeCounter.load(), 0) << value;
  }
  runFirstStep(StrobeStep(0, 0));
  EXPECT_EQ(settings().strobeCounter.load(), -1);

  // Scene fades 1..40 map to the fade step; a damaged fade cuts.
  for (auto [fade, step] : {std::pair{27, 4}, {1, 30}, {11, 20}, {40, 4}}) {
    runFirstStep(SceneStep(0, 0, fade));
    EXPECT_EQ(std::make_pair(settings().sceneFadeStep.load(), settings().sceneFadeEnabled.load()), std::pair(step, 1))
        << fade;
  }
  runFirstStep(SceneStep(0, 0, -5));
  EXPECT_EQ(settings().sceneFadeEnabled.load(), 0);

  // Autofade value 1 glides to the centre (the glide itself is the
  // engine's); without autofade the crossfader jumps, ending any glide.
  engine_.SetMainFadeByHand(255);
  runFirstStep(CrossfadeStep(1, 1, 0));
  EXPECT_EQ(settings().mainFadeDirection.load(), kGlideToCentre);
  PassAt(NowMs() + 40);
  EXPECT_EQ(engine_.panel().masterFade[kMixMain].load(), 251);
  runFirstStep(CrossfadeStep(200, 0, 0));
  EXPECT_EQ(engine_.panel().masterFade[kMixMain].load(), 200);
  EXPECT_EQ(settings().mainFadeDirection.load(), kGlideNone);
}

TEST_F(ChasePlayerTest, SwitchingChasesKeepsTheFirstSavedStateAndStartsAtStepZero) {
  AddScene("A");
  const int first = AddChase({StrobeStep(100, 1000), SceneStep(0, 1500, 5)});
  const int second = AddChase({SceneStep(0, 3000, 0), StrobeStep(0, 3000)});
  player().StartChase(first + 1);
  PassAt(0);
  ASSERT_EQ(player().StepIndex(), 1);
  EXPECT_EQ(settings().strobeTime.load(), 11);

  // The switch happens in one pass: the second chase's step 0 (not step 1,
  // which would switch the strobe off).
  capture_.Clear();
  player().StartChase(second + 1);
  PassAt(40);
  EXPECT_EQ(capture_.Text(), "Next Chase Step: 1\n");
  EXPECT_EQ(player().RunningChase(), second + 1);
  EXPECT_GE(settings().strobeCounter.load(), 0);
  EXPECT_EQ(settings().sceneFadeEnabled.load(), 0);

  // Stopping returns to the settings from before the first chase.
  show_.chaseList().Stop();
  PassAt(80);
  EXPECT_EQ(StrobeAndFade(), kStartUpStrobeAndFade);
}

TEST_F(ChasePlayerTest, SceneCommandsStopTheChaseBeforeTheyChangeAnything) {
  AddScene("A");
  const int chase = AddChase({SceneStep(0, 3000, 27)});
  player().StartChase(chase + 1);
  PassAt(0);
  ASSERT_EQ(settings().sceneFadeStep.load(), 4);

  // Moving "Fadetime" while the chase runs: the chase's saved step goes
  // back first, so no later pass undoes the new position.
  capture_.Clear();
  show_.sceneList().SetFadeTime(0);
  EXPECT_EQ(capture_.Text(), "Chase stopped.\n");
  PassAt(40);
  PassAt(4000);
  EXPECT_EQ(settings().sceneFadeStep.load(), 30);
  EXPECT_EQ(player().RunningChase(), ChasePlayer::kIdle);
  EXPECT_EQ(capture_.Count("Chase stopped."), 1);

  // A start that has not run yet is dropped by a scene command too.
  player().StartChase(chase + 1);
  show_.sceneList().SelectByUser(0);
  PassAt(4040);
  EXPECT_EQ(capture_.Count("Next Chase Step"), 0);
}

// The record layout itself is pinned by the project file's golden bytes.
TEST(ChaseRecord, DamagedStepCountsReadOnlyWhatIsThere) {
  Chase chase;
  chase.steps = {ChaseStep{kStepScene, 0, 0, 0, 1000}};
  std::vector<uint8_t> bytes(kChaseRecordSize + kChaseStepRecordSize);
  ByteWriter out(bytes);
  WriteChaseWithSteps(chase, out);
  bytes[260] = 0xFF, bytes[261] = 0xFF, bytes[262] = 0xFF, bytes[263] = 0x7F;  // stepCount 2^31 - 1
  ByteReader in(bytes);
  const Chase huge = ReadChaseWithSteps(in);
  EXPECT_FALSE(in.ok());
  EXPECT_EQ(huge.steps, chase.steps);
  EXPECT_GE(huge.stepCapacity, 1);
  bytes[263] = 0xFF;  // stepCount -1
  ByteReader negative(bytes);
  EXPECT_EQ(ReadChaseWithSteps(negative).StepCount(), 0);
}

}  // namespace
}  // namespace quor

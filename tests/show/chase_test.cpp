// The chase player on a manual clock, the "Edit Chase" model and damaged
// chase records (the layout is pinned by the project file's golden bytes).
#include <gtest/gtest.h>

#include <climits>

#include "show/chase_editor.h"
#include "show/chase_player.h"
#include "show_fixture.h"

namespace quor {
namespace {

TEST(ChaseDuration, ReadsSecondsWithPointOrCommaExactly) {
  const std::pair<const char*, int> cases[] = {{"", 0}, {"2,5", 2500}, {" 10", 10000}, {"0.29", 290}, {"0.0019", 1},
      {"1.05s", 1050}, {"-1.5", -1500}, {"abc", 0}, {"7,", 7000}, {"99999999", INT_MAX}, {"-99999999", INT_MIN}};
  for (auto [text, ms] : cases) EXPECT_EQ(ParseDurationText(text), ms) << '"' << text << '"';
  EXPECT_EQ(std::make_pair(FormatDuration(2500), FormatDuration(10000)), std::make_pair(std::string("2.5"), std::string("10.0")));
}

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
  bytes[263] = 0xFF;  // stepCount -1
  ByteReader negative(bytes);
  EXPECT_EQ(ReadChaseWithSteps(negative).StepCount(), 0);
}

class ChasePlayerTest : public test::ShowTest {
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
  EXPECT_EQ(std::make_pair(engine_.PendingSceneIndex(), show_.sceneList().selection()), std::make_pair(0, 0));
  for (int ms : {999, 1000, 2000}) PassAt(ms);
  EXPECT_EQ(capture_.Text(), "Next Chase Step: 1\nNext Chase Step: 0\nNext Chase Step: 1\n");
  player().RequestChaseStop();  // takes effect in the next pass
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
  show_.chaseList().PlayAt(AddChase({StrobeStep(50, 0), SceneStep(0, 1000, 0), SceneStep(1, 2000, 27)}, 0));
  EXPECT_FALSE(show_.chaseList().StopPressed());
  capture_.Clear();
  // A zero-length step runs in the same pass as the step after it.
  PassAt(100);
  EXPECT_EQ(capture_.Text(), "Next Chase Step: 1\nNext Chase Step: 2\n");
  EXPECT_EQ(StrobeAndFade(), (std::array{0, 6, 10, 0}));
  EXPECT_EQ(engine_.PendingSceneIndex(), 0);
  PassAt(1099);
  PassAt(1100);
  EXPECT_EQ(std::make_pair(capture_.Count("Next Chase Step"), engine_.PendingSceneIndex()), std::make_pair(3, 1));
  // Fade 27: "Fadetime" at 26.
  EXPECT_EQ(std::make_pair(settings().sceneFadeStep.load(), settings().sceneFadeEnabled.load()), std::make_pair(4, 1));
  PassAt(3099);
  PassAt(3100);
  EXPECT_EQ(capture_.Text(), "Next Chase Step: 1\nNext Chase Step: 2\nNext Chase Step: -1\nChase ended.\nChase stopped.\n");
  // B's recall stays asked for; strobe and fade are back as before.
  test::SolidIn(engine_, 0)->color[0] = 99;
  engine_.PostMessageWork();
  EXPECT_EQ(test::SolidIn(engine_, 0)->color[0], 20);
  EXPECT_EQ(StrobeAndFade(), kStartUpStrobeAndFade);
  EXPECT_TRUE(show_.chaseList().StopPressed() && !show_.chaseList().PlayPressed());
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
  for (auto [value, expected] : {std::pair{10, 2}, {255, 25}}) {
    runFirstStep(StrobeStep(value, 0));
    EXPECT_EQ(std::make_pair(settings().strobeTime.load(), settings().strobeCounter.load() >= 0), std::make_pair(expected, true));
  }
  runFirstStep(StrobeStep(0, 0));
  EXPECT_EQ(settings().strobeCounter.load(), -1);
  // Scene fades 1..40 map to the fade step; a damaged fade cuts.
  for (auto [fade, step] : {std::pair{1, 30}, {40, 4}, {-5, -1}}) {
    runFirstStep(SceneStep(0, 0, fade));
    EXPECT_EQ(std::make_pair(step > 0 ? settings().sceneFadeStep.load() : -1, settings().sceneFadeEnabled.load()),
              std::make_pair(step, int{step > 0})) << fade;
  }
  // Autofade value 1 glides to the centre; without autofade the crossfader
  // jumps, ending any glide.
  engine_.SetMainFadeByHand(255);
  runFirstStep(CrossfadeStep(1, 1, 0));
  PassAt(NowMs() + 40);
  EXPECT_EQ(std::make_pair(MainFade(), Glide()), std::make_pair(251, int{kGlideToCentre}));
  runFirstStep(CrossfadeStep(200, 0, 0));
  EXPECT_EQ(std::make_pair(MainFade(), Glide()), std::make_pair(200, int{kGlideNone}));
}

TEST_F(ChasePlayerTest, SwitchingChasesKeepsTheFirstSavedStateAndStartsAtStepZero) {
  AddScene("A");
  const int first = AddChase({StrobeStep(100, 1000), SceneStep(0, 1500, 5)});
  const int second = AddChase({SceneStep(0, 3000, 0), StrobeStep(0, 3000)});
  player().StartChase(first + 1);
  PassAt(0);
  ASSERT_EQ(std::make_pair(player().StepIndex(), settings().strobeTime.load()), std::make_pair(1, 11));
  // The switch happens in one pass: the second chase's step 0 (not step 1,
  // which would switch the strobe off).
  capture_.Clear();
  player().StartChase(second + 1);
  PassAt(40);
  EXPECT_EQ(capture_.Text(), "Next Chase Step: 1\n");
  EXPECT_EQ(std::make_tuple(player().RunningChase(), settings().strobeCounter.load() >= 0, settings().sceneFadeEnabled.load()),
            std::make_tuple(second + 1, true, 0));
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
  PassAt(40);
  PassAt(4000);
  EXPECT_EQ(settings().sceneFadeStep.load(), 30);
  EXPECT_EQ(capture_.Text(), "Chase stopped.\n");
  // A start that has not run yet is dropped by a scene command too.
  player().StartChase(chase + 1);
  show_.sceneList().SelectByUser(0);
  PassAt(4040);
  EXPECT_EQ(capture_.Count("Next Chase Step"), 0);
}

class ChaseEditorTest : public test::ShowTest {
 protected:
  void SetUp() override { for (const char* name : {"A", "B", "C"}) AddScene(name); }
  ChaseEditor& editor() { return show_.editor(); }
  void OpenWith(std::initializer_list<ChaseStep> steps) {
    ASSERT_FALSE(show_.chaseList().EditAt(AddChase(steps)).error.has_value());
    ASSERT_TRUE(editor().IsOpen());
  }
  std::vector<std::string> StepTexts() {
    std::vector<std::string> texts;  // "step time" per row
    for (const ChaseStepRow& row : editor().Rows()) texts.push_back(row.step + " " + row.time);
    return texts;
  }
  const ChaseStep& step(size_t index) { return show_.chases().at(editor().chaseIndex()).steps[index]; }
};

// Names and order of added chases are the chase window's test (tests/ui).
TEST_F(ChaseEditorTest, ChaseListAddsLoopingChasesOnlyWhenScenesExist) {
  ChaseList& list = show_.chaseList();
  ASSERT_FALSE(list.Add().error.has_value());
  EXPECT_TRUE(editor().loop());
  list.Refresh(editor().Close());
  for (int i = 0; i < 3; ++i) show_.sceneList().ShowSelection(0), show_.sceneList().Delete();
  EXPECT_EQ(list.Add().error, std::string("You need some scenes first, before you can create or edit a chase."));
  EXPECT_FALSE(list.Edit().error != list.Add().error || editor().IsOpen());
}

TEST_F(ChaseEditorTest, InsertMoveAndDeleteKeepTheCurrentStep) {
  OpenWith({});
  // Empty duration box: 10 s; "Fade Out" on with "Fadetime" at 20: fade 21.
  ASSERT_TRUE(editor().InsertStep());
  EXPECT_EQ(step(0), (ChaseStep{kStepScene, 0, 21, 0, 10000}));
  editor().SetDurationText("2,5");
  editor().SetScene(1);
  editor().SetSceneFade(0);
  EXPECT_EQ(step(0), (ChaseStep{kStepScene, 1, 0, 0, 2500}));
  editor().SetDurationText("-4");
  EXPECT_EQ(step(0).duration, 0);
  // The box still reads "-4": a new step gets 10 s, after the current one.
  show_.sceneList().SetFadeOut(false);
  ASSERT_TRUE(editor().InsertStep());
  EXPECT_EQ(std::make_pair(editor().currentStep(), step(1)), std::make_pair(1, ChaseStep{kStepScene, 0, 0, 0, 10000}));
  editor().SetDurationText("1");
  editor().SetType(kStepMasterstrobe);
  ASSERT_TRUE(editor().InsertStep());
  editor().SetType(kStepCrossfade);
  // With row 2 selected the new step becomes row 3; with none, row 0.
  editor().SelectRow(2);
  ASSERT_TRUE(editor().InsertStep() && editor().currentStep() == 3);
  editor().ClearSelection();
  ASSERT_TRUE(editor().InsertStep());
  EXPECT_EQ(editor().currentStep(), 0);
  EXPECT_EQ(StepTexts(), (std::vector<std::string>{"[A] 1.0", "[B] 0.0", ">> Masterstrobe 1.0", ">> Crossfade 1.0", "[A] 1.0"}));
  // Moves take the current step along; the ends refuse.
  EXPECT_FALSE(editor().MoveUp());
  ASSERT_TRUE(editor().MoveDown());
  EXPECT_EQ(std::make_pair(editor().currentStep(), StepTexts()[1]), std::make_pair(1, std::string("[A] 1.0")));
  editor().SelectRow(4);
  EXPECT_FALSE(editor().MoveDown());
  // Deleting the last step makes the new last one current; deleting every
  // step leaves no current step and the controls disabled.
  ASSERT_TRUE(editor().DeleteStep());
  EXPECT_EQ(std::make_pair(editor().currentStep(), editor().controls().enabledKind), std::make_pair(3, int{kStepCrossfade}));
  while (editor().DeleteStep()) continue;
  EXPECT_EQ(std::make_tuple(editor().Rows().size(), editor().currentStep(), editor().controls().enabledKind, editor().MoveUp()),
            std::make_tuple(0u, -1, -1, false));
}

TEST_F(ChaseEditorTest, TypeChangesResetTheirOwnFieldsAndPreview) {
  OpenWith({SceneStep(2, 1000, 9)});
  editor().SelectRow(0);
  EXPECT_EQ(engine_.PendingSceneIndex(), 2);
  editor().SetType(kStepCrossfade);
  EXPECT_EQ(std::make_pair(step(0), MainFade()), std::make_pair(ChaseStep{kStepCrossfade, 128, 9, 0, 1000}, 128));
  editor().SetAutofade(true);
  EXPECT_EQ(std::make_tuple(step(0).value, editor().controls().crossfadeMax, Glide()), std::make_tuple(1, 2, int{kGlideToCentre}));
  editor().SetCrossfade(7);  // held to the autofade range
  EXPECT_EQ(std::make_pair(step(0).value, Glide()), std::make_pair(2, int{kGlideToEnd}));
  editor().SetAutofade(false);
  EXPECT_EQ(step(0), (ChaseStep{kStepCrossfade, 128, 9, 0, 1000}));
  // Back to Scene: the scene list's selection, the old fade kept.
  editor().SetType(kStepScene);
  EXPECT_EQ(step(0), (ChaseStep{kStepScene, 2, 9, 0, 1000}));
  editor().SetType(kStepMasterstrobe);
  editor().SetStrobe(95);
  EXPECT_EQ(std::make_pair(settings().strobeCounter.load(), settings().strobeTime.load()), std::make_pair(0, 10));
  editor().SetScene(0);  // controls of another kind do not reach the step
  editor().SetSceneFade(3);
  EXPECT_EQ(step(0), (ChaseStep{kStepMasterstrobe, 95, 9, 0, 1000}));
}

TEST_F(ChaseEditorTest, SelectingARowReplaysTheStepsBeforeIt) {
  OpenWith({SceneStep(0, 1000, 5), CrossfadeStep(2, 1, 1000), SceneStep(1, 1000, 27), StrobeStep(30, 1000),
            CrossfadeStep(0, 1, 1000)});
  const int wakes = wakes_.load();
  editor().SelectRow(2);  // A cut, the crossfader at the glide's end, B with its fade
  EXPECT_EQ(wakes_.load(), wakes + 2);
  EXPECT_EQ(std::make_pair(MainFade(), Glide()), std::make_pair(255, int{kGlideNone}));
  EXPECT_EQ(std::make_pair(engine_.PendingSceneIndex(), show_.sceneList().selection()), std::make_pair(1, 1));
  EXPECT_EQ(StrobeAndFade(), (std::array{-1, 1, 4, 1}));
  // Row 4: scene B (cut) is the context, the crossfade before it is
  // forgotten, the strobe is on; the step itself glides left.
  engine_.SetMainFadeByHand(77);
  editor().SelectRow(4);
  EXPECT_EQ(std::make_pair(engine_.PendingSceneIndex(), settings().sceneFadeEnabled.load()), std::make_pair(1, 0));
  EXPECT_EQ(std::make_pair(MainFade(), Glide()), std::make_pair(77, int{kGlideToStart}));
  EXPECT_EQ(std::make_pair(settings().strobeTime.load(), editor().controls().crossfadeMax), std::make_pair(4, 2));
}

TEST_F(ChaseEditorTest, ClosingPutsBackTheSettingsFromBeforeOpening) {
  const int chase = AddChase({StrobeStep(200, 1000), SceneStep(1, 1500, 27)});
  // A running chase has changed the strobe; editing stops it first, so the
  // editor saves the settings from before the chase.
  show_.chaseList().PlayAt(chase);
  PassAt(0);
  ASSERT_EQ(settings().strobeTime.load(), 21);
  ASSERT_FALSE(show_.chaseList().EditAt(chase).error.has_value());
  EXPECT_EQ(settings().strobeCounter.load(), -1);
  EXPECT_TRUE(show_.chaseList().StopPressed());
  editor().SelectRow(1);
  EXPECT_EQ(std::make_pair(settings().strobeTime.load(), settings().sceneFadeStep.load()), std::make_pair(21, 4));
  engine_.PostMessageWork();
  show_.chaseList().Refresh(editor().Close());
  EXPECT_EQ(StrobeAndFade(), kStartUpStrobeAndFade);
  EXPECT_EQ(show_.sceneList().selection(), 1);  // the previewed scene stays
  // No pass that follows undoes anything.
  PassAt(5000);
  EXPECT_EQ(settings().strobeTime.load(), 1);
  EXPECT_EQ(capture_.Count("Chase stopped."), 1);
}

}  // namespace
}  // namespace quor

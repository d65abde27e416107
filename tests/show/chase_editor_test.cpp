#include "show/chase_editor.h"

#include <gtest/gtest.h>

#include <climits>

#include "show_fixture.h"

namespace quor {
namespace {

using test::ShowTest;

class ChaseEditorTest : public ShowTest {
 protected:
  void SetUp() override {
    AddScene("A");
    AddScene("B");
    AddScene("C");
  }
  ChaseEditor& editor() { return show_.editor(); }
  // Opens the editor on a new chase holding `steps`.
  void OpenWith(std::initializer_list<ChaseStep> steps) {
    const int chase = AddChase(steps);
    ASSERT_FALSE(show_.chaseList().EditAt(chase).error.has_value());
    ASSERT_TRUE(editor().IsOpen());
  }
  std::vector<std::string> StepTexts() {
    std::vector<std::string> texts;  // "step time" per row
    for (const ChaseStepRow& row : editor().Rows()) texts.push_back(row.step + " " + row.time);
    return texts;
  }
  const Chase& edited() { return show_.chases().at(editor().chaseIndex()); }
};

TEST(ChaseDuration, ReadsSecondsWithPointOrCommaExactly) {
  const std::pair<const char*, int> cases[] = {
      {"", 0},        {"2,5", 2500},     {" 10", 10000}, {"2.3", 2300},         {"0.29", 290},
      {"0.0019", 1},  {"1.05s", 1050},   {"-1.5", -1500}, {"abc", 0},           {",", 0},
      {"7,", 7000},   {"99999999", INT_MAX}, {"-99999999", INT_MIN},
  };
  for (auto [text, ms] : cases) EXPECT_EQ(ParseDurationText(text), ms) << '"' << text << '"';
  EXPECT_EQ(FormatDuration(2500), "2.5");
  EXPECT_EQ(FormatDuration(10000), "10.0");
}

TEST_F(ChaseEditorTest, ChaseListAddsLoopingChasesOnlyWhenScenesExist) {
  ChaseList& list = show_.chaseList();
  ASSERT_FALSE(list.Add().error.has_value());
  EXPECT_TRUE(editor().loop());
  list.Refresh(editor().Close());
  list.Select(-1);
  EXPECT_EQ(list.Add().editorChase, 0);  // nothing selected: at the top
  EXPECT_EQ(list.Names(), (std::vector<std::string>{"New Chase 2", "New Chase 1"}));
  list.Refresh(editor().Close());
  EXPECT_EQ(list.selection(), 0);

  for (int i = 0; i < 3; ++i) show_.sceneList().ShowSelection(0), show_.sceneList().Delete();
  EXPECT_EQ(list.Add().error, std::string("You need some scenes first, before you can create or edit a chase."));
  EXPECT_EQ(list.Edit().error, list.Add().error);
  EXPECT_FALSE(editor().IsOpen());
}

TEST_F(ChaseEditorTest, InsertMoveAndDeleteKeepTheCurrentStep) {
  OpenWith({});
  // Empty duration box: 10 s; "Fade Out" on with "Fadetime" at 20: fade 21.
  ASSERT_TRUE(editor().InsertStep());
  EXPECT_EQ(edited().steps[0], (ChaseStep{kStepScene, 0, 21, 0, 10000}));
  editor().SetDurationText("2,5");
  editor().SetScene(1);
  editor().SetSceneFade(0);
  EXPECT_EQ(edited().steps[0], (ChaseStep{kStepScene, 1, 0, 0, 2500}));
  editor().SetDurationText("-4");
  EXPECT_EQ(edited().steps[0].duration, 0);

  // The box still reads "-4": a new step gets 10 s, after the current one.
  show_.sceneList().SetFadeOut(false);
  ASSERT_TRUE(editor().InsertStep());
  EXPECT_EQ(editor().currentStep(), 1);
  EXPECT_EQ(edited().steps[1], (ChaseStep{kStepScene, 0, 0, 0, 10000}));
  editor().SetDurationText("1");
  editor().SetType(kStepMasterstrobe);
  ASSERT_TRUE(editor().InsertStep());
  editor().SetType(kStepCrossfade);

  // With row 2 selected the new step becomes row 3; with none, row 0.
  editor().SelectRow(2);
  ASSERT_TRUE(editor().InsertStep());
  EXPECT_EQ(editor().currentStep(), 3);
  editor().ClearSelection();
  ASSERT_TRUE(editor().InsertStep());
  EXPECT_EQ(editor().currentStep(), 0);
  EXPECT_EQ(StepTexts(), (std::vector<std::string>{"[A] 1.0", "[B] 0.0", ">> Masterstrobe 1.0", ">> Crossfade 1.0",
                                                   "[A] 1.0"}));

  // Moves take the current step along; the ends refuse.
  EXPECT_FALSE(editor().MoveUp());
  ASSERT_TRUE(editor().MoveDown());
  EXPECT_EQ(editor().currentStep(), 1);
  EXPECT_EQ(StepTexts()[1], "[A] 1.0");
  editor().SelectRow(4);
  EXPECT_FALSE(editor().MoveDown());

  // Deleting the last step makes the new last one current; deleting every
  // step leaves no current step and the controls disabled.
  ASSERT_TRUE(editor().DeleteStep());
  EXPECT_EQ(editor().currentStep(), 3);
  EXPECT_EQ(editor().controls().enabledKind, kStepCrossfade);
  while (editor().DeleteStep()) continue;
  EXPECT_TRUE(editor().Rows().empty());
  EXPECT_EQ(editor().currentStep(), -1);
  EXPECT_EQ(editor().controls().enabledKind, -1);
  EXPECT_FALSE(editor().MoveUp());
}

TEST_F(ChaseEditorTest, TypeChangesResetTheirOwnFieldsAndPreview) {
  OpenWith({SceneStep(2, 1000, 9)});
  editor().SelectRow(0);
  EXPECT_EQ(engine_.PendingSceneIndex(), 2);

  editor().SetType(kStepCrossfade);
  EXPECT_EQ(edited().steps[0], (ChaseStep{kStepCrossfade, 128, 9, 0, 1000}));
  EXPECT_EQ(engine_.panel().masterFade[kMixMain].load(), 128);
  editor().SetCrossfade(40);
  EXPECT_EQ(engine_.panel().masterFade[kMixMain].load(), 40);
  editor().SetAutofade(true);
  EXPECT_EQ(std::make_pair(edited().steps[0].value, editor().controls().crossfadeMax), std::make_pair(1, 2));
  EXPECT_EQ(settings().mainFadeDirection.load(), kGlideToCentre);
  editor().SetCrossfade(7);  // held to the autofade range
  EXPECT_EQ(edited().steps[0].value, 2);
  EXPECT_EQ(settings().mainFadeDirection.load(), kGlideToEnd);
  editor().SetAutofade(false);
  EXPECT_EQ(edited().steps[0], (ChaseStep{kStepCrossfade, 128, 9, 0, 1000}));

  // Back to Scene: the scene list's selection, the old fade kept.
  editor().SetType(kStepScene);
  EXPECT_EQ(edited().steps[0], (ChaseStep{kStepScene, 2, 9, 0, 1000}));

  editor().SetType(kStepMasterstrobe);
  editor().SetStrobe(95);
  EXPECT_EQ(std::make_pair(settings().strobeCounter.load(), settings().strobeTime.load()), std::make_pair(0, 10));
  // Controls of another kind do not reach the step.
  editor().SetScene(0);
  editor().SetSceneFade(3);
  EXPECT_EQ(edited().steps[0], (ChaseStep{kStepMasterstrobe, 95, 9, 0, 1000}));
}

TEST_F(ChaseEditorTest, SelectingARowReplaysTheStepsBeforeIt) {
  OpenWith({SceneStep(0, 1000, 5), CrossfadeStep(2, 1, 1000), SceneStep(1, 1000, 27), StrobeStep(30, 1000),
            CrossfadeStep(0, 1, 1000)});
  const int wakes = wakes_.load();
  editor().SelectRow(2);  // A cut, the crossfader at the glide's end, B with its fade
  EXPECT_EQ(wakes_.load(), wakes + 2);
  EXPECT_EQ(engine_.panel().masterFade[kMixMain].load(), 255);
  EXPECT_EQ(settings().mainFadeDirection.load(), kGlideNone);
  EXPECT_EQ(std::make_pair(engine_.PendingSceneIndex(), show_.sceneList().selection()), std::make_pair(1, 1));
  EXPECT_EQ(StrobeAndFade(), (std::array{-1, 1, 4, 1}));
  EXPECT_EQ(editor().controls().sceneFade, 27);

  // Row 4: scene B (cut) is the context, the crossfade before it is
  // forgotten, the strobe is on; the step itself glides left.
  engine_.SetMainFadeByHand(77);
  editor().SelectRow(4);
  EXPECT_EQ(engine_.PendingSceneIndex(), 1);
  EXPECT_EQ(settings().sceneFadeEnabled.load(), 0);
  EXPECT_EQ(engine_.panel().masterFade[kMixMain].load(), 77);
  EXPECT_EQ(settings().strobeTime.load(), 4);
  EXPECT_GE(settings().strobeCounter.load(), 0);
  EXPECT_EQ(settings().mainFadeDirection.load(), kGlideToStart);
  EXPECT_EQ(editor().controls().crossfadeMax, 2);
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
  EXPECT_FALSE(editor().IsOpen());
  EXPECT_EQ(StrobeAndFade(), kStartUpStrobeAndFade);
  EXPECT_EQ(show_.sceneList().selection(), 1);  // the previewed scene stays
  // No pass that follows undoes anything.
  PassAt(5000);
  EXPECT_EQ(settings().strobeTime.load(), 1);
  EXPECT_EQ(capture_.Count("Chase stopped."), 1);
}

}  // namespace
}  // namespace quor

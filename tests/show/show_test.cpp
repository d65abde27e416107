// Scene list, scene recall, chase player (manual clock), chase editor, damaged scene and chase records.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <optional>

#include "engine/engine_write_access.h"
#include "engine/project_file.h"
#include "show/chase_editor.h"
#include "show/chase_player.h"
#include "show/scene_list.h"
#include "show_fixture.h"

namespace quor {
namespace {

using test::kSolidType;
using test::SolidIn;

TEST(ChaseDuration, ReadsSecondsWithPointOrCommaExactly) {
  const std::pair<const char*, int> cases[] = {{"", 0}, {"2,5", 2500}, {" 10", 10000}, {"0.29", 290}, {"0.0019", 1},
      {"1.05s", 1050}, {"-1.5", -1500}, {"abc", 0}, {"7,", 7000}, {"99999999", INT_MAX}, {"-99999999", INT_MIN}};
  for (auto [text, ms] : cases) EXPECT_EQ(ParseDurationText(text), ms) << text;
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
  EXPECT_EQ(ReadChaseWithSteps(in).steps, chase.steps);
  EXPECT_FALSE(in.ok());
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
  EXPECT_EQ(std::make_pair(player().RunningChase(), capture_.Count("Chase stopped.\n")), std::make_pair(int{ChasePlayer::kIdle}, 1));
  for (int number : {shortChase + 1, empty + 1, 99}) {
    capture_.Clear();
    player().StartChase(number);
    PassAt(NowMs() + 40);
    EXPECT_EQ(std::make_pair(capture_.Text(), player().RunningChase()), std::make_pair(std::string("Chase stopped.\n"), int{ChasePlayer::kIdle})) << number;
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
  EXPECT_EQ(std::make_pair(StrobeAndFade(), engine_.PendingSceneIndex()), std::make_pair(std::array{0, 6, 10, 0}, 0));
  for (int ms : {1099, 1100}) PassAt(ms);
  EXPECT_EQ(std::make_pair(capture_.Count("Next Chase Step"), engine_.PendingSceneIndex()), std::make_pair(3, 1));
  EXPECT_EQ(std::make_pair(settings().sceneFadeStep.load(), settings().sceneFadeEnabled.load()), std::make_pair(4, 1));
  for (int ms : {3099, 3100}) PassAt(ms);
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
  const auto runFirstStep = [&](ChaseStep step) {
    show_.chases().EditChase(chase, [step](Chase& c) { c.steps[0] = step; });
    player().StartChase(chase + 1);
    PassAt(NowMs() + 40);
  };
  runFirstStep(StrobeStep(0, 0));
  EXPECT_EQ(settings().strobeCounter.load(), -1);
  // Scene fades 1..40 map to the fade step; a damaged fade cuts.
  for (auto [fade, step] : {std::pair{1, 30}, {40, 4}, {-5, -1}}) {
    runFirstStep(SceneStep(0, 0, fade));
    EXPECT_EQ(std::make_pair(step > 0 ? settings().sceneFadeStep.load() : -1, settings().sceneFadeEnabled.load()),
              std::make_pair(step, int{step > 0})) << fade;
  }
  engine_.SetMainFadeByHand(255);  // without autofade the crossfader jumps (glides: the editor's tests)
  runFirstStep(CrossfadeStep(200, 0, 0));
  EXPECT_EQ(std::make_pair(MainFade(), Glide()), std::make_pair(200, int{kGlideNone}));
}

TEST_F(ChasePlayerTest, SceneCommandsStopTheChaseBeforeTheyChangeAnything) {
  AddScene("A");
  const int chase = AddChase({SceneStep(0, 3000, 27)});
  player().StartChase(chase + 1);
  PassAt(0);
  ASSERT_EQ(settings().sceneFadeStep.load(), 4);
  // "Fadetime" moved while the chase runs: the saved step goes back first.
  capture_.Clear();
  show_.sceneList().SetFadeTime(0);
  PassAt(40);
  PassAt(4000);
  EXPECT_EQ(settings().sceneFadeStep.load(), 30);
  EXPECT_EQ(capture_.Text(), "Chase stopped.\n");
  player().StartChase(chase + 1);  // a start not yet run is dropped too
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
  show_.sceneList().SetFadeOut(false);  // the box still reads "-4": the next step gets 10 s, no fade
  ASSERT_TRUE(editor().InsertStep());
  EXPECT_EQ(std::make_pair(editor().currentStep(), step(1)), std::make_pair(1, ChaseStep{kStepScene, 0, 0, 0, 10000}));
  editor().SetDurationText("1");
  editor().SetType(kStepMasterstrobe);
  ASSERT_TRUE(editor().InsertStep());
  editor().SetType(kStepCrossfade);
  editor().SelectRow(2);  // the new step becomes row 3; with no selection, row 0
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
  // Deleting the last step makes the new last one current; then delete all.
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
  // Row 4: B (cut) is the context, the crossfade before it forgotten, the strobe on.
  engine_.SetMainFadeByHand(77);
  editor().SelectRow(4);
  EXPECT_EQ(std::make_pair(engine_.PendingSceneIndex(), settings().sceneFadeEnabled.load()), std::make_pair(1, 0));
  EXPECT_EQ(std::make_pair(MainFade(), Glide()), std::make_pair(77, int{kGlideToStart}));
  EXPECT_EQ(std::make_pair(settings().strobeTime.load(), editor().controls().crossfadeMax), std::make_pair(4, 2));
}

TEST_F(ChaseEditorTest, ClosingPutsBackTheSettingsFromBeforeOpening) {
  const int chase = AddChase({StrobeStep(200, 1000), SceneStep(1, 1500, 27)});
  // Editing stops a running chase first and saves the settings from before it.
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
  PassAt(5000);  // no later pass undoes anything
  EXPECT_EQ(settings().strobeTime.load(), 1);
  EXPECT_EQ(capture_.Count("Chase stopped."), 1);
}

using SceneListTest = test::ShowTest;

TEST_F(SceneListTest, InsertDeleteAndMovesKeepEveryChaseOnItsScenes) {
  SceneList& list = show_.sceneList();
  const auto values = [this](int chase) {
    std::vector<int> v;  // non-scene steps as -value - 100
    for (const ChaseStep& s : show_.chases().at(chase).steps) v.push_back(s.kind == kStepScene ? s.value : -s.value - 100);
    return v;
  };
  using V = std::vector<int>;
  AddScene("A");
  list.ShowSelection(-1);
  for (const char* name : {"B", "C", "D"}) AddScene(name);  // B at the top (nothing selected), then after the selection
  EXPECT_EQ(list.Names(), (std::vector<std::string>{"B", "C", "D", "A"}));

  // A strobe step's value looks like a scene index and must never be touched.
  const int first = AddChase({SceneStep(0, 1000), SceneStep(3, 1000), StrobeStep(1, 1000)});
  const int second = AddChase({SceneStep(2, 1000), SceneStep(1, 1000)});

  list.ShowSelection(1);  // insert after C: steps on D and A move up
  AddScene("E");
  EXPECT_EQ(std::make_pair(values(first), values(second)), std::make_pair(V{0, 4, -101}, V{3, 1}));
  // Up on D (3) exchanges 2 and 3 in every chase; the ends refuse.
  list.ShowSelection(3);
  ASSERT_TRUE(list.MoveUp());
  EXPECT_EQ(std::make_pair(list.selection(), values(second)), std::make_pair(2, V{2, 1}));
  ASSERT_TRUE(list.MoveDown());
  EXPECT_EQ(values(second), (V{3, 1}));
  list.ShowSelection(0);
  EXPECT_FALSE(list.MoveUp());
  list.ShowSelection(4);
  EXPECT_FALSE(list.MoveDown());

  list.ShowSelection(2);  // deleting unused E moves later references down
  const int wakesBefore = wakes_.load();
  EXPECT_EQ(list.Delete(), std::nullopt);
  EXPECT_EQ(std::make_pair(values(first), values(second)), std::make_pair(V{0, 3, -101}, V{2, 1}));
  EXPECT_EQ(std::make_tuple(list.selection(), engine_.PendingSceneIndex(), wakes_.load()), std::make_tuple(2, 2, wakesBefore + 1));
}

TEST_F(SceneListTest, DeleteIsRefusedForScenesInUseAndSelectsTheNeighbour) {
  SceneList& list = show_.sceneList();
  for (const char* name : {"A", "B", "C"}) AddScene(name);
  AddChase({CrossfadeStep(2, 0, 1000), SceneStep(1, 1000)});

  list.ShowSelection(1);
  EXPECT_EQ(list.Delete(), std::string("Cannot delete this scene, it is in use by one or more chasers."));
  EXPECT_EQ(show_.scenes().count(), 3);

  // A crossfade step of value 2 does not hold scene 2; the new last is recalled.
  list.ShowSelection(2);
  EXPECT_EQ(list.Delete(), std::nullopt);
  EXPECT_EQ(std::make_pair(list.selection(), engine_.PendingSceneIndex()), std::make_pair(1, 1));

  show_.chases().RemoveChase(0);  // deleting the only scene: no selection, no recall
  list.ShowSelection(0);
  ASSERT_EQ(list.Delete(), std::nullopt);
  engine_.PostMessageWork();
  const int wakesBefore = wakes_.load();
  list.ShowSelection(0);
  ASSERT_EQ(list.Delete(), std::nullopt);
  EXPECT_EQ(std::make_tuple(wakes_.load(), list.selection(), engine_.PendingSceneIndex()), std::make_tuple(wakesBefore, -1, -1));
  EXPECT_EQ(list.Delete(), std::nullopt);  // nothing selected: nothing happens
  EXPECT_FALSE(list.Add("") || list.Replace("x"));
}

TEST_F(SceneListTest, ReplaceStoresAndRecallRestoresTheMixerTimersAndFade) {
  engine_.StartClock();
  AddScene("Look", 200);
  engine_.RequestType(3, kSolidType), engine_.RebindSlots();
  SolidIn(engine_, 0)->color[0] = 90;
  engine_.SetSlotSpeed(0, 10), engine_.SetSlotSpeed(3, 5), engine_.SetInvert(1, true);
  engine_.SetMergeMode(kMixChannel2, 6), engine_.SetChannelFade(kMixMain, 30);
  ASSERT_TRUE(show_.sceneList().Replace(""));  // an empty name keeps "Look"; no recall
  EXPECT_EQ(std::make_pair(show_.scenes().at(0).Name(), engine_.PendingSceneIndex()), std::make_pair(std::string("Look"), -1));
  engine_.SelectEffect(0, 0), engine_.RebindSlots();  // change everything, then recall
  engine_.SetSlotSpeed(0, 25), engine_.SetInvert(1, false), engine_.SetMergeMode(kMixChannel2, 0);
  engine_.SetChannelFade(kMixMain, 128), EngineWriteAccess::Settings(engine_).sceneFadeLevel.store(-6);
  capture_.Clear();
  show_.sceneList().SelectByUser(0);
  EXPECT_EQ(capture_.Text(), "item: 0\n");
  engine_.PostMessageWork();

  EXPECT_EQ(std::make_tuple(engine_.BoundType(0), engine_.panel().effectListPosition[0].load(), SolidIn(engine_, 0)->color[0]),
            std::make_tuple(kSolidType, EffectListPosition(kSolidType), uint8_t{90}));
  // Speeds 10 and 5 restart their timers; slot 1 (empty) and the mix keep 40.
  EXPECT_EQ((std::array{engine_.SlotTimerPeriod(0), engine_.SlotTimerPeriod(3), engine_.SlotTimerPeriod(1),
                        engine_.MixTimerPeriod()}),
            (std::array{100, 200, 40, 40}));
  const MixerPanel& panel = engine_.panel();
  EXPECT_EQ((std::array{panel.speed[3].load(), panel.invert[1].load(), panel.mergeMode[kMixChannel2].load(), MainFade(),
                        settings().sceneFadeLevel.load(), engine_.PendingSceneIndex()}),
            (std::array{5, 1, 6, 30, 128, -1}));

  show_.sceneList().SetFadeOut(false), show_.sceneList().SelectByUser(0);  // the recall cuts
  engine_.PostMessageWork();
  EXPECT_EQ(settings().sceneFadeLevel.load(), 0);
  ASSERT_TRUE(show_.sceneList().Replace("Dim") && show_.scenes().at(0).Name() == "Dim");
}

// A recall while the clock runs leaves the mix timer alone: whatever the phase it comes in, the next
// pass is on time and already shows the scene.
TEST_F(SceneListTest, ARecallShowsInTheNextPassAndKeepsTheMixCadence) {
  AddScene("Dark", 10);
  AddScene("Bright", 200);
  show_.sceneList().SetFadeOut(false);
  engine_.StartClock();
  const auto pixel = [&] { return engine_.CopyFrame(FrameIndex::kOutput)[0]; };
  std::array<uint8_t, 2> steady{};
  for (int scene : {0, 1}) {
    engine_.RecallScene(scene);
    engine_.clock().Advance(200);
    steady[static_cast<size_t>(scene)] = pixel();
  }
  ASSERT_NE(steady[0], steady[1]);
  // Back in step with the mix timer: the start placed it 8 ms after a multiple of 40.
  engine_.clock().Advance(static_cast<int>(40 - (NowMs() - 8) % 40) % 40);
  int scene = 0;
  for (int phase : {0, 1, 17, 32, 38, 39, 0}) {
    SCOPED_TRACE(phase);
    const int before = engine_.flags().frameCounter.load();
    engine_.clock().Advance(phase);
    engine_.RecallScene(scene);
    engine_.clock().Advance(40 - phase);
    EXPECT_EQ(std::make_pair(engine_.flags().frameCounter.load() - before, pixel()),
              std::make_pair(1, steady[static_cast<size_t>(scene)]));
    scene = 1 - scene;
  }
}

TEST_F(SceneListTest, DamagedScenesRecallSafely) {
  Scene damaged;
  damaged.types = {99, -3, kSolidType, 0};
  damaged.speeds = {0, -7, 1000, 25};
  damaged.mergeModes = {42, -1, 3};
  damaged.masterfades = {-20, 999, 128};
  ASSERT_TRUE(show_.scenes().ReplaceAll({damaged}));
  engine_.RecallScene(0);
  EXPECT_EQ(engine_.RecallCount(), 1);
  EXPECT_EQ((std::array{engine_.RequestedType(0), engine_.RequestedType(1), engine_.RequestedType(2)}),
            (std::array{0, 0, kSolidType}));
  const MixerPanel& panel = engine_.panel();
  EXPECT_EQ((std::array{panel.speed[0].load(), panel.speed[1].load(), panel.speed[2].load()}), (std::array{5, 5, 25}));
  EXPECT_EQ((std::array{engine_.SlotTimerPeriod(0), engine_.SlotTimerPeriod(2)}), (std::array{200, 40}));
  EXPECT_EQ((std::array{panel.mergeMode[0].load(), panel.mergeMode[2].load(), panel.masterFade[0].load(), panel.masterFade[1].load()}),
            (std::array{0, 3, 0, 255}));
  engine_.RecallScene(1), engine_.RecallScene(-1);
  EXPECT_EQ(engine_.RecallCount(), 1);
}

// Each way of adding a record stops at the project format's limit, changing nothing, so the show stays saveable.
TEST_F(ChaseEditorTest, AdditionsStopAtTheLimitsAProjectCanHold) {
  std::vector<Chase> longChase(1);
  longChase[0].steps.resize(static_cast<size_t>(kMaxChaseSteps));
  struct Row {
    const char* what;
    std::function<void()> fill;
    std::function<std::optional<std::string>()> refusal;  // asked before adding
    std::function<bool()> add;                            // true when something was added
    const char* message;
  };
  const Row rows[] = {
      {"scene", [&] { ASSERT_TRUE(show_.scenes().ReplaceAll(std::vector<Scene>(static_cast<size_t>(kMaxShowScenes)))); },
       [&] { return show_.sceneList().AddRefusal(); }, [&] { return show_.sceneList().Add("X"); },
       kTooManyScenesMessage},
      {"chase", [&] { ASSERT_TRUE(show_.chases().ReplaceAll(std::vector<Chase>(static_cast<size_t>(kMaxShowChases)))); },
       [&] { return show_.chaseList().Add().error; }, [&] { return show_.chaseList().Add().editorChase >= 0; },
       kTooManyChasesMessage},
      {"step", [&] { ASSERT_TRUE(show_.chases().ReplaceAll(longChase) && editor().Open(0)); },
       [&] { return editor().InsertRefusal(); }, [&] { return editor().InsertStep(); }, kTooManyStepsMessage},
  };
  for (const Row& row : rows) {
    EXPECT_FALSE(row.refusal().has_value()) << row.what << ": room before filling";
    row.fill();
    const ProjectData before = CaptureProject(engine_);
    EXPECT_EQ(row.refusal(), std::string(row.message)) << row.what;
    EXPECT_FALSE(row.add()) << row.what;
    const ProjectData after = CaptureProject(engine_);
    EXPECT_EQ(std::pair(after.scenes.size(), after.chases.size()), std::pair(before.scenes.size(), before.chases.size()));
    EXPECT_EQ(after.chases.empty() ? 0u : after.chases[0].steps.size(), before.chases.empty() ? 0u : before.chases[0].steps.size());
    EXPECT_EQ(ProjectLimitExceeded(after), "") << row.what;
    editor().Close();
    ASSERT_TRUE(show_.chases().ReplaceAll({}) && show_.scenes().ReplaceAll(std::vector<Scene>(1)));
  }
}

TEST(SceneRecord, NamesAreBoundedAndShortRecordsRefused) {
  Scene scene;
  SetNameText(scene.name, std::string(400, 'x'));
  EXPECT_EQ(scene.Name().size(), 253u);
  std::array<uint8_t, kSceneRecordSize> bytes{};
  std::memset(bytes.data(), 'y', 256);
  ASSERT_TRUE(ParseScene(bytes, scene));  // no terminator: still a bounded name
  EXPECT_EQ(scene.Name(), std::string(256, 'y'));
  EXPECT_EQ(SerializeScene(scene), bytes);
  EXPECT_FALSE(ParseScene(std::span<const uint8_t>(bytes).first(kSceneRecordSize - 1), scene));
}

}  // namespace
}  // namespace quor

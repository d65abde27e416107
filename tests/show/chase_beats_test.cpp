// Chase steps measured in beats: the typed forms, the player on the tapped
// tempo (manual clock), the side file beside the project and undo.
#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "engine/project_file.h"
#include "files/chase_beats_section.h"
#include "files/side_file.h"
#include "show/chase_editor.h"
#include "show_fixture.h"

namespace quor {
namespace {

TEST(StepLength, ReadsSecondsOrBeatsAndShowsThemBack) {
  struct Case {
    const char* text;
    StepLength length;
    const char* shown;  // the step that length gives, as the list shows it
  };
  const Case cases[] = {
      {"2 beats", {0, 8}, "2 beats"},       {"1 beat", {0, 4}, "1 beat"},
      {"0.5 beats", {0, 2}, "0.5 beats"},   {"1/2 beat", {0, 2}, "0.5 beats"},
      {" 1/4 BEAT", {0, 1}, "0.25 beats"},  {"2,75beats", {0, 11}, "2.75 beats"},
      {"beat", {0, 4}, "1 beat"},           {"0 beats", {0, 1}, "0.25 beats"},
      {"1/0 beats", {0, 1}, "0.25 beats"},  {"123456789 beats", {0, kMaxStepBeatQuarters}, "999 beats"},
      {"2.5", {2500, 0}, "2.5"},            {"1,25 s", {1250, 0}, "1.2"},
      {"beets", {0, 0}, "0.0"},             {"", {0, 0}, "0.0"},
  };
  for (const Case& c : cases) {
    const StepLength length = ParseStepLength(c.text);
    EXPECT_EQ(length, c.length) << c.text;
    ChaseStep step;
    step.duration = length.durationMs, step.beatQuarters = length.beatQuarters;
    EXPECT_EQ(FormatStepLength(step), c.shown) << c.text;
  }
  // Seconds read exactly as they always did.
  for (const char* text : {"2.5", "0,001", "-3", "17.0009", "99999999999"}) {
    EXPECT_EQ(ParseStepLength(text).durationMs, ParseDurationText(text)) << text;
  }
  EXPECT_EQ(BeatStepMs(8, 120), 1000);
  EXPECT_EQ(BeatStepMs(8, 0), 1000);  // no tempo: measured at 120
  EXPECT_EQ(BeatStepMs(3, 128), 352);  // 351.5625 rounds up
}

class ChaseBeatsTest : public test::ShowTest {
 protected:
  // Taps 120 BPM whose last tap is at `ms`.
  void TapAt120(int64_t ms) {
    for (int64_t t = ms - 1500; t <= ms; t += 500) engine_.tempo().Tap(t);
  }
  static ChaseStep Beats(int scene, int quarters) {
    ChaseStep step = SceneStep(scene, BeatStepMs(quarters, 0));
    step.beatQuarters = quarters;
    return step;
  }
  // Runs passes every 40 ms from `from` to `to` and gives the times at
  // which a step was executed.
  std::vector<int64_t> StepTimes(int64_t from, int64_t to) {
    std::vector<int64_t> times;
    for (int64_t ms = from; ms <= to; ms += 40) {
      const int before = capture_.Count("Next Chase Step");
      PassAt(ms);
      if (capture_.Count("Next Chase Step") != before) times.push_back(ms);
    }
    return times;
  }
};

TEST_F(ChaseBeatsTest, BeatStepsChangeOnTheBeatAndMillisecondStepsKeepTheirTime) {
  AddScene("A");
  AddScene("B");
  AddScene("C");
  const int chase = AddChase({Beats(0, 8), Beats(1, 2), SceneStep(2, 900)});
  PassAt(10'000);
  TapAt120(10'000);  // beats at 10000, 10500, ...
  capture_.Clear();
  show_.player().StartChase(chase + 1);
  // Started a fifth into a beat: the 2 beats run to the second beat after
  // the one before the start (the pass that sees 11000), the half beat to
  // the middle of that beat, the 900 ms from there; then the grid starts
  // again from the last whole beat (12000), so "2 beats" ends at 13000.
  EXPECT_EQ(StepTimes(10'100, 13'100), (std::vector<int64_t>{10'100, 11'020, 11'260, 12'180, 13'020}));
}

TEST_F(ChaseBeatsTest, WithoutATempoBeatStepsLastTheirMeasuredMilliseconds) {
  AddScene("A");
  AddScene("B");
  ChaseStep two = Beats(0, 8), one = Beats(1, 4);
  two.duration = 1500;  // measured at 80 BPM when it was saved
  const int chase = AddChase({two, one});
  PassAt(10'000);
  capture_.Clear();
  show_.player().StartChase(chase + 1);
  EXPECT_EQ(StepTimes(10'000, 13'100), (std::vector<int64_t>{10'000, 11'520, 12'040}));
}

TEST_F(ChaseBeatsTest, SideFileKeepsBeatsThroughMovesDeletesImportAndUndo) {
  AddScene("A");
  AddScene("B");
  const int first = AddChase({Beats(0, 8), SceneStep(1, 2000), Beats(1, 2)});
  AddChase({SceneStep(0, 3000), Beats(0, 12)});
  const std::string dir = test::FreshTestDir("chase_beats");
  const std::string path = dir + "/show.qrx";
  // Saved at 100 BPM: 2 beats are 1200 ms in the project file.
  PassAt(10'000);
  for (int64_t t = 8'800; t <= 10'000; t += 600) engine_.tempo().Tap(t);
  PassAt(10'040);
  ASSERT_TRUE(SaveProject(engine_, path).messages.empty());
  {
    Engine loaded(test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1});
    ASSERT_EQ(LoadProject(loaded, path).status, ProjectFileStatus::kDone);
    const ChaseStore& chases = loaded.show().chases();
    EXPECT_EQ(chases.at(0).steps[0].duration, 1200);
    EXPECT_EQ(chases.at(0).steps[2].duration, 300);
    EXPECT_EQ(CollectStepBeats(std::vector<Chase>{chases.at(0), chases.at(1)}),
              (std::vector<ChaseStepBeats>{{0, 0, 8}, {0, 2, 2}, {1, 1, 12}}));
  }

  // Moves and deletes are in the next save; undo takes a beat change back.
  show_.chases().SwapSteps(first, 0, 1);
  show_.chases().RemoveStep(first, 2);
  engine_.EditDocument("Beats", [&] { show_.chases().EditChase(1, [](Chase& c) { c.steps[0].beatQuarters = 4; }); });
  ASSERT_TRUE(engine_.Undo());
  EXPECT_EQ(show_.chases().at(1).steps[0].beatQuarters, 0);
  ASSERT_TRUE(engine_.Redo());
  EXPECT_EQ(show_.chases().at(1).steps[0].beatQuarters, 4);
  ASSERT_TRUE(SaveProject(engine_, path).messages.empty());
  const QJsonObject saved = SideSection(ReadSideFile(SideFilePath(path)), kChaseBeatsSection);
  EXPECT_EQ(ParseChaseBeats(saved).beats, (std::vector<ChaseStepBeats>{{0, 1, 8}, {1, 0, 4}, {1, 1, 12}}));

  // An import appends the chases with their beats after the ones there are.
  ASSERT_EQ(ImportProject(engine_, path).status, ProjectFileStatus::kDone);
  EXPECT_EQ(show_.chases().at(3).steps[1].beatQuarters, 12);
}

TEST_F(ChaseBeatsTest, DamagedSectionsAreRefusedWholeAndTheProjectStillLoads) {
  AddScene("A");
  AddChase({SceneStep(0, 2000), SceneStep(0, 2000)});
  const std::string path = test::FreshTestDir("chase_beats_damaged") + "/show.qrx";
  ASSERT_TRUE(SaveProject(engine_, path).messages.empty());
  const struct {
    const char* json;
    const char* problem;
  } cases[] = {
      {R"({"steps":[[0,1,8],[0,2,4]]})", "chase 1 step 3 is not in the project"},
      {R"({"steps":[[0,1,8],[0,1,4]]})", "chase 1 step 2 is given twice"},
      {R"({"steps":[[0,1,0]]})", "chase 1 step 2 has no valid number of beats"},
      {R"({"steps":[[0,1,"8"]]})", "entry 1 is not three whole numbers"},
      {R"({"steps":[[0,1.5,8]]})", "entry 1 is not three whole numbers"},
      {R"({"steps":{}})", "\"steps\" is not a list"},
  };
  for (const auto& c : cases) {
    std::ofstream(SideFilePath(path)) << R"({"chaseBeats":)" << c.json << "}";
    Engine loaded(test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1});
    test::ConsoleCapture console(loaded.console());
    ASSERT_EQ(LoadProject(loaded, path).status, ProjectFileStatus::kDone) << c.json;
    EXPECT_NE(console.Text().find(c.problem), std::string::npos) << console.Text();
    EXPECT_TRUE(CollectStepBeats(std::vector<Chase>{loaded.show().chases().at(0)}).empty()) << c.json;
  }
}

}  // namespace
}  // namespace quor

// Show mode and the mixer panel follow the scene and chase windows, and their
// commands and "Edit Chase"'s reach the autosave written on a normal exit.
#include <sstream>

#include "engine/engine_write_access.h"
#include "engine/lifecycle.h"
#include "files/project_format.h"
#include "ui/show_mode_window.h"
#include "ui_support.h"

namespace quor {
namespace {

using test::Click, test::ClickRow;

// "name:red" per scene (red = slot 0's colour), then per chase its name,
// "~" when it loops and its steps: kind letter and value, "f" fade, "/" duration.
std::string Summary(const ProjectData& p) {
  std::ostringstream out;
  for (const Scene& s : p.scenes) out << s.Name() << ':' << int{s.settings[0][0]} << ' ';
  out << '|';
  for (const Chase& c : p.chases) {
    out << ' ' << c.Name() << (c.Loops() ? "~[" : "[");
    for (const ChaseStep& s : c.steps) {
      out << (&s == c.steps.data() ? "" : " ") << "SMCW"[std::clamp<int>(s.kind, 0, 3)] << s.value;
      if (s.kind == kStepScene && s.fade != 0) out << 'f' << s.fade;
      out << '/' << s.duration;
    }
    out << ']';
  }
  return out.str();
}

// Scenes A, B, C (red 10, 20, 30; crossfader 0, 200, 100) and the chases
// X (A then B, no loop) and Y (A, then a strobe step), in a main window with
// the scene and chase windows open.
struct ShowWindows {
  explicit ShowWindows(std::vector<std::string> args = {}) : lifecycle(engine, std::move(args)) {}
  void Open() {
    window = std::make_unique<MainWindow>(engine, renderer, MainWindowOptions{{}, 3600000});
    window->show(), window->RunCommand(kCmdSceneList), window->RunCommand(kCmdChaseList);
    engine.RequestType(0, test::kSolidType);
    engine.RebindSlots();
    for (auto [name, red, fade] : {std::tuple{"A", 10, 0}, {"B", 20, 200}, {"C", 30, 100}}) {
      Live(red, fade), engine.show().sceneList().Add(name);
    }
    ChaseStore& store = engine.show().chases();
    store.InsertChase(0, "X"), store.InsertChase(1, "Y");
    store.EditChase(0, [](Chase& c) { c.loop = 0; });
    for (auto [chase, kind, value] : {std::tuple{0, kStepScene, 0}, {0, kStepScene, 1}, {1, kStepScene, 0},
                                      {1, kStepMasterstrobe, 95}}) {
      store.InsertStep(chase, store.at(chase).StepCount(), ChaseStep{kind, value, 0, 0, 1000});
    }
    window->Tick();
  }
  // Open() with show mode and both list windows shown.
  ShowModeWindow* OpenShowMode() {
    Open(), window->RunCommand(kCmdShowMode), scenes().show(), chases().show();
    return window->showModeWindow();
  }
  // Runs one mix pass and the window's refresh.
  void Pass() { engine.RunMixPass(), window->Tick(); }
  // The live picture (and crossfader) a stored scene takes, after any pending recall.
  void Live(int red, int mainFade = -1) {
    window->Tick();
    test::SolidIn(engine, 0)->color[0] = static_cast<uint8_t>(red);
    if (mainFade >= 0) engine.SetMainFadeByHand(mainFade);
  }
  SceneWindow& scenes() { return *window->scenes(); }
  ChaseWindow& chases() { return *window->chases(); }
  ChaseEditorDialog& editor() { return *window->chases()->editor(); }
  void InChases(int row, const char* button) { ClickRow(chases().list(), row), Click(chases().button(button)); }
  // "Edit Chase" on X with step `row` selected (none for -1).
  void Edit(int row) {
    InChases(0, "Edit");
    if (row >= 0) ClickRow(editor().steps(), row);
  }

  Engine engine{test::TestRegistry(), test::kManualClock};
  PreviewRenderer renderer{engine};
  Lifecycle lifecycle;
  std::unique_ptr<MainWindow> window;
};

// After each row show mode has one button per chase and scene, the right one alone pressed,
// and the main panel's crossfader shows the scene recalled last.
TEST(ShowModeFollow, HighlightButtonsAndPanelFollowTheWindows) {
  ShowWindows w;
  ShowModeWindow* show = w.OpenShowMode();
  ASSERT_NE(show, nullptr);
  auto play = [&w](int chase, int ms) {
    w.InChases(chase, "Play");
    for (int t = 0; t < ms; t += 500) w.engine.RunMixPass(), w.window->Tick(), w.engine.clock().Advance(500);
  };
  const std::tuple<const char*, std::function<void()>, const char*, int> rows[] = {
      {"scene recalled", [&] { ClickRow(w.scenes().list(), 1); }, "B", 200},
      {"chase played", [&] { play(0, 500); }, ">> Chase <<\nX", 0},
      {"chase stopped", [&] { Click(w.chases().button("Stop")); }, "A", 0},
      {"chase ended by itself", [&] { play(0, 4000); }, "B", 200},
      {"scene added", [&] { w.Live(40, 50), w.scenes().nameEdit()->setText("D"), Click(w.scenes().button("Add")); },
       "D", 50},
      {"scene moved up", [&] { Click(w.scenes().button("Up")); }, "D", 50},
      {"scene deleted", [&] { Click(w.scenes().button("Delete")); }, "B", 200},
      {"other chase played", [&] { play(1, 500); }, ">> Chase <<\nY", 0},
      {"running chase moved up", [&] { Click(w.chases().button("Up")); }, "A", 0},
  };
  for (const auto& [what, act, highlighted, mainFade] : rows) {
    act(), w.Pass();
    QStringList expected, shown, pressed;
    for (auto& c : w.engine.show().chases().Names()) expected << ">> Chase <<\n" + QString::fromStdString(c);
    for (auto& s : w.engine.show().scenes().Names()) expected << QString::fromStdString(s);
    for (int i = 0; i < show->buttonCount(); ++i) {
      shown << show->button(i)->text();
      if (show->button(i)->isChecked() && show->button(i)->font().bold()) pressed << show->button(i)->text();
    }
    EXPECT_EQ(shown, expected) << what;
    EXPECT_EQ(pressed, QStringList{highlighted}) << what;
    EXPECT_EQ(w.window->panel()->masterFade(kMixMain)->value(), mainFade) << what;
  }
  EXPECT_FALSE(w.chases().button("Play")->isChecked());
}

// Show mode's fade controls only set the fade and a running chase goes on; the scene window's
// take over from the chase and stop it.
TEST(ShowModeFollow, ShowModeFadeControlsKeepTheChaseRunning) {
  ShowWindows w;
  ShowModeWindow* show = w.OpenShowMode();
  ASSERT_NE(show, nullptr);
  auto* showFadeOut = show->findChild<QCheckBox*>();
  ASSERT_NE(showFadeOut, nullptr);
  EngineSettings& s = EngineWriteAccess::Settings(w.engine);
  // The chase's first step cuts (fade off); stopping it puts back fade on, step 10.
  const std::tuple<const char*, std::function<void()>, bool, int, int> rows[] = {
      {"show mode Fadetime", [&] { show->fadeTimeSlider()->setValue(6); }, true, 0, 24},
      {"show mode Fade Out", [&] { Click(showFadeOut); }, true, 1, 10},
      {"scene window Fadetime", [&] { w.scenes().fadeTime()->setValue(10); }, false, 1, 20},
      {"scene window Fade Out", [&] { Click(w.scenes().fadeOut()); }, false, 1, 10},
  };
  for (const auto& [what, act, running, fadeEnabled, fadeStep] : rows) {
    s.sceneFadeEnabled.store(1), s.sceneFadeStep.store(10);
    w.InChases(1, "Play"), w.Pass();  // Y loops
    ASSERT_EQ(w.engine.show().player().RunningChase(), 2) << what;
    act(), w.Pass();
    EXPECT_EQ(w.engine.show().player().RunningChase() == 2, running) << what;
    EXPECT_EQ(std::pair(s.sceneFadeEnabled.load(), s.sceneFadeStep.load()), std::pair(fadeEnabled, fadeStep)) << what;
    Click(w.chases().button("Stop")), w.Pass();
  }
}

// Selecting a step in "Edit Chase" previews it, and the controls showing fade and strobe follow:
// the panel's "Strobetime" and "Strobe", the scene window's "Fadetime" and "Fade Out".
TEST(ShowModeFollow, EditorStepPreviewsShowInThePanelAndTheSceneWindow) {
  ShowWindows w;
  w.Open();
  ChaseStore& store = w.engine.show().chases();
  store.EditChase(0, [](Chase& c) { c.steps[0].fade = 6; });                    // X: A with fade 6, B
  store.EditChase(1, [](Chase& c) { std::swap(c.steps[0], c.steps[1]); });     // Y: strobe 95, A
  w.engine.show().sceneList().SetFadeOut(false);
  w.window->Tick();
  ASSERT_FALSE(w.scenes().fadeOut()->isChecked() || w.window->panel()->strobeButton()->isChecked());

  w.InChases(1, "Edit"), ClickRow(w.editor().steps(), 0), w.window->Tick();
  EXPECT_TRUE(w.window->panel()->strobeButton()->isChecked());
  EXPECT_EQ(w.window->panel()->strobeTimeSlider()->value(), 10);
  Click(w.editor().button("Close"));
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  w.window->Tick();
  EXPECT_FALSE(w.window->panel()->strobeButton()->isChecked());  // put back on closing

  w.InChases(0, "Edit"), ClickRow(w.editor().steps(), 0), w.window->Tick();
  EXPECT_TRUE(w.scenes().fadeOut()->isChecked());
  EXPECT_EQ(w.scenes().fadeTime()->value(), 5);
}

// One command per kind of store change, then the normal exit: the autosave holds the change
// and the user's fade and strobe settings ("Edit Chase" open at exit puts back its previews).
TEST(AutosaveAfterExit, EveryStoreCommandOfTheShowWindowsIsSaved) {
  const std::string abc = "A:10 B:20 C:30 | ", y = " Y~[S0/1000 M95/1000]";
  auto inEditor = [](int row, const char* button) {
    return [=](ShowWindows& w) { w.Edit(row), Click(w.editor().button(button)); };
  };
  const std::pair<std::function<void(ShowWindows&)>, std::string> rows[] = {
      {[](ShowWindows& w) {  // a scene added after the selection renumbers the steps behind it
         ClickRow(w.scenes().list(), 0), w.Live(40), w.scenes().nameEdit()->setText("D");
         Click(w.scenes().button("Add"));
       }, "A:10 D:40 B:20 C:30 | X[S0/1000 S2/1000] Y~[S0/1000 M95/1000]"},
      {[](ShowWindows& w) { w.InChases(0, "Down"); }, abc + y.substr(1) + " X[S0/1000 S1/1000]"},
      {[](ShowWindows& w) { w.Edit(-1), test::Retype(w.editor().nameEdit(), "Z"); }, abc + "Z[S0/1000 S1/1000]" + y},
      {inEditor(1, "Insert New Step"), abc + "X[S0/1000 S1/1000 S0/1000]" + y},
      {inEditor(1, "Up"), abc + "X[S1/1000 S0/1000]" + y},
      {inEditor(0, "Delete"), abc + "X[S1/1000]" + y},
      {[](ShowWindows& w) {
         w.Edit(1), w.editor().sceneList()->setCurrentIndex(2), w.editor().sceneFade()->setValue(5);
         test::Retype(w.editor().durationEdit(), "2,5");
       }, abc + "X[S0/1000 S2f5/2500]" + y},
      {[](ShowWindows& w) {
         w.Edit(0), w.editor().typeList()->setCurrentIndex(kStepMasterstrobe), w.editor().strobe()->setValue(120);
       }, abc + "X[M120/1000 S1/1000]" + y},
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    const std::string dir = test::FreshTestDir("autosave_" + std::to_string(i));
    ShowWindows w({"--config-dir=" + dir});
    ASSERT_FALSE(w.lifecycle.Start()) << i;
    w.Open();
    const EngineSettings& s = w.engine.settings();
    const std::array<int, 3> before{s.sceneFadeEnabled.load(), s.sceneFadeStep.load(), s.strobeTime.load()};
    rows[i].first(w);
    w.window->close();
    EXPECT_EQ(w.lifecycle.Finish(), 0) << i;
    const Result<ProjectData> saved = ParseProject(test::ReadFileBytes(dir + "/autosave.dat"));
    ASSERT_TRUE(saved.ok()) << i;
    const ProjectData& p = *saved;
    EXPECT_EQ(Summary(p), rows[i].second) << i;
    EXPECT_EQ((std::array<int, 3>{p.sceneFadeEnabled, p.sceneFadeStep, p.strobeTime}), before) << i;
  }
}

}  // namespace
}  // namespace quor

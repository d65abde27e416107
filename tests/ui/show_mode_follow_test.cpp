// The show windows in the main window: show mode's buttons and highlight
// and the mixer panel follow what the scene and chase windows do, and every
// command of the scene window, the chase window and "Edit Chase" reaches the
// autosave written on a normal exit.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <sstream>
#include <tuple>
#include <fstream>
#include <iterator>

#include "engine/engine.h"
#include "engine/lifecycle.h"
#include "files/project_format.h"
#include "show/show.h"
#include "test_support.h"
#include "ui/chase_editor_dialog.h"
#include "ui/chase_window.h"
#include "ui/command_ids.h"
#include "ui/main_window.h"
#include "ui/mixer_panel.h"
#include "ui/preview_renderer.h"
#include "ui/scene_window.h"
#include "ui/show_mode_window.h"

namespace quor {
namespace {

void ClickRow(QListWidget* list, int row) {
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}
void ClickRow(QTreeWidget* tree, int row) {
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(tree->topLevelItem(row)).center());
}
void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
void Type(QLineEdit* edit, const char* text) {
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, text);
}

// "name:red" per scene (red = slot 0's colour), then per chase its name,
// "~" when it loops and its steps: kind letter and value, "f" fade, "a"
// autofade, "/" duration.
std::string Summary(const std::vector<Scene>& scenes, const std::vector<Chase>& chases) {
  std::ostringstream out;
  for (const Scene& s : scenes) out << s.Name() << ':' << int{s.settings[0][0]} << ' ';
  out << '|';
  for (const Chase& c : chases) {
    out << ' ' << c.Name() << (c.Loops() ? "~[" : "[");
    for (const ChaseStep& s : c.steps) {
      out << (&s == c.steps.data() ? "" : " ") << "SMCW"[std::clamp<int>(s.kind, 0, 3)] << s.value;
      if (s.kind == kStepScene && s.fade != 0) out << 'f' << s.fade;
      if (s.kind == kStepCrossfade && s.autofade != 0) out << 'a';
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
    window->show();
    window->RunCommand(kCmdSceneList);
    window->RunCommand(kCmdChaseList);
    engine.RequestType(0, test::kSolidType);
    engine.RebindSlots();
    for (auto [name, red, fade] : std::initializer_list<std::tuple<const char*, int, int>>{
             {"A", 10, 0}, {"B", 20, 200}, {"C", 30, 100}}) {
      Live(red, fade);
      engine.show().sceneList().Add(name);
    }
    ChaseStore& store = engine.show().chases();
    store.InsertChase(0, "X");
    store.InsertChase(1, "Y");
    store.EditChase(0, [](Chase& c) { c.loop = 0; });
    for (auto [chase, step] : std::initializer_list<std::pair<int, ChaseStep>>{
             {0, {kStepScene, 0, 0, 0, 1000}}, {0, {kStepScene, 1, 0, 0, 1000}},
             {1, {kStepScene, 0, 0, 0, 1000}}, {1, {kStepMasterstrobe, 95, 0, 0, 1000}}}) {
      store.InsertStep(chase, store.at(chase).StepCount(), step);
    }
    window->Tick();
  }
  // The live picture (and crossfader) a stored scene takes, after any
  // pending recall.
  void Live(int red, int mainFade = -1) {
    window->Tick();
    test::SolidIn(engine, 0)->color[0] = static_cast<uint8_t>(red);
    if (mainFade >= 0) engine.SetMainFadeByHand(mainFade);
  }
  SceneWindow& scenes() { return *window->scenes(); }
  ChaseWindow& chases() { return *window->chases(); }
  ChaseEditorDialog& editor() { return *window->chases()->editor(); }
  void InScenes(int row, const char* button) { ClickRow(scenes().list(), row), Click(scenes().button(button)); }
  void InChases(int row, const char* button) { ClickRow(chases().list(), row), Click(chases().button(button)); }
  // "Edit Chase" on X with step `row` selected (none for -1).
  void Edit(int row) {
    InChases(0, "Edit");
    if (row >= 0) ClickRow(editor().steps(), row);
  }
  void CloseEditor() {
    Click(editor().button("Close"));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  Engine engine{test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1}};
  PreviewRenderer renderer{engine};
  Lifecycle lifecycle;
  std::unique_ptr<MainWindow> window;
};

// Each row acts in the scene or chase window while show mode is open; then
// show mode has one button per chase and scene with the right one
// highlighted, and the main panel's crossfader shows the scene recalled last.
TEST(ShowModeFollow, HighlightButtonsAndPanelFollowTheWindows) {
  ShowWindows w;
  w.Open();
  w.window->RunCommand(kCmdShowMode);
  ShowModeWindow* show = w.window->showModeWindow();
  ASSERT_NE(show, nullptr);
  w.scenes().show();
  w.chases().show();
  auto play = [&w](int chase, int ms) {
    w.InChases(chase, "Play");
    for (int t = 0; t < ms; t += 500) {
      w.engine.RunMixPass();
      w.window->Tick();
      w.engine.clock().Advance(500);
    }
  };
  struct Row {
    const char* what;
    std::function<void()> act;
    const char* highlighted;
    int mainFade;
  };
  const Row rows[] = {
      {"scene recalled", [&] { ClickRow(w.scenes().list(), 1); }, "B", 200},
      {"chase played", [&] { play(0, 500); }, ">> Chase <<\nX", 0},
      {"chase stopped", [&] { Click(w.chases().button("Stop")); }, "A", 0},
      {"chase ended by itself", [&] { play(0, 4000); }, "B", 200},
      {"scene added", [&] { w.Live(40, 50), w.scenes().nameEdit()->setText("D"), Click(w.scenes().button("Add")); },
       "D", 50},
      {"scene moved up", [&] { Click(w.scenes().button("Up")); }, "D", 50},
      {"scene deleted", [&] { Click(w.scenes().button("Delete")); }, "B", 200},
      {"chase added", [&] { w.InChases(0, "Add"), w.CloseEditor(); }, "B", 200},
      {"chase deleted", [&] { w.InChases(1, "Delete"); }, "B", 200},
      {"other chase played", [&] { play(1, 500); }, ">> Chase <<\nY", 0},
      {"running chase moved up", [&] { Click(w.chases().button("Up")); }, "A", 0},
  };
  for (const Row& row : rows) {
    row.act();
    w.engine.RunMixPass();
    w.window->Tick();
    QStringList expected, shown;
    for (const std::string& c : w.engine.show().chases().Names()) {
      expected << ">> Chase <<\n" + QString::fromStdString(c);
    }
    for (const std::string& s : w.engine.show().scenes().Names()) expected << QString::fromStdString(s);
    int pressed = 0;
    for (int i = 0; i < show->buttonCount(); ++i) {
      shown << show->button(i)->text();
      pressed += show->button(i)->isChecked() ? 1 : 0;
    }
    EXPECT_EQ(shown.join(", ").toStdString(), expected.join(", ").toStdString()) << row.what;
    EXPECT_EQ(pressed, 1) << row.what;
    ASSERT_GE(show->highlighted(), 0) << row.what;
    EXPECT_EQ(show->button(show->highlighted())->text().toStdString(), row.highlighted) << row.what;
    EXPECT_TRUE(show->button(show->highlighted())->font().bold()) << row.what;
    EXPECT_EQ(w.window->panel()->masterFade(kMixMain)->value(), row.mainFade) << row.what;
  }
  EXPECT_FALSE(w.chases().button("Play")->isChecked());
}

// One command per row through the real widgets, then the normal exit (the
// main window closed, Lifecycle::Finish): the autosave holds the change and
// the fade and strobe settings the user had ("Edit Chase" left open at exit
// puts back what its previews changed).
TEST(AutosaveAfterExit, EveryStoreCommandOfTheShowWindowsIsSaved) {
  struct Row {
    const char* what;
    std::function<void(ShowWindows&)> act;
    std::string saved;
  };
  const std::string abc = "A:10 B:20 C:30 | ", x = "X[S0/1000 S1/1000]", y = "Y~[S0/1000 M95/1000]";
  const std::string moved = "B:20 A:10 C:30 | X[S1/1000 S0/1000] Y~[S1/1000 M95/1000]";
  // Selects a scene, sets the live picture and the name box, clicks `button`.
  auto store = [](int row, int red, const char* name, const char* button) {
    return [=](ShowWindows& w) {
      ClickRow(w.scenes().list(), row), w.Live(red), w.scenes().nameEdit()->setText(name);
      Click(w.scenes().button(button));
    };
  };
  const Row rows[] = {
      {"Add after the selection", store(0, 40, "D", "Add"),
       "A:10 D:40 B:20 C:30 | X[S0/1000 S2/1000] Y~[S0/1000 M95/1000]"},
      {"Return in the name box", [](ShowWindows& w) {
         ClickRow(w.scenes().list(), 2), w.Live(50), Type(w.scenes().nameEdit(), "E");
         QTest::keyClick(w.scenes().nameEdit(), Qt::Key_Return);
       }, "A:10 B:20 C:30 E:50 | " + x + " " + y},
      {"Replace", store(1, 99, "", "Replace"), "A:10 B:99 C:30 | " + x + " " + y},
      {"Replace with a name", store(1, 77, "F", "Replace"), "A:10 F:77 C:30 | " + x + " " + y},
      {"Delete", [](ShowWindows& w) { w.InScenes(2, "Delete"); }, "A:10 B:20 | " + x + " " + y},
      {"Up", [](ShowWindows& w) { w.InScenes(1, "Up"); }, moved},
      {"Down", [](ShowWindows& w) { w.InScenes(0, "Down"); }, moved},
      {"chase Add", [](ShowWindows& w) { w.InChases(0, "Add"), w.CloseEditor(); }, abc + x + " New Chase 3~[] " + y},
      {"chase Delete", [](ShowWindows& w) { w.InChases(1, "Delete"); }, abc + x},
      {"chase Up", [](ShowWindows& w) { w.InChases(1, "Up"); }, abc + y + " " + x},
      {"chase Down", [](ShowWindows& w) { w.InChases(0, "Down"); }, abc + y + " " + x},
      {"editor name", [](ShowWindows& w) { w.Edit(-1), Type(w.editor().nameEdit(), "Z"); },
       abc + "Z[S0/1000 S1/1000] " + y},
      {"editor loop", [](ShowWindows& w) { w.Edit(-1), Click(w.editor().loopBox()); },
       abc + "X~[S0/1000 S1/1000] " + y},
      {"step add", [](ShowWindows& w) { w.Edit(-1), Click(w.editor().button("Insert New Step")); },
       abc + "X[S0f21/10000 S0/1000 S1/1000] " + y},
      {"step insert", [](ShowWindows& w) { w.Edit(1), Click(w.editor().button("Insert New Step")); },
       abc + "X[S0/1000 S1/1000 S0/1000] " + y},
      {"step up", [](ShowWindows& w) { w.Edit(1), Click(w.editor().button("Up")); }, abc + "X[S1/1000 S0/1000] " + y},
      {"step down", [](ShowWindows& w) { w.Edit(0), Click(w.editor().button("Down")); }, abc + "X[S1/1000 S0/1000] " + y},
      {"step delete", [](ShowWindows& w) { w.Edit(0), Click(w.editor().button("Delete")); }, abc + "X[S1/1000] " + y},
      {"step scene, fade, duration", [](ShowWindows& w) {
         w.Edit(1), w.editor().sceneList()->setCurrentIndex(2), w.editor().sceneFade()->setValue(5);
         Type(w.editor().durationEdit(), "2,5");
       }, abc + "X[S0/1000 S2f5/2500] " + y},
      {"step strobe", [](ShowWindows& w) {
         w.Edit(0), w.editor().typeList()->setCurrentIndex(kStepMasterstrobe), w.editor().strobe()->setValue(120);
       }, abc + "X[M120/1000 S1/1000] " + y},
      {"step crossfade", [](ShowWindows& w) {
         w.Edit(0), w.editor().typeList()->setCurrentIndex(kStepCrossfade), Click(w.editor().autofade());
         w.editor().crossfade()->setValue(2);
       }, abc + "X[C2a/1000 S1/1000] " + y},
  };
  int index = 0;
  for (const Row& row : rows) {
    const std::string dir = test::FreshTestDir("autosave_" + std::to_string(index++));
    ShowWindows w({"--config-dir=" + dir});
    ASSERT_FALSE(w.lifecycle.Start()) << row.what;
    w.Open();
    const EngineSettings& s = w.engine.settings();
    const std::array<int, 3> before{s.sceneFadeEnabled.load(), s.sceneFadeStep.load(), s.strobeTime.load()};
    row.act(w);
    w.window->close();
    EXPECT_EQ(w.lifecycle.Finish(), 0) << row.what;
    std::ifstream file(dir + "/autosave.dat", std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
    const ProjectParseResult saved = ParseProject(bytes);
    ASSERT_TRUE(saved.project) << row.what;
    const ProjectData& p = *saved.project;
    EXPECT_EQ(Summary(p.scenes, p.chases), row.saved) << row.what;
    EXPECT_EQ((std::array<int, 3>{p.sceneFadeEnabled, p.sceneFadeStep, p.strobeTime}), before) << row.what;
  }
}

}  // namespace
}  // namespace quor

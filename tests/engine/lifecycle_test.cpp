// The start-up and exit both hosts share: timers, wake-up, autostart, show window placement, autosave backup.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "engine/lifecycle.h"
#include "engine/project_file.h"
#include "show/show.h"
#include "test_support.h"
#include "tests/engine/started_lifecycle.h"

namespace quor {
namespace {

constexpr EngineOptions kManual{FrameClock::Mode::kManual, 1};

// Writes `dir`/autosave.dat with what `prepare` makes.
void WriteAutosave(const std::string& dir, const std::function<void(Engine&)>& prepare) {
  Engine setup(test::TestRegistry(), kManual);
  prepare(setup);
  ASSERT_EQ(SaveProject(setup, dir + "/autosave.dat").status, ProjectFileStatus::kDone);
}

// Scenes A, B and the chases X, Y (two 3 s scene steps each).
void TwoScenesTwoChases(Engine& e) {
  for (const char* name : {"A", "B"}) e.show().sceneList().Add(name);
  for (int c = 0; c < 2; ++c) {
    e.show().chases().InsertChase(c, c == 0 ? "X" : "Y");
    for (int s = 0; s < 2; ++s) e.show().chases().InsertStep(c, s, ChaseStep{kStepScene, s, 0, 0, 3000});
  }
}

using Started = test::StartedLifecycle;

// A start-up size used to start the five timers a second time inside the resize.
TEST(Lifecycle, StartsOneSetOfTimersWhateverSizeTheMatrixStartsAt) {
  const struct {
    int savedWidth, savedHeight;
    const char* matrixOption;  // "" none
    int width, height;
  } rows[] = {{32, 16, "", 32, 16}, {64, 32, "", 64, 32}, {32, 16, "--matrix=48x24", 48, 24}, {64, 32, "--matrix=16x8", 16, 8}};
  for (const auto& row : rows) {
    const std::string dir = test::FreshTestDir("lifecycle_timers");
    WriteAutosave(dir, [&](Engine& e) { ASSERT_TRUE(e.ResizeMatrix(row.savedWidth, row.savedHeight)); });
    Started run(dir, *row.matrixOption ? std::vector<std::string>{row.matrixOption} : std::vector<std::string>{});
    ASSERT_FALSE(run.lifecycle.Start());
    EXPECT_EQ(std::pair(run.engine.width(), run.engine.height()), std::pair(row.width, row.height));
    EXPECT_EQ(run.engine.clock().ActiveTimerCount(), kSlotCount + 1) << row.width << "x" << row.height;
    run.engine.clock().Advance(1000);  // 25 mix passes, not 50
    EXPECT_EQ(run.engine.flags().frameCounter.load(), 25);
    EXPECT_EQ(run.lifecycle.Finish(), 0);
  }
}

// A recall asked for on the clock thread wakes the host's loop; after the exit nothing calls the host.
TEST(Lifecycle, InstallsTheHostsWakeUpUntilTheExit) {
  std::atomic<int> wakes{0};
  Started run(test::FreshTestDir("lifecycle_wake"), {}, LifecycleOptions{.wakeMainThread = [&] { wakes.fetch_add(1); }});
  ASSERT_FALSE(run.lifecycle.Start());
  std::thread([&] { run.engine.RequestSceneRecall(0); }).join();
  EXPECT_EQ(wakes.load(), 1);
  EXPECT_EQ(run.lifecycle.Finish(), 0);
  run.engine.RequestSceneRecall(0);
  EXPECT_EQ(wakes.load(), 1);
}

// -C and -S select what they start in their list; the command line prints only its own "-Autostart" lines.
TEST(Lifecycle, AutostartSelectsWhatItStartsInItsList) {
  const struct {
    const char* option;
    int chaseSelection, sceneSelection, pendingChase, pendingScene;
  } rows[] = {{"-C2", 1, -1, 2, -1}, {"-S2", -1, 1, 0, 1}, {"-C3", -1, -1, 0, -1}};
  for (const auto& row : rows) {
    const std::string dir = test::FreshTestDir("lifecycle_autostart");
    WriteAutosave(dir, TwoScenesTwoChases);
    Started run(dir, {row.option});
    ASSERT_FALSE(run.lifecycle.Start());
    Show& show = run.engine.show();
    EXPECT_EQ(std::tuple(show.chaseList().selection(), show.chaseList().PlayPressed(), show.player().PendingCommand(),
                         show.sceneList().selection(), run.engine.PendingSceneIndex(), run.console.Count("Starting Chase")),
              std::tuple(row.chaseSelection, row.pendingChase > 0, row.pendingChase, row.sceneSelection,
                         row.pendingScene, 0)) << row.option;
    run.lifecycle.Finish();
  }
}

// The start-up load keeps the show mode window on the host's desktop, as File > Open does.
// Without one (headless) the exit autosave writes back the window layout it loaded, byte for byte.
TEST(Lifecycle, StartupLoadKeepsShowModeOnTheDesktop) {
  for (const bool desktop : {false, true}) {
    const std::string dir = test::FreshTestDir("lifecycle_desktop");
    WriteAutosave(dir, [](Engine& e) {
      e.SetWindowLayout({.previewAspect = 1, .previewGrid = 0, .showWindow = {3000, 2000, 640, 480, 80, 40}});
    });
    const std::vector<uint8_t> loaded = test::ReadFileBytes(dir + "/autosave.dat");
    LifecycleOptions options;
    if (desktop) options.desktop = ScreenEdges{1024, 768};
    Started run(dir, {}, options);
    ASSERT_FALSE(run.lifecycle.Start());
    const ShowWindowPlacement& window = run.engine.windowLayout().showWindow;
    EXPECT_EQ(std::pair(window.left, window.top),
              desktop ? std::pair(0, 0) : std::pair(3000, 2000));
    EXPECT_EQ(run.lifecycle.Finish(), 0);
    if (!desktop) {
      EXPECT_EQ(test::ReadFileBytes(dir + "/autosave.dat"), loaded);
    }
  }
}

// Saves at window close and at exit: the backup stays the show from before this run.
TEST(Lifecycle, AutosavesOfOneRunKeepTheShowBeforeItAsBackup) {
  const std::string dir = test::FreshTestDir("lifecycle_backup");
  WriteAutosave(dir, TwoScenesTwoChases);
  const std::vector<uint8_t> before = test::ReadFileBytes(dir + "/autosave.dat");
  Started run(dir, {});
  ASSERT_FALSE(run.lifecycle.Start());
  run.engine.show().chases().RemoveChase(1);
  ASSERT_EQ(run.lifecycle.SaveAutosave().status, ProjectFileStatus::kDone);
  run.engine.show().chases().RemoveChase(0);
  EXPECT_EQ(run.lifecycle.Finish(), 0);
  EXPECT_EQ(test::ReadFileBytes(dir + "/autosave.dat.bak"), before);
  const Result<ProjectData> saved = ParseProject(test::ReadFileBytes(dir + "/autosave.dat"));
  ASSERT_TRUE(saved.ok());
  EXPECT_TRUE(saved->chases.empty());
}

}  // namespace
}  // namespace quor

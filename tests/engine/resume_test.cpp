// A project started again comes back as it was left: the state kept in its
// side file is put back after the load, the command line still wins, and a
// damaged side file changes nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "engine/lifecycle.h"
#include "engine/project_file.h"
#include "files/side_file.h"
#include "show/show.h"
#include "test_support.h"
#include "tests/engine/started_lifecycle.h"
#include "tests/output/udp_receiver.h"

namespace quor {
namespace {

constexpr EngineOptions kManual{FrameClock::Mode::kManual, 1};

// show.qrx: scenes A, B (solid colours), chases X, Y (two 3 s scene steps),
// one Art-Net device to `port`, outputs stopped.
std::string WriteShow(const std::string& dir, int port) {
  Engine setup(test::TestRegistry(), kManual);
  for (const char* name : {"A", "B"}) {
    setup.SelectEffect(0, EffectListPosition(test::kSolidType));
    setup.RebindSlots();
    setup.EditGenerator(0, [&](Generator& g) { dynamic_cast<test::SolidGenerator&>(g).color[0] = name[0]; });
    setup.show().sceneList().Add(name);
  }
  for (int c = 0; c < 2; ++c) {
    setup.show().chases().InsertChase(c, c == 0 ? "X" : "Y");
    for (int s = 0; s < 2; ++s) setup.show().chases().InsertStep(c, s, ChaseStep{kStepScene, s, 0, 0, 3000});
  }
  setup.SelectEffect(0, 0);
  OutputDevice device;
  device.driver = kDriverArtNet, device.port = port, device.channels = 3;
  device.SetAddress("127.0.0.1");
  setup.outputs().devices().Add(device);
  const std::string path = dir + "/show.qrx";
  EXPECT_EQ(SaveProject(setup, path).status, ProjectFileStatus::kDone);
  return path;
}

using Running = test::StartedLifecycle;

int SolidColor(Engine& e, int slot) {
  const test::SolidGenerator* solid = test::SolidIn(e, slot);
  return solid ? solid->color[0] * 65536 + solid->color[1] * 256 + solid->color[2] : -1;
}

// Each kind of state, changed in one run, is there again after a restart of
// the same project, whose file stays as it was.
TEST(Resume, EveryKindOfStateComesBack) {
  test::UdpReceiver receiver;
  ResumeWindows reported{};
  const struct {
    const char* what;
    std::function<void(Engine&)> change;
    std::function<int(Engine&, Lifecycle&)> value;
  } rows[] = {
      {"effect and settings",
       [](Engine& e) {
         e.SelectEffect(2, EffectListPosition(test::kSolidType));
         e.RebindSlots();
         e.EditGenerator(2, [](Generator& g) {
           auto& solid = dynamic_cast<test::SolidGenerator&>(g);
           solid.color[0] = 1, solid.color[1] = 2, solid.color[2] = 3;
         });
       },
       [](Engine& e, Lifecycle&) { return SolidColor(e, 2); }},
      {"speed", [](Engine& e) { e.SetSlotSpeed(1, 10); },
       [](Engine& e, Lifecycle&) { return e.panel().speed[1].load() * 1000 + e.SlotTimerPeriod(1); }},
      {"invert", [](Engine& e) { e.SetInvert(3, true); }, [](Engine& e, Lifecycle&) { return e.panel().invert[3].load(); }},
      {"merge mode", [](Engine& e) { e.SetMergeMode(kMixMain, 4); },
       [](Engine& e, Lifecycle&) { return e.panel().mergeMode[kMixMain].load(); }},
      {"channel fade", [](Engine& e) { e.SetChannelFade(kMixChannel2, 33); },
       [](Engine& e, Lifecycle&) { return e.panel().masterFade[kMixChannel2].load(); }},
      {"crossfader", [](Engine& e) { e.SetMainFadeByHand(201); },
       [](Engine& e, Lifecycle&) { return e.panel().masterFade[kMixMain].load(); }},
      {"master level", [](Engine& e) { e.SetMasterLevel(77); },
       [](Engine& e, Lifecycle&) { return e.settings().masterLevel.load(); }},
      {"strobe", [](Engine& e) { e.SetStrobeTime(6), e.SetStrobe(true); },
       [](Engine& e, Lifecycle&) { return e.settings().strobeCounter.load() >= 0 ? e.settings().strobeTime.load() : 0; }},
      {"beat sync and triggers", [](Engine& e) { e.SetStrobeBeat(2), e.SetBeatTrigger(1, true); },
       [](Engine& e, Lifecycle&) { return e.StrobeBeat() * 10 + (e.BeatTrigger(1) ? 1 : 0) + (e.BeatTrigger(0) ? 5 : 0); }},
      {"last scene",
       [](Engine& e) {
         e.show().sceneList().ShowSelection(1);  // as a scene button does
         e.RecallScene(1);
         e.SetChannelFade(kMixChannel1, 5);  // moved by hand after the recall
       },
       [](Engine& e, Lifecycle&) {
         return e.LastRecalledScene() * 1000 + e.panel().masterFade[kMixChannel1].load() * 10 +
                e.show().sceneList().selection();
       }},
      {"chase and step",
       [](Engine& e) {
         e.show().chaseList().StartAt(1);
         e.clock().Advance(3100);  // the second step is on
       },
       [](Engine& e, Lifecycle&) {
         return e.show().player().RunningChase() * 100 + e.show().chaseList().selection() * 10 +
                (e.show().player().StepIndex() + 1) % 2;  // the step shown
       }},
      {"outputs", [](Engine& e) { e.OpenOutputs(); },
       [](Engine& e, Lifecycle&) { return static_cast<int>(e.flags().outputState.load()); }},
      {"windows", [&](Engine&) { reported = {.scenes = true, .chases = false, .showMode = true}; },
       [](Engine&, Lifecycle& l) {
         const std::optional<ResumeWindows> w = l.windowsToReopen();
         return w ? w->scenes * 100 + w->chases * 10 + w->showMode : -1;
       }},
  };
  for (const auto& row : rows) {
    const std::string dir = test::FreshTestDir("resume_kinds");
    const std::string show = WriteShow(dir, receiver.port());
    const std::vector<uint8_t> projectBytes = test::ReadFileBytes(show);
    reported = {};
    LifecycleOptions options{.openWindows = [&] { return std::optional(reported); }};
    int before = 0, changed = 0;
    {
      Running first(dir, {show}, options);
      ASSERT_FALSE(first.lifecycle.Start());
      first.engine.clock().Advance(40);
      before = row.value(first.engine, first.lifecycle);
      row.change(first.engine);
      changed = row.value(first.engine, first.lifecycle);
      first.engine.clock().Advance(40);
      EXPECT_EQ(first.lifecycle.Finish(), 0);
    }
    EXPECT_EQ(test::ReadFileBytes(show), projectBytes) << row.what;
    EXPECT_TRUE(std::filesystem::exists(dir + "/show.qrx.json")) << row.what;
    if (std::string(row.what) != "windows") {
      EXPECT_NE(before, changed) << row.what;
    }

    Running again(dir, {show}, options);
    ASSERT_FALSE(again.lifecycle.Start());
    again.engine.clock().Advance(40);
    again.engine.PostMessageWork();
    if (std::string(row.what) == "windows") changed = 101;
    EXPECT_EQ(row.value(again.engine, again.lifecycle), changed) << row.what;
    EXPECT_EQ(again.console.Count("Resuming the show as it was left"), 1) << row.what;
    again.lifecycle.Finish();
    // The exit autosave is the same show: its side file has the state too.
    Running fromAutosave(dir, {}, options);
    ASSERT_FALSE(fromAutosave.lifecycle.Start());
    fromAutosave.engine.clock().Advance(40);
    fromAutosave.engine.PostMessageWork();
    EXPECT_EQ(row.value(fromAutosave.engine, fromAutosave.lifecycle), changed) << row.what << " (autosave)";
    fromAutosave.lifecycle.Finish();
  }
}

// -S, -C and --slot ask for something else: what they name is theirs.
TEST(Resume, TheCommandLineWins) {
  test::UdpReceiver receiver;
  const std::string dir = test::FreshTestDir("resume_command_line");
  const std::string show = WriteShow(dir, receiver.port());
  {
    Running first(dir, {show});
    ASSERT_FALSE(first.lifecycle.Start());
    first.engine.SelectEffect(0, EffectListPosition(test::kSolidType));
    first.engine.RebindSlots();
    first.engine.SetMasterLevel(90);
    first.engine.show().chaseList().StartAt(1);
    first.engine.clock().Advance(40);
    first.lifecycle.Finish();
  }
  const std::vector<uint8_t> keptBytes = test::ReadFileBytes(dir + "/show.qrx.json");
  const std::string kept(keptBytes.begin(), keptBytes.end());
  const struct {
    const char* option;
    int slot0Type, runningChase, pendingScene;  // runningChase -1: none ever ran
  } rows[] = {{"-S1", test::kSolidType, -1, 0}, {"-C1", test::kSolidType, 1, -1}, {"--slot=0:0", 0, 2, -1}};
  for (const auto& row : rows) {
    Running again(dir, {show, row.option});
    ASSERT_FALSE(again.lifecycle.Start());
    EXPECT_EQ(again.engine.PendingSceneIndex(), row.pendingScene) << row.option;
    again.engine.clock().Advance(40);
    EXPECT_EQ(std::tuple(again.engine.RequestedType(0), again.engine.show().player().RunningChase(),
                         again.engine.settings().masterLevel.load()),
              std::tuple(row.slot0Type, row.runningChase, 90))
        << row.option;
    again.engine.outputs().CloseOutputs();
    again.lifecycle.Finish();
    // Each row starts from the first run's state.
    std::ofstream(dir + "/show.qrx.json", std::ios::binary) << kept;
  }
}

// A damaged or hostile side file is reported once and the project loads as
// without one; the run then writes a sound file in its place.
TEST(Resume, DamagedSideFileChangesNothing) {
  test::UdpReceiver receiver;
  const struct {
    const char* what;
    std::string text;
  } rows[] = {
      {"not JSON", "{\"resume\": [1, 2"},
      {"level out of range", R"({"resume": {"slots": [], "mixes": [], "masterLevel": 999}})"},
      {"wrong types", R"({"resume": {"slots": "x", "mixes": 3, "scene": "1"}})"},
  };
  for (const auto& row : rows) {
    const std::string dir = test::FreshTestDir("resume_damaged");
    const std::string show = WriteShow(dir, receiver.port());
    std::ofstream(dir + "/show.qrx.json") << row.text;
    Running run(dir, {show});
    ASSERT_FALSE(run.lifecycle.Start());
    EXPECT_EQ(run.console.Count("Ignoring the resume state in"), 1) << row.what << run.console.Text();
    EXPECT_EQ(run.console.Count("Resuming the show"), 0) << row.what;
    EXPECT_EQ(std::tuple(run.engine.settings().masterLevel.load(), run.engine.LastRecalledScene(),
                         run.engine.flags().outputState.load()),
              std::tuple(255, -1, kOutputStopped))
        << row.what;
    run.engine.SetMasterLevel(12);
    EXPECT_EQ(run.lifecycle.Finish(), 0);
    const SideFileRead read = ReadSideFile(dir + "/show.qrx.json");
    EXPECT_EQ(read.problem, "") << row.what;
    EXPECT_EQ(SideInt(SideSection(read, kResumeSection), "masterLevel", 0, 255), 12) << row.what;
  }
}

// While running, a change reaches the side file within the keep interval,
// at most once per interval, and nothing is written while nothing changes.
TEST(Resume, KeepsTheStateWhileRunningOncePerInterval) {
  test::UdpReceiver receiver;
  const std::string dir = test::FreshTestDir("resume_keep");
  const std::string show = WriteShow(dir, receiver.port());
  const std::string side = dir + "/show.qrx.json";
  Running run(dir, {show});
  ASSERT_FALSE(run.lifecycle.Start());
  EXPECT_EQ(run.lifecycle.resumePath(), side);
  run.engine.SetMasterLevel(40);
  run.lifecycle.KeepResumeState();
  EXPECT_FALSE(std::filesystem::exists(side));  // within the interval of the start
  std::this_thread::sleep_for(kResumeKeepInterval + std::chrono::milliseconds(50));
  run.lifecycle.KeepResumeState();
  ASSERT_TRUE(std::filesystem::exists(side));
  EXPECT_EQ(SideInt(SideSection(ReadSideFile(side), kResumeSection), "masterLevel", 0, 255), 40);
  // Unchanged: not written again (the removed file stays away).
  std::filesystem::remove(side);
  std::this_thread::sleep_for(kResumeKeepInterval + std::chrono::milliseconds(50));
  run.lifecycle.KeepResumeState();
  EXPECT_FALSE(std::filesystem::exists(side));
  run.engine.SetMasterLevel(41);
  run.lifecycle.KeepResumeState();
  EXPECT_FALSE(std::filesystem::exists(side));  // the interval has not passed since the last look
  std::this_thread::sleep_for(kResumeKeepInterval + std::chrono::milliseconds(50));
  run.lifecycle.KeepResumeState();
  EXPECT_EQ(SideInt(SideSection(ReadSideFile(side), kResumeSection), "masterLevel", 0, 255), 41);
  run.lifecycle.Finish();
}

// After File > Open or Save As the state belongs to that file, not to the
// project the program started with.
TEST(Resume, FollowsTheProjectFileTheShowNowBelongsTo) {
  test::UdpReceiver receiver;
  const std::string dir = test::FreshTestDir("resume_follow");
  const std::string show = WriteShow(dir, receiver.port());
  Running run(dir, {show});
  ASSERT_FALSE(run.lifecycle.Start());
  run.lifecycle.FollowProject(dir + "/other.qrx");
  EXPECT_EQ(run.lifecycle.resumePath(), dir + "/other.qrx.json");
  run.engine.SetMasterLevel(66);
  EXPECT_EQ(run.lifecycle.Finish(), 0);
  EXPECT_FALSE(std::filesystem::exists(dir + "/show.qrx.json"));
  for (const char* side : {"/other.qrx.json", "/autosave.dat.json"}) {
    EXPECT_EQ(SideInt(SideSection(ReadSideFile(dir + side), kResumeSection), "masterLevel", 0, 255), 66) << side;
  }
}

}  // namespace
}  // namespace quor

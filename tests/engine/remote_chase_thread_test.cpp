// Remote chase commands from the input thread while the clock runs and the main thread edits chases and reopens the
// input (TSan target): the remote input only leaves requests; the chase list and stores are touched on the main thread
// alone.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string_view>
#include <thread>

#include "engine/engine.h"
#include "input/remote_control.h"
#include "show/show.h"
#include "test_support.h"

namespace quor {
namespace {

using namespace std::chrono_literals;

TEST(RemoteChaseThread, DatagramsStartChasesWhileTheChaseListIsEdited) {
  Engine engine(test::TestRegistry(), EngineOptions{FrameClock::Mode::kThread, 1});
  engine.console().SetSink([](std::string_view) {});
  std::atomic<int> wakes{0};
  engine.EditHooks([&wakes](EngineHooks& hooks) { hooks.wakeMainThread = [&wakes] { wakes.fetch_add(1); }; });
  Show& show = engine.show();
  for (const char* name : {"A", "B"}) ASSERT_TRUE(show.sceneList().Add(name));
  for (int c = 0; c < 3; ++c) {
    ASSERT_TRUE(show.chases().InsertChase(c, "Chase"));
    for (int s = 0; s < 2; ++s) ASSERT_TRUE(show.chases().InsertStep(c, s, ChaseStep{kStepScene, s, 0, 0, 1000}));
  }
  RemoteInputSettings& input = engine.remoteInputSettings();
  input.inputType = kRemoteTpm2Net, input.listenPort = test::FreeLoopbackPort();
  ASSERT_TRUE(engine.remote().OpenRemoteInput());
  engine.StartClock();

  // A console cycling through chases 1 to 4 (4 may not exist), with 0 between them to re-arm.
  // Each value is held for 60 ms, so that a value is not skipped by the scheduler.
  std::atomic<bool> stop{false};
  std::thread console([&stop, port = input.listenPort] {
    test::LoopbackSender sender(port);
    for (int i = 0; !stop.load(); ++i) {
      const int held = i / 12;
      const uint8_t chase = held % 2 == 0 ? 0 : static_cast<uint8_t>(1 + held / 2 % 4);
      sender.Send({0x9C, 0xDA, 0x00, 0x04, 0x01, 0x01, 0, chase, 255, 0, 0x36});
      std::this_thread::sleep_for(5ms);
    }
  });

  // The main thread: the chase window's and the editor's commands, each followed by the
  // loop's work that carries out the remote requests. (No step previews: each recalls a
  // scene, which restarts the timers, and a recall every few milliseconds would keep the
  // mix timer from ever ticking.)
  ChaseList& list = show.chaseList();
  ChaseEditor& editor = show.editor();
  // A chase start waiting for the player after the loop's work came from the console: the
  // window's own Play is always followed by Stop before the work runs.
  int remoteStarts = 0;
  bool startWaiting = false;
  const auto end = std::chrono::steady_clock::now() + 2s;
  for (int round = 0; std::chrono::steady_clock::now() < end; ++round) {
    switch (round % 6) {
      case 0:
        if (list.Add().editorChase >= 0) {
          editor.SetDurationText("1");
          editor.InsertStep(), editor.InsertStep();
          list.Refresh(editor.Close());
        }
        break;
      case 1:
        list.Select(round % 3), list.MoveDown();
        break;
      case 2:
        if (!list.EditAt(1).error) {
          editor.InsertStep(), editor.SetName("Edited"), editor.DeleteStep();
          list.Refresh(editor.Close());
        }
        break;
      case 3:
        list.Select(1), list.MoveUp();
        break;
      case 4:
        list.Select(show.chases().count() - 1);
        if (show.chases().count() > 3) list.Delete();
        break;
      default:
        list.Select(0), list.Play(), list.Stop();
        break;
    }
    if (round % 10 == 9) {  // the settings applied again: closed and opened while datagrams arrive
      engine.remote().CloseRemoteInput();
      ASSERT_TRUE(engine.remote().OpenRemoteInput());
    }
    engine.PostMessageWork();
    const bool waiting = show.player().PendingCommand() > 0;
    remoteStarts += waiting && !startWaiting;
    startWaiting = waiting;
    std::this_thread::sleep_for(2ms);
  }
  stop.store(true);
  console.join();
  engine.StopClock();
  engine.PostMessageWork();
  EXPECT_GT(engine.remote().counters().frames.load(), 20);
  EXPECT_GT(remoteStarts, 5) << "remote chase starts carried out on the main thread";
  EXPECT_GT(wakes.load(), 5) << "each remote chase command wakes the main thread";
  EXPECT_LE(show.chases().count(), kMaxShowChases);
}

}  // namespace
}  // namespace quor

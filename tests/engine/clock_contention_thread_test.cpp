// Commands from another thread against a running mix pass: a command must
// always win over the pass's own write-back, and stopping the clock or
// changing a timer must not wait for a tick that waits for the caller.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/engine.h"
#include "test_support.h"

namespace quor {
namespace {

using Clock = std::chrono::steady_clock;

// Runs the mix pass flat out on a thread of its own (the clock stays
// stopped, so RunMixPass may be called from any thread).
class FlatOutMixPass {
 public:
  explicit FlatOutMixPass(Engine& engine) : engine_(engine), thread_([this] { Run(); }) {}
  ~FlatOutMixPass() {
    stop_.store(true);
    thread_.join();
  }
  // Waits until two more passes have completed (the second started after now).
  void WaitTwoPasses() {
    const int start = engine_.flags().frameCounter.load();
    while (engine_.flags().frameCounter.load() - start < 2) std::this_thread::yield();
  }

 private:
  void Run() {
    while (!stop_.load()) engine_.RunMixPass();
  }
  Engine& engine_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct LostUpdateCase {
  const char* name;
  // Puts the engine into the state the pass keeps writing back.
  void (*arm)(Engine&);
  // The command from the other thread.
  void (*command)(Engine&);
  // True when the command's effect survived.
  bool (*held)(Engine&);
};

TEST(ClockContention, ACommandFromAnotherThreadAlwaysWinsOverTheMixPass) {
  const LostUpdateCase cases[] = {
      {"strobe off",
       [](Engine& e) {
         e.SetStrobeTime(1);
         e.SetStrobe(true);
       },
       [](Engine& e) { e.SetStrobe(false); }, [](Engine& e) { return e.settings().strobeCounter.load() == -1; }},
      {"crossfader moved by hand during a glide",
       [](Engine& e) {
         e.SetMainFadeByHand(0);
         e.StartMainGlide(kGlideToEnd);
       },
       [](Engine& e) { e.SetMainFadeByHand(101); },  // odd: never a glide position
       [](Engine& e) {
         return e.panel().masterFade[kMixMain].load() == 101 && e.settings().mainFadeDirection.load() == kGlideNone;
       }},
  };
  for (const LostUpdateCase& c : cases) {
    SCOPED_TRACE(c.name);
    Engine engine(test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1});
    FlatOutMixPass pass(engine);
    int lost = 0;
    int rounds = 0;
    // The window between the pass's read and its write is short: many
    // rounds, bounded by time so that slow (sanitizer) builds stay quick.
    const auto end = Clock::now() + std::chrono::seconds(2);
    for (; rounds < 20000 && Clock::now() < end && lost == 0; ++rounds) {
      c.arm(engine);
      for (int spin = rounds % 64; spin > 0; --spin) std::this_thread::yield();
      c.command(engine);
      pass.WaitTwoPasses();
      if (!c.held(engine)) ++lost;
    }
    EXPECT_EQ(lost, 0) << "the mix pass undid the command in round " << rounds;
  }
}

TEST(ClockContention, StoppingTheClockOrChangingASpeedInsideTheTickLockReturns) {
  Engine engine(test::TestRegistry(), EngineOptions{FrameClock::Mode::kThread, 1});
  engine.StartClock();
  // Each time, a tick falls due while the lock is held and waits for it.
  test::FinishesWithin(5000, "SetSlotSpeed inside WithTickLock", [&] {
    engine.WithTickLock([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(60));
      engine.SetSlotSpeed(0, 10);
    });
  });
  EXPECT_EQ(engine.SlotTimerPeriod(0), 100);
  test::FinishesWithin(5000, "StopClock inside WithTickLock", [&] {
    engine.WithTickLock([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(60));
      engine.StopClock();
    });
  });
  EXPECT_FALSE(engine.ClockRunning());
  // The tick that waited found its timer gone and did nothing; the clock
  // starts again normally.
  const int before = engine.flags().frameCounter.load();
  engine.StartClock();
  const auto end = Clock::now() + std::chrono::seconds(2);
  while (engine.flags().frameCounter.load() == before && Clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_GT(engine.flags().frameCounter.load(), before);
  engine.StopClock();
}

}  // namespace
}  // namespace quor

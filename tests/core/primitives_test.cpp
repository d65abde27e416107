#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "core/frame_clock.h"
#include "core/random_source.h"
#include "test_support.h"

namespace quor {
namespace {

TEST(Console, PrintFormatsLongAndShortLinesIntoTheSink) {
  Console console;
  test::ConsoleCapture capture(console);
  const std::string longText(1000, 'x');
  console.Print("Effect[%d]: %d\n%s\n", 2, 7, longText.c_str());
  EXPECT_EQ(capture.Text(), "Effect[2]: 7\n" + longText + "\n");
}

TEST(RandomSource, FollowsTheClassicSequenceAndStaysInRange) {
  RandomSource random(1);
  EXPECT_EQ((std::vector{random.Next(), random.Next(), random.Next()}), (std::vector{41, 18467, 6334}));
  for (int i = 0; i < 10000; ++i) ASSERT_LE(static_cast<unsigned>(random.Next()), unsigned{RandomSource::kMax});
}

TEST(FrameClock, ManualModeRunsDueTicksInDeadlineThenStartOrder) {
  std::vector<std::pair<int, int64_t>> ticks;
  FrameClock* self = nullptr;
  FrameClock clock(FrameClock::Mode::kManual, [&](int id) { ticks.emplace_back(id, self->NowMicros() / 1000); });
  self = &clock;
  const int a = clock.StartTimer(40), b = clock.StartTimer(20);
  clock.Pause(2);
  const int c = clock.StartTimer(38);  // due at 40 too, started last
  clock.Advance(81);
  EXPECT_EQ(ticks, (std::vector<std::pair<int, int64_t>>{
                       {b, 20}, {a, 40}, {b, 40}, {c, 40}, {b, 60}, {c, 78}, {a, 80}, {b, 80}}));
  EXPECT_EQ(clock.NowMicros(), 83000);
}

// On the clock thread, staggered ticks that may run early share the wake-up of the first of them; an
// on-time tick never runs before its deadline, and none runs ahead of an on-time tick due before it.
TEST(FrameClock, StaggeredTicksThatMayRunEarlyShareTheFirstOnesWakeUp) {
  std::mutex mutex;
  std::vector<std::pair<int, int64_t>> ticks;
  FrameClock* self = nullptr;
  FrameClock clock(FrameClock::Mode::kThread, [&](int id) {
    const std::lock_guard lock(mutex);
    ticks.emplace_back(id, self->NowMicros());
  });
  self = &clock;
  const int64_t start = clock.NowMicros() + 20000;
  std::vector<int> staggered;
  for (int s = 0; s < 4; ++s) {
    staggered.push_back(clock.StartTimerAt(40, start + 2000 * s, FrameClock::Timing::kMayRunEarly));
  }
  const int onTime = clock.StartTimerAt(40, start + 8000);
  std::this_thread::sleep_for(std::chrono::milliseconds(330));
  clock.KillAll();
  const std::lock_guard lock(mutex);
  int rounds = 0, shared = 0;
  for (size_t i = 0; i < ticks.size(); ++i) {
    if (ticks[i].first != onTime) continue;
    const int64_t due = start + 8000 + 40000 * rounds;
    EXPECT_GE(ticks[i].second, due) << "round " << rounds;
    // The four staggered ticks of this round ran just before it, each at most 7 ms before its own deadline.
    ASSERT_GE(i, 4u);
    for (int s = 0; s < 4; ++s) {
      EXPECT_EQ(ticks[i - 4 + static_cast<size_t>(s)].first, staggered[static_cast<size_t>(s)]) << "round " << rounds;
      EXPECT_GE(ticks[i - 4 + static_cast<size_t>(s)].second, due - 8000 + 2000 * s - FrameClock::kEarlyWindowUs);
    }
    shared += ticks[i - 1].second - ticks[i - 4].second < 3000 ? 1 : 0;
    ++rounds;
  }
  EXPECT_GE(rounds, 6);
  EXPECT_GE(shared * 2, rounds) << "the staggered ticks ran 2 ms apart instead of together";
}

TEST(FrameClock, KillAndRestartInsideATickIdsAreNeverReusedAndPeriodsAreAtLeastOne) {
  int fired = 0, first = 0, restarted = 0;
  FrameClock* self = nullptr;
  FrameClock clock(FrameClock::Mode::kManual, [&](int id) {
    if (++fired > 1) return;
    self->KillTimer(id);
    restarted = self->StartTimer(100);
  });
  self = &clock;
  first = clock.StartTimer(10);
  clock.Advance(50);
  EXPECT_NE(restarted, first);
  EXPECT_EQ(std::tuple(fired, clock.PeriodOf(first), clock.PeriodOf(restarted)), std::tuple(1, 0, 100));
  clock.Advance(100);
  EXPECT_EQ(fired, 2);
  clock.KillAll();
  EXPECT_EQ(clock.ActiveTimerCount(), 0);
  EXPECT_EQ(clock.PeriodOf(clock.StartTimer(0)), 1);
  clock.Advance(10);
  EXPECT_EQ(fired, 12);
}

}  // namespace
}  // namespace quor

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

// On the clock thread, staggered flexible ticks cost no wake-up of their own: with an on-time tick due
// 8 ms after the first they run in its wake-up, just before it and in deadline order; without one they
// share the first one's wake-up, none more than the early window before its deadline. An on-time tick
// never runs before its deadline.
TEST(FrameClock, StaggeredFlexibleTicksShareOneWakeUp) {
  for (const bool withOnTime : {true, false}) {
    SCOPED_TRACE(withOnTime ? "with an on-time tick" : "flexible ticks only");
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
      staggered.push_back(clock.StartTimerAt(40, start + 2000 * s, FrameClock::Timing::kFlexible));
    }
    const int onTime = withOnTime ? clock.StartTimerAt(40, start + 8000) : -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(330));
    clock.KillAll();
    const std::lock_guard lock(mutex);
    const size_t group = withOnTime ? 5 : 4;
    int rounds = 0, shared = 0;
    for (size_t i = 0; i + group <= ticks.size(); i += group, ++rounds) {
      const int64_t first = start + 40000 * rounds;
      for (size_t k = 0; k < group; ++k) {
        const auto [id, at] = ticks[i + k];
        const int expected = k < 4 ? staggered[k] : onTime;
        ASSERT_EQ(id, expected) << "round " << rounds << " tick " << k;
        const int64_t due = first + 2000 * static_cast<int64_t>(k);
        EXPECT_GE(at, withOnTime ? first + 8000 : due - FrameClock::kEarlyWindowUs) << "round " << rounds;
      }
      shared += ticks[i + group - 1].second - ticks[i].second < 3000 ? 1 : 0;
    }
    EXPECT_GE(rounds, 6);
    EXPECT_GE(shared * 2, rounds) << "the staggered ticks ran 2 ms apart instead of together";
  }
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

#include <gtest/gtest.h>

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

#include "core/frame_clock.h"

#include <gtest/gtest.h>

#include <vector>

namespace quor {
namespace {

struct Tick {
  int id;
  int64_t atMs;
};

TEST(FrameClock, ManualModeRunsDueTicksInDeadlineThenStartOrder) {
  std::vector<Tick> ticks;
  FrameClock* self = nullptr;
  FrameClock clock(FrameClock::Mode::kManual, [&](int id) { ticks.push_back({id, self->NowMicros() / 1000}); });
  self = &clock;
  const int a = clock.StartTimer(40);
  const int b = clock.StartTimer(20);
  clock.Pause(2);
  const int c = clock.StartTimer(38);  // due at 40 too, started last
  clock.Advance(81);
  std::vector<std::pair<int, int64_t>> got;
  for (const Tick& t : ticks) got.emplace_back(t.id, t.atMs);
  EXPECT_EQ(got, (std::vector<std::pair<int, int64_t>>{
                     {b, 20}, {a, 40}, {b, 40}, {c, 40}, {b, 60}, {c, 78}, {a, 80}, {b, 80}}));
  EXPECT_EQ(clock.NowMicros(), 83000);
}

TEST(FrameClock, KillAndRestartInsideATickAndIdsAreNeverReused) {
  int fired = 0;
  int restartedId = 0;
  FrameClock* self = nullptr;
  int first = 0;
  FrameClock clock(FrameClock::Mode::kManual, [&](int id) {
    ++fired;
    if (id == first) {
      self->KillTimer(id);
      restartedId = self->StartTimer(100);
    }
  });
  self = &clock;
  first = clock.StartTimer(10);
  clock.Advance(50);
  EXPECT_EQ(fired, 1);
  EXPECT_NE(restartedId, first);
  EXPECT_EQ(clock.PeriodOf(first), 0);
  EXPECT_EQ(clock.PeriodOf(restartedId), 100);
  clock.Advance(100);
  EXPECT_EQ(fired, 2);
  clock.KillAll();
  EXPECT_EQ(clock.ActiveTimerCount(), 0);
}

TEST(FrameClock, PeriodBelowOneMillisecondBecomesOne) {
  int fired = 0;
  FrameClock clock(FrameClock::Mode::kManual, [&](int) { ++fired; });
  const int id = clock.StartTimer(0);
  EXPECT_EQ(clock.PeriodOf(id), 1);
  clock.Advance(10);
  EXPECT_EQ(fired, 10);
}

}  // namespace
}  // namespace quor

// These run the real clock thread; the ThreadSanitizer build runs them.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "core/frame_clock.h"
#include "engine/engine.h"
#include "test_support.h"

namespace quor {
namespace {

using namespace std::chrono;

TEST(FrameClockThread, TicksArriveAtTheirPeriodsOneAtATime) {
  std::mutex mutex;
  std::vector<int64_t> mixTimes;
  std::atomic<int> inTick{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> slotTicks{0};
  std::atomic<int> mixId{0};
  FrameClock clock(FrameClock::Mode::kThread, [&](int id) {
    if (inTick.fetch_add(1) != 0) overlaps.fetch_add(1);
    std::this_thread::sleep_for(microseconds(300));
    if (id == mixId.load()) {
      std::lock_guard lock(mutex);
      mixTimes.push_back(clock.NowMicros());
    } else {
      slotTicks.fetch_add(1);
    }
    inTick.fetch_sub(1);
  });
  for (int s = 0; s < 4; ++s) {
    clock.StartTimer(20);
    clock.Pause(2);
  }
  mixId.store(clock.StartTimer(40));
  std::this_thread::sleep_for(milliseconds(1000));
  clock.KillAll();
  const int afterKill = slotTicks.load();
  std::this_thread::sleep_for(milliseconds(60));
  EXPECT_EQ(slotTicks.load(), afterKill) << "ticks after KillAll returned";
  EXPECT_EQ(overlaps.load(), 0);

  std::lock_guard lock(mutex);
  ASSERT_GE(mixTimes.size(), 15u);  // 25 expected; generous for loaded machines
  EXPECT_LE(mixTimes.size(), 26u);
  const double meanMs = (mixTimes.back() - mixTimes.front()) / 1000.0 / static_cast<double>(mixTimes.size() - 1);
  EXPECT_NEAR(meanMs, 40.0, 8.0);
  EXPECT_GE(slotTicks.load(), 4 * 30);
}

TEST(EngineThread, RebindingPastingAndResizingWhileTheClockRuns) {
  Engine engine(test::TestRegistry());
  test::ConsoleCapture capture(engine.console());
  engine.RequestType(0, test::kSolidType);
  engine.RebindSlots();
  engine.StartClock();
  const auto end = steady_clock::now() + milliseconds(600);
  int round = 0;
  while (steady_clock::now() < end) {
    engine.RequestType(1, round % 2 == 0 ? test::kSolidType : 0);
    engine.RequestType(2, round % 3 == 0 ? test::kFailingType : test::kSolidType);
    engine.PostMessageWork();
    if (round % 5 == 0) {
      engine.CopySlot(0);
      engine.PasteSlot(3);
    }
    if (round % 40 == 39) engine.ResizeMatrix(round % 80 == 39 ? 16 : 32, 16, 0);
    engine.StartMainGlide(1 + round % 3);
    engine.SetSlotSpeed(round % 4, 5 + round % 21);
    std::vector<uint8_t> out = engine.CopyFrame(FrameIndex::kOutput);
    EXPECT_EQ(out.size(), static_cast<size_t>(engine.width() * engine.height() * 3));
    ++round;
    std::this_thread::sleep_for(milliseconds(3));
  }
  engine.Shutdown();
  EXPECT_GT(engine.flags().frameCounter.load() + capture.Count("FPS:") * 100, 5);
}

}  // namespace
}  // namespace quor

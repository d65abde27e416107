// The tempo in use on the mix pass: tapped beats, the hand-over between
// taps and detection, and the console line on a change of 1 BPM or more.
#include "engine/tempo_source.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace quor {
namespace {

class TempoSourceTest : public testing::Test {
 protected:
  Console console_;
  test::ConsoleCapture capture_{console_};
  ChangeFeed changes_;
  TempoTracker tracker_;  // not started: no tempo is detected
  TempoSource tempo_{console_, changes_, tracker_};
};

TEST_F(TempoSourceTest, TappedBeatsLieOnTheLastTapAndFollowItsPeriod) {
  tempo_.Tap(1000);
  tempo_.Advance(1'100'000);
  EXPECT_EQ(tempo_.Bpm(), 0.0) << "one tap gives no tempo";
  EXPECT_EQ(tempo_.BeatCount(), 0u);
  tempo_.Tap(1500);
  EXPECT_TRUE(tempo_.Tapped());
  // Passes every 40 ms for 2 s after the second tap: the tap itself and a
  // beat every 500 ms.
  std::vector<int64_t> beatTimes;
  for (int64_t us = 1'500'000; us < 3'500'000; us += 40'000) {
    const uint32_t before = tempo_.BeatCount();
    tempo_.Advance(us);
    if (tempo_.BeatCount() != before) beatTimes.push_back(us / 1000);
  }
  EXPECT_EQ(beatTimes, (std::vector<int64_t>{1500, 2020, 2500, 3020}));
  EXPECT_DOUBLE_EQ(tempo_.Bpm(), 120.0);
  EXPECT_EQ(capture_.Count("Tempo: 120.0\n"), 1);
}

TEST_F(TempoSourceTest, ConsoleLineOnlyForAChangeOfOneBpmOrMore) {
  const struct {
    int64_t intervalMs;
    bool printed;
    const char* line;
  } steps[] = {{500, true, "Tempo: 120.0\n"}, {498, false, ""}, {495, true, "Tempo: 121.2\n"},
               {470, true, "Tempo: 127.7\n"}};
  int64_t ms = 0;
  for (const auto& step : steps) {
    capture_.Clear();
    // A fresh run of taps at this interval (a pause ends the one before).
    ms += 5000;
    for (int i = 0; i < 3; ++i, ms += step.intervalMs) tempo_.Tap(ms);
    tempo_.Advance(ms * 1000);
    EXPECT_EQ(capture_.Count("Tempo: "), step.printed ? 1 : 0) << step.intervalMs;
    if (step.printed) {
      EXPECT_EQ(capture_.Text(), step.line);
    }
  }
}

TEST_F(TempoSourceTest, AutoGivesBackToDetectionAndKeepsTapsWithoutIt) {
  tempo_.Tap(0), tempo_.Tap(600);
  tempo_.Advance(700'000);
  EXPECT_DOUBLE_EQ(tempo_.Bpm(), 100.0);
  tempo_.UseDetection();
  EXPECT_FALSE(tempo_.Tapped());
  // Nothing is detected, so the tapped tempo stays in use.
  tempo_.Advance(800'000);
  EXPECT_DOUBLE_EQ(tempo_.Bpm(), 100.0);
}

}  // namespace
}  // namespace quor

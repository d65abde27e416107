#include "audio/tap_tempo.h"

#include <gtest/gtest.h>

#include <vector>

namespace quor {
namespace {

struct TapCase {
  const char* name;
  std::vector<int64_t> taps;  // ms
  double bpm;                 // after the last tap
  int taps_in_run;
};

TEST(TapTempo, Table) {
  const std::vector<TapCase> cases = {
      {"one tap gives no tempo", {1000}, 0.0, 1},
      {"two taps", {1000, 1500}, 120.0, 2},
      {"steady 128", {0, 469, 938, 1406, 1875, 2344, 2813, 3281}, 60000.0 / 469, 8},
      {"jitter: the median ignores one late tap", {0, 500, 1000, 1650, 2000, 2500, 3000}, 120.0, 7},
      {"jitter both ways", {0, 480, 1010, 1490, 2000, 2520, 3000}, 60000.0 / 495, 7},
      {"an even count of intervals takes the middle two", {0, 400, 900, 1500, 2200}, 60000.0 / 550, 5},
      {"only the last 16 taps count",
       {0, 1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 8500, 9000, 9500, 10000, 10500, 11000, 11500, 12000},
       120.0, 16},
      {"a pause of more than 2 s starts a new run; the old tempo holds", {0, 500, 1000, 3001}, 120.0, 1},
      {"the new run takes over at its second tap", {0, 500, 1000, 3001, 3401}, 150.0, 2},
      {"exactly 2 s is no pause", {0, 2000}, 30.0, 2},
      {"a clock that went back starts a new run", {5000, 5500, 4000}, 120.0, 1},
  };
  for (const TapCase& c : cases) {
    TapTempo tap;
    for (int64_t ms : c.taps) tap.Tap(ms);
    EXPECT_NEAR(tap.Bpm(), c.bpm, 1e-9) << c.name;
    EXPECT_EQ(tap.Taps(), c.taps_in_run) << c.name;
    EXPECT_EQ(tap.LastTapMs(), c.taps.back()) << c.name;
  }
}

TEST(TapTempo, ResetForgetsTheTempo) {
  TapTempo tap;
  tap.Tap(0), tap.Tap(500);
  tap.Reset();
  EXPECT_EQ(tap.Bpm(), 0.0);
  EXPECT_EQ(tap.Taps(), 0);
}

}  // namespace
}  // namespace quor

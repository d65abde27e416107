#include "generators/strobe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "generator_rig.h"

namespace quor {
namespace {

// Renders `frames` 4 x 3 frames; one letter per frame: 'L' when every pixel
// shows the fixed colour, 'D' when all black, '?' for anything else.
std::string Rhythm(StrobeGenerator& strobe, int frames) {
  std::string rhythm;
  for (int n = 0; n < frames; ++n) {
    std::vector<uint8_t> frame(4 * 3 * 3, 0x5A), lit, dark(frame.size(), 0);
    strobe.Render(frame.data(), 4, 3);
    const Rgb c = strobe.colorGroup().color;
    for (int i = 0; i < 4 * 3; ++i) lit.insert(lit.end(), {uint8_t(c.r), uint8_t(c.g), uint8_t(c.b)});
    rhythm += frame == lit ? 'L' : frame == dark ? 'D' : '?';
  }
  return rhythm;
}

class StrobeTest : public testing::Test {
 protected:
  void Restart(int on, int off) {
    ASSERT_TRUE(strobe.Create(4, 3));
    strobe.SetTimeOn(on);
    strobe.SetTimeOff(off);
  }
  test::GeneratorHarness harness;
  StrobeGenerator strobe{harness.context};
};

TEST_F(StrobeTest, FrameRhythmLightsTimeOnThenDarkTimeOffPlusOne) {
  ASSERT_TRUE(strobe.Create(4, 3));
  EXPECT_EQ(Rhythm(strobe, 10), "LLDDDLLDDD");  // defaults: white, 2 lit and 2 + 1 dark
  Restart(1, 1);
  EXPECT_EQ(Rhythm(strobe, 9), "LDDLDDLDD");
  // Shortening the cycle while the counter stands beyond it costs one dark
  // frame, then the new rhythm starts.
  Restart(25, 1);
  EXPECT_EQ(Rhythm(strobe, 54), std::string(25, 'L') + "DD" + std::string(25, 'L') + "DD");
  Restart(25, 2);
  EXPECT_EQ(Rhythm(strobe, 27), std::string(25, 'L') + "DD");
  strobe.SetTimeOn(1);
  strobe.SetTimeOff(1);
  EXPECT_EQ(Rhythm(strobe, 4), "DLDD");
  strobe.SetTimeOn(0);  // the trackbars stay within 1..25
  strobe.SetTimeOff(99);
  EXPECT_EQ(std::pair(strobe.timeOn(), strobe.timeOff()), std::pair(1, 25));
}

TEST_F(StrobeTest, AudioTriggerFollowsTheBandLevelWhileTheCounterRuns) {
  Restart(1, 1);  // silent input: every band level is 0
  strobe.SetAudioTriggerChecked(true);
  EXPECT_EQ(Rhythm(strobe, 7), "DDDDDDD");  // threshold 900 is never reached in silence
  EXPECT_EQ(strobe.frameCounter(), 1);      // 7 frames into a 3-frame cycle
  strobe.audioTrigger().threshold = 0;      // a level equal to the threshold fires
  EXPECT_EQ(Rhythm(strobe, 4), "LLLL");
  strobe.SetAudioTriggerChecked(false);  // back on the rhythm, the counter has kept running: 11 frames -> 2
  EXPECT_EQ(Rhythm(strobe, 4), "DLDD");
}

TEST_F(StrobeTest, AutoColourStepsOnDarkFramesToo) {
  Restart(1, 1);
  strobe.colorGroup().SetAutoColorSyncChecked(true);
  std::vector<uint8_t> frame(4 * 3 * 3);
  for (int n = 0; n < 3; ++n) strobe.Render(frame.data(), 4, 3);
  EXPECT_EQ(harness.sharedWheel.position, 6);  // one lit and two dark frames: three steps of 2
  strobe.Render(frame.data(), 4, 3);
  // Lit again, phase 0 (magenta to red) at position 8: (255, 0, 247).
  EXPECT_EQ(std::vector<uint8_t>(frame.begin(), frame.begin() + 3), (std::vector<uint8_t>{255, 0, 247}));
}

TEST_F(StrobeTest, SettingsBlockLayoutRoundTripsAndLoadKeepsCounterAndRepairsTimes) {
  Restart(3, 4);
  strobe.SetAudioTriggerChecked(true);
  strobe.audioTrigger() = {7000, 100, 300, 1, 178};
  strobe.colorGroup() = {.color = {10, 20, 30}, .autoColorMode = kAutoColorOwn};
  // Times on and off, trigger on, gain, threshold percent, threshold, low and high band, red, green,
  // blue, auto colour mode 1.
  SettingsBlock block = test::ExpectStored(strobe, {3, 4, 1, 7000, 100, 300, 1, 178, 10, 20, 30, 1});
  StrobeGenerator copy(harness.context);
  ASSERT_TRUE(copy.Create(4, 3));
  Rhythm(copy, 3);
  test::ExpectRoundTrip(copy, block);
  EXPECT_EQ(copy.frameCounter(), 3);  // a scene load does not restart the cycle

  // Damaged times are brought into 1..25, so the cycle arithmetic cannot overflow.
  std::ranges::copy(test::LittleEndian({INT_MAX, INT_MIN, 0}), block.begin());  // time on, time off, trigger off
  copy.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(std::pair(copy.timeOn(), copy.timeOff()), std::pair(25, 1));
  copy.colorGroup().SetAutoColorChecked(false);
  // The counter stood at 3: 22 lit frames (3..24), 2 dark, then lit again.
  EXPECT_EQ(Rhythm(copy, 27).substr(20), "LLDDLLL");
}

}  // namespace
}  // namespace quor

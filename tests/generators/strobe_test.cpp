#include "generators/strobe.h"

#include "generator_rig.h"

namespace quor {
namespace {

class StrobeTest : public testing::Test {
 protected:
  void Restart(int on, int off) {
    ASSERT_TRUE(strobe.Create(4, 3));
    strobe.SetTimeOn(on), strobe.SetTimeOff(off);
  }
  // One letter per rendered frame: 'L' all the fixed colour, 'D' all black, '?' anything else.
  std::string Rhythm(int frames) {
    std::string rhythm;
    for (int n = 0; n < frames; ++n) {
      test::Frame frame(4, 3, 0x5A);
      strobe.Render(frame.bytes.data(), 4, 3);
      rhythm += frame.All(strobe.colorGroup().color) ? 'L' : frame.All({}) ? 'D' : '?';
    }
    return rhythm;
  }
  test::GeneratorHarness harness;
  StrobeGenerator strobe{harness.context};
};

TEST_F(StrobeTest, FrameRhythmLightsTimeOnThenDarkTimeOffPlusOne) {
  ASSERT_TRUE(strobe.Create(4, 3));
  EXPECT_EQ(Rhythm(10), "LLDDDLLDDD");  // defaults: 2 lit, 2 + 1 dark
  // Shortening the cycle while the counter stands beyond it costs one dark frame, then the new rhythm starts.
  Restart(25, 2);
  EXPECT_EQ(Rhythm(27), std::string(25, 'L') + "DD");
  strobe.SetTimeOn(1), strobe.SetTimeOff(1);
  EXPECT_EQ(Rhythm(4), "DLDD");
  strobe.SetTimeOn(0), strobe.SetTimeOff(99);  // the trackbars stay within 1..25
  EXPECT_EQ(std::pair(strobe.timeOn(), strobe.timeOff()), std::pair(1, 25));
}

TEST_F(StrobeTest, AudioTriggerFollowsTheBandLevelWhileTheCounterRuns) {
  Restart(1, 1);
  strobe.SetAudioTriggerChecked(true);
  EXPECT_EQ(Rhythm(7), "DDDDDDD");  // threshold 900 is never reached in silence
  strobe.audioTrigger().threshold = 0;  // a level equal to the threshold fires
  EXPECT_EQ(Rhythm(4), "LLLL");
  strobe.SetAudioTriggerChecked(false);  // the counter kept running: 11 frames into a 3-frame cycle
  EXPECT_EQ(Rhythm(4), "DLDD");
}

TEST_F(StrobeTest, AutoColourStepsOnDarkFramesToo) {
  Restart(1, 1);
  strobe.colorGroup().SetAutoColorSyncChecked(true);
  Rhythm(3);
  EXPECT_EQ(harness.sharedWheel.position, 6);  // one lit and two dark frames: three steps of 2
  test::Frame frame(4, 3);
  strobe.Render(frame.bytes.data(), 4, 3);
  EXPECT_EQ(frame.At(0, 0), (Rgb{255, 0, 247}));  // lit again, phase 0 (magenta to red) at position 8
}

TEST_F(StrobeTest, LoadKeepsTheCounterAndRepairsTimes) {
  Restart(3, 4);
  Rhythm(3);
  test::LoadWords(strobe, {INT_MAX, INT_MIN, 0, 7000, 100, 300, 1, 178, 10, 20, 30, 0});
  EXPECT_EQ(std::pair(strobe.timeOn(), strobe.timeOff()), std::pair(25, 1));
  // A scene load does not restart the cycle: from 3, 22 lit frames, 2 dark, then lit again.
  EXPECT_EQ(Rhythm(27).substr(20), "LLDDLLL");
}

}  // namespace
}  // namespace quor

#include "generators/strobe.h"

#include "generator_rig.h"

namespace quor {
namespace {

// Renders `frames` 4 x 3 frames; one letter per frame: 'L' when every pixel shows the fixed colour, 'D' when all
// black, '?' for anything else.
std::string Rhythm(StrobeGenerator& strobe, int frames) {
  std::string rhythm;
  for (int n = 0; n < frames; ++n) {
    test::Frame frame(4, 3, 0x5A);
    strobe.Render(frame.bytes.data(), 4, 3);
    rhythm += frame.All(strobe.colorGroup().color) ? 'L' : frame.All({}) ? 'D' : '?';
  }
  return rhythm;
}

class StrobeTest : public testing::Test {
 protected:
  void Restart(int on, int off) {
    ASSERT_TRUE(strobe.Create(4, 3));
    strobe.SetTimeOn(on), strobe.SetTimeOff(off);
  }
  test::GeneratorHarness harness;
  StrobeGenerator strobe{harness.context};
};

TEST_F(StrobeTest, FrameRhythmLightsTimeOnThenDarkTimeOffPlusOne) {
  ASSERT_TRUE(strobe.Create(4, 3));
  EXPECT_EQ(Rhythm(strobe, 10), "LLDDDLLDDD");  // defaults: white, 2 lit and 2 + 1 dark
  Restart(1, 1);
  EXPECT_EQ(Rhythm(strobe, 9), "LDDLDDLDD");
  // Shortening the cycle while the counter stands beyond it costs one dark frame, then the new rhythm starts.
  Restart(25, 1);
  EXPECT_EQ(Rhythm(strobe, 54), std::string(25, 'L') + "DD" + std::string(25, 'L') + "DD");
  Restart(25, 2);
  EXPECT_EQ(Rhythm(strobe, 27), std::string(25, 'L') + "DD");
  strobe.SetTimeOn(1), strobe.SetTimeOff(1);
  EXPECT_EQ(Rhythm(strobe, 4), "DLDD");
  strobe.SetTimeOn(0), strobe.SetTimeOff(99);  // the trackbars stay within 1..25
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
  test::Frame frame(4, 3);
  for (int n = 0; n < 3; ++n) strobe.Render(frame.bytes.data(), 4, 3);
  EXPECT_EQ(harness.sharedWheel.position, 6);  // one lit and two dark frames: three steps of 2
  strobe.Render(frame.bytes.data(), 4, 3);
  EXPECT_EQ(frame.At(0, 0), (Rgb{255, 0, 247}));  // lit again, phase 0 (magenta to red) at position 8
}

TEST_F(StrobeTest, LoadKeepsTheCounterAndRepairsTimes) {
  Restart(3, 4);
  Rhythm(strobe, 3);
  // Damaged times are brought into 1..25, so the cycle arithmetic cannot overflow.
  test::LoadWords(strobe, {INT_MAX, INT_MIN, 0, 7000, 100, 300, 1, 178, 10, 20, 30, 0});
  EXPECT_EQ(std::pair(strobe.timeOn(), strobe.timeOff()), std::pair(25, 1));
  EXPECT_EQ(strobe.frameCounter(), 3);  // a scene load does not restart the cycle
  // The counter stood at 3: 22 lit frames (3..24), 2 dark, then lit again.
  EXPECT_EQ(Rhythm(strobe, 27).substr(20), "LLDDLLL");
}

}  // namespace
}  // namespace quor

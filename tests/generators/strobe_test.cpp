#include "generators/strobe.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "core/byte_io.h"
#include "test_support.h"

namespace quor {
namespace {

constexpr int kWidth = 4;
constexpr int kHeight = 3;

// Renders `frames` frames and returns one letter per frame: 'L' when every
// pixel shows the fixed colour, 'D' when the frame is all black, '?' (and
// the frame saved) for anything else.
std::string Rhythm(StrobeGenerator& strobe, int frames, const std::string& name) {
  std::vector<uint8_t> frame(kWidth * kHeight * 3);
  const Rgb lit = strobe.colorGroup().color;
  std::string rhythm;
  for (int n = 0; n < frames; ++n) {
    frame.assign(frame.size(), 0x5A);
    strobe.Render(frame.data(), kWidth, kHeight);
    bool allLit = true, allDark = true;
    for (size_t i = 0; i < frame.size(); i += 3) {
      allLit = allLit && frame[i] == lit.r && frame[i + 1] == lit.g && frame[i + 2] == lit.b;
      allDark = allDark && frame[i] == 0 && frame[i + 1] == 0 && frame[i + 2] == 0;
    }
    if (!allLit && !allDark) {
      ADD_FAILURE() << name << " frame " << n << " saved to "
                    << test::SaveFrameForInspection(name, frame.data(), kWidth, kHeight);
    }
    rhythm += allLit ? 'L' : allDark ? 'D' : '?';
  }
  return rhythm;
}

TEST(Strobe, FrameRhythmLightsTimeOnThenDarkTimeOffPlusOne) {
  test::GeneratorHarness harness;
  StrobeGenerator strobe(harness.context);
  ASSERT_TRUE(strobe.Create(kWidth, kHeight));
  // Defaults: white, 2 lit and 2 + 1 dark.
  EXPECT_EQ(Rhythm(strobe, 10, "strobe_default"), "LLDDDLLDDD");

  ASSERT_TRUE(strobe.Create(kWidth, kHeight));
  strobe.SetTimeOn(1);
  strobe.SetTimeOff(1);
  EXPECT_EQ(Rhythm(strobe, 9, "strobe_1_1"), "LDDLDDLDD");

  ASSERT_TRUE(strobe.Create(kWidth, kHeight));
  strobe.SetTimeOn(25);
  strobe.SetTimeOff(1);
  const std::string cycle = std::string(25, 'L') + "DD";
  EXPECT_EQ(Rhythm(strobe, 54, "strobe_25_1"), cycle + cycle);

  // Shortening the cycle while the counter stands beyond it costs one dark
  // frame, then the new rhythm starts.
  ASSERT_TRUE(strobe.Create(kWidth, kHeight));
  strobe.SetTimeOn(25);
  EXPECT_EQ(Rhythm(strobe, 27, "strobe_before_shorten"), std::string(25, 'L') + "DD");
  strobe.SetTimeOn(1);
  strobe.SetTimeOff(1);
  EXPECT_EQ(Rhythm(strobe, 4, "strobe_after_shorten"), "DLDD");

  // The dialog's trackbars stay within 1..25.
  strobe.SetTimeOn(0);
  strobe.SetTimeOff(99);
  EXPECT_EQ(strobe.timeOn(), 1);
  EXPECT_EQ(strobe.timeOff(), 25);
}

TEST(Strobe, AudioTriggerFollowsTheBandLevelWhileTheCounterRuns) {
  test::GeneratorHarness harness;  // silent input: every band level is 0
  StrobeGenerator strobe(harness.context);
  ASSERT_TRUE(strobe.Create(kWidth, kHeight));
  strobe.SetTimeOn(1);
  strobe.SetTimeOff(1);
  strobe.SetAudioTriggerChecked(true);
  // Threshold 900 is never reached in silence, lit counter or not.
  EXPECT_EQ(Rhythm(strobe, 7, "strobe_silence"), "DDDDDDD");
  EXPECT_EQ(strobe.frameCounter(), 1);  // 7 frames into a 3-frame cycle

  // A level equal to the threshold fires: with threshold 0 silence does.
  strobe.audioTrigger().threshold = 0;
  EXPECT_EQ(Rhythm(strobe, 4, "strobe_threshold_0"), "LLLL");

  // Back on the rhythm, the counter has kept running: 11 frames -> 2.
  strobe.SetAudioTriggerChecked(false);
  EXPECT_EQ(Rhythm(strobe, 4, "strobe_back_to_rhythm"), "DLDD");
}

TEST(Strobe, AutoColourStepsOnDarkFramesToo) {
  test::GeneratorHarness harness;
  StrobeGenerator strobe(harness.context);
  ASSERT_TRUE(strobe.Create(kWidth, kHeight));
  strobe.SetTimeOn(1);
  strobe.SetTimeOff(1);
  strobe.colorGroup().SetAutoColorSyncChecked(true);
  std::vector<uint8_t> frame(kWidth * kHeight * 3);
  for (int n = 0; n < 3; ++n) strobe.Render(frame.data(), kWidth, kHeight);
  // One lit and two dark frames: three steps of 2 on the shared wheel.
  EXPECT_EQ(harness.sharedWheel.position, 6);
  strobe.Render(frame.data(), kWidth, kHeight);
  // Lit again, phase 0 (magenta to red) at position 8: (255, 0, 247).
  EXPECT_EQ(frame[0], 255);
  EXPECT_EQ(frame[1], 0);
  EXPECT_EQ(frame[2], 247);
}

TEST(Strobe, SettingsBlockLayoutRoundTripsAndLoadKeepsCounterAndRepairsTimes) {
  test::GeneratorHarness harness;
  StrobeGenerator strobe(harness.context);
  ASSERT_TRUE(strobe.Create(kWidth, kHeight));
  strobe.SetTimeOn(3);
  strobe.SetTimeOff(4);
  strobe.SetAudioTriggerChecked(true);
  strobe.audioTrigger() = {7000, 100, 300, 1, 178};
  strobe.colorGroup().SetRed(10);
  strobe.colorGroup().SetGreen(20);
  strobe.colorGroup().SetBlue(30);
  strobe.colorGroup().SetAutoColorChecked(true);

  SettingsBlock block;
  block.fill(0xCD);
  strobe.ExchangeSettings(block, SettingsDirection::kStore);
  const uint8_t expected[] = {
      3,    0,    0, 0,  // time on
      4,    0,    0, 0,  // time off
      1,    0,    0, 0,  // audio trigger on
      0x58, 0x1B, 0, 0,  // gain 7000
      100,  0,    0, 0,  // threshold percent
      0x2C, 0x01, 0, 0,  // threshold 300
      1,    0,    0, 0,  // low band
      178,  0,    0, 0,  // high band
      10,   0,    0, 0,  // red
      20,   0,    0, 0,  // green
      30,   0,    0, 0,  // blue
      1,    0,    0, 0,  // auto colour mode: own wheel
      0xCD,              // the rest of the block is left alone
  };
  for (size_t i = 0; i < sizeof expected; ++i) EXPECT_EQ(block[i], expected[i]) << "byte " << i;

  StrobeGenerator copy(harness.context);
  ASSERT_TRUE(copy.Create(kWidth, kHeight));
  std::vector<uint8_t> frame(kWidth * kHeight * 3);
  for (int n = 0; n < 3; ++n) copy.Render(frame.data(), kWidth, kHeight);
  copy.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(copy.frameCounter(), 3);  // a scene load does not restart the cycle
  SettingsBlock again;
  again.fill(0xCD);
  copy.ExchangeSettings(again, SettingsDirection::kStore);
  EXPECT_EQ(again, block);

  // Damaged times are brought into 1..25, so the cycle arithmetic cannot
  // overflow however long the strobe runs.
  ByteWriter damage(block);
  damage.PutI32(INT_MAX);
  damage.PutI32(INT_MIN);
  damage.PutI32(0);  // audio trigger off
  copy.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(copy.timeOn(), 25);
  EXPECT_EQ(copy.timeOff(), 1);
  copy.colorGroup().SetAutoColorChecked(false);
  // The counter stood at 3: 22 lit frames (3..24), 2 dark, then lit again.
  EXPECT_EQ(Rhythm(copy, 27, "strobe_repaired").substr(20), "LLDDLLL");
}

}  // namespace
}  // namespace quor

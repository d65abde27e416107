#include "engine/engine.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace quor {
namespace {

using test::kSolidType;
using test::SolidIn;

using Px = std::array<int, 3>;

class EngineTest : public testing::Test {
 protected:
  Engine engine_{test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1}};
  test::ConsoleCapture capture_{engine_.console()};

  // One pixel of a frame.
  Px Pixel(FrameIndex frame, int x, int y) {
    const uint8_t* p = engine_.frame(frame) + (y * engine_.width() + x) * 3;
    return {p[0], p[1], p[2]};
  }
  void Fill(FrameIndex frame, uint8_t r, uint8_t g, uint8_t b) {
    uint8_t* p = engine_.frame(frame);
    for (int i = 0; i < engine_.width() * engine_.height(); ++i) p[i * 3] = r, p[i * 3 + 1] = g, p[i * 3 + 2] = b;
  }
  void Bind(int slot, int type) {
    engine_.RequestType(slot, type);
    engine_.RebindSlots();
  }
};

TEST_F(EngineTest, RebindingCreatesRequestedTypesAndLogsEachChange) {
  engine_.SelectEffect(1, EffectListPosition(kSolidType));
  EXPECT_EQ(engine_.RequestedType(1), kSolidType);
  engine_.RebindSlots();
  engine_.SelectEffect(1, EffectListPosition(kSolidType));  // the same choice again changes nothing
  engine_.RebindSlots();
  EXPECT_EQ(capture_.Text(), "Effect[1]: 7\n");
  test::SolidGenerator* record = SolidIn(engine_, 1);
  ASSERT_NE(record, nullptr);
  // Leaving the type destroys it; coming back re-creates the same record.
  Bind(1, 0);
  Bind(1, kSolidType);
  EXPECT_EQ(SolidIn(engine_, 1), record);
  EXPECT_EQ(std::tuple(record->createdWidth, record->destroys.load(), record->creates.load()), std::tuple(32, 1, 2));
}

TEST_F(EngineTest, FailingCreateFallsBackToBlackoutOnTheNextPass) {
  engine_.SelectEffect(3, EffectListPosition(test::kFailingType));
  engine_.RebindSlots();
  EXPECT_EQ(std::pair(engine_.RequestedType(3), engine_.panel().effectListPosition[3].load()), std::pair(0, 0));
  engine_.RebindSlots();
  EXPECT_EQ(engine_.BoundType(3), 0);
  EXPECT_EQ(capture_.Text(), "Effect[3]: 9\nEffect[3]: 0\n");
}

TEST_F(EngineTest, UnknownAndUnregisteredTypesRenderAsBlackout) {
  const int types[] = {42, test::kUnregisteredType};
  for (int s : {0, 1}) {
    Fill(static_cast<FrameIndex>(s), 1, 2, 3);
    Bind(s, types[s]);
    EXPECT_EQ(engine_.BoundType(s), types[s]);
  }
  engine_.StartClock();
  engine_.clock().Advance(40);
  for (int s : {0, 1}) EXPECT_EQ(Pixel(static_cast<FrameIndex>(s), 5, 5), (Px{0, 0, 0})) << types[s];
}

TEST_F(EngineTest, PasteRebindsLoadsSettingsSetsInvertAndRendersOnce) {
  EXPECT_FALSE(engine_.CanPaste() || engine_.PasteSlot(3)) << "nothing copied yet";
  Bind(0, kSolidType);
  SolidIn(engine_, 0)->color[0] = 200;
  engine_.SetInvert(0, true);
  engine_.CopySlot(0);
  ASSERT_TRUE(engine_.PasteSlot(3));
  engine_.PostMessageWork();
  EXPECT_EQ(std::tuple(engine_.BoundType(3), engine_.panel().invert[3].load(), SolidIn(engine_, 3)->renders.load()),
            std::tuple(kSolidType, 1, 1));
  EXPECT_EQ(engine_.panel().effectListPosition[3].load(), EffectListPosition(kSolidType));
  EXPECT_EQ(Pixel(FrameIndex::kSlot3, 0, 0), (Px{200, 20, 30}));
  // Into a slot that already runs the type: no rebinding, settings still land.
  SolidIn(engine_, 0)->color[1] = 99;
  engine_.CopySlot(0);
  ASSERT_TRUE(engine_.PasteSlot(3));
  engine_.PostMessageWork();
  EXPECT_EQ(std::pair(capture_.Count("Effect["), int{SolidIn(engine_, 3)->color[1]}), std::pair(2, 99));
}

TEST_F(EngineTest, ResizeKeepsTopLeftPatchResetsSlotsAndPanelAndRefusesBadSizes) {
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 32; ++x) engine_.patch().At(x, y) = PatchEntry{0, x, y, 1};
  }
  Bind(0, kSolidType);
  engine_.SetSlotSpeed(1, 10), engine_.SetInvert(1, true), engine_.SetMergeMode(kMixMain, 6);
  engine_.SetMasterLevel(77), engine_.SetStrobe(true);
  engine_.StartClock();  // a running clock is restarted with the new size
  ASSERT_TRUE(engine_.ResizeMatrix(16, 32));
  EXPECT_EQ(engine_.patch().At(15, 15), (PatchEntry{0, 15, 15, 1}));
  EXPECT_EQ(engine_.patch().At(0, 16).device, -1);
  EXPECT_EQ(engine_.CopyFrame(FrameIndex::kSceneFade).size(), 16u * 32u * 3u);
  EXPECT_EQ(SolidIn(engine_, 0)->createdWidth, 16);  // re-created at the new size first
  // The panel goes back to its defaults; master level and strobe stay.
  const MixerPanel& panel = engine_.panel();
  const EngineSettings& s = engine_.settings();
  EXPECT_EQ((std::array{engine_.RequestedType(0), panel.speed[1].load(), panel.invert[1].load(),
                        panel.mergeMode[kMixMain].load(), panel.masterFade[kMixMain].load(), s.masterLevel.load(),
                        s.strobeCounter.load()}),
            (std::array{0, 25, 0, 0, 128, 77, 0}));
  engine_.PostMessageWork();
  EXPECT_EQ(std::pair(engine_.BoundType(0), engine_.SlotTimerPeriod(1)), std::pair(0, 40));
  // Growing back leaves the new area unpatched.
  ASSERT_TRUE(engine_.ResizeMatrix(32, 16));
  EXPECT_EQ(engine_.patch().At(20, 3).device, -1);
  EXPECT_FALSE(engine_.ResizeMatrix(3, 16));
  EXPECT_FALSE(engine_.ResizeMatrix(200, 200));  // 40000 pixels
  EXPECT_EQ(engine_.width(), 32);
}

TEST_F(EngineTest, MixPassFlowsSlotsThroughChannelsToOutput) {
  Bind(0, kSolidType);  // channel 1, upper
  Bind(1, kSolidType);  // channel 2, upper
  SolidIn(engine_, 1)->color[0] = 250;
  engine_.SetMainFadeByHand(0);  // main mix shows channel 1 only
  engine_.SetChannelFade(kMixChannel1, 0);
  engine_.StartClock();
  engine_.clock().Advance(50);  // slot timers at 40..46 ms, the mix at 48
  EXPECT_EQ(Pixel(FrameIndex::kOutput, 3, 3), (Px{10, 20, 30}));
  engine_.SetMainFadeByHand(255);
  engine_.SetChannelFade(kMixChannel2, 0);
  engine_.clock().Advance(40);
  EXPECT_EQ(Pixel(FrameIndex::kOutput, 3, 3), (Px{250, 20, 30}));
}

TEST_F(EngineTest, MainGlideMovesFourPerPassAndStopsAtItsTarget) {
  // {start, direction, passes, end}
  const int cases[][4] = {{126, kGlideToCentre, 1, 128}, {130, kGlideToCentre, 1, 128}, {252, kGlideToEnd, 1, 255},
                          {0, kGlideToEnd, 64, 255}};
  for (const auto& c : cases) {
    engine_.SetMainFadeByHand(c[0]);
    engine_.StartMainGlide(c[1]);
    for (int i = 0; i < c[2]; ++i) {
      EXPECT_NE(engine_.settings().mainFadeDirection.load(), kGlideNone) << "ended early at pass " << i;
      engine_.RunMixPass();
    }
    EXPECT_EQ(std::pair(engine_.panel().masterFade[kMixMain].load(), engine_.settings().mainFadeDirection.load()),
              std::pair(c[3], kGlideNone));
  }
}

TEST_F(EngineTest, StrobeShowsOneLitPassAfterStrobeTimeDarkOnes) {
  for (int s = 0; s < kSlotCount; ++s) {
    Bind(s, kSolidType);
    SolidIn(engine_, s)->Render({engine_.frame(static_cast<FrameIndex>(s)), 32, 16});
  }
  auto lit = [&] {
    engine_.RunMixPass();
    return Pixel(FrameIndex::kOutput, 0, 0)[1] != 0;
  };
  engine_.SetStrobeTime(3), engine_.SetStrobe(true);
  EXPECT_EQ((std::vector<bool>{lit(), lit(), lit(), lit(), lit()}),
            (std::vector<bool>{false, false, false, true, false}));
}

// Beat sync: one lit pass where each beat (or half or quarter beat) of the
// tapped tempo begins, the first synced pass dark; without a tempo the
// strobe time's rhythm, as with the sync off.
TEST_F(EngineTest, StrobeOnTheBeatFlashesWhereEachPartOfTheBeatBegins) {
  for (int s = 0; s < kSlotCount; ++s) {
    Bind(s, kSolidType);
    SolidIn(engine_, s)->Render({engine_.frame(static_cast<FrameIndex>(s)), 32, 16});
  }
  const auto litPasses = [&](int64_t fromMs, int passes, int stepMs) {
    std::vector<int64_t> lit;
    for (int i = 0; i < passes; ++i) {
      const int64_t at = fromMs + int64_t{i} * stepMs;
      engine_.clock().Advance(static_cast<int>(at - engine_.clock().NowMicros() / 1000));
      engine_.RunMixPass();
      if (Pixel(FrameIndex::kOutput, 0, 0)[1] != 0) lit.push_back(at - fromMs);
    }
    return lit;
  };
  engine_.SetStrobeTime(3), engine_.SetStrobe(true);
  engine_.SetControl({ControlId::kStrobeBeat}, 1);  // as OSC, MIDI and the web remote set it
  EXPECT_EQ(litPasses(1000, 8, 25), (std::vector<int64_t>{75, 175}));  // no tempo yet

  const struct {
    int choice;
    std::vector<int64_t> lit;  // ms after the tapped beat at 0
  } cases[] = {
      {1, {520, 1020}},
      {2, {270, 520, 770, 1020}},
      {3, {145, 270, 395, 520, 645, 770, 895, 1020}},
  };
  int64_t beat = 10'000;
  for (const auto& c : cases) {
    beat += 10'000;
    for (int64_t t = beat - 1500; t <= beat; t += 500) engine_.tempo().Tap(t);
    engine_.SetStrobe(false), engine_.SetStrobe(true);
    engine_.SetStrobeBeat(c.choice);
    EXPECT_EQ(engine_.ControlValue({ControlId::kStrobeBeat}), c.choice);
    std::vector<int64_t> lit = litPasses(beat + 20, 41, 25);
    for (int64_t& t : lit) t += 20;
    EXPECT_EQ(lit, c.lit) << c.choice;
  }
}

TEST_F(EngineTest, SceneStartFadesTheOldPictureOutOverThirteenPasses) {
  Bind(0, kSolidType);
  Bind(1, kSolidType);
  engine_.SetMainFadeByHand(0);
  engine_.SetChannelFade(kMixChannel1, 0);
  Fill(FrameIndex::kOutput, 100, 100, 100);  // the old scene's last picture
  Scene scene;
  scene.types = {kSolidType, kSolidType, 0, 0};
  scene.masterfades = {0, 0, 0};
  scene.settings[0][0] = 200, scene.settings[0][1] = 0, scene.settings[0][2] = 0;  // new picture: (200, 0, 0) in slot 0
  ASSERT_TRUE(engine_.show().scenes().ReplaceAll({scene}));
  engine_.RecallScene(0);
  engine_.RunMixPass();
  EXPECT_EQ(Pixel(FrameIndex::kOutput, 1, 1), (Px{198, 100, 100}));  // max(127 * new / 128, old)
  int passes = 1;
  for (; engine_.settings().sceneFadeLevel.load() > 0; ++passes) engine_.RunMixPass();
  EXPECT_EQ(passes, 13);
  engine_.RunMixPass();
  EXPECT_EQ(Pixel(FrameIndex::kOutput, 1, 1), (Px{200, 0, 0}));
}

TEST_F(EngineTest, APendingSceneRecallStopsTheClockOnceBindsRendersAndRestarts) {
  int woken = 0;
  engine_.EditHooks([&](EngineHooks& h) { h.wakeMainThread = [&] { ++woken; }; });
  Scene scene;
  scene.types = {kSolidType, 0, 0, 0};
  ASSERT_TRUE(engine_.show().scenes().ReplaceAll({Scene{}, Scene{}, scene}));
  engine_.StartClock();
  engine_.RequestSceneRecall(2);
  EXPECT_EQ(woken, 1);
  const int timersBefore = engine_.MixTimerPeriod();
  engine_.PostMessageWork();
  // Rebound and rendered once by the scene start, the clock running again.
  EXPECT_EQ(std::tuple(engine_.LastRecalledScene(), engine_.RecallCount(), engine_.BoundType(0),
                       SolidIn(engine_, 0)->renders.load(), engine_.PendingSceneIndex(), engine_.ClockRunning()),
            std::tuple(2, 1, kSolidType, 1, -1, true));
  EXPECT_EQ(engine_.MixTimerPeriod(), timersBefore);
  engine_.RequestSceneRecall(3);  // no such scene: nothing happens
  engine_.PostMessageWork();
  EXPECT_EQ(std::tuple(engine_.RecallCount(), engine_.PendingSceneIndex()), std::tuple(1, -1));
}

TEST_F(EngineTest, RateReportAfterMoreThan99Passes) {
  engine_.StartClock();
  engine_.clock().Advance(3960);  // mix ticks at 48, 88, ... 3968: 99 passes
  engine_.PostMessageWork();
  EXPECT_EQ(capture_.Count("FPS:"), 0);
  engine_.clock().Advance(40);
  engine_.PostMessageWork();
  EXPECT_EQ(capture_.Text(), "FPS: 24.950100\n");  // 100 passes in the 4008 ms since the start
  EXPECT_EQ(engine_.flags().frameCounter.load(), 0);
}

}  // namespace
}  // namespace quor

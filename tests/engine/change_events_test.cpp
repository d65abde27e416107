// Each kind of live change announces the groups a window must re-read.
#include "core/change_feed.h"

#include <gtest/gtest.h>

#include <set>

#include "show/show_fixture.h"

namespace quor {
namespace {

using test::ShowTest;

std::set<Change> Changed(const ChangeBatch& batch) {
  std::set<Change> groups;
  for (int g = 0; g < kChangeGroupCount; ++g) {
    if (batch.Has(static_cast<Change>(g))) groups.insert(static_cast<Change>(g));
  }
  return groups;
}

class ChangeEventsTest : public ShowTest {
 protected:
  ChangeBatch Drain() { return engine_.changes().Drain(); }
};

TEST_F(ChangeEventsTest, SceneRecallAnnouncesSelectionThenPanel) {
  engine_.SetSlotSpeed(1, 10);
  AddScene("A", 10);
  EXPECT_EQ(Changed(Drain()), (std::set<Change>{Change::kPanel, Change::kScenes, Change::kSceneSelection}));
  engine_.SetSlotSpeed(1, 25);
  Drain();
  show_.sceneList().SelectByUser(0);
  EXPECT_TRUE(Drain().Empty());  // the highlight was already there; the recall waits for the main thread
  engine_.PostMessageWork();
  EXPECT_EQ(Changed(Drain()), (std::set<Change>{Change::kPanel}));
}

TEST_F(ChangeEventsTest, ChaseStepsAnnounceThePlayerTheSceneAndTheCrossfader) {
  AddScene("A");
  AddScene("B");
  const int chase = AddChase({SceneStep(0, 1000), CrossfadeStep(200, 0, 1000), StrobeStep(40, 1000)});
  Drain();
  show_.player().StartChase(chase + 1);
  PassAt(0);
  EXPECT_EQ(Changed(Drain()), (std::set<Change>{Change::kChasePlayer, Change::kMaster, Change::kSceneSelection}));
  engine_.PostMessageWork();  // the step's scene recall
  EXPECT_EQ(Changed(Drain()), (std::set<Change>{Change::kPanel}));
  PassAt(1000);
  EXPECT_EQ(Changed(Drain()), (std::set<Change>{Change::kChasePlayer, Change::kMaster, Change::kPanel}));
  PassAt(2000);
  EXPECT_EQ(Changed(Drain()), (std::set<Change>{Change::kChasePlayer, Change::kMaster}));
}

TEST_F(ChangeEventsTest, ResizeAnnouncesMatrixAndPanelAndListsAnnounceTheirChanges) {
  engine_.SelectEffect(0, EffectListPosition(test::kSolidType));
  Drain();
  ASSERT_TRUE(engine_.ResizeMatrix(16, 8));
  EXPECT_EQ(Changed(Drain()), (std::set<Change>{Change::kMatrix, Change::kPanel}));
  EXPECT_FALSE(engine_.ResizeMatrix(2, 8));
  EXPECT_TRUE(Drain().Empty()) << "a refused size announces nothing";
  show_.chases().InsertChase(0, "C");
  EXPECT_EQ(Changed(Drain()), (std::set<Change>{Change::kChases}));
  // A window handing over its layout announces it once; handing the same back again does nothing.
  WindowLayout layout = engine_.windowLayout();
  layout.showWindow.left = 70;
  engine_.SetWindowLayout(layout);
  EXPECT_EQ(Changed(Drain()), (std::set<Change>{Change::kWindowLayout}));
  engine_.SetWindowLayout(layout);
  EXPECT_TRUE(Drain().Empty());
}

TEST_F(ChangeEventsTest, CommandsHoldValuesToTheirRanges) {
  engine_.SetMasterLevel(999);
  engine_.SetStrobeTime(80);
  engine_.SetMergeMode(kMixChannel1, 42);
  engine_.SetChannelFade(kMixChannel2, -5);
  engine_.SetSlotSpeed(3, 1);
  engine_.SetSlotSpeed(2, 99);
  engine_.SetOutputFps(0);
  const EngineSettings& s = settings();
  const MixerPanel& p = engine_.panel();
  EXPECT_EQ((std::vector<int>{s.masterLevel.load(), s.strobeTime.load(), p.mergeMode[kMixChannel1],
                              p.masterFade[kMixChannel2], p.speed[3], p.speed[2], s.outputFps.load()}),
            (std::vector<int>{255, 25, kMixModeCount - 1, 0, kMinSlotSpeed, 25, 1}));
}

TEST_F(ChangeEventsTest, HooksAreRefusedWhileTheClockRuns) {
  int drawn = 0;
  engine_.StartClock();
  EXPECT_FALSE(engine_.EditHooks([&](EngineHooks& h) { h.drawPreview = [&] { ++drawn; }; }));
  EXPECT_FALSE(show_.player().SetHooks({}));
  EXPECT_TRUE(static_cast<bool>(show_.player().hooks().stopped));
  engine_.StopClock();
  EXPECT_TRUE(engine_.EditHooks([&](EngineHooks& h) { h.drawPreview = [&] { ++drawn; }; }));
  engine_.RunMixPass();
  EXPECT_EQ(drawn, 1);
}

TEST(ChangeFeedTest, QueuesLinesAndErrorsInOrderAndCountsWhatItDrops) {
  ChangeFeed feed;
  for (size_t i = 0; i < ChangeFeed::kMaxQueued + 3; ++i) feed.AddConsoleLine("line " + std::to_string(i));
  feed.ReportError({"/tmp/a.dat", 28, "No space left on device"});
  feed.ReportError({"/dev/ttyUSB0", 13, "Permission denied"});
  ChangeBatch batch = feed.Drain();
  EXPECT_EQ(Changed(batch), (std::set<Change>{Change::kConsole, Change::kErrors}));
  ASSERT_EQ(batch.consoleLines.size(), ChangeFeed::kMaxQueued);
  EXPECT_EQ(std::pair(batch.consoleLines.front(), batch.dropped), std::pair(std::string("line 0"), size_t{3}));
  EXPECT_EQ(batch.errors, (std::vector<Failure>{{"/tmp/a.dat", 28, "No space left on device"},
                                                     {"/dev/ttyUSB0", 13, "Permission denied"}}));
  EXPECT_TRUE(feed.Drain().Empty());
}

}  // namespace
}  // namespace quor

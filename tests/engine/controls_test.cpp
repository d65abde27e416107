// The control address space: names round-trip, and every control set by name announces its
// change group, reads back, and shows its effect in the mixed frame (or in the state it drives).
#include "core/controls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>

#include "show/show_fixture.h"

namespace quor {
namespace {

TEST(ControlNames, EveryNameParsesBackAndStrangeNamesAreRefused) {
  for (const ControlSpec& info : ControlSpecs()) {
    for (int i : {0, info.maxInstances - 1}) {
      const ControlAddress address{info.id, i};
      EXPECT_EQ(ParseControlName(ControlName(address)), address) << ControlName(address);
    }
  }
  for (const char* name : {"", "/", "slot/0/speed", "slot/5/speed", "slot/01/speed", "slot//speed", "slot/1/speedy",
                           "scene/10001/recall", "chase/251/play", "master", "master/level/", "slot/99999999/speed"}) {
    EXPECT_FALSE(ParseControlName(name).has_value()) << name;
  }
  EXPECT_EQ(ParseControlName("/slot/4/speed"), (ControlAddress{ControlId::kSlotSpeed, 3}));
  EXPECT_EQ(ParseControlName("scene/10000/recall"), (ControlAddress{ControlId::kSceneRecall, 9999}));
  const std::string list = ControlListText();
  EXPECT_NE(list.find("slot/4/invert         toggle   0..1      slot 4 inverted\n"), std::string::npos) << list;
  EXPECT_NE(list.find("scene/N/recall"), std::string::npos);
}

class ControlsTest : public test::ShowTest {
 protected:
  ControlsTest() {
    // Four solid slots, two scenes (slot 0 black / white) and a chase of the second.
    AddScene("Black", 0);
    AddScene("White", 255);
    AddChase({SceneStep(1, 60000)});
    const uint8_t colours[kSlotCount][3] = {{200, 0, 0}, {0, 200, 0}, {0, 0, 200}, {60, 60, 60}};
    for (int s = 0; s < kSlotCount; ++s) {
      engine_.SelectEffect(s, EffectListPosition(test::kSolidType));
      engine_.RebindSlots();
      std::copy(colours[s], colours[s] + 3, test::SolidIn(engine_, s)->color);
    }
    engine_.SetChannelFade(kMixChannel1, 100);
    engine_.SetChannelFade(kMixChannel2, 150);
    engine_.StartClock();
    Pass();
  }
  // Renders every slot and mixes once.
  void Pass() {
    engine_.PostMessageWork();
    engine_.clock().Advance(40);
  }
  std::vector<uint8_t> Output() { return engine_.CopyFrame(FrameIndex::kOutput); }
};

TEST_F(ControlsTest, EveryControlAnnouncesReadsBackAndActs) {
  using Frames = std::vector<std::vector<uint8_t>>;
  auto dark = [](const std::vector<uint8_t>& f) { return std::all_of(f.begin(), f.end(), [](uint8_t b) { return b == 0; }); };
  struct Row {
    const char* name;
    int value;
    int readBack;
    bool picture;  // a mixed frame after it differs from the one before
    std::function<bool(Engine&, const Frames&)> effect = {};
    bool announces = true;
  };
  const Row rows[] = {
      {"slot/1/effect", 0, 0, true},
      {"slot/2/speed", 10, 10, false, [](Engine& e, const Frames&) { return e.SlotTimerPeriod(1) == 100; }},
      {"slot/3/invert", 1, 1, true},
      {"channel/1/mode", 3, 3, true},
      {"channel/2/fade", 0, 0, true},
      {"main/mode", 1, 1, true},
      {"main/fade", 0, 0, true},
      {"main/glide/end", 1, 1, true},
      {"main/glide/start", 1, 1, true},
      {"main/glide/centre", 1, 1, true},
      {"master/gamma", 250, 250, true},
      {"master/level", 300, 255, false, {}, false},  // already 255: held to the range, nothing changes
      {"master/level", 90, 90, true},
      {"master/blackout", 1, 1, true, [&](Engine&, const Frames& f) { return dark(f.back()); }},
      {"master/level", 255, 255, true},
      {"master/strobe_time", 3, 3, false, [](Engine& e, const Frames&) { return e.settings().strobeTime.load() == 3; }},
      {"master/strobe", 1, 1, true, [&](Engine&, const Frames& f) { return std::count_if(f.begin(), f.end(), dark) == 6; }},
      // Off after a lit pass: the picture stays, and no dark pass follows.
      {"master/strobe", 0, 0, false, [&](Engine&, const Frames& f) { return std::none_of(f.begin() + 1, f.end(), dark); }},
      {"scene/1/recall", 1, 1, true, [](Engine& e, const Frames&) { return e.LastRecalledScene() == 0; }},
      {"chase/1/play", 1, 1, true, [](Engine& e, const Frames&) { return e.show().player().RunningChase() == 1; }},
      {"chase/stop", 1, 1, false, [](Engine& e, const Frames&) { return e.show().player().RunningChase() <= 0; }},
      {"show_mode", 1, 1, false, [](Engine& e, const Frames&) { return e.flags().showModeActive.load() == 1; }},
      {"output/enabled", 1, 1, false, [](Engine& e, const Frames&) { return e.flags().outputState.load() == kOutputRunning; }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::optional<ControlAddress> address = ParseControlName(row.name);
    ASSERT_TRUE(address.has_value());
    const Change group = SpecOf(address->id).group;
    // Settled: no glide under way, a lit strobe pass.
    for (int i = 0; i < 300 && (engine_.settings().mainFadeDirection.load() != kGlideNone || i < 4); ++i) Pass();
    const std::vector<uint8_t> before = Output();
    engine_.changes().Drain();
    ASSERT_TRUE(engine_.SetControl(*address, row.value));
    Frames after;
    for (int i = 0; i < 8; ++i) Pass(), after.push_back(Output());
    EXPECT_EQ(engine_.changes().Drain().Has(group), row.announces);
    if (row.effect) {
      EXPECT_TRUE(row.effect(engine_, after));
    }
    if (SpecOf(address->id).kind != ControlType::kButton || address->id == ControlId::kBlackout) {
      EXPECT_EQ(engine_.ControlValue(*address), row.readBack);
    }
    EXPECT_EQ(std::any_of(after.begin(), after.end(), [&](const auto& f) { return f != before; }), row.picture);
  }
  EXPECT_FALSE(engine_.SetControl({ControlId::kSceneRecall, 2}, 1)) << "only two scenes";
  EXPECT_FALSE(engine_.ControlValue({ControlId::kChasePlay, 1}).has_value()) << "only one chase";
  engine_.CloseOutputs();
}

// From another thread, scene and chase presses wait for the main thread; a later press of a kind
// replaces an earlier one, and a scene pressed after a chase stops it.
TEST_F(ControlsTest, PressesFromAnotherThreadAreCarriedOutByTheMainThreadInOrder) {
  const ControlAddress scene1{ControlId::kSceneRecall, 0}, scene2{ControlId::kSceneRecall, 1},
      missing{ControlId::kSceneRecall, 7}, chase{ControlId::kChasePlay, 0};
  const struct {
    std::vector<ControlAddress> presses;
    int recalled;
    bool chaseStarts;
  } rows[] = {
      {{scene1, chase}, 0, true},
      {{chase, scene2}, 1, false},
      {{scene1, missing}, -1, false},
  };
  for (const auto& row : rows) {
    engine_.show().player().StopChaseNow();
    const int before = engine_.RecallCount();
    std::thread console([&] {
      for (const ControlAddress& press : row.presses) EXPECT_TRUE(engine_.SetControl(press, 1));
    });
    console.join();
    EXPECT_EQ(engine_.RecallCount(), before) << "nothing happens before the main thread's turn";
    engine_.PostMessageWork();
    EXPECT_EQ(engine_.RecallCount() > before ? engine_.LastRecalledScene() : -1, row.recalled);
    EXPECT_EQ(engine_.show().player().PendingCommand() > 0, row.chaseStarts);
  }
}

}  // namespace
}  // namespace quor

// The scene list's commands, scene recall and damaged scene records. The
// record layout itself is pinned by the project file's golden bytes.
#include "show/scene_list.h"

#include <cstring>

#include "engine/scene_recall.h"
#include "show_fixture.h"

namespace quor {
namespace {

using test::kSolidType;
using test::ShowTest;
using test::SolidIn;

using SceneListTest = ShowTest;

TEST_F(SceneListTest, InsertDeleteAndMovesKeepEveryChaseOnItsScenes) {
  SceneList& list = show_.sceneList();
  const auto values = [this](int chase) {
    std::vector<int> v;  // non-scene steps as -value - 100
    for (const ChaseStep& s : show_.chases().at(chase).steps) v.push_back(s.kind == kStepScene ? s.value : -s.value - 100);
    return v;
  };
  using V = std::vector<int>;
  using Names = std::vector<std::string>;
  AddScene("A");  // nothing selected: at the top
  list.ShowSelection(-1);
  AddScene("B");
  EXPECT_EQ(list.Names(), (Names{"B", "A"}));
  AddScene("C");  // after the selection (B)
  AddScene("D");
  EXPECT_EQ(list.Names(), (Names{"B", "C", "D", "A"}));

  // A strobe step's value looks like a scene index and must never be touched.
  const int first = AddChase({SceneStep(0, 1000), SceneStep(3, 1000), StrobeStep(1, 1000)});
  const int second = AddChase({SceneStep(2, 1000), SceneStep(1, 1000)});

  list.ShowSelection(1);  // insert after C: steps on D and A move up
  AddScene("E");
  EXPECT_EQ(std::make_pair(values(first), values(second)), std::make_pair(V{0, 4, -101}, V{3, 1}));
  // Up on D (3) exchanges 2 and 3 in every chase; the ends refuse.
  list.ShowSelection(3);
  ASSERT_TRUE(list.MoveUp());
  EXPECT_EQ(std::make_pair(list.selection(), values(second)), std::make_pair(2, V{2, 1}));
  ASSERT_TRUE(list.MoveDown());
  EXPECT_EQ(values(second), (V{3, 1}));
  list.ShowSelection(0);
  EXPECT_FALSE(list.MoveUp());
  list.ShowSelection(4);
  EXPECT_FALSE(list.MoveDown());

  // Deleting unused E (2) moves later references down.
  list.ShowSelection(2);
  const int wakesBefore = wakes_.load();
  EXPECT_EQ(list.Delete(), std::nullopt);
  EXPECT_EQ(std::make_pair(values(first), values(second)), std::make_pair(V{0, 3, -101}, V{2, 1}));
  // The scene that takes its place is recalled.
  EXPECT_EQ(std::make_tuple(list.selection(), engine_.PendingSceneIndex(), wakes_.load()), std::make_tuple(2, 2, wakesBefore + 1));
}

TEST_F(SceneListTest, DeleteIsRefusedForScenesInUseAndSelectsTheNeighbour) {
  SceneList& list = show_.sceneList();
  for (const char* name : {"A", "B", "C"}) AddScene(name);
  AddChase({CrossfadeStep(2, 0, 1000), SceneStep(1, 1000)});

  list.ShowSelection(1);
  EXPECT_EQ(list.Delete(), std::string("Cannot delete this scene, it is in use by one or more chasers."));
  EXPECT_EQ(show_.scenes().count(), 3);

  // A crossfade step of value 2 does not hold scene 2; the new last is recalled.
  list.ShowSelection(2);
  EXPECT_EQ(list.Delete(), std::nullopt);
  EXPECT_EQ(std::make_pair(list.selection(), engine_.PendingSceneIndex()), std::make_pair(1, 1));

  // Deleting the only scene leaves no selection and recalls nothing.
  show_.chases().RemoveChase(0);
  list.ShowSelection(0);
  ASSERT_EQ(list.Delete(), std::nullopt);
  engine_.PostMessageWork();
  const int wakesBefore = wakes_.load();
  list.ShowSelection(0);
  ASSERT_EQ(list.Delete(), std::nullopt);
  EXPECT_EQ(std::make_tuple(wakes_.load(), list.selection(), engine_.PendingSceneIndex()), std::make_tuple(wakesBefore, -1, -1));
  EXPECT_EQ(list.Delete(), std::nullopt);  // nothing selected: nothing happens
  EXPECT_FALSE(list.Add("") || list.Replace("x"));
}

TEST_F(SceneListTest, StoresGrowByOneRecordWithTheirConsoleLines) {
  for (int i = 0; i < 27; ++i) AddScene(std::to_string(i));
  EXPECT_EQ(capture_.Count("Scenes: 25 Malloc 25\nRealloc - Scenes: 25 Malloc 26\n"
                           "Scenes: 26 Malloc 26\nRealloc - Scenes: 26 Malloc 27\n"), 1);
  EXPECT_EQ(show_.scenes().capacity(), 27);

  capture_.Clear();  // chases grow like scenes (one store); their steps grow on their own
  show_.chases().InsertChase(0, "c");
  for (int i = 0; i < 6; ++i) show_.chases().InsertStep(0, i, SceneStep(0, 1000));
  EXPECT_EQ(capture_.Count("Chasesteps: 5 Malloc 5\nRealloc - Chasesteps: 5 Malloc 6\n"), 1);
  EXPECT_EQ(capture_.Count(" Malloc "), 8);  // one line per insert, one per growth
}

TEST_F(SceneListTest, ReplaceStoresAndRecallRestoresTheMixerTimersAndFade) {
  engine_.StartClock();
  AddScene("Look", 200);
  engine_.RequestType(3, kSolidType);
  engine_.RebindSlots();
  SolidIn(engine_, 0)->color[0] = 90;
  engine_.SetSlotSpeed(0, 10);
  engine_.SetSlotSpeed(3, 5);
  engine_.SetInvert(1, true);
  engine_.SetMergeMode(kMixChannel2, 6);
  engine_.SetChannelFade(kMixMain, 30);
  ASSERT_TRUE(show_.sceneList().Replace(""));  // an empty name keeps "Look"; no recall
  EXPECT_EQ(std::make_pair(show_.scenes().at(0).Name(), engine_.PendingSceneIndex()), std::make_pair(std::string("Look"), -1));
  engine_.SelectEffect(0, 0);  // change everything, then recall
  engine_.RebindSlots();
  engine_.SetSlotSpeed(0, 25);
  engine_.SetInvert(1, false);
  engine_.SetMergeMode(kMixChannel2, 0);
  engine_.SetChannelFade(kMixMain, 128);
  settings().sceneFadeLevel.store(-6);
  capture_.Clear();
  show_.sceneList().SelectByUser(0);
  EXPECT_EQ(capture_.Text(), "item: 0\n");
  engine_.PostMessageWork();

  EXPECT_EQ(std::make_tuple(engine_.BoundType(0), engine_.panel().effectListPosition[0].load(), SolidIn(engine_, 0)->color[0]),
            std::make_tuple(kSolidType, EffectListPosition(kSolidType), uint8_t{90}));
  // Speeds 10 and 5 restart their timers; slot 1 (empty) and the mix keep 40.
  EXPECT_EQ((std::array{engine_.SlotTimerPeriod(0), engine_.SlotTimerPeriod(3), engine_.SlotTimerPeriod(1),
                        engine_.MixTimerPeriod()}),
            (std::array{100, 200, 40, 40}));
  const MixerPanel& panel = engine_.panel();
  EXPECT_EQ((std::array{panel.speed[3].load(), panel.invert[1].load(), panel.mergeMode[kMixChannel2].load(), MainFade(),
                        settings().sceneFadeLevel.load(), engine_.PendingSceneIndex()}),
            (std::array{5, 1, 6, 30, 128, -1}));

  // With "Fade Out" off the recall cuts.
  show_.sceneList().SetFadeOut(false);
  show_.sceneList().SelectByUser(0);
  engine_.PostMessageWork();
  EXPECT_EQ(settings().sceneFadeLevel.load(), 0);
  ASSERT_TRUE(show_.sceneList().Replace("Dim"));
  EXPECT_EQ(show_.scenes().at(0).Name(), "Dim");
}

TEST_F(SceneListTest, DamagedScenesRecallSafely) {
  Scene damaged;
  damaged.types = {99, -3, kSolidType, 0};
  damaged.speeds = {0, -7, 1000, 25};
  damaged.mergeModes = {42, -1, 3};
  damaged.masterfades = {-20, 999, 128};
  ASSERT_TRUE(show_.scenes().ReplaceAll({damaged}));
  const auto start = BeginSceneRecall(engine_, show_.scenes(), 0);
  ASSERT_TRUE(start.has_value());
  EXPECT_EQ((std::array{engine_.RequestedType(0), engine_.RequestedType(1), engine_.RequestedType(2)}),
            (std::array{0, 0, kSolidType}));
  EXPECT_EQ(start->speeds, (std::array<int, 4>{5, 5, 25, 25}));
  const MixerPanel& panel = engine_.panel();
  EXPECT_EQ((std::array{panel.mergeMode[0].load(), panel.mergeMode[2].load(), panel.masterFade[0].load(), panel.masterFade[1].load()}),
            (std::array{0, 3, 0, 255}));
  EXPECT_FALSE(BeginSceneRecall(engine_, show_.scenes(), 1).has_value() || BeginSceneRecall(engine_, show_.scenes(), -1).has_value());
}

TEST(SceneRecord, NamesAreBoundedAndShortRecordsRefused) {
  Scene scene;
  SetNameText(scene.name, std::string(400, 'x'));
  EXPECT_EQ(scene.Name().size(), 253u);
  std::array<uint8_t, kSceneRecordSize> bytes{};
  std::memset(bytes.data(), 'y', 256);
  ASSERT_TRUE(ParseScene(bytes, scene));  // no terminator: still a bounded name
  EXPECT_EQ(scene.Name(), std::string(256, 'y'));
  EXPECT_EQ(SerializeScene(scene), bytes);
  EXPECT_FALSE(ParseScene(std::span<const uint8_t>(bytes).first(kSceneRecordSize - 1), scene));
}

}  // namespace
}  // namespace quor

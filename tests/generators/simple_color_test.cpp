#include "generators/simple_color.h"

#include "generator_rig.h"

namespace quor {
namespace {

// Seed 1 draws 41, 18467, 6334, 26500, 19169, 15724, ...: a wheel restart takes position draw % 255 and phase draw %
// 5, and every frame first steps the position by 2.
class SimpleColorTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(generator.Create(5, 3)); }
  // Renders over stale bytes; every pixel must hold `expected`.
  void ExpectSolid(Rgb expected, const char* name) {
    test::Frame frame(5, 3, 0x5A);
    generator.Render(frame.bytes.data(), 5, 3);
    EXPECT_TRUE(frame.All(expected)) << name << ": " << frame.At(0, 0).r << "," << frame.At(0, 0).g;
  }
  void StoreAndLoad() {
    SettingsBlock block{};
    generator.ExchangeSettings(block, SettingsDirection::kStore);
    generator.ExchangeSettings(block, SettingsDirection::kLoad);
  }
  test::GeneratorHarness harness{1};
  SimpleColorGenerator generator{harness.context};
};

TEST_F(SimpleColorTest, FixedColourFillsEveryPixelWithLowBytesAndTrackbarsClamp) {
  ExpectSolid({255, 0, 0}, "default");
  test::LoadWords(generator, {256 + 10, -1, 40, 0});  // red, green, blue beyond a byte; fixed colour
  ExpectSolid({10, 255, 40}, "low bytes");
  generator.colorGroup().SetRed(300), generator.colorGroup().SetGreen(-4);
  EXPECT_EQ(generator.colorGroup().color, (Rgb{255, 0, 40}));
}

TEST_F(SimpleColorTest, OwnWheelRestartsAtRandomPointAfterCreateAndSceneLoad) {
  generator.colorGroup().SetAutoColorChecked(true);
  // Start 41, phase 2 (yellow to green): (255 - p, 255, 0) at p = 43, 45.
  ExpectSolid({212, 255, 0}, "wheel 1");
  ExpectSolid({210, 255, 0}, "wheel 2");
  // Loading restarts it: 6334 % 255 = 214, 26500 % 5 = 0 (magenta to red): (255, 0, 255 - 216).
  StoreAndLoad();
  ExpectSolid({255, 0, 39}, "wheel after load");
  // Create restarts it too (and drops back to a fixed red).
  ASSERT_TRUE(generator.Create(5, 3));
  ExpectSolid({255, 0, 0}, "after create");
  generator.colorGroup().SetAutoColorChecked(true);
  // 19169 % 255 = 44, 15724 % 5 = 4 (cyan to blue): (0, 255 - 46, 255).
  ExpectSolid({0, 209, 255}, "wheel after create");
}

TEST_F(SimpleColorTest, SyncModeContinuesSharedWheelAcrossLoads) {
  harness.sharedWheel = {100, 3};
  generator.colorGroup().SetAutoColorSyncChecked(true);
  ExpectSolid({0, 255, 102}, "sync 1");  // phase 3 is green to cyan: (0, 255, p)
  StoreAndLoad();
  ExpectSolid({0, 255, 104}, "sync after load");
  EXPECT_EQ(harness.sharedWheel, (ColorWheel{104, 3}));
  EXPECT_EQ(harness.random.Next(), 41);  // the shared wheel draws no random numbers
}

}  // namespace
}  // namespace quor

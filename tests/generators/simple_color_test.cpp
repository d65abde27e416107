#include "generators/simple_color.h"

#include "generator_rig.h"

namespace quor {
namespace {

// Seed 1 draws 41, 18467, 6334, 26500, 19169, 15724, ...: a wheel restart takes position draw % 255 and phase draw %
// 5, and every frame first steps the position by 2.
class SimpleColorTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(generator.Create(5, 3)); }
  // One render over stale bytes: the colour every pixel shows, or {-1} when they differ.
  Rgb Solid() {
    test::Frame frame(5, 3, 0x5A);
    generator.Render(frame.bytes.data(), 5, 3);
    return frame.All(frame.At(0, 0)) ? frame.At(0, 0) : Rgb{-1, -1, -1};
  }
  void StoreAndLoad() {
    SettingsBlock block{};
    generator.ExchangeSettings(block, SettingsDirection::kStore);
    generator.ExchangeSettings(block, SettingsDirection::kLoad);
  }
  test::GeneratorHarness harness{1};
  SimpleColorGenerator generator{harness.context};
};

TEST_F(SimpleColorTest, FixedColourFillsEveryPixelWithLowBytes) {
  EXPECT_EQ(Solid(), (Rgb{255, 0, 0}));
  test::LoadWords(generator, {256 + 10, -1, 40, 0});  // red, green, blue beyond a byte; fixed colour
  EXPECT_EQ(Solid(), (Rgb{10, 255, 40}));
}

TEST_F(SimpleColorTest, OwnWheelRestartsAtRandomPointAfterCreateAndSceneLoad) {
  generator.colorGroup().SetAutoColorChecked(true);
  EXPECT_EQ(Solid(), (Rgb{212, 255, 0}));  // start 41, phase 2 (yellow to green): (255 - p, 255, 0) at p = 43
  StoreAndLoad();  // 6334 % 255 = 214, 26500 % 5 = 0 (magenta to red): (255, 0, 255 - 216)
  EXPECT_EQ(Solid(), (Rgb{255, 0, 39}));
  ASSERT_TRUE(generator.Create(5, 3));  // back to fixed red, and the wheel restarts too
  EXPECT_EQ(Solid(), (Rgb{255, 0, 0}));
  generator.colorGroup().SetAutoColorChecked(true);
  EXPECT_EQ(Solid(), (Rgb{0, 209, 255}));  // 19169 % 255 = 44, 15724 % 5 = 4 (cyan to blue): (0, 255 - 46, 255)
}

TEST_F(SimpleColorTest, SyncModeContinuesSharedWheelAcrossLoads) {
  harness.sharedWheel = {100, 3};
  generator.colorGroup().SetAutoColorSyncChecked(true);
  EXPECT_EQ(Solid(), (Rgb{0, 255, 102}));  // phase 3 is green to cyan: (0, 255, p)
  StoreAndLoad();
  EXPECT_EQ(Solid(), (Rgb{0, 255, 104}));
  EXPECT_EQ(harness.random.Next(), 41);  // the shared wheel draws no random numbers
}

}  // namespace
}  // namespace quor

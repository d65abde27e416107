#include "generators/simple_color.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/byte_io.h"
#include "test_support.h"

namespace quor {
namespace {

using Frame = std::vector<uint8_t>;

Frame StaleFrame(int width, int height) { return Frame(static_cast<size_t>(width) * height * 3, 0x5A); }

// Every pixel of `frame` must hold `expected`; saves the frame otherwise.
void ExpectSolid(const Frame& frame, int width, int height, Rgb expected, const std::string& name) {
  const uint8_t want[3] = {static_cast<uint8_t>(expected.r), static_cast<uint8_t>(expected.g),
                           static_cast<uint8_t>(expected.b)};
  for (size_t i = 0; i < frame.size(); ++i) {
    if (frame[i] != want[i % 3]) {
      ADD_FAILURE() << name << ": byte " << i << " is " << int{frame[i]} << ", want " << int{want[i % 3]}
                    << "; frame saved to " << test::SaveFrameForInspection(name, frame.data(), width, height);
      return;
    }
  }
}

TEST(SimpleColor, FixedColourFillsEveryPixelWithLowBytes) {
  test::GeneratorHarness harness;
  SimpleColorGenerator generator(harness.context);
  ASSERT_TRUE(generator.Create(5, 3));
  Frame frame = StaleFrame(5, 3);
  generator.Render(frame.data(), 5, 3);
  ExpectSolid(frame, 5, 3, {255, 0, 0}, "simple_color_default");

  // A scene may carry components beyond a byte; each pixel keeps the low one.
  SettingsBlock block{};
  ByteWriter writer(block);
  writer.PutI32(256 + 10);  // red
  writer.PutI32(-1);        // green: low byte 255
  writer.PutI32(40);        // blue
  writer.PutI32(0);         // fixed colour
  generator.ExchangeSettings(block, SettingsDirection::kLoad);
  generator.Render(frame.data(), 5, 3);
  ExpectSolid(frame, 5, 3, {10, 255, 40}, "simple_color_low_bytes");

  // The trackbars keep 0..255.
  generator.colorGroup().SetRed(300);
  generator.colorGroup().SetGreen(-4);
  generator.colorGroup().SetBlue(77);
  EXPECT_EQ(generator.colorGroup().color, (Rgb{255, 0, 77}));
}

TEST(SimpleColor, OwnWheelRestartsAtRandomPointAfterCreateAndSceneLoad) {
  // Seed 1 draws 41, 18467, 6334, 26500, 19169, 15724, ...: each restart
  // takes position = draw % 255 and phase = draw % 5, and every frame first
  // steps the position by 2.
  test::GeneratorHarness harness(1);
  SimpleColorGenerator generator(harness.context);
  ASSERT_TRUE(generator.Create(4, 4));
  generator.colorGroup().SetAutoColorChecked(true);
  Frame frame = StaleFrame(4, 4);

  // Start 41, phase 2 (yellow to green): (255 - p, 255, 0) at p = 43, 45.
  generator.Render(frame.data(), 4, 4);
  ExpectSolid(frame, 4, 4, {212, 255, 0}, "simple_color_wheel_1");
  generator.Render(frame.data(), 4, 4);
  ExpectSolid(frame, 4, 4, {210, 255, 0}, "simple_color_wheel_2");

  // Storing leaves the wheel alone; loading restarts it: 6334 % 255 = 214,
  // 26500 % 5 = 0 (magenta to red): (255, 0, 255 - 216).
  SettingsBlock block{};
  generator.ExchangeSettings(block, SettingsDirection::kStore);
  generator.ExchangeSettings(block, SettingsDirection::kLoad);
  generator.Render(frame.data(), 4, 4);
  ExpectSolid(frame, 4, 4, {255, 0, 39}, "simple_color_wheel_after_load");

  // Create restarts it too (and drops back to a fixed red).
  ASSERT_TRUE(generator.Create(4, 4));
  generator.Render(frame.data(), 4, 4);
  ExpectSolid(frame, 4, 4, {255, 0, 0}, "simple_color_after_create");
  generator.colorGroup().SetAutoColorChecked(true);
  // 19169 % 255 = 44, 15724 % 5 = 4 (cyan to blue): (0, 255 - 46, 255).
  generator.Render(frame.data(), 4, 4);
  ExpectSolid(frame, 4, 4, {0, 209, 255}, "simple_color_wheel_after_create");
}

TEST(SimpleColor, SyncModeContinuesSharedWheelAcrossLoads) {
  test::GeneratorHarness harness(1);
  harness.sharedWheel = {100, 3};
  SimpleColorGenerator generator(harness.context);
  ASSERT_TRUE(generator.Create(4, 4));
  generator.colorGroup().SetAutoColorSyncChecked(true);
  Frame frame = StaleFrame(4, 4);
  // Phase 3 is green to cyan: (0, 255, p).
  generator.Render(frame.data(), 4, 4);
  ExpectSolid(frame, 4, 4, {0, 255, 102}, "simple_color_sync_1");

  SettingsBlock block{};
  generator.ExchangeSettings(block, SettingsDirection::kStore);
  generator.ExchangeSettings(block, SettingsDirection::kLoad);
  generator.Render(frame.data(), 4, 4);
  ExpectSolid(frame, 4, 4, {0, 255, 104}, "simple_color_sync_after_load");
  EXPECT_EQ(harness.sharedWheel.position, 104);
  EXPECT_EQ(harness.sharedWheel.phase, 3);
  // The shared wheel never draws random numbers: seed 1's first draw is 41.
  EXPECT_EQ(harness.random.Next(), 41);
}

TEST(SimpleColor, SettingsBlockLayoutRoundTripsAndCheckBoxesFollowMode) {
  test::GeneratorHarness harness;
  SimpleColorGenerator generator(harness.context);
  ASSERT_TRUE(generator.Create(4, 4));
  generator.colorGroup().SetRed(1);
  generator.colorGroup().SetGreen(200);
  generator.colorGroup().SetBlue(3);
  generator.colorGroup().SetAutoColorSyncChecked(true);

  SettingsBlock block;
  block.fill(0xAB);
  generator.ExchangeSettings(block, SettingsDirection::kStore);
  const uint8_t expected[] = {
      1,   0, 0, 0,  // red
      200, 0, 0, 0,  // green
      3,   0, 0, 0,  // blue
      2,   0, 0, 0,  // auto colour mode: sync
      0xAB,          // the rest of the block is left alone
  };
  for (size_t i = 0; i < sizeof expected; ++i) EXPECT_EQ(block[i], expected[i]) << "byte " << i;
  EXPECT_EQ(block.back(), 0xAB);

  SimpleColorGenerator copy(harness.context);
  ASSERT_TRUE(copy.Create(4, 4));
  copy.ExchangeSettings(block, SettingsDirection::kLoad);
  SettingsBlock again;
  again.fill(0xAB);
  copy.ExchangeSettings(again, SettingsDirection::kStore);
  EXPECT_EQ(again, block);

  // Sync implies " Autocolor"; unchecking " Autocolor" clears both.
  ColorGroup& colors = copy.colorGroup();
  EXPECT_TRUE(colors.AutoColorChecked());
  EXPECT_TRUE(colors.AutoColorSyncChecked());
  colors.SetAutoColorSyncChecked(false);
  EXPECT_EQ(colors.autoColorMode, kAutoColorOwn);
  colors.SetAutoColorSyncChecked(true);
  colors.SetAutoColorChecked(false);
  EXPECT_EQ(colors.autoColorMode, kAutoColorOff);
  EXPECT_FALSE(colors.AutoColorSyncChecked());
}

}  // namespace
}  // namespace quor

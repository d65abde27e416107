#include "generators/fire.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <span>
#include <vector>

#include "core/byte_io.h"
#include "tests/test_support.h"

namespace quor {
namespace {

using Field = std::vector<std::vector<int>>;

// A fire on 4 x 4 with one hot spot of size 1 per step (hotspots 0). Seed 1
// draws 41, 18467, 6334, 26500, 19169, 15724, ...
struct SmallFire {
  SmallFire() : fire(harness.context) {
    fire.Create(4, 4);
    fire.SetHotspots(0);
  }
  // Renders one frame and returns heat rows 0..4 (row 4 hidden).
  Field Render() {
    fire.Render(frame.data(), 4, 4);
    Field field(5, std::vector<int>(4));
    for (int y = 0; y <= 4; ++y) {
      for (int x = 0; x < 4; ++x) field[y][x] = fire.HeatAt(x, y);
    }
    return field;
  }
  // Random draws used so far (seed 1).
  int DrawsUsed() {
    RandomSource reference(1);
    const int next = harness.random.Next();
    for (int n = 0; n < 1000; ++n) {
      if (reference.Next() == next) return n;
    }
    return -1;
  }
  test::GeneratorHarness harness{1};
  FireGenerator fire;
  std::vector<uint8_t> frame = std::vector<uint8_t>(4 * 4 * 3, 0);
};

TEST(FirePalette, BlackAtZeroAndWhiteFromHalfWay) {
  SmallFire f;
  EXPECT_EQ(f.fire.PaletteEntry(0), (Rgb{0, 0, 0}));
  for (int i = 128; i < 256; ++i) EXPECT_EQ(f.fire.PaletteEntry(i), (Rgb{255, 255, 255})) << i;
}

TEST(FireRender, HeatRisesFromTheHiddenRowAndWrapsBothWays) {
  SmallFire f;
  // Frame 1: c = 41 & 255 at x = 18467 % 4 = 3. Row 2 reads the hidden row
  // two below: 41 * 32 / 129 = 10. Row 3 reads hidden x - 1, x, x + 1 with
  // columns wrapping: 10 at x 2, 3 and 0.
  EXPECT_EQ(f.Render(), (Field{{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 10}, {10, 0, 10, 10}, {0, 0, 0, 41}}));
  EXPECT_EQ((Rgb{f.frame[33], f.frame[34], f.frame[35]}), f.fire.PaletteEntry(10));  // pixel (3, 2)
  // Frame 2: hidden row cleared, c = 6334 & 255 = 190 at x = 26500 % 4 = 0.
  // Row 2, x 0: (row3[3] + row3[0] + row3[1] + 190) = 210 -> 52.
  EXPECT_EQ(f.Render(), (Field{{0, 0, 0, 2}, {4, 0, 4, 4}, {52, 4, 4, 7}, {47, 47, 0, 47}, {190, 0, 0, 0}}));
  // Frame 3: c = 225 at x 0. Row 0 is rewritten first ({14, 2, 2, 4}) and
  // the bottom row reads it: x 0 = (225 + 0 + 0 + 14) * 32 / 129 = 59, where
  // the hidden row alone would give 55.
  const Field third = f.Render();
  EXPECT_EQ(third, (Field{{14, 2, 2, 4}, {27, 26, 3, 27}, {90, 23, 23, 23}, {59, 56, 0, 56}, {225, 0, 0, 0}}));
  if (third[3][0] != 59) ADD_FAILURE() << test::SaveFrameForInspection("fire_wrap", f.frame.data(), 4, 4);
}

TEST(FireRender, HotSpotCountSizeAndPixelStep) {
  {  // Hotspots 0 still stamps one spot per step: two draws.
    SmallFire f;
    f.Render();
    EXPECT_EQ(f.DrawsUsed(), 2);
  }
  {  // Hotspots 100 on 4 columns: n = 4 * 2 * 100 / 100 = 8, so 9 spots.
    SmallFire f;
    f.fire.SetHotspots(100);
    f.Render();
    EXPECT_EQ(f.DrawsUsed(), 18);
  }
  {  // PixelStep 2: two steps, the hidden row cleared only once, so it keeps
     // 41 at x 3 from step one next to 190 at x 0 from step two.
    SmallFire f;
    f.harness.pixelStep = 2;
    const Field field = f.Render();
    EXPECT_EQ(field[4], (std::vector<int>{190, 0, 0, 41}));
    EXPECT_EQ(field[3], (std::vector<int>{57, 47, 10, 57}));
  }
  {  // Size 3 on 4 columns starts at 0 or 1 only (18467 % 2 = 1 first).
    SmallFire f;
    f.fire.SetHotspotSize(FireGenerator::kBigHotspots);
    EXPECT_EQ(f.Render()[4], (std::vector<int>{0, 41, 41, 41}));
    for (int frame = 0; frame < 64; ++frame) {
      const std::vector<int> hidden = f.Render()[4];
      ASSERT_EQ(hidden[1], hidden[2]);
      if (hidden[1] != 0) {
        EXPECT_NE(hidden[0] == hidden[1], hidden[3] == hidden[1]) << frame;
      }
    }
  }
}

TEST(FireLifecycle, RendersOnlyWhileReadyAndAtItsSize) {
  SmallFire f;
  f.fire.Destroy();
  EXPECT_EQ(f.fire.busyState(), BusyStatus::kDestroyed);
  std::vector<uint8_t> frame(4 * 4 * 3, 0x5a);
  f.fire.Render(frame.data(), 4, 4);
  EXPECT_EQ(frame, std::vector<uint8_t>(4 * 4 * 3, 0x5a));
  // Create starts over from the defaults; a frame of another size than the
  // created one is left alone rather than read past the field.
  EXPECT_TRUE(f.fire.Create(6, 5));
  EXPECT_EQ(f.fire.hotspots(), 35);
  EXPECT_EQ(f.fire.busyState(), BusyStatus::kReady);
  f.fire.Render(frame.data(), 4, 4);
  EXPECT_EQ(frame, std::vector<uint8_t>(4 * 4 * 3, 0x5a));
}

TEST(FireSettings, RoundTripAndRepairs) {
  SmallFire f;
  f.fire.SetHotspots(77);
  f.fire.SetHotspotSize(FireGenerator::kMediumHotspots);
  SettingsBlock block;
  block.fill(0xa5);
  f.fire.ExchangeSettings(block, SettingsDirection::kStore);
  // hotspots, hotspot size; the rest of the block stays as it was.
  const uint8_t expected[] = {77, 0, 0, 0, 2, 0, 0, 0, 0xa5};
  EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), block.begin()));
  EXPECT_TRUE(std::all_of(block.begin() + 8, block.end(), [](uint8_t b) { return b == 0xa5; }));

  SmallFire copy;
  copy.fire.ExchangeSettings(block, SettingsDirection::kLoad);
  SettingsBlock again = block;
  copy.fire.ExchangeSettings(again, SettingsDirection::kStore);
  EXPECT_EQ(again, block);

  // Damaged: hotspots clamp into 0..100; an unknown size (which would make
  // the spot column a modulo of zero or less) selects Small.
  const std::array<int, 3> cases[] = {{-5, 0, 0}, {500, 4, 100}, {50, -1, 50}};
  for (auto [hotspots, size, repaired] : cases) {
    SettingsBlock bad{};
    ByteWriter writer{std::span<uint8_t>(bad)};
    writer.PutI32(hotspots);
    writer.PutI32(size);
    copy.fire.ExchangeSettings(bad, SettingsDirection::kLoad);
    EXPECT_EQ(copy.fire.hotspots(), repaired);
    EXPECT_EQ(copy.fire.hotspotSize(), FireGenerator::kSmallHotspots);
    copy.Render();
  }
}

}  // namespace
}  // namespace quor

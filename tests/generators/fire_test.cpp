#include "generators/fire.h"

#include "generator_rig.h"

namespace quor {
namespace {

using Field = std::vector<std::vector<int>>;

// A fire on 4 x 4, hotspots 0 (one spot per step). Seed 1 draws 41, 18467, 6334, 26500, 19169, 15724, ...
struct SmallFire {
  SmallFire() : fire(harness.context) { fire.Create(4, 4), fire.SetHotspots(0); }
  // Renders one frame and returns heat rows 0..4 (row 4 hidden).
  Field Render() {
    fire.Render(frame.data(), 4, 4);
    Field field(5, std::vector<int>(4));
    for (int y = 0; y <= 4; ++y)
      for (int x = 0; x < 4; ++x) field[y][x] = fire.HeatAt(x, y);
    return field;
  }
  test::GeneratorHarness harness{1};
  FireGenerator fire;
  std::vector<uint8_t> frame = std::vector<uint8_t>(4 * 4 * 3, 0x5a);
};

TEST(FireRender, HeatRisesFromTheHiddenRowAndWrapsBothWays) {
  SmallFire f;
  EXPECT_EQ(f.fire.PaletteEntry(128), (Rgb{255, 255, 255}));
  // Frame 1: 41 at hidden x = 18467 % 4 = 3; row 2 reads it two below (41 * 32 / 129 = 10), row 3 at x - 1, x, x + 1
  // with columns wrapping.
  EXPECT_EQ(f.Render(), (Field{{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 10}, {10, 0, 10, 10}, {0, 0, 0, 41}}));
  EXPECT_EQ((Rgb{f.frame[33], f.frame[34], f.frame[35]}), f.fire.PaletteEntry(10));  // pixel (3, 2)
  f.Render();
  // Frame 3: row 0 is rewritten first and the bottom row reads it: x 0 = (225 + 0 + 0 + 14) * 32 / 129 = 59 (hidden
  // row alone: 55).
  EXPECT_EQ(f.Render(), (Field{{14, 2, 2, 4}, {27, 26, 3, 27}, {90, 23, 23, 23}, {59, 56, 0, 56}, {225, 0, 0, 0}}));
}

TEST(FireRender, HotSpotCountSizeAndPixelStep) {
  SmallFire many;  // hotspots 100: 4 * 2 * 100 / 100 + 1 = 9 spots, two draws each
  many.fire.SetHotspots(100);
  many.Render();
  RandomSource reference(1);
  for (int n = 0; n < 18; ++n) reference.Next();
  EXPECT_EQ(many.harness.random.Next(), reference.Next());
  SmallFire step;  // PixelStep 2: the hidden row is cleared only once per frame
  step.harness.pixelStep = 2;
  EXPECT_EQ(step.Render()[4], (std::vector<int>{190, 0, 0, 41}));
  SmallFire big;  // size 3 on 4 columns may only start at 0 or 1
  big.fire.SetHotspotSize(FireGenerator::kBigHotspots);
  for (int i = 0; i < 32; ++i) {  // columns 1 and 2 always, plus exactly one of 0 and 3
    const std::vector<int> h = big.Render()[4];
    EXPECT_TRUE(h[1] == h[2] && (h[1] == 0 || (h[0] == h[1]) != (h[3] == h[1]))) << i;
  }
  // Created at 6 x 5, a 4 x 4 render leaves the frame alone.
  EXPECT_TRUE(big.fire.Create(6, 5));
  big.frame.assign(big.frame.size(), 0x5a);
  big.fire.Render(big.frame.data(), 4, 4);
  EXPECT_EQ(big.frame, std::vector<uint8_t>(4 * 4 * 3, 0x5a));
}

}  // namespace
}  // namespace quor

#include "generators/fading_pixels.h"

#include "generator_rig.h"

namespace quor {
namespace {

// 4 x 4, one new pixel per frame (count 0) in a fixed colour. Seed 1 draws 41, 18467, 6334, 26500, 19169, ...
struct SmallFade : test::Rig<FadingPixelsGenerator> {
  SmallFade() : Rig(4, 4) { gen.SetCount(0), gen.SetAutoColorMode(0), gen.SetFade(128); }
};

TEST(FadingPixelsRender, FadeSubtractsAndPixelsAreAddedWithCountAndColour) {
  SmallFade f;
  f.gen.SetColor({10, 20, 30});
  const uint8_t pattern[] = {0, 1, 127, 128, 129, 200, 254, 255}, faded[] = {0, 0, 0, 0, 1, 72, 126, 127};
  for (size_t i = 0; i < f.frame.bytes.size(); ++i) f.frame.bytes[i] = pattern[i % 8];
  f.Render();
  // The new pixel lands at (41 % 4, 18467 % 4) = (1, 3), byte offset 39.
  for (size_t i = 0; i < f.frame.bytes.size(); ++i)
    EXPECT_EQ(f.frame.bytes[i], i >= 39 && i < 42 ? static_cast<int>(10 * (i - 38)) : faded[i % 8]) << i;
  SmallFade colours;  // (41 % 255, 18467 % 255, 6334 % 255) at (26500 % 4, 19169 % 4)
  colours.gen.SetRandomColor(true);
  colours.Render();
  EXPECT_EQ(colours.At(0, 1), (Rgb{41, 107, 214}));
}

TEST(FadingPixelsRender, SquaresAreClippedAtTheEdge) {
  SmallFade f;
  f.gen.SetSize(2), f.gen.SetColor({200, 0, 0});
  // Frame 1: a 3 x 3 square from (1, 3) keeps row 3, columns 1..3. Frame 2: that fades to 72 and a new one from (6334
  // % 4, 26500 % 4) = (2, 0) keeps columns 2..3 of rows 0..2.
  f.Render(2);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(f.At(x, y).r, x >= 2 && y <= 2 ? 200 : (y == 3 && x >= 1 ? 72 : 0)) << x << "," << y;
}

}  // namespace
}  // namespace quor

#include "generators/text_render.h"

#include <thread>

#include "generators/draw.h"
#include "generator_rig.h"

namespace quor {
namespace {

using test::Frame;

constexpr Rgb kOrange{200, 100, 50};

// Count and bounding box of the pixels differing from a background.
struct Box { int count = 0, left = 1 << 30, right = -1, top = 1 << 30, bottom = -1; };

Box Bounds(const Frame& frame, Rgb background = {}) {
  Box b;
  for (int i = 0; i < frame.width * frame.height; ++i) {
    const int x = i % frame.width, y = i / frame.width;
    if (frame.At(x, y) == background) continue;
    ++b.count, b.left = std::min(b.left, x), b.right = std::max(b.right, x);
    b.top = std::min(b.top, y), b.bottom = std::max(b.bottom, y);
  }
  return b;
}

TEST(TextRender, PlainTextLightsExactColourWithinItsRowsAndBadCallsDrawNothing) {
  Frame frame(64, 32), nothing(32, 16);
  DrawTextChars(frame.canvas(), 3, 5, 16, kOrange, false, {}, "HE");
  const Box lit = Bounds(frame);
  ASSERT_GT(lit.count, 20);
  EXPECT_TRUE(lit.top >= 5 && lit.bottom < 5 + 16 && lit.bottom - lit.top >= 8) << lit.top << ".." << lit.bottom;
  EXPECT_EQ(Bounds(frame, kOrange).count, 64 * 32 - lit.count);  // every lit pixel is the text colour
  DrawTextChars(nothing.canvas(), 0, 0, 12, kOrange, false, {}, "");
  for (int size : {0, -12, 1 << 30}) DrawTextChars(nothing.canvas(), 0, 0, size, kOrange, false, {}, "A");
  for (auto [x, y] : {std::pair{40, 0}, {0, 16}, {0, -12}})  // right of, below and above the frame
    DrawTextChars(nothing.canvas(), x, y, 12, kOrange, false, {}, "A");
  EXPECT_EQ(nothing.LitCount(), 0);
}

TEST(TextRender, AntialiasingDarkensEdgesMaxBlendLightensCentringCentres) {
  Frame smooth(64, 24), blue(40, 20), left(96, 40), centred(96, 40);
  DrawTextChars(smooth.canvas(), 2, 2, 18, kOrange, false, {.antialias = true}, "Ao");
  int lowest = 255, highest = 0;  // antialiased edges are darker than the colour, nothing is brighter
  for (size_t i = 0; i < smooth.bytes.size(); i += 3)
    if (const int r = smooth.bytes[i]; r != 0) lowest = std::min(lowest, r), highest = std::max(highest, r);
  EXPECT_TRUE(lowest < 200 && highest == 200) << lowest << ".." << highest;
  FillRectangle(blue.canvas(), 0, 0, 39, 19, {0, 0, 255}, false);
  DrawTextChars(blue.canvas(), 1, 1, 16, {255, 30, 0}, true, {}, "T");
  const Box lit = Bounds(blue, {0, 0, 255});
  ASSERT_GT(lit.count, 0);
  EXPECT_EQ(blue.At(lit.left, lit.top), (Rgb{255, 30, 255}));

  // Centring shifts by half the width and half the size.
  DrawTextChars(left.canvas(), 10, 4, 20, kOrange, false, {}, "MW");
  DrawTextChars(centred.canvas(), 48, 20, 20, kOrange, false, {.centred = true}, "MW");
  const Box a = Bounds(left), b = Bounds(centred);
  ASSERT_GT(a.count, 0);
  EXPECT_EQ(b.count, a.count);
  EXPECT_EQ(b.top - a.top, 6);  // rows from 20 - 20 / 2 = 10 instead of 4
  EXPECT_NEAR((b.left + b.right) / 2.0, 48, 3);
}

TEST(TextRender, HugeSizesRenderOnlyTheVisibleBandAndOtherThreadsWork) {
  Frame frame(32, 16), here(48, 16), there(48, 16);
  // The frame sees a band through the left stroke of a 20000 pixel "O".
  DrawTextChars(frame.canvas(), -20000 / 12, -20000 / 3, 20000, kOrange, false, {}, "O");
  EXPECT_GT(frame.LitCount(), 16 * 8);
  DrawTextChars(here.canvas(), 0, 0, 14, kOrange, false, {}, "Quor \xe9");
  std::thread([&] { DrawTextChars(there.canvas(), 0, 0, 14, kOrange, false, {}, "Quor \xe9"); }).join();
  EXPECT_GT(here.LitCount(), 0);
  EXPECT_EQ(here.bytes, there.bytes);
}

}  // namespace
}  // namespace quor

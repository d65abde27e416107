#include "generators/draw.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>

#include "generator_rig.h"

namespace quor {
namespace {

using test::Frame;
using test::Mask;

constexpr Rgb kWhite{255, 255, 255};
constexpr int kMin = std::numeric_limits<int>::min();
constexpr int kMax = std::numeric_limits<int>::max();

void Set(Frame& frame, int64_t x, int64_t y) {
  if (x >= 0 && y >= 0 && x < frame.width && y < frame.height) PutPixel(frame.canvas(), int(x), int(y), kWhite, false);
}

// Unclipped step-by-step reference walks for the clipped closed forms.
void WalkLine(int64_t x0, int64_t y0, int64_t x1, int64_t y1, Frame& frame) {
  const int64_t dx = std::llabs(x1 - x0), dy = std::llabs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  for (int64_t err = dx - dy;;) {
    Set(frame, x0, y0);
    if (x0 == x1 && y0 == y1) return;
    const int64_t e2 = 2 * err;
    if (e2 > -dy) {
      err -= dy, x0 += sx;
      if (x0 == x1 && y0 == y1) return Set(frame, x0, y0);
    }
    if (e2 < dx) err += dx, y0 += sy;
  }
}

void WalkCircle(int64_t cx, int64_t cy, int64_t r, Frame& f) {
  for (auto [dx, dy] : {std::pair{-r, 0L}, {r, 0L}, {0L, -r}, {0L, r}}) Set(f, cx + dx, cy + dy);
  for (int64_t x = 1, y = r, e = 0;; ++x) {
    const int64_t t = e + x, u = t - (y - 1);
    if (u >= 0) --y;
    e = u >= 0 ? u : t;
    for (int64_t sx : {-1, 1})
      for (int64_t sy : {-1, 1}) Set(f, cx + sx * x, cy + sy * y), Set(f, cx + sx * y, cy + sy * x);
    if (y <= x) return;
  }
}

TEST(DrawPixel, ClipsAndMaxBlendsPerComponent) {
  Frame frame(4, 3);
  for (auto [x, y] : {std::pair{-1, 0}, {4, 0}, {0, -1}, {0, 3}, {kMin, kMax}}) PutPixel(frame.canvas(), x, y, kWhite, false);
  EXPECT_EQ(frame.LitCount(), 0);
  PutPixel(frame.canvas(), 1, 1, {100, 50, 60}, false);
  PutPixel(frame.canvas(), 1, 1, {10, 200, 30}, true);
  EXPECT_EQ(frame.At(1, 1), (Rgb{100, 200, 60}));
  PutPixel(frame.canvas(), 2, 2, {256 + 7, -1, 0}, false);  // components keep their low byte
  EXPECT_EQ(frame.At(2, 2), (Rgb{7, 255, 0}));
}

TEST(DrawLine, TiesClippingAndExtremeEndPointsFollowTheWalk) {
  Frame forward(5, 2), backward(5, 2), frame(16, 16);
  DrawLine(forward.canvas(), 0, 0, 4, 1, kWhite, false);  // halfway ties round back towards the start
  DrawLine(backward.canvas(), 4, 1, 0, 0, kWhite, false);
  EXPECT_EQ(forward.Lit(), (Mask{"###..", "...##"}));
  EXPECT_EQ(backward.Lit(), (Mask{"##...", "..###"}));
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> coord(-70, 80);
  for (int i = 0; i < 2000; ++i) {
    const int x0 = coord(rng), y0 = coord(rng), x1 = coord(rng), y1 = coord(rng);
    Frame got(13, 9), want(13, 9);
    DrawLine(got.canvas(), x0, y0, x1, y1, kWhite, false);
    WalkLine(x0, y0, x1, y1, want);
    ASSERT_EQ(got.Lit(), want.Lit()) << x0 << "," << y0 << " - " << x1 << "," << y1;
  }
  DrawLine(frame.canvas(), kMin, 5, kMax, 5, kWhite, false);
  DrawLine(frame.canvas(), kMax, kMax, kMin, kMin, kWhite, false);
  DrawLine(frame.canvas(), kMin, kMin, kMin + 1, kMax, kWhite, false);  // never visible
  EXPECT_EQ(frame.LitCount(), 31);  // row 5 and the diagonal
  for (int i = 0; i < 16; ++i) EXPECT_TRUE(frame.At(i, i) != Rgb{} && frame.At(i, 5) != Rgb{}) << i;
}

TEST(DrawCircle, OutlinesDiscsClippedAndHugeCirclesFollowTheWalk) {
  Frame small(9, 9), zero(3, 3), one(3, 3), huge(16, 16);
  for (int r : {3, 0, -2}) DrawCircle(small.canvas(), 4, 4, r, kWhite, false);
  EXPECT_EQ(small.Lit(), (Mask{".........", "...###...", "..#...#..", ".#.....#.", ".#.....#.", ".#.....#.",
                               "..#...#..", "...###...", "........."}));
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> centre(-60, 70), radius(1, 90), hugeRadius(100000, 400000);
  std::vector<std::array<int, 3>> cases;
  for (int i = 0; i < 1500; ++i) cases.push_back({centre(rng), centre(rng), radius(rng)});
  // The frame on the outline of huge circles, including the diagonal where the walk ends.
  for (double angle : {M_PI / 4, 3 * M_PI / 4, 0.0, M_PI / 2, 1.1, 4.0}) {
    const int r = hugeRadius(rng);
    cases.push_back({8 - int(r * std::cos(angle)), 8 - int(r * std::sin(angle)), r});
  }
  for (auto [cx, cy, r] : cases) {
    Frame actual(12, 10), expected(12, 10);
    DrawCircle(actual.canvas(), cx, cy, r, kWhite, false);
    WalkCircle(cx, cy, r, expected);
    ASSERT_EQ(actual.Lit(), expected.Lit()) << cx << "," << cy << " r " << r;
    EXPECT_TRUE(r < 100000 || actual.LitCount() > 0) << r;
  }

  FillCircle(zero.canvas(), 1, 1, 0, kWhite, false);
  FillCircle(one.canvas(), 1, 1, 1, kWhite, false);  // diagonals fail 2 <= 1.8
  FillCircle(one.canvas(), 1, 1, -1, {1, 2, 3}, false);
  EXPECT_EQ(zero.Lit(), (Mask{"...", ".#.", "..."}));
  EXPECT_EQ(one.Lit(), (Mask{".#.", "###", ".#."}));
  EXPECT_EQ(one.At(1, 1), kWhite);
  FillCircle(huge.canvas(), kMin, kMin, kMax, kWhite, false);  // ends one pixel short of the frame
  EXPECT_EQ(huge.LitCount(), 0);
  FillCircle(huge.canvas(), 8, 8, kMax, kWhite, false);
  EXPECT_EQ(huge.LitCount(), 256);
}

TEST(DrawBoxes, RectanglesAndDiamondsClipAndRepeat) {
  Frame filled(6, 3), huge(6, 5), wide(9, 5), tall(7, 10), far(7, 3);
  FillRectangle(filled.canvas(), 4, 1, -2, 2, kWhite, false);  // x0 > x1 still fills
  FillRectangle(filled.canvas(), 0, 1, 5, 0, kWhite, false);   // y0 > y1 draws nothing
  EXPECT_EQ(filled.Lit(), (Mask{"......", "#####.", "#####."}));
  FillRectangle(huge.canvas(), kMin, kMin, kMax, kMax, kWhite, false);
  DrawRectangle(huge.canvas(), kMin, kMin, kMax, kMax, {1, 2, 3}, false);  // every edge off-frame
  EXPECT_TRUE(huge.LitCount() == 30 && huge.At(0, 0) == kWhite);
  DrawDiamond(wide.canvas(), 0, 0, 8, 4, kWhite, false);
  EXPECT_EQ(wide.Lit(), (Mask{"....##...", "..##..##.", "##.....##", ".##..##..", "...##...."}));
  FillDiamond(tall.canvas(), 0, 0, 6, 9, kWhite, false);  // half widths 0..3..0, then again
  EXPECT_EQ(tall.Lit(), (Mask{"...#...", "..###..", ".#####.", "#######", ".#####.", "..###..", "...#...",
                              "..###..", ".#####.", "#######"}));
  FillDiamond(far.canvas(), 0, -1000000000, 6, kMax, kWhite, false);  // box rows 1e9 + 0..2; 1e9 = 4 (mod 6)
  EXPECT_EQ(far.Lit(), (Mask{".#####.", "..###..", "...#..."}));
}

TEST(DrawStar, OutlinesFilledMaskAndHugeStars) {
  Frame simple(9, 9), filled(10, 10), huge(16, 16);
  DrawSimpleStar(simple.canvas(), 4, 4, 3, kWhite, false);  // diagonals reach sqrt(9 / 2) -> 2
  EXPECT_EQ(simple.Lit(), (Mask{".........", "....#....", "..#.#.#..", "...###...", ".#######.", "...###...",
                                "..#.#.#..", "....#....", "........."}));
  FillStar5(filled.canvas(), 5, 5, 4, kWhite, false);  // rows and columns 1..8
  EXPECT_EQ(filled.Lit(), (Mask{"..........", ".....#....", ".....##...", "..#######.", "....####..",
                                "....###...", "...##.##..", "...#...#..", "..........", ".........."}));
  FillStar5(huge.canvas(), 8, 8, -5, kWhite, false);
  EXPECT_EQ(huge.LitCount(), 0);
  FillStar5(huge.canvas(), 8, 8, kMax, kWhite, false);  // the frame lies inside the body
  EXPECT_EQ(huge.LitCount(), 256);
}

// Any 32-bit geometry is legal: no overflow (sanitizer builds check), no fault, work bounded by the frame not the shape.
TEST(DrawShapes, ArbitraryGeometryNeverFaultsAndStaysCheap) {
  std::mt19937 rng(23);
  std::uniform_int_distribution<int> any(kMin, kMax), pick(0, 4), near(-30, 50);
  const auto value = [&] {
    const int kind = pick(rng);
    return kind == 0 ? kMin : kind == 1 ? kMax : kind == 2 ? any(rng) / 1000 : kind == 3 ? near(rng) : any(rng);
  };
  Frame frame(20, 12);
  const Canvas c = frame.canvas();
  for (int i = 0; i < 2000; ++i) {
    const int a = value(), b = value(), d = value(), e = value();
    const Rgb color{a, b, d};
    const bool blend = (i & 1) != 0;
    DrawLine(c, a, b, d, e, color, blend), DrawCircle(c, a, b, d, color, blend);
    FillCircle(c, a, b, d, color, blend), DrawRectangle(c, a, b, d, e, color, blend);
    FillRectangle(c, a, b, d, e, color, blend), DrawDiamond(c, a, b, d, e, color, blend);
    FillDiamond(c, a, b, d, e, color, blend), DrawSimpleStar(c, a, b, d, color, blend);
    DrawStar5(c, a, b, d, color, blend), FillStar5(c, a, b, d, color, blend);
    FloodFill(c, a % 20, b % 12, color, blend);
  }
  for (int r : {kMax, 1000000000}) {  // huge shapes centred on or near the frame
    DrawCircle(c, 8 - 707106781, 8 - 707106781, r, kWhite, false), DrawCircle(c, 8, 8, r, kWhite, false);
    FillCircle(c, 8, 8, r, kWhite, false), FillStar5(c, 8, 8, r, kWhite, false);
  }
}

TEST(FloodFill, SeedRegionOrTheOneBelowANonBlackSeedAndDegenerateCalls) {
  Frame snake(7, 5), wall(5, 5), frame(4, 4), single(1, 1);
  for (int x : {1, 3, 5}) DrawLine(snake.canvas(), x, x == 3 ? 1 : 0, x, x == 3 ? 4 : 3, {0, 0, 9}, false);
  FloodFill(snake.canvas(), 4, 2, {1, 2, 3}, false);  // winds between the walls to every black pixel
  EXPECT_EQ(std::tuple(snake.LitCount(), snake.At(6, 0), snake.At(1, 0)), std::tuple(35, Rgb{1, 2, 3}, Rgb{0, 0, 9}));
  // The seed on a wall across row 2: the region below fills, the one above stays black.
  DrawLine(wall.canvas(), 0, 2, 4, 2, {0, 50, 0}, false);
  FloodFill(wall.canvas(), 2, 2, {0, 0, 70}, true);
  FloodFill(wall.canvas(), 3, 4, kWhite, false);  // non-black on the bottom row: nothing below
  EXPECT_EQ(wall.Lit(), (Mask{".....", ".....", "#####", "#####", "#####"}));
  EXPECT_EQ(std::pair(wall.At(2, 2), wall.At(3, 4)), std::pair(Rgb{0, 50, 0}, Rgb{0, 0, 70}));
  FloodFill(frame.canvas(), kMin, kMax, kWhite, false);
  FloodFill(frame.canvas(), 0, 0, {256, 0, 512}, false);  // stores as black: nothing changes
  FloodFill(single.canvas(), 0, 0, kWhite, false);  // a 1 x 1 frame's stack is full at once
  EXPECT_EQ(frame.LitCount() + single.LitCount(), 0);
  FloodFill(frame.canvas(), 3, 3, kWhite, false);
  EXPECT_EQ(frame.LitCount(), 16);
}

}  // namespace
}  // namespace quor

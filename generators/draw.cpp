#include "generators/draw.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace quor {
namespace {

// Products of two coordinate distances (each up to 2^33 once a radius is
// added to a centre) need more than 64 bits.
__extension__ typedef __int128 Int128;
__extension__ typedef unsigned __int128 UInt128;

// The colour as stored, resolved once per primitive.
struct Paint {
  uint8_t r;
  uint8_t g;
  uint8_t b;
  bool maxBlend;
};

Paint MakePaint(Rgb color, bool maxBlend) {
  return {static_cast<uint8_t>(color.r), static_cast<uint8_t>(color.g),
          static_cast<uint8_t>(color.b), maxBlend};
}

inline void Store(uint8_t* p, const Paint& paint) {
  if (paint.maxBlend) {
    p[0] = std::max(p[0], paint.r);
    p[1] = std::max(p[1], paint.g);
    p[2] = std::max(p[2], paint.b);
  } else {
    p[0] = paint.r;
    p[1] = paint.g;
    p[2] = paint.b;
  }
}

inline void Plot(const Canvas& c, int64_t x, int64_t y, const Paint& paint) {
  if (x < 0 || y < 0 || x >= c.width || y >= c.height) return;
  Store(c.At(static_cast<int>(x), static_cast<int>(y)), paint);
}

// Pixels x0..x1 (either order) of row y.
void PlotSpan(const Canvas& c, int64_t x0, int64_t x1, int64_t y, const Paint& paint) {
  if (y < 0 || y >= c.height) return;
  if (x0 > x1) std::swap(x0, x1);
  x0 = std::max<int64_t>(x0, 0);
  x1 = std::min<int64_t>(x1, c.width - 1);
  if (x0 > x1) return;
  uint8_t* p = c.At(static_cast<int>(x0), static_cast<int>(y));
  for (int64_t x = x0; x <= x1; ++x, p += 3) Store(p, paint);
}

// Whether the box x0..x1, y0..y1 (x0 <= x1, y0 <= y1) overlaps the canvas.
bool BoxTouches(const Canvas& c, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
  return x1 >= 0 && y1 >= 0 && x0 < c.width && y0 < c.height;
}

Int128 FloorDiv(Int128 a, Int128 b) {
  assert(b > 0);
  Int128 q = a / b;
  if (a % b != 0 && a < 0) --q;
  return q;
}

Int128 CeilDiv(Int128 a, Int128 b) {
  assert(b > 0);
  Int128 q = a / b;
  if (a % b != 0 && a > 0) ++q;
  return q;
}

// Largest integer whose square is at most n.
uint64_t ISqrt(uint64_t n) {
  auto s = static_cast<uint64_t>(std::sqrt(static_cast<long double>(n)));
  while (s > 0 && static_cast<UInt128>(s) * s > n) --s;
  while (static_cast<UInt128>(s + 1) * (s + 1) <= n) ++s;
  return s;
}

// An inclusive range of integers; empty when lo > hi.
struct Range {
  int64_t lo;
  int64_t hi;
  bool Empty() const { return lo > hi; }
};

constexpr Range kEmptyRange{1, 0};

// The indices k in 0..count for which start + step * k lies in 0..limit - 1.
Range IndicesInside(int64_t start, int step, int64_t count, int64_t limit) {
  const int64_t lo = step > 0 ? -start : start - (limit - 1);
  const int64_t hi = step > 0 ? limit - 1 - start : start;
  return {std::max<int64_t>(lo, 0), std::min(hi, count)};
}

// A Bresenham line in closed form. The error-term walk (err = dx - dy; step x
// when 2 err > -dy, step y when 2 err < dx) steps the major axis (x on a tie)
// on every iteration, and after k major steps has made
// floor((2 k minorDelta + length - 1) / (2 length)) minor steps: the exact
// position rounded, halves rounding back towards the start. Knowing the pixel
// for any k lets a caller visit only the part of a long line inside a frame.
class LineGeometry {
 public:
  LineGeometry(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    const int64_t dx = x1 >= x0 ? x1 - x0 : x0 - x1;
    const int64_t dy = y1 >= y0 ? y1 - y0 : y0 - y1;
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    xMajor_ = dx >= dy;
    major0_ = xMajor_ ? x0 : y0;
    minor0_ = xMajor_ ? y0 : x0;
    majorStep_ = xMajor_ ? sx : sy;
    minorStep_ = xMajor_ ? sy : sx;
    length_ = xMajor_ ? dx : dy;
    minorDelta_ = xMajor_ ? dy : dx;
  }

  void Draw(const Canvas& c, const Paint& paint) const {
    const Range ks = IndicesInside(major0_, majorStep_, length_, xMajor_ ? c.width : c.height);
    for (int64_t k = ks.lo; k <= ks.hi; ++k) {
      const int64_t major = major0_ + majorStep_ * k;
      const int64_t minor = minor0_ + minorStep_ * MinorOffset(k);
      if (xMajor_) {
        Plot(c, major, minor, paint);
      } else {
        Plot(c, minor, major, paint);
      }
    }
  }

  // The line's pixels whose x (atX) or y equals `value` form one run along
  // the other axis; returns that run's extent.
  Range ExtentAt(bool atX, int64_t value) const {
    if (atX == xMajor_) {
      const int64_t k = (value - major0_) * majorStep_;
      if (k < 0 || k > length_) return kEmptyRange;
      const int64_t minor = minor0_ + minorStep_ * MinorOffset(k);
      return {minor, minor};
    }
    const int64_t j = (value - minor0_) * minorStep_;
    if (j < 0 || j > minorDelta_) return kEmptyRange;
    const Range ks = IndicesWithMinorOffset(j);
    if (ks.Empty()) return kEmptyRange;
    const int64_t a = major0_ + majorStep_ * ks.lo;
    const int64_t b = major0_ + majorStep_ * ks.hi;
    return {std::min(a, b), std::max(a, b)};
  }

 private:
  int64_t MinorOffset(int64_t k) const {
    if (length_ == 0) return 0;
    return static_cast<int64_t>(
        FloorDiv(Int128{2} * k * minorDelta_ + length_ - 1, Int128{2} * length_));
  }

  // First k whose minor offset is at least j (minorDelta_ > 0).
  int64_t FirstIndexReaching(int64_t j) const {
    return static_cast<int64_t>(
        CeilDiv(Int128{2} * length_ * j - length_ + 1, Int128{2} * minorDelta_));
  }

  Range IndicesWithMinorOffset(int64_t j) const {
    if (minorDelta_ == 0) return j == 0 ? Range{0, length_} : kEmptyRange;
    return {std::max<int64_t>(FirstIndexReaching(j), 0),
            std::min(FirstIndexReaching(j + 1) - 1, length_)};
  }

  bool xMajor_;
  int64_t major0_;
  int64_t minor0_;
  int majorStep_;
  int minorStep_;
  int64_t length_;
  int64_t minorDelta_;
};

void Line(const Canvas& c, int64_t x0, int64_t y0, int64_t x1, int64_t y1, const Paint& paint) {
  LineGeometry(x0, y0, x1, y1).Draw(c, paint);
}

// The circle walk (x = 1, 2, ...; y from r down) keeps
// e = (x^2 + x + y^2 - y - r^2 + r) / 2 and moves y down by one when that
// stays >= 0. Where the curve's slope is below 1 it never needs a second step
// down for one x, so y after step x is the smallest y >= 0 with
// y (y - 1) >= r^2 - r - x^2 - x. That holds for every step up to any x at
// which this value exceeds x + 2 (the slope there is below 1).
int64_t CircleY(int64_t r, int64_t x) {
  const Int128 d = Int128{r} * r - r - Int128{x} * x - x;
  if (d <= 0) return 0;
  auto y = static_cast<int64_t>(ISqrt(static_cast<uint64_t>(d)));
  while (Int128{y} * (y - 1) < d) ++y;
  while (y > 1 && Int128{y - 1} * (y - 2) >= d) --y;
  return y;
}

bool CircleStepInClosedForm(int64_t r, int64_t x) { return CircleY(r, x) > x + 2; }

struct Point {
  int64_t x;
  int64_t y;
};

// Corners of the five-pointed star outline: k = 11 down to 1 at angle
// 0.629186 k (a single-precision constant, so the outline does not close
// exactly), on radius r / 2 for odd k and r for even k, with y mirrored as
// mirrorHeight - 1 - y so the star stands upright.
std::array<Point, 11> StarCorners(int64_t cx, int64_t cy, int64_t r, int64_t mirrorHeight) {
  std::array<Point, 11> corners{};
  for (int i = 0; i < 11; ++i) {
    const int k = 11 - i;
    const float angle = 0.629186f * static_cast<float>(k);
    const int64_t radius = k % 2 == 1 ? r / 2 : r;
    const auto dx = static_cast<int64_t>(std::sin(static_cast<double>(angle)) * static_cast<double>(radius));
    const auto dy = static_cast<int64_t>(std::cos(static_cast<double>(angle)) * static_cast<double>(radius));
    corners[i] = {cx + dx, mirrorHeight - 1 - (cy + dy)};
  }
  return corners;
}

inline bool IsBlack(const Canvas& c, int x, int y) {
  const uint8_t* p = c.At(x, y);
  return p[0] + p[1] + p[2] == 0;
}

}  // namespace

void PutPixel(const Canvas& canvas, int x, int y, Rgb color, bool maxBlend) {
  Plot(canvas, x, y, MakePaint(color, maxBlend));
}

void DrawLine(const Canvas& canvas, int x0, int y0, int x1, int y1, Rgb color, bool maxBlend) {
  Line(canvas, x0, y0, x1, y1, MakePaint(color, maxBlend));
}

void DrawCircle(const Canvas& canvas, int cx, int cy, int radius, Rgb color, bool maxBlend) {
  if (radius <= 0) return;
  const int64_t r = radius;
  const int64_t X = cx;
  const int64_t Y = cy;
  if (!BoxTouches(canvas, X - r, Y - r, X + r, Y + r)) return;
  const Paint paint = MakePaint(color, maxBlend);
  Plot(canvas, X - r, Y, paint);
  Plot(canvas, X + r, Y, paint);
  Plot(canvas, X, Y - r, paint);
  Plot(canvas, X, Y + r, paint);

  // Steps x at which one of the eight mirrored points can be inside the frame:
  // the row Y -/+ x or the column X -/+ x must be.
  const int64_t w = canvas.width;
  const int64_t h = canvas.height;
  const std::array<Range, 4> visibleSteps = {
      {{Y - (h - 1), Y}, {-Y, h - 1 - Y}, {X - (w - 1), X}, {-X, w - 1 - X}}};
  const auto nextVisibleStep = [&](int64_t x) {
    int64_t next = std::numeric_limits<int64_t>::max();
    for (const Range& steps : visibleSteps) {
      if (steps.hi >= x) next = std::min(next, std::max(steps.lo, x));
    }
    return next;
  };

  int64_t x = 1;
  int64_t y = r;
  int64_t e = 0;
  for (;;) {
    const int64_t next = nextVisibleStep(x);
    if (next == std::numeric_limits<int64_t>::max()) return;
    if (next > x) {
      // Steps x .. next - 1 plot nothing visible: jump over as many of them
      // as the closed form covers, then walk on from there.
      int64_t known = x - 1;
      int64_t beyond = next;
      if (CircleStepInClosedForm(r, next - 1)) {
        known = next - 1;
      } else {
        while (beyond - known > 1) {
          const int64_t mid = known + (beyond - known) / 2;
          if (CircleStepInClosedForm(r, mid)) {
            known = mid;
          } else {
            beyond = mid;
          }
        }
      }
      if (known >= x) {
        x = known + 1;
        y = CircleY(r, known);
        e = static_cast<int64_t>(
            (Int128{known} * known + known + Int128{y} * y - y - Int128{r} * r + r) / 2);
      }
    }
    const int64_t t = e + x;
    const int64_t u = t - (y - 1);
    if (u >= 0) {
      --y;
      e = u;
    } else {
      e = t;
    }
    Plot(canvas, X - y, Y - x, paint);
    Plot(canvas, X - x, Y - y, paint);
    Plot(canvas, X + x, Y - y, paint);
    Plot(canvas, X + y, Y - x, paint);
    Plot(canvas, X - y, Y + x, paint);
    Plot(canvas, X - x, Y + y, paint);
    Plot(canvas, X + x, Y + y, paint);
    Plot(canvas, X + y, Y + x, paint);
    if (y <= x) return;
    ++x;
  }
}

void FillCircle(const Canvas& canvas, int cx, int cy, int radius, Rgb color, bool maxBlend) {
  if (radius < 0) return;
  const int64_t r = radius;
  const int64_t X = cx;
  const int64_t Y = cy;
  if (!BoxTouches(canvas, X - r, Y - r, X + r, Y + r)) return;
  const Paint paint = MakePaint(color, maxBlend);
  const int64_t firstRow = std::max<int64_t>(-r, -Y);
  const int64_t lastRow = std::min<int64_t>(r, canvas.height - 1 - Y);
  for (int64_t dy = firstRow; dy <= lastRow; ++dy) {
    // dx^2 + dy^2 <= r^2 + 0.8 r, kept exact as 5 dx^2 <= 5 r^2 + 4 r - 5 dy^2.
    const Int128 limit = Int128{5} * r * r + 4 * r - Int128{5} * dy * dy;
    if (limit < 0) continue;
    const auto half = static_cast<int64_t>(ISqrt(static_cast<uint64_t>(limit / 5)));
    PlotSpan(canvas, X - half, X + half, Y + dy, paint);
  }
}

void DrawRectangle(const Canvas& canvas, int x0, int y0, int x1, int y1, Rgb color, bool maxBlend) {
  const Paint paint = MakePaint(color, maxBlend);
  Line(canvas, x0, y0, x1, y0, paint);
  Line(canvas, x1, y0, x1, y1, paint);
  Line(canvas, x1, y1, x0, y1, paint);
  Line(canvas, x0, y1, x0, y0, paint);
}

void FillRectangle(const Canvas& canvas, int x0, int y0, int x1, int y1, Rgb color, bool maxBlend) {
  const Paint paint = MakePaint(color, maxBlend);
  const int last = std::min(y1, canvas.height - 1);
  for (int y = std::max(y0, 0); y <= last; ++y) PlotSpan(canvas, x0, x1, y, paint);
}

void DrawDiamond(const Canvas& canvas, int x0, int y0, int x1, int y1, Rgb color, bool maxBlend) {
  const Paint paint = MakePaint(color, maxBlend);
  const int64_t xm = (int64_t{x1} - x0) / 2 + x0;
  const int64_t ym = (int64_t{y1} - y0) / 2 + y0;
  Line(canvas, x0, ym, xm, y0, paint);
  Line(canvas, xm, y0, x1, ym, paint);
  Line(canvas, x1, ym, xm, y1, paint);
  Line(canvas, xm, y1, x0, ym, paint);
}

void FillDiamond(const Canvas& canvas, int x0, int y0, int x1, int y1, Rgb color, bool maxBlend) {
  const Paint paint = MakePaint(color, maxBlend);
  const int64_t half = (int64_t{x1} - x0) / 2;
  const int64_t xm = x0 + half;
  // Row n of the box has half width k(n): k counts up from 0 and turns
  // negative once it reaches `half`, so |k| is a triangle wave of period
  // 2 * half (period 2 when half < 1: 0, 1, 0, 1, ...).
  const int64_t period = 2 * std::max<int64_t>(half, 1);
  const int last = std::min(y1, canvas.height - 1);
  for (int y = std::max(y0, 0); y <= last; ++y) {
    const int64_t phase = (int64_t{y} - y0) % period;
    const int64_t k = std::min(phase, period - phase);
    PlotSpan(canvas, xm - k, xm + k, y, paint);
  }
}

void DrawSimpleStar(const Canvas& canvas, int cx, int cy, int radius, Rgb color, bool maxBlend) {
  const Paint paint = MakePaint(color, maxBlend);
  const int64_t r = radius;
  Line(canvas, cx - r, cy, cx + r, cy, paint);
  Line(canvas, cx, cy - r, cx, cy + r, paint);
  const auto d = static_cast<int64_t>(ISqrt(static_cast<uint64_t>(r * r / 2)));
  Line(canvas, cx - d, cy - d, cx + d, cy + d, paint);
  Line(canvas, cx + d, cy - d, cx - d, cy + d, paint);
}

void DrawStar5(const Canvas& canvas, int cx, int cy, int radius, Rgb color, bool maxBlend) {
  const Paint paint = MakePaint(color, maxBlend);
  const std::array<Point, 11> corners = StarCorners(cx, cy, radius, canvas.height);
  for (size_t i = 0; i + 1 < corners.size(); ++i) {
    Line(canvas, corners[i].x, corners[i].y, corners[i + 1].x, corners[i + 1].y, paint);
  }
}

// The filled star is defined on a 2r x 2r scratch square holding the outline
// drawn at (r, r): pixels are cut away scanning each row from the left over
// the first r columns and from the right over the last r, and each column
// upwards from the bottom over the lower r rows, each scan stopping at the
// first outline pixel; what remains (outline and interior) is plotted. Rather
// than rasterise the square, which can be huge, the outline's extent on each
// needed row and column is read off the lines in closed form, so the cost
// depends only on the visible part.
void FillStar5(const Canvas& canvas, int cx, int cy, int radius, Rgb color, bool maxBlend) {
  if (radius <= 0) return;
  const int64_t r = radius;
  const int64_t size = 2 * r;
  const int64_t left = int64_t{cx} - r;
  const int64_t top = int64_t{cy} - r;
  if (!BoxTouches(canvas, left, top, left + size - 1, top + size - 1)) return;
  const Paint paint = MakePaint(color, maxBlend);

  const std::array<Point, 11> corners = StarCorners(r, r, r, size);
  std::vector<LineGeometry> outline;
  outline.reserve(corners.size() - 1);
  for (size_t i = 0; i + 1 < corners.size(); ++i) {
    outline.emplace_back(corners[i].x, corners[i].y, corners[i + 1].x, corners[i + 1].y);
  }

  // Scratch columns and rows that land inside the frame.
  const int64_t firstCol = std::max<int64_t>(0, -left);
  const int64_t lastCol = std::min<int64_t>(size - 1, canvas.width - 1 - left);
  const int64_t firstRow = std::max<int64_t>(0, -top);
  const int64_t lastRow = std::min<int64_t>(size - 1, canvas.height - 1 - top);

  // Per column, the lowest outline row among the lower r rows (r - 1 when
  // none): the upward scan cuts everything below it. Runs reaching past the
  // scratch square are cut to it by the visible ranges below.
  std::vector<int64_t> lowestOutlineRow(static_cast<size_t>(lastCol - firstCol + 1), r - 1);
  for (int64_t col = firstCol; col <= lastCol; ++col) {
    int64_t& lowest = lowestOutlineRow[static_cast<size_t>(col - firstCol)];
    for (const LineGeometry& line : outline) {
      const Range rows = line.ExtentAt(true, col);
      if (!rows.Empty() && rows.hi >= r && rows.lo <= size - 1) lowest = std::max(lowest, rows.hi);
    }
  }

  for (int64_t row = firstRow; row <= lastRow; ++row) {
    // The left scan keeps columns from the first outline pixel among the
    // first r (r when none), the right scan up to the last among the last r.
    int64_t keepFrom = r;
    int64_t keepTo = r - 1;
    for (const LineGeometry& line : outline) {
      const Range cols = line.ExtentAt(false, row);
      if (cols.Empty()) continue;
      if (cols.hi >= 0 && cols.lo <= r - 1) keepFrom = std::min(keepFrom, cols.lo);
      if (cols.hi >= r && cols.lo <= size - 1) keepTo = std::max(keepTo, cols.hi);
    }
    const int64_t from = std::max(keepFrom, firstCol);
    const int64_t to = std::min(keepTo, lastCol);
    for (int64_t col = from; col <= to; ++col) {
      if (row >= r && row > lowestOutlineRow[static_cast<size_t>(col - firstCol)]) continue;
      Plot(canvas, left + col, top + row, paint);
    }
  }
}

void FloodFill(const Canvas& canvas, int seedX, int seedY, Rgb color, bool maxBlend) {
  assert(canvas.width <= 0xFFFF && canvas.height <= 0xFFFF);
  if (!canvas.Contains(seedX, seedY)) return;
  const Paint paint = MakePaint(color, maxBlend);
  // Filling with black would leave every pixel black and find the same
  // region again and again until the stack fills; the frame would end up
  // unchanged, so skip the work.
  if (paint.r == 0 && paint.g == 0 && paint.b == 0) return;

  const size_t capacity = canvas.ByteSize() / 3 - 1;
  std::vector<uint32_t> stack;
  const auto push = [&](int x, int y) {
    if (stack.size() >= capacity) return false;
    stack.push_back(static_cast<uint32_t>(x) << 16 | static_cast<uint32_t>(y));
    return true;
  };

  if (!push(seedX, seedY)) return;
  while (!stack.empty()) {
    const uint32_t entry = stack.back();
    stack.pop_back();
    const int x = static_cast<int>(entry >> 16);
    int y = static_cast<int>(entry & 0xFFFF);
    // Up to the top of the black run; a pixel that is not black (the seed,
    // or an entry filled since it was pushed) starts the run below it.
    while (y >= 0 && IsBlack(canvas, x, y)) --y;
    ++y;
    bool spanLeft = false;
    bool spanRight = false;
    for (; y < canvas.height && IsBlack(canvas, x, y); ++y) {
      Store(canvas.At(x, y), paint);
      if (x > 0) {
        const bool black = IsBlack(canvas, x - 1, y);
        if (!spanLeft && black) {
          if (!push(x - 1, y)) return;
          spanLeft = true;
        } else if (spanLeft && !black) {
          spanLeft = false;
        }
      }
      if (x < canvas.width - 1) {
        const bool black = IsBlack(canvas, x + 1, y);
        if (!spanRight && black) {
          if (!push(x + 1, y)) return;
          spanRight = true;
        } else if (spanRight && !black) {
          spanRight = false;
        }
      }
    }
  }
}

}  // namespace quor

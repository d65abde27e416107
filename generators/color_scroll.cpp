#include "generators/color_scroll.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>

#include "generators/color.h"
#include "generators/fast_trig.h"
#include "generators/settings_fields.h"
#include "generators/tuned_constants.h"

namespace quor {

static_assert(kColorScrollSettingsBytes <= kSettingsBlockSize);

namespace {

// log10(3200) + 0.5: with the larger side s the index grows by
// (kScaleLog - log10(s)) * zoom / 10 per pixel, so patterns look alike on
// any matrix.
constexpr double kScaleLog = 4.005149978319906;
constexpr double kHyperbolaScale = 15.72965;

constexpr int kMinZoom = 1, kMaxZoom = 100;
constexpr int kMinSpeed = 1, kMaxSpeed = 20;

// The pixel loop of every style: `index(x, y)` gives the raw palette index.
template <typename IndexFn>
void PaintIndexed(const Canvas& canvas, const std::array<std::array<uint8_t, 3>, 256>& pixels,
                  IndexFn index) {
  uint8_t* const frame = canvas.pixels;
  const int width = canvas.width;
  const int height = canvas.height;
  uint8_t* out = frame;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x, out += 3) {
      const auto& pixel = pixels[static_cast<size_t>(WrapColorScrollIndex(index(x, y)))];
      out[0] = pixel[0];
      out[1] = pixel[1];
      out[2] = pixel[2];
    }
  }
}

// The "Circle" style's distance term of pixel (x, y): the square root of
// the tuned half turn times the squared distance from (hw, hh).
inline double CircleDistance(int x, int y, int hw, int hh) {
  const int dx = x - hw, dy = y - hh;
  return std::sqrt(kTunedHalfTurn * (dx * dx + dy * dy));
}

// How far a coordinate lies from the middle of its axis: 0 next to the
// middle, half - 1 at the border, mirrored on the second half (an odd side
// gives -1 at the middle itself).
inline int SymmetricDistance(int c, int side, int half) { return half - 1 - (c < half ? c : side - 1 - c); }

}  // namespace

int WrapColorScrollIndex(int v) {
  // Equal to subtracting (or adding) 255 until the value is in range, in
  // constant time however far a large zoom throws the raw index.
  if (v > 255) return (v - 1) % 255 + 1;
  if (v < 0) {
    const int r = v % 255;
    return r < 0 ? r + 255 : r;
  }
  return v;
}

std::array<Rgb, 256> BuildColorScrollPalette(int palette) {
  std::array<Rgb, 256> table;
  for (int i = 0; i < 256; ++i) {
    const double angle = kTunedHalfTurn * i * 0.0078125;
    const int s = std::abs(static_cast<int>(std::sin(angle) * 255));
    const int c = std::abs(static_cast<int>(std::cos(angle) * 255));
    Rgb entry;
    switch (palette) {
      case 1: entry = {s, 0, 0}; break;  // "Red"
      case 2: entry = {0, s, 0}; break;  // "Green"
      case 3: entry = {0, 0, s}; break;  // "Blue"
      case 4: entry = {s, s, s}; break;  // "Black/white"
      case 5: entry = {0, c, s}; break;  // "Blue/Green"
      case 6: entry = {c, 0, s}; break;  // "Blue/Red"
      default: entry = HsvToRgb(i, 255, 255); break;  // "Classic RGB"
    }
    table[static_cast<size_t>(i)] = entry;
  }
  return table;
}

bool ColorScrollGenerator::Create(int, int) {
  zoom_ = 20;
  speed_ = 2;
  reverse_ = 0;
  palette_ = 0;
  style_ = 0;
  offset_ = 0;
  BuildPalette();
  return true;
}

void ColorScrollGenerator::BuildPalette() {
  table_ = BuildColorScrollPalette(palette_);
  for (size_t i = 0; i < table_.size(); ++i) {
    pixels_[i] = {static_cast<uint8_t>(table_[i].r), static_cast<uint8_t>(table_[i].g),
                  static_cast<uint8_t>(table_[i].b)};
  }
}

void ColorScrollGenerator::Scroll() {
  // The wrap jumps to the far end rather than carrying the remainder over.
  if (reverse_ >= 1) {
    offset_ -= speed_;
    if (offset_ < 0) offset_ = 255;
  } else {
    offset_ += speed_;
    if (offset_ > 255) offset_ = 0;
  }
}

void ColorScrollGenerator::Render(const Canvas& canvas) {
  const int width = canvas.width;
  const int height = canvas.height;
  if (width <= 0 || height <= 0 || width > kMaxMatrixSide) return;
  Scroll();
  const double f =
      static_cast<float>((kScaleLog - std::log10(std::max(width, height))) * zoom_) / 10.0;
  const int offset = offset_;
  const int hw = width / 2;
  const int hh = height / 2;

  switch (style_) {
    case 1:  // "Vertical"
      PaintIndexed(canvas, pixels_,
                   [&](int, int y) { return static_cast<int>(f * y + offset); });
      break;
    case 2:  // "Diagonal Left"
      PaintIndexed(canvas, pixels_,
                   [&](int x, int y) { return static_cast<int>(f * (x + y) + offset); });
      break;
    case 3:  // "Diagonal Right"
      PaintIndexed(canvas, pixels_,
                   [&](int x, int y) { return static_cast<int>(f * (height - 1 - y + x) + offset); });
      break;
    case 4:  // "Horizontal Symetric"
      PaintIndexed(canvas, pixels_, [&](int x, int) {
        return static_cast<int>(f * std::max(SymmetricDistance(x, width, hw), 0) + offset);
      });
      break;
    case 5:  // "Vertical Symetric"
      PaintIndexed(canvas, pixels_, [&](int, int y) {
        return static_cast<int>(f * std::max(SymmetricDistance(y, height, hh), 0) + offset);
      });
      break;
    case 6:  // "Circle"
      RenderCircle(canvas, f);
      break;
    case 7:  // "Hyperbola"
      PaintIndexed(canvas, pixels_, [&](int x, int y) {
        return static_cast<int>(std::abs((x - hw) * (y - hh)) / kHyperbolaScale * f + offset);
      });
      break;
    case 8:  // "Diamond": the symmetric distances unclamped
      PaintIndexed(canvas, pixels_, [&](int x, int y) {
        return static_cast<int>(f * (SymmetricDistance(x, width, hw) + SymmetricDistance(y, height, hh)) + offset);
      });
      break;
    case 9:  // "Spiral"
      RenderSpiral(canvas, f);
      break;
    default:  // "Horizontal"
      PaintIndexed(canvas, pixels_, [&](int x, int) { return static_cast<int>(f * x + offset); });
      break;
  }
}

void ColorScrollGenerator::RenderCircle(const Canvas& canvas, double f) {
  const int width = canvas.width;
  const int height = canvas.height;
  const int hw = width / 2;
  const int hh = height / 2;
  const int offset = offset_;
  // A canvas larger than any matrix computes the distances as it goes.
  if (width * height > kMaxMatrixPixels) {
    PaintIndexed(canvas, pixels_,
                 [&](int x, int y) { return static_cast<int>(CircleDistance(x, y, hw, hh) * f + offset); });
    return;
  }
  if (width != circleWidth_ || height != circleHeight_) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) circle_[static_cast<size_t>(y * width + x)] = CircleDistance(x, y, hw, hh);
    }
    circleWidth_ = width;
    circleHeight_ = height;
  }
  PaintIndexed(canvas, pixels_, [&](int x, int y) {
    return static_cast<int>(circle_[static_cast<size_t>(y * width + x)] * f + offset);
  });
}

void ColorScrollGenerator::PrepareSpiral(int width, int height, double f) {
  // The pixel's offset from the centre on a grid g = f / 3 times coarser, at
  // twice its own angle plus a little more further out.
  const int hw = width / 2;
  const int hh = height / 2;
  const double g = f / 3;
  std::array<int, kMaxMatrixSide> gridX{};
  for (int x = 0; x < width; ++x) gridX[static_cast<size_t>(x)] = static_cast<int>(g * (x - hw));
  SpiralPoint* point = spiral_.data();
  for (int y = 0; y < height; ++y) {
    const int Y = static_cast<int>(g * (y - hh));
    for (int x = 0; x < width; ++x, ++point) {
      const int X = gridX[static_cast<size_t>(x)];
      const int R = static_cast<int>(std::sqrt(X * X + Y * Y));
      const double outward = static_cast<double>(R) / width;
      point->angle = static_cast<float>(2 * std::atan2(Y, X) + outward * outward);
      point->radius = R;
    }
  }
  spiralWidth_ = width;
  spiralHeight_ = height;
  spiralF_ = f;
}

void ColorScrollGenerator::RenderSpiral(const Canvas& canvas, double f) {
  uint8_t* const frame = canvas.pixels;
  const int width = canvas.width;
  const int height = canvas.height;
  if (width * height > kMaxMatrixPixels) return;
  if (width != spiralWidth_ || height != spiralHeight_ || f != spiralF_) PrepareSpiral(width, height, f);
  // The offset turns every point; the index is how close the turned point
  // lies to either axis. So the offset turns the spiral instead of shifting
  // the colours.
  const int hw = width / 2;
  const double turn = offset_ / 162.0 * 3;
  // Row by row: |trunc(R cos a)| and |trunc(R sin a)| from fast_trig.h,
  // which keeps them equal to the libm values.
  std::array<double, kMaxMatrixSide> angle;
  std::array<double, kMaxMatrixSide> radius;
  std::array<int, kMaxMatrixSide> across;
  std::array<int, kMaxMatrixSide> down;
  const SpiralPoint* point = spiral_.data();
  uint8_t* out = frame;
  for (int y = 0; y < height; ++y) {
    for (int i = 0; i < width; ++i, ++point) {
      angle[static_cast<size_t>(i)] = point->angle + turn;
      radius[static_cast<size_t>(i)] = point->radius;
    }
    TruncatedMagnitudes(Wave::kCosine, angle.data(), radius.data(), width, across.data());
    TruncatedMagnitudes(Wave::kSine, angle.data(), radius.data(), width, down.data());
    for (int i = 0; i < width; ++i, out += 3) {
      const int u = across[static_cast<size_t>(i)];
      const int w = down[static_cast<size_t>(i)];
      int k = u < hw ? hw - u : 0;
      if (w < hw && hw - w > k) k = hw - w;
      const auto& pixel = pixels_[static_cast<size_t>(k * 63 / hw)];
      out[0] = pixel[0];
      out[1] = pixel[1];
      out[2] = pixel[2];
    }
  }
}

void ColorScrollGenerator::ExchangeSettings(SettingsBlock& block, SettingsDirection direction) {
  using G = ColorScrollGenerator;
  static constexpr auto kLayout = SettingsLayout<G>({Stored<G, &G::zoom_>(), Stored<G, &G::speed_>(),
                                                     Stored<G, &G::palette_>(), Stored<G, &G::style_>(),
                                                     Stored<G, &G::reverse_>()});
  static_assert(kLayout.bytes == kColorScrollSettingsBytes);
  if (direction == SettingsDirection::kStore) {
    kLayout.Store(*this, block);
    return;
  }
  kLayout.Load(*this, block);
  // Every stored scene holds a zoom of 1..100 and a speed of 1..20; a
  // damaged block must not throw indices and the offset beyond int range.
  zoom_ = std::clamp(zoom_, kMinZoom, kMaxZoom);
  speed_ = std::clamp(speed_, kMinSpeed, kMaxSpeed);
  BuildPalette();
  offset_ = 0;
}

void ColorScrollGenerator::SetZoomPosition(int position) { zoom_ = kMaxZoom - std::clamp(position, 0, 99); }
void ColorScrollGenerator::SetSpeed(int speed) { speed_ = std::clamp(speed, kMinSpeed, kMaxSpeed); }
void ColorScrollGenerator::SetStyle(int style) {
  style_ = std::clamp(style, 0, static_cast<int>(kColorScrollStyleNames.size()) - 1);
}
void ColorScrollGenerator::SetPalette(int palette) {
  palette_ = std::clamp(palette, 0, static_cast<int>(kColorScrollPaletteNames.size()) - 1);
  BuildPalette();
}

std::unique_ptr<Generator> CreateColorScrollGenerator(GeneratorContext& context) {
  return std::make_unique<ColorScrollGenerator>(context);
}

}  // namespace quor

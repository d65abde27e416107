#include "generators/plasma.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "generators/color.h"
#include "generators/fast_trig.h"
#include "generators/settings_fields.h"
#include "generators/tuned_constants.h"

namespace quor {
namespace {

// log10(3200): with the larger side s the fields are scaled by
// 1 / (kScaleLog - log10(s)), so patterns look alike on any matrix.
constexpr double kScaleLog = 3.505149978319906;

// |trunc(v * 255)| for a sine or cosine value v.
inline int Magnitude255(double v) { return std::abs(static_cast<int>(v * 255)); }
// trunc(v * 128 + 128): 0..256 for a sine or cosine value v.
inline int Offset128(double v) { return static_cast<int>(v * 128 + 128); }
// The rings' phase at (x, y) before the time term: the scaled distance from
// the corner, which depends only on the size and the zoom.
inline double RingDistance(int x, int y, double ring) {
  const int distance100 = (x * x + y * y) * 100;
  return std::sqrt(kTunedHalfTurn * distance100) / ring;
}

}  // namespace

Palette256 BuildPlasmaPalette(int palette) {
  Palette256 table;
  switch (palette) {
    case 1: {  // "Psychadelic": three sines at unrelated rates
      float a = 0.0f, b = 0.0f, c = 0.0f;
      for (int i = 0; i < 256; ++i) {
        table[static_cast<size_t>(i)] = {Magnitude255(std::sin(kTunedHalfTurn * a / 180)),
                                         Magnitude255(std::sin(kTunedHalfTurn * b / 180)),
                                         Magnitude255(std::sin(kTunedHalfTurn * c / 180))};
        a += 2.125f;
        b += 1.4166666f;
        c += 0.7083333f;
      }
      break;
    }
    case 2:  // "Blue/Green"
      for (int i = 0; i < 256; ++i) {
        const double angle = kTunedHalfTurn * i * 0.0078125;
        table[static_cast<size_t>(i)] = {0, Magnitude255(std::cos(angle)), Magnitude255(std::sin(angle))};
      }
      break;
    case 3:  // "Red/Green Small": red runs eight times as fast as green
      for (int i = 0; i < 256; ++i) {
        table[static_cast<size_t>(i)] = {Offset128(std::sin(kTunedHalfTurn * i * 0.0625)),
                                         Offset128(std::sin(kTunedHalfTurn * i * 0.0078125)), 0};
      }
      break;
    case 4:  // "Red/Green Smooth"
      for (int i = 0; i < 256; ++i) {
        const double angle = kTunedHalfTurn * i * 0.0078125;
        table[static_cast<size_t>(i)] = {Offset128(std::sin(angle)), Offset128(std::cos(angle)), 0};
      }
      break;
    case 5:  // "Red/Yellow"
      for (int i = 0; i < 256; ++i) {
        const double angle = kTunedHalfTurn * i * 0.0078125;
        table[static_cast<size_t>(i)] = {255, Offset128(std::cos(angle)), Offset128(std::sin(angle))};
      }
      break;
    default:  // "Classic": the hue circle
      for (int i = 0; i < 256; ++i) table[static_cast<size_t>(i)] = HsvToRgb(i, 255, 255);
      break;
  }
  return table;
}

bool PlasmaGenerator::Create(int, int) {
  zoom_ = 30;
  palette_ = 0;
  style_ = 0;
  speed_ = kPlasmaDefaultSpeed;
  time_ = 0.0f;
  BuildPalette();
  return true;
}

void PlasmaGenerator::BuildPalette() {
  table_ = BuildPlasmaPalette(palette_);
  for (size_t i = 0; i < table_.size(); ++i) {
    pixels_[i] = PackRgb(static_cast<uint8_t>(table_[i].r), static_cast<uint8_t>(table_[i].g),
                         static_cast<uint8_t>(table_[i].b));
  }
}

void PlasmaGenerator::PrepareRings(int width, int height, double ring) {
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) ringDistance_[static_cast<size_t>(y * width + x)] = RingDistance(x, y, ring);
  }
  ringWidth_ = width;
  ringHeight_ = height;
  ringScale_ = ring;
}

void PlasmaGenerator::Render(const Canvas& canvas) {
  uint8_t* const frame = canvas.pixels;
  const int width = canvas.width;
  const int height = canvas.height;
  if (width <= 0 || height <= 0 || width > kMaxMatrixSide) return;
  time_ = static_cast<float>(time_ + speed_ / 100.0);
  const double t = time_;
  const float z = static_cast<float>((60.0 * zoom_ / 100.0 + 2.0) / (kScaleLog - std::log10(std::max(width, height))));
  const double wave = 8.0 * z;
  const double ring = 32.0 * z;
  const double ringPhase = t * 0.2;
  const double sinT = std::sin(t / 20);
  const double cosT = std::cos(t / 30);

  const bool mix = style_ < 1 || style_ > 3;
  const bool needC1 = mix || style_ == 1;
  const bool needC2 = mix || style_ == 2;
  const bool needC3 = mix || style_ == 3;
  // The rings' distance term depends only on the size and the zoom. A
  // canvas larger than any matrix computes it row by row instead.
  const bool ringsKept = width * height <= kMaxMatrixPixels;
  if (needC3 && ringsKept && (width != ringWidth_ || height != ringHeight_ || ring != ringScale_)) {
    PrepareRings(width, height, ring);
  }

  // Each wave is |trunc(255 sin(phase))| with the same phase as the plain
  // formula (fast_trig.h keeps the integers exact). Per column: the vertical
  // wave, and the x term of the diagonal wave's phase.
  std::array<double, kMaxMatrixSide> phase{};
  std::array<int, kMaxMatrixSide> c1{};
  std::array<int, kMaxMatrixSide> c2{};
  std::array<int, kMaxMatrixSide> c3{};
  std::array<double, kMaxMatrixSide> diagonalX{};
  std::array<uint8_t, kMaxMatrixSide> index{};
  for (int x = 0; x < width; ++x) {
    const size_t i = static_cast<size_t>(x);
    phase[i] = (t + x) * kTunedHalfTurn / wave;
    diagonalX[i] = sinT * x;
  }
  lastExactSines_ = 0;
  if (needC1) lastExactSines_ += TruncatedSineMagnitudes(phase.data(), width, 255.0, c1.data());

  uint8_t* out = frame;
  for (int y = 0; y < height; ++y) {
    if (needC2) {
      const double diagonalY = cosT * y;
      for (int x = 0; x < width; ++x) {
        const size_t i = static_cast<size_t>(x);
        phase[i] = (diagonalX[i] + diagonalY + t) * kTunedHalfTurn / wave;
      }
      lastExactSines_ += TruncatedSineMagnitudes(phase.data(), width, 255.0, c2.data());
    }
    if (needC3) {
      if (ringsKept) {
        const double* distance = ringDistance_.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) phase[static_cast<size_t>(x)] = distance[x] + ringPhase;
      } else {
        for (int x = 0; x < width; ++x) phase[static_cast<size_t>(x)] = RingDistance(x, y, ring) + ringPhase;
      }
      lastExactSines_ += TruncatedSineMagnitudes(phase.data(), width, 255.0, c3.data());
    }
    // Every wave lies in 0..255, so does their mean.
    if (mix) {
      for (int x = 0; x < width; ++x) {
        const size_t i = static_cast<size_t>(x);
        index[i] = static_cast<uint8_t>((c1[i] + c2[i] + c3[i]) / 3);
      }
    } else {
      const std::array<int, kMaxMatrixSide>& only = style_ == 1 ? c1 : style_ == 2 ? c2 : c3;
      for (int x = 0; x < width; ++x) index[static_cast<size_t>(x)] = static_cast<uint8_t>(only[static_cast<size_t>(x)]);
    }
    ExpandPalette(index.data(), static_cast<size_t>(width), pixels_, out);
    out += static_cast<size_t>(width) * 3;
  }
}

void PlasmaGenerator::ExchangeSettings(SettingsBlock& block, SettingsDirection direction) {
  using G = PlasmaGenerator;
  static constexpr auto kLayout = SettingsLayout<G>(
      {Stored<G, &G::zoom_>(), Stored<G, &G::palette_>(), Stored<G, &G::style_>(), Stored<G, &G::speed_>()});
  static_assert(kLayout.bytes == kPlasmaSettingsBytes);
  if (direction == SettingsDirection::kStore) {
    kLayout.Store(*this, block);
    return;
  }
  kLayout.Load(*this, block);
  if (speed_ < 1 || speed_ > 100) speed_ = kPlasmaDefaultSpeed;
  BuildPalette();
  time_ = 0.0f;
}

void PlasmaGenerator::SetZoom(int zoom) { zoom_ = std::clamp(zoom, 1, 100); }
void PlasmaGenerator::SetSpeed(int speed) { speed_ = std::clamp(speed, 1, 100); }
void PlasmaGenerator::SetStyle(int style) {
  style_ = std::clamp(style, 0, static_cast<int>(kPlasmaStyleNames.size()) - 1);
}
void PlasmaGenerator::SetPalette(int palette) {
  palette_ = std::clamp(palette, 0, static_cast<int>(kPlasmaPaletteNames.size()) - 1);
  BuildPalette();
}

std::unique_ptr<Generator> CreatePlasmaGenerator(GeneratorContext& context) {
  return std::make_unique<PlasmaGenerator>(context);
}

}  // namespace quor

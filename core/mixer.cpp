#include "core/mixer.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstring>

#include "core/mixer_kernels.h"
#include "core/target_clones.h"

namespace quor {
namespace {

using mix::AddSat;
using mix::OverlayThreshold;
using mix::Weights;
using mix::WeightsForFade;

// The portable kernels, used where the processor lacks the instructions of
// mixer_avx512.cpp (which also takes Linear and the master table from here).
//
// Progressive and Linear treat every byte alike, so they run as one loop over
// all bytes. Shape, Intensity and Overlay decide per pixel; they run on blocks of 16
// pixels, whose 48 bytes fill three 16-byte vectors and always begin at a
// pixel's red byte. Every byte of a block gathers the red, green and blue of
// its own pixel from the bytes up to two before and after it, picked by lane
// masks that repeat identically in every block; so each lane can take the
// pixel's decision itself, without divisions by 3, branches or shuffles.
constexpr int kBlockPixels = 16;
constexpr int kBlockBytes = kBlockPixels * 3;
constexpr int kRunBytes = kBlockBytes * 8;  // the usual unit; a multiple of 32- and 64-byte vectors too

struct LaneMasks {
  std::array<uint8_t, kRunBytes> red{};
  std::array<uint8_t, kRunBytes> green{};
  std::array<uint8_t, kRunBytes> blue{};
};

constexpr LaneMasks MakeLaneMasks() {
  LaneMasks m;
  for (int k = 0; k < kRunBytes; ++k) {
    m.red[k] = k % 3 == 0 ? 0xFF : 0;
    m.green[k] = k % 3 == 1 ? 0xFF : 0;
    m.blue[k] = k % 3 == 2 ? 0xFF : 0;
  }
  return m;
}

constexpr LaneMasks kLanes = MakeLaneMasks();

// The products stay below 65536 (weights <= 255, components <= 255), so the
// arithmetic is done in 16 bits, which the vectoriser packs eight to a vector.
inline uint8_t Scale128(uint16_t weight, uint8_t c) {
  return static_cast<uint8_t>(static_cast<uint16_t>(weight * c) >> 7);
}

inline uint8_t Scale255(uint16_t weight, uint8_t c) {
  return static_cast<uint8_t>(static_cast<uint16_t>(weight * c) / uint16_t{255});
}

// The loops below are written for the vectoriser. On x86-64 each kernel is
// also built for AVX-512 (x86-64-v4) and AVX2.
#define QUOR_MIX_KERNEL QUOR_TARGET_CLONES("arch=x86-64-v4", "avx2", "default")

QUOR_MIX_KERNEL void MixProgressive(const uint8_t* a, const uint8_t* b, uint8_t* dst, size_t pixels,
                                    uint8_t invA, uint8_t invB, Weights w) {
  const size_t bytes = pixels * 3;
  for (size_t j = 0; j < bytes; ++j) {
    const uint8_t fromA = Scale128(w.a, static_cast<uint8_t>(a[j] ^ invA));
    const uint8_t fromB = Scale128(w.b, static_cast<uint8_t>(b[j] ^ invB));
    dst[j] = std::max(fromA, fromB);
  }
}

QUOR_MIX_KERNEL void MixLinear(const uint8_t* a, const uint8_t* b, uint8_t* dst, size_t pixels,
                               uint8_t invA, uint8_t invB, int fade) {
  const size_t bytes = pixels * 3;
  const auto weightA = static_cast<uint16_t>(255 - fade);
  const auto weightB = static_cast<uint16_t>(fade);
  for (size_t j = 0; j < bytes; ++j) {
    dst[j] = static_cast<uint8_t>(Scale255(weightA, static_cast<uint8_t>(a[j] ^ invA)) +
                                  Scale255(weightB, static_cast<uint8_t>(b[j] ^ invB)));
  }
}

// The per-pixel modes come in pairs that differ only in which input is the
// "key" (the one whose pixel decides) and which the "other": A and B for
// Upper modes, B and A for Lower ones. A rule supplies
//   Source(key)         the bytes the decisions are read from
//   Select(p, k)        the decision for lane k of the run at p, as a byte;
//                       p[-2] .. p[k + 2] are readable
//   SelectPixel(p)      the decision for the pixel at p (tail pixels)
//   Combine(k, o, s)    one output component from key and other components
// The loop is inlined into each mode's kernel so it is vectorised there.
template <class Rule, int kRunBytes>
[[gnu::always_inline]] inline size_t MixRuns(const uint8_t* key, const uint8_t* other, uint8_t* dst,
                                             size_t bytes, size_t j, uint8_t invKey, uint8_t invOther,
                                             const Rule& rule) {
  const uint8_t* source = rule.Source(key);
  // At the ends of the frame a run is read from a copy with two zero bytes
  // on either side; the lane masks discard what is read there. When mixing
  // into the key itself, every run is copied first, because green and blue
  // lanes read their pixel's earlier bytes, already written.
  const bool inPlace = source < dst + bytes && dst < source + bytes;
  uint8_t padded[kRunBytes + 4] = {};
  for (; j + kRunBytes <= bytes; j += kRunBytes) {
    const uint8_t* p = source + j;
    if (inPlace || j < 2 || j + kRunBytes + 2 > bytes) {
      std::memcpy(padded + 2, p, kRunBytes);
      p = padded + 2;
    }
    for (int k = 0; k < kRunBytes; ++k) {
      dst[j + k] = rule.Combine(static_cast<uint8_t>(key[j + k] ^ invKey),
                                static_cast<uint8_t>(other[j + k] ^ invOther), rule.Select(p, k));
    }
  }
  return j;
}

template <class Rule>
[[gnu::always_inline]] inline void MixByPixel(const uint8_t* key, const uint8_t* other, uint8_t* dst,
                                              size_t bytes, uint8_t invKey, uint8_t invOther,
                                              const Rule& rule) {
  // Long runs keep the per-run checks rare; short runs and single pixels
  // take what is left.
  size_t j = MixRuns<Rule, kRunBytes>(key, other, dst, bytes, 0, invKey, invOther, rule);
  j = MixRuns<Rule, kBlockBytes>(key, other, dst, bytes, j, invKey, invOther, rule);
  const uint8_t* source = rule.Source(key);
  for (; j < bytes; j += 3) {
    const uint8_t s = rule.SelectPixel(source + j);
    for (size_t c = 0; c < 3; ++c) {
      dst[j + c] = rule.Combine(static_cast<uint8_t>(key[j + c] ^ invKey),
                                static_cast<uint8_t>(other[j + c] ^ invOther), s);
    }
  }
}

// Rules whose decision depends only on the key pixel itself.
template <class Derived>
struct PixelDecision {
  uint8_t invKey;

  static const uint8_t* Source(const uint8_t* key) { return key; }

  uint8_t Select(const uint8_t* p, int k) const {
    const uint8_t red = kLanes.red[k];
    const uint8_t green = kLanes.green[k];
    const uint8_t blue = kLanes.blue[k];
    const auto r = static_cast<uint8_t>(((p[k] & red) | (p[k - 1] & green) | (p[k - 2] & blue)) ^ invKey);
    const auto g = static_cast<uint8_t>(((p[k + 1] & red) | (p[k] & green) | (p[k - 1] & blue)) ^ invKey);
    const auto b = static_cast<uint8_t>(((p[k + 2] & red) | (p[k + 1] & green) | (p[k] & blue)) ^ invKey);
    return Derived::Decide(r, g, b, static_cast<const Derived&>(*this));
  }

  uint8_t SelectPixel(const uint8_t* p) const {
    return Derived::Decide(static_cast<uint8_t>(p[0] ^ invKey), static_cast<uint8_t>(p[1] ^ invKey),
                           static_cast<uint8_t>(p[2] ^ invKey), static_cast<const Derived&>(*this));
  }
};

// Shape: the other input shows only where the key pixel is not black.
struct ShapeRule : PixelDecision<ShapeRule> {
  static uint8_t Decide(uint8_t r, uint8_t g, uint8_t b, const ShapeRule&) {
    return (r | g | b) != 0 ? 0xFF : 0;
  }
  static uint8_t Combine(uint8_t, uint8_t other, uint8_t s) { return other & s; }
};

// Intensity: the key's brightness L = (2r + 3g + b) / 6 scales the other
// input. L = 0 gives black, which other * 0 / 255 yields by itself.
struct IntensityRule : PixelDecision<IntensityRule> {
  static uint8_t Decide(uint8_t r, uint8_t g, uint8_t b, const IntensityRule&) {
    return static_cast<uint8_t>(static_cast<uint16_t>(2 * r + 3 * g + b) / uint16_t{6});
  }
  static uint8_t Combine(uint8_t, uint8_t other, uint8_t level) { return Scale255(level, other); }
};

// Overlay: the key lies on top, at its weight, wherever its pixel passes the
// threshold; elsewhere the other input shows at its weight.
struct OverlayCombine {
  uint16_t weightKey;
  uint16_t weightOther;
  uint8_t Combine(uint8_t key, uint8_t other, uint8_t s) const {
    return static_cast<uint8_t>((Scale128(weightKey, key) & s) |
                                (Scale128(weightOther, other) & static_cast<uint8_t>(~s)));
  }
};

struct OverlayRule : PixelDecision<OverlayRule>, OverlayCombine {
  uint16_t threshold;
  static uint8_t Decide(uint8_t r, uint8_t g, uint8_t b, const OverlayRule& rule) {
    return static_cast<uint16_t>(r + g + b) >= rule.threshold ? 0xFF : 0;
  }
};

QUOR_MIX_KERNEL void MixShape(const uint8_t* key, const uint8_t* other, uint8_t* dst, size_t pixels,
                              uint8_t invKey, uint8_t invOther) {
  MixByPixel(key, other, dst, pixels * 3, invKey, invOther, ShapeRule{{invKey}});
}

QUOR_MIX_KERNEL void MixIntensity(const uint8_t* key, const uint8_t* other, uint8_t* dst, size_t pixels,
                                  uint8_t invKey, uint8_t invOther) {
  MixByPixel(key, other, dst, pixels * 3, invKey, invOther, IntensityRule{{invKey}});
}

QUOR_MIX_KERNEL void MixOverlay(const uint8_t* key, const uint8_t* other, uint8_t* dst, size_t pixels,
                                uint8_t invKey, uint8_t invOther, uint16_t weightKey, uint16_t weightOther) {
  MixByPixel(key, other, dst, pixels * 3, invKey, invOther,
             OverlayRule{{invKey}, {weightKey, weightOther},
                         weightKey == 0 ? uint16_t{0xFFFF} : uint16_t{OverlayThreshold(weightKey)}});
}

void BuildGammaTable(float gamma, std::array<uint8_t, 256>& table) {
  // 1 / gamma is rounded to a 32-bit float on purpose; the power is double.
  const float inverse = 1.0f / gamma;
  for (int c = 0; c < 256; ++c) {
    const double v = std::pow(c / 255.0, static_cast<double>(inverse)) * 255.0;
    // Normal gammas give 0..255; a gamma of zero, below zero or NaN from a
    // damaged setting must still give bytes (NaN ends up 0).
    table[static_cast<size_t>(c)] = v >= 255.0 ? uint8_t{255} : v > 0.0 ? static_cast<uint8_t>(v) : uint8_t{0};
  }
}

// Border test per pixel. Its sum runs over the pixel and its up to eight
// neighbours clipped to the frame. With inversion the pixel enters inverted,
// the neighbours as stored, and the total is replaced by n * 765 - total;
// that equals the pixel's stored sum plus its neighbours' inverted sums. So
// in both cases the neighbours count as shown (inverted or not) and the pixel
// itself through `centre`: stored when inverted, as shown otherwise. Every
// term is non-negative and the threshold at most 128, so saturated bytes
// decide exactly.
//
// Per pixel, the key's saturated sums as shown and at the centre.
QUOR_MIX_KERNEL void BorderPixelSums(const uint8_t* key, size_t pixels, uint8_t invKey, uint8_t* shown,
                                     uint8_t* centre) {
  for (size_t p = 0; p < pixels; ++p) {
    const uint8_t* c = key + 3 * p;
    shown[p] = AddSat(AddSat(c[0] ^ invKey, c[1] ^ invKey), static_cast<uint8_t>(c[2] ^ invKey));
  }
  if (invKey == 0) return;
  for (size_t p = 0; p < pixels; ++p) {
    const uint8_t* c = key + 3 * p;
    centre[p] = AddSat(AddSat(c[0], c[1]), c[2]);
  }
}

// Local copies of the pointers throughout: byte stores could otherwise alias
// the fields of BorderSums and keep the loops from being vectorised.
QUOR_MIX_KERNEL void BorderRowSums(const mix::BorderSums& s) {
  const uint8_t* shown = s.shown;
  const uint8_t* left = shown - 1;
  const uint8_t* right = shown + 1;
  uint8_t* sides = s.sides;
  uint8_t* rows = s.rows;
  const size_t pixels = s.pixels;
  for (size_t p = 0; p < pixels; ++p) {
    const uint8_t both = AddSat(left[p], right[p]);
    sides[p] = both;
    rows[p] = AddSat(both, shown[p]);
  }
  mix::FinishBorderRows(s);
}

// Border overlay, with the sums taken beforehand (the test needs the
// neighbouring rows). Runs of pixels are tested into a per-byte selection
// first, so that both loops vectorise.
QUOR_MIX_KERNEL void MixOverlayBorder(const uint8_t* key, const uint8_t* other, uint8_t* dst, size_t pixels,
                                      uint8_t invKey, uint8_t invOther, uint16_t weightKey, uint16_t weightOther,
                                      const mix::BorderSums& s) {
  constexpr size_t kRunPixels = 256;
  const OverlayCombine combine{weightKey, weightOther};
  const uint8_t threshold = OverlayThreshold(weightKey);
  const uint8_t* centre = s.centre;
  const uint8_t* sides = s.sides;
  const uint8_t* above = s.rows - s.width;
  const uint8_t* below = s.rows + s.width;
  uint8_t selection[kRunPixels * 3];
  for (size_t first = 0; first < pixels; first += kRunPixels) {
    const size_t count = std::min(kRunPixels, pixels - first);
    for (size_t i = 0; i < count; ++i) {
      const size_t p = first + i;
      const uint8_t sum = AddSat(AddSat(centre[p], sides[p]), AddSat(above[p], below[p]));
      const uint8_t on = sum >= threshold ? 0xFF : 0;
      selection[3 * i] = on;
      selection[3 * i + 1] = on;
      selection[3 * i + 2] = on;
    }
    const size_t at = first * 3;
    for (size_t j = 0; j < count * 3; ++j) {
      dst[at + j] = combine.Combine(static_cast<uint8_t>(key[at + j] ^ invKey),
                                    static_cast<uint8_t>(other[at + j] ^ invOther), selection[j]);
    }
  }
}

void ApplyTable(uint8_t* dst, size_t bytes, const uint8_t* table) {
  for (size_t j = 0; j < bytes; ++j) dst[j] = table[dst[j]];
}

mix::KernelSet PortableKernels() {
  return {MixProgressive, MixLinear,       MixShape,      MixIntensity, MixOverlay,
          BorderPixelSums, BorderRowSums, MixOverlayBorder, ApplyTable};
}

}  // namespace

float GammaFromSetting(int gammaSetting) {
  return static_cast<float>(std::clamp(gammaSetting, 1, 500) / 100.0);
}

bool Mixer::PrepareFinalTable(float gamma, int master) {
  const bool gammaActive = gamma != 1.0f;
  if (!gammaActive && master == 255) return false;
  const auto bits = std::bit_cast<uint32_t>(gamma);
  if (gammaActive && (!gammaTableValid_ || bits != gammaTableBits_)) {
    BuildGammaTable(gamma, gammaTable_);
    gammaTableBits_ = bits;
    gammaTableValid_ = true;
  }
  if (master != finalMaster_ || bits != finalGammaBits_) {
    for (int c = 0; c < 256; ++c) {
      const int g = gammaActive ? gammaTable_[static_cast<size_t>(c)] : c;
      finalTable_[static_cast<size_t>(c)] = static_cast<uint8_t>(master * g / 255);
    }
    finalMaster_ = master;
    finalGammaBits_ = bits;
  }
  return true;
}

Mixer::Mixer(MixerKernels kernels) : kernels_(PortableKernels()) {
#ifdef QUOR_MIX_AVX512
  if (kernels == MixerKernels::kFastest && mix::avx512::Usable()) {
    // Linear keeps the portable loop, which the compiler already vectorises
    // well for this processor.
    namespace wide = mix::avx512;
    kernels_ = {wide::Progressive,     kernels_.linear,        wide::Shape,         wide::Intensity, wide::Overlay,
                wide::BorderPixelSums, wide::BorderRowSums,    wide::OverlayBorder, wide::ApplyTable};
  }
#else
  (void)kernels;
#endif
}

mix::BorderSums Mixer::PrepareBorderSums(const uint8_t* key, uint8_t invKey, int width, int height) {
  const auto w = static_cast<size_t>(width);
  const size_t pixels = w * static_cast<size_t>(height);
  borderShown_.resize(pixels + 2);  // a zero pixel before and after the frame
  borderShown_.front() = 0;
  borderShown_.back() = 0;
  borderCentre_.resize(pixels);
  borderSides_.resize(pixels);
  borderRows_.resize(pixels + 2 * w);  // a zero row above and below the frame
  uint8_t* shown = borderShown_.data() + 1;
  // Without inversion each pixel enters its own test as shown.
  const mix::BorderSums sums{shown, invKey != 0 ? borderCentre_.data() : shown, borderSides_.data(),
                             borderRows_.data() + w, w, pixels};
  kernels_.borderPixelSums(key, pixels, invKey, sums.shown, sums.centre);
  kernels_.borderRowSums(sums);
  return sums;
}

void Mixer::MixFrames(const uint8_t* a, const uint8_t* b, uint8_t* dst, int width, int height,
                      const MixParams& p) {
  if (width <= 0 || height <= 0) return;
  assert(a != nullptr && b != nullptr && dst != nullptr);
  const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
  const int mode = p.mode >= 0 && p.mode < kMixModeCount ? p.mode : kMixProgressive;
  const int fade = std::clamp(p.fade, 0, 255);
  const int master = std::clamp(p.master, 0, 255);
  const uint8_t invA = p.invertA ? 0xFF : 0;  // x ^ 0xFF == 255 - x
  const uint8_t invB = p.invertB ? 0xFF : 0;
  const Weights w = WeightsForFade(fade);

  // Upper modes (even numbers from 2) take A as the key, Lower modes B.
  const bool keyIsA = mode % 2 == 0;
  const uint8_t* key = keyIsA ? a : b;
  const uint8_t* other = keyIsA ? b : a;
  const uint8_t invKey = keyIsA ? invA : invB;
  const uint8_t invOther = keyIsA ? invB : invA;
  const uint16_t weightKey = keyIsA ? w.a : w.b;
  const uint16_t weightOther = keyIsA ? w.b : w.a;
  const size_t pixels = bytes / 3;
  switch (mode) {
    case kMixProgressive:
      kernels_.progressive(a, b, dst, pixels, invA, invB, w);
      break;
    case kMixLinear:
      kernels_.linear(a, b, dst, pixels, invA, invB, fade);
      break;
    case kMixShapeOfA:
    case kMixShapeOfB:
      kernels_.shape(key, other, dst, pixels, invKey, invOther);
      break;
    case kMixIntensityOfA:
    case kMixIntensityOfB:
      kernels_.intensity(key, other, dst, pixels, invKey, invOther);
      break;
    case kMixOverlayA:
    case kMixOverlayB:
      kernels_.overlay(key, other, dst, pixels, invKey, invOther, weightKey, weightOther);
      break;
    default:  // kMixOverlayBorderA, kMixOverlayBorderB
      // At weight 0 the key never lies on top, as in the plain overlay.
      // Otherwise the sums are taken first, so dst may alias the key.
      if (weightKey == 0) {
        kernels_.overlay(key, other, dst, pixels, invKey, invOther, weightKey, weightOther);
      } else {
        kernels_.overlayBorder(key, other, dst, pixels, invKey, invOther, weightKey, weightOther,
                               PrepareBorderSums(key, invKey, width, height));
      }
      break;
  }
  if (PrepareFinalTable(p.gamma, master)) kernels_.applyTable(dst, bytes, finalTable_.data());
}

}  // namespace quor

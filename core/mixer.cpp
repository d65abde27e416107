#include "core/mixer.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstring>

namespace quor {
namespace {

// Progressive and Linear treat every byte alike, so they run as one loop over
// all bytes. The other modes decide per pixel; they run on blocks of 16
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

// Per-call weights: A keeps full weight (128) up to fade 127 while B rises,
// then B keeps it while A falls.
struct Weights {
  uint16_t a;
  uint16_t b;
};

Weights WeightsForFade(int fade) {
  if (fade > 127) return {static_cast<uint16_t>(255 - fade), 128};
  return {128, static_cast<uint16_t>(fade)};
}

// The products stay below 65536 (weights <= 255, components <= 255), so the
// arithmetic is done in 16 bits, which the vectoriser packs eight to a vector.
inline uint8_t Scale128(uint16_t weight, uint8_t c) {
  return static_cast<uint8_t>(static_cast<uint16_t>(weight * c) >> 7);
}

inline uint8_t Scale255(uint16_t weight, uint8_t c) {
  return static_cast<uint8_t>(static_cast<uint16_t>(weight * c) / uint16_t{255});
}

// "sum * weight >= 128" as "sum >= ceil(128 / weight)", which keeps sums of
// up to 9 * 765 in 16 bits. Weight 0 never passes.
uint16_t OverlayThreshold(uint16_t weight) {
  return weight == 0 ? uint16_t{0xFFFF} : static_cast<uint16_t>((127 + weight) / weight);
}

// The loops below are written for the vectoriser. On x86-64 each kernel is
// also built for AVX2, and the loader picks the variant the processor has.
// Sanitizer builds go without: the loader runs the variant resolvers before
// the sanitizer runtime is up.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__) && \
    !defined(__SANITIZE_ADDRESS__)
#define QUOR_MIX_KERNEL [[gnu::target_clones("avx2", "default")]]
#else
#define QUOR_MIX_KERNEL
#endif

QUOR_MIX_KERNEL void MixProgressive(const uint8_t* a, const uint8_t* b, uint8_t* dst, size_t bytes,
                                    uint8_t invA, uint8_t invB, Weights w) {
  for (size_t j = 0; j < bytes; ++j) {
    const uint8_t fromA = Scale128(w.a, static_cast<uint8_t>(a[j] ^ invA));
    const uint8_t fromB = Scale128(w.b, static_cast<uint8_t>(b[j] ^ invB));
    dst[j] = std::max(fromA, fromB);
  }
}

QUOR_MIX_KERNEL void MixLinear(const uint8_t* a, const uint8_t* b, uint8_t* dst, size_t bytes,
                               uint8_t invA, uint8_t invB, int fade) {
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

// Border overlay: the decisions were computed beforehand over the whole
// frame (they need the neighbouring rows), at the red byte of each pixel.
struct PrecomputedOverlayRule : OverlayCombine {
  const uint8_t* selection;
  const uint8_t* Source(const uint8_t*) const { return selection; }
  static uint8_t Select(const uint8_t* p, int k) {
    return static_cast<uint8_t>((p[k] & kLanes.red[k]) | (p[k - 1] & kLanes.green[k]) |
                                (p[k - 2] & kLanes.blue[k]));
  }
  static uint8_t SelectPixel(const uint8_t* p) { return p[0]; }
};

QUOR_MIX_KERNEL void MixShape(const uint8_t* key, const uint8_t* other, uint8_t* dst, size_t bytes,
                              uint8_t invKey, uint8_t invOther) {
  MixByPixel(key, other, dst, bytes, invKey, invOther, ShapeRule{{invKey}});
}

QUOR_MIX_KERNEL void MixIntensity(const uint8_t* key, const uint8_t* other, uint8_t* dst, size_t bytes,
                                  uint8_t invKey, uint8_t invOther) {
  MixByPixel(key, other, dst, bytes, invKey, invOther, IntensityRule{{invKey}});
}

QUOR_MIX_KERNEL void MixOverlay(const uint8_t* key, const uint8_t* other, uint8_t* dst, size_t bytes,
                                uint8_t invKey, uint8_t invOther, uint16_t weightKey, uint16_t weightOther) {
  MixByPixel(key, other, dst, bytes, invKey, invOther,
             OverlayRule{{invKey}, {weightKey, weightOther}, OverlayThreshold(weightKey)});
}

QUOR_MIX_KERNEL void MixOverlaySelected(const uint8_t* key, const uint8_t* other, uint8_t* dst,
                                        size_t bytes, uint8_t invKey, uint8_t invOther, uint16_t weightKey,
                                        uint16_t weightOther, const uint8_t* selection) {
  MixByPixel(key, other, dst, bytes, invKey, invOther,
             PrecomputedOverlayRule{{weightKey, weightOther}, selection});
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

// The neighbourhood sum of a pixel is r + g + b over the pixel and its up to
// eight neighbours clipped to the frame (n = 4, 6 or 9 pixels). With
// inversion the pixel itself enters inverted and the neighbours as stored,
// and the total is then replaced by n * 765 - total; so in the end the pixel
// counts as stored and its neighbours inverted: (n - 1) * 765 - box + 2 * own
// with box the plain sum of the stored block. Writes 0xFF or 0 to `out` at
// each pixel's red byte (other bytes get unused values). `own` has room for
// the frame's bytes, `rows` for one row more.
QUOR_MIX_KERNEL void BorderSelection(const uint8_t* frame, bool invert, uint16_t threshold, int width,
                                     int height, uint16_t* own, uint16_t* rows, uint8_t* out) {
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  const size_t bytes = rowBytes * static_cast<size_t>(height);

  // Per byte r + g + b of the bytes from there on: a pixel sum at red bytes.
  for (size_t j = 0; j + 2 < bytes; ++j) {
    own[j] = static_cast<uint16_t>(frame[j] + frame[j + 1] + frame[j + 2]);
  }
  own[bytes - 2] = 0;
  own[bytes - 1] = 0;

  // Left + self + right within each row.
  for (size_t y = 0; y < static_cast<size_t>(height); ++y) {
    const uint16_t* t = own + y * rowBytes;
    uint16_t* h = rows + y * rowBytes;
    if (width == 1) {
      std::copy(t, t + 3, h);
      continue;
    }
    for (size_t j = 3; j + 3 < rowBytes; ++j) h[j] = static_cast<uint16_t>(t[j - 3] + t[j] + t[j + 3]);
    for (size_t c = 0; c < 3; ++c) {
      h[c] = static_cast<uint16_t>(t[c] + t[c + 3]);
      h[rowBytes - 3 + c] = static_cast<uint16_t>(t[rowBytes - 6 + c] + t[rowBytes - 3 + c]);
    }
  }
  const uint16_t* zeros = rows + bytes;
  std::fill(rows + bytes, rows + bytes + rowBytes, uint16_t{0});

  // Up + row + down, the inversion rule, then the overlay test.
  auto test = [&](uint16_t box, uint16_t self, uint16_t blockPixels) -> uint8_t {
    const uint16_t sum =
        invert ? static_cast<uint16_t>((blockPixels - 1) * 765 - box + 2 * self) : box;
    return sum >= threshold ? 0xFF : 0;
  };
  auto columns = [&](int x) { return 1 + (x > 0) + (x + 1 < width); };
  for (int y = 0; y < height; ++y) {
    const size_t offset = static_cast<size_t>(y) * rowBytes;
    const uint16_t* up = y > 0 ? rows + offset - rowBytes : zeros;
    const uint16_t* mid = rows + offset;
    const uint16_t* down = y + 1 < height ? rows + offset + rowBytes : zeros;
    const uint16_t* self = own + offset;
    uint8_t* rowOut = out + offset;
    const int blockRows = 1 + (y > 0) + (y + 1 < height);
    const auto inner = static_cast<uint16_t>(blockRows * std::min(width, 3));
    for (size_t j = 0; j < rowBytes; ++j) {
      rowOut[j] = test(static_cast<uint16_t>(up[j] + mid[j] + down[j]), self[j], inner);
    }
    // The first and last pixel of the row have fewer columns in their block.
    for (int x : {0, width - 1}) {
      const size_t j = static_cast<size_t>(x) * 3;
      rowOut[j] = test(static_cast<uint16_t>(up[j] + mid[j] + down[j]), self[j],
                       static_cast<uint16_t>(blockRows * columns(x)));
    }
  }
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

void Mixer::ComputeBorderSelection(const uint8_t* frame, bool invert, int weight, int width,
                                   int height) {
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  const size_t bytes = rowBytes * static_cast<size_t>(height);
  pixelSums_.resize(bytes);
  rowSums_.resize(bytes + rowBytes);  // one extra row of zeros for the missing row above/below
  selection_.resize(bytes);
  BorderSelection(frame, invert, OverlayThreshold(static_cast<uint16_t>(weight)), width, height,
                  pixelSums_.data(), rowSums_.data(), selection_.data());
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
  switch (mode) {
    case kMixProgressive:
      MixProgressive(a, b, dst, bytes, invA, invB, w);
      break;
    case kMixLinear:
      MixLinear(a, b, dst, bytes, invA, invB, fade);
      break;
    case kMixShapeOfA:
    case kMixShapeOfB:
      MixShape(key, other, dst, bytes, invKey, invOther);
      break;
    case kMixIntensityOfA:
    case kMixIntensityOfB:
      MixIntensity(key, other, dst, bytes, invKey, invOther);
      break;
    case kMixOverlayA:
    case kMixOverlayB:
      MixOverlay(key, other, dst, bytes, invKey, invOther, weightKey, weightOther);
      break;
    default:  // kMixOverlayBorderA, kMixOverlayBorderB
      // The decisions are taken from the key before anything is written, so
      // dst may alias an input here too.
      ComputeBorderSelection(key, invKey != 0, weightKey, width, height);
      MixOverlaySelected(key, other, dst, bytes, invKey, invOther, weightKey, weightOther,
                         selection_.data());
      break;
  }

  if (PrepareFinalTable(p.gamma, master)) {
    for (size_t j = 0; j < bytes; ++j) dst[j] = finalTable_[dst[j]];
  }
}

}  // namespace quor

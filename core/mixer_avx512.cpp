// Mixer kernels for processors with AVX-512 BW, VL and VBMI.
//
// They work on blocks of 64 pixels (192 bytes, three vectors). Per-pixel
// decisions are taken on planes: one byte permute pair pulls the 64 red,
// green or blue components of a block into one vector, the decision is made
// once per pixel, and one permute per vector spreads it back over the
// pixel's three bytes. The last, partial block goes through masked loads and
// stores. Every kernel reads a block completely before writing it, so the
// output may be either input's buffer.
//
// The file is compiled for the baseline processor; only the functions after
// the target pragma use the wide instructions, and the mixer calls them only
// when Usable() says so. Nothing from other headers is defined after the
// pragma, so no shared inline code is built for the wide target.
#include "core/mixer_kernels.h"

#ifdef QUOR_MIX_AVX512

#include <immintrin.h>

namespace quor::mix::avx512 {

bool Usable() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
         __builtin_cpu_supports("bmi2");
}

namespace {

constexpr int kBlockPixels = 64;
constexpr int kBlockBytes = kBlockPixels * 3;

struct alignas(64) PermuteTables {
  // Plane c of a block: byte 3i + c for pixel i. The first permute takes
  // the bytes below 128 from vectors 0 and 1; the masked second one the
  // rest from vector 2.
  uint8_t planeLow[3][64];
  uint8_t planeHigh[3][64];
  uint64_t planeHighMask[3];
  // Byte t of block vector j belongs to pixel (64 j + t) / 3.
  uint8_t spread[3][64];
};

constexpr PermuteTables MakePermuteTables() {
  PermuteTables t{};
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < kBlockPixels; ++i) {
      const int at = 3 * i + c;
      if (at < 128) {
        t.planeLow[c][i] = static_cast<uint8_t>(at);
      } else {
        t.planeHigh[c][i] = static_cast<uint8_t>(at - 128);
        t.planeHighMask[c] |= uint64_t{1} << i;
      }
    }
  }
  for (int j = 0; j < 3; ++j) {
    for (int b = 0; b < 64; ++b) t.spread[j][b] = static_cast<uint8_t>((64 * j + b) / 3);
  }
  return t;
}

constexpr PermuteTables kPermute = MakePermuteTables();

}  // namespace

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vl,avx512vbmi,bmi2")
// GCC 12's byte-permute intrinsics start from a deliberately undefined
// vector, which its flow analysis reports as uninitialised.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace {

using V = __m512i;

// Masks of the three vectors of a partial block, or none for a whole one.
struct BlockMasks {
  __mmask64 m[3];
};

inline BlockMasks MasksFor(size_t bytes) {
  BlockMasks masks{};
  for (size_t j = 0; j < 3; ++j) {
    const size_t from = 64 * j;
    masks.m[j] = bytes <= from ? 0 : bytes - from >= 64 ? ~__mmask64{0} : _bzhi_u64(~0ULL, bytes - from);
  }
  return masks;
}

inline V Load(const uint8_t* p, const BlockMasks* tail, int j) {
  return tail ? _mm512_maskz_loadu_epi8(tail->m[j], p + 64 * j) : _mm512_loadu_si512(p + 64 * j);
}

inline void Store(uint8_t* p, const BlockMasks* tail, int j, V v) {
  if (tail) {
    _mm512_mask_storeu_epi8(p + 64 * j, tail->m[j], v);
  } else {
    _mm512_storeu_si512(p + 64 * j, v);
  }
}

// Per-pixel bytes (64 of them) of a block.
inline V LoadPerPixel(const uint8_t* p, const BlockMasks* tail, size_t pixels) {
  return tail ? _mm512_maskz_loadu_epi8(_bzhi_u64(~0ULL, pixels), p) : _mm512_loadu_si512(p);
}

inline void StorePerPixel(uint8_t* p, const BlockMasks* tail, size_t pixels, V v) {
  if (tail) {
    _mm512_mask_storeu_epi8(p, _bzhi_u64(~0ULL, pixels), v);
  } else {
    _mm512_storeu_si512(p, v);
  }
}

// Calls body(pixel, tail, count) for each block: tail is null for whole
// blocks, and count the block's pixels.
template <class Body>
inline void ForEachBlock(size_t pixels, Body&& body) {
  size_t i = 0;
  for (; i + kBlockPixels <= pixels; i += kBlockPixels) body(i, static_cast<const BlockMasks*>(nullptr), size_t{64});
  if (i < pixels) {
    const BlockMasks masks = MasksFor((pixels - i) * 3);
    body(i, &masks, pixels - i);
  }
}

inline V Plane(const V v[3], int c) {
  const V low = _mm512_permutex2var_epi8(v[0], _mm512_loadu_si512(kPermute.planeLow[c]), v[1]);
  return _mm512_mask_permutexvar_epi8(low, kPermute.planeHighMask[c], _mm512_loadu_si512(kPermute.planeHigh[c]), v[2]);
}

inline V Spread(V perPixel, int j) {
  return _mm512_permutexvar_epi8(_mm512_loadu_si512(kPermute.spread[j]), perPixel);
}

inline V Xor(V v, V inv) { return _mm512_xor_si512(v, inv); }

// (w * c) >> 7 per byte for a weight of 0..127 (fits a signed byte): the
// even and odd bytes are multiplied in 16-bit lanes, then each product's
// bits 7..14 go back to its byte.
struct ScaleBelow128 {
  V even;  // w in the low byte of each 16-bit lane
  V odd;   // w in the high byte
  explicit ScaleBelow128(uint16_t w)
      : even(_mm512_set1_epi16(static_cast<short>(w))), odd(_mm512_set1_epi16(static_cast<short>(w << 8))) {}
  V operator()(V c) const {
    const V e = _mm512_maddubs_epi16(c, even);
    const V o = _mm512_maddubs_epi16(c, odd);
    return _mm512_ternarylogic_epi32(_mm512_srli_epi16(e, 7), _mm512_slli_epi16(o, 1),
                                     _mm512_set1_epi16(static_cast<short>(0xFF00)), 0xF8);  // A | (B & C)
  }
};

// x / 255 per 16-bit lane, exact for every 16-bit x.
inline V Div255(V x) { return _mm512_srli_epi16(_mm512_mulhi_epu16(x, _mm512_set1_epi16(static_cast<short>(0x8081))), 7); }

// s ? x : y per byte, with s 0 or 0xFF.
inline V Select(V s, V x, V y) { return _mm512_ternarylogic_epi32(s, x, y, 0xCA); }

// Overlay output bytes: the key (at its weight) where s is set, the other
// input (at its weight) elsewhere. One of the two weights is always 128,
// which keeps a component as it is.
template <bool kKeyFull>
struct OverlayBytes {
  ScaleBelow128 scale;
  explicit OverlayBytes(uint16_t weightKey, uint16_t weightOther) : scale(kKeyFull ? weightOther : weightKey) {}
  V operator()(V s, V key, V other) const {
    return kKeyFull ? Select(s, key, scale(other)) : Select(s, scale(key), other);
  }
};

template <bool kAFull>
void ProgressiveKernel(const uint8_t* a, const uint8_t* b, uint8_t* dst, size_t pixels, uint8_t invA,
                       uint8_t invB, Weights w) {
  const V ia = _mm512_set1_epi8(static_cast<char>(invA));
  const V ib = _mm512_set1_epi8(static_cast<char>(invB));
  const ScaleBelow128 scale(kAFull ? w.b : w.a);
  ForEachBlock(pixels, [&](size_t i, const BlockMasks* tail, size_t) {
    const size_t at = i * 3;
    V out[3];
    for (int j = 0; j < 3; ++j) {
      const V va = Xor(Load(a + at, tail, j), ia);
      const V vb = Xor(Load(b + at, tail, j), ib);
      out[j] = kAFull ? _mm512_max_epu8(va, scale(vb)) : _mm512_max_epu8(scale(va), vb);
    }
    for (int j = 0; j < 3; ++j) Store(dst + at, tail, j, out[j]);
  });
}

// Drives the per-pixel modes: decide(key, pixel, tail, count) gives the 64
// per-pixel values of a block from the key as shown (inverted or not), and
// combine(value, key, other) one output vector from the values spread over
// the pixels' bytes and the inputs as shown.
template <class Decide, class Combine>
inline void ByPixel(const uint8_t* key, const uint8_t* other, uint8_t* dst, size_t pixels, uint8_t invKey,
                    uint8_t invOther, Decide&& decide, Combine&& combine) {
  const V ik = _mm512_set1_epi8(static_cast<char>(invKey));
  const V io = _mm512_set1_epi8(static_cast<char>(invOther));
  ForEachBlock(pixels, [&](size_t i, const BlockMasks* tail, size_t count) {
    const size_t at = i * 3;
    V k[3], o[3];
    for (int j = 0; j < 3; ++j) {
      k[j] = Xor(Load(key + at, tail, j), ik);
      o[j] = Xor(Load(other + at, tail, j), io);
    }
    const V perPixel = decide(k, i, tail, count);
    for (int j = 0; j < 3; ++j) Store(dst + at, tail, j, combine(Spread(perPixel, j), k[j], o[j]));
  });
}

// Saturated r + g + b of each pixel of a block.
inline V PixelSums(const V v[3]) {
  return _mm512_adds_epu8(_mm512_adds_epu8(Plane(v, 0), Plane(v, 1)), Plane(v, 2));
}

template <bool kKeyFull>
void OverlayKernel(const uint8_t* key, const uint8_t* other, uint8_t* dst, size_t pixels, uint8_t invKey,
                   uint8_t invOther, uint16_t weightKey, uint16_t weightOther) {
  // Weight 0: the key never lies on top.
  const bool never = weightKey == 0;
  const V threshold = _mm512_set1_epi8(static_cast<char>(OverlayThreshold(weightKey)));
  const OverlayBytes<kKeyFull> bytes(weightKey, weightOther);
  ByPixel(
      key, other, dst, pixels, invKey, invOther,
      [&](const V k[3], size_t, const BlockMasks*, size_t) {
        return never ? _mm512_setzero_si512() : _mm512_movm_epi8(_mm512_cmpge_epu8_mask(PixelSums(k), threshold));
      },
      bytes);
}

// The border test of a block's pixels from the sums prepared beforehand.
template <bool kKeyFull>
void OverlayBorderKernel(const uint8_t* key, const uint8_t* other, uint8_t* dst, size_t pixels,
                         uint8_t invKey, uint8_t invOther, uint16_t weightKey, uint16_t weightOther,
                         const BorderSums& sums) {
  const V threshold = _mm512_set1_epi8(static_cast<char>(OverlayThreshold(weightKey)));
  const OverlayBytes<kKeyFull> bytes(weightKey, weightOther);
  const uint8_t* centre = sums.centre;
  const uint8_t* sides = sums.sides;
  const uint8_t* above = sums.rows - sums.width;
  const uint8_t* below = sums.rows + sums.width;
  ByPixel(
      key, other, dst, pixels, invKey, invOther,
      [&](const V*, size_t i, const BlockMasks* tail, size_t count) {
        const V own = _mm512_adds_epu8(LoadPerPixel(centre + i, tail, count), LoadPerPixel(sides + i, tail, count));
        const V around = _mm512_adds_epu8(LoadPerPixel(above + i, tail, count), LoadPerPixel(below + i, tail, count));
        return _mm512_movm_epi8(_mm512_cmpge_epu8_mask(_mm512_adds_epu8(own, around), threshold));
      },
      bytes);
}

}  // namespace

void Progressive(const uint8_t* a, const uint8_t* b, uint8_t* dst, size_t pixels, uint8_t invA, uint8_t invB,
                 Weights w) {
  if (w.a == 128) {
    ProgressiveKernel<true>(a, b, dst, pixels, invA, invB, w);
  } else {
    ProgressiveKernel<false>(a, b, dst, pixels, invA, invB, w);
  }
}

void Shape(const uint8_t* key, const uint8_t* other, uint8_t* dst, size_t pixels, uint8_t invKey,
           uint8_t invOther) {
  ByPixel(
      key, other, dst, pixels, invKey, invOther,
      [&](const V k[3], size_t, const BlockMasks*, size_t) {
        const V any = _mm512_ternarylogic_epi32(Plane(k, 0), Plane(k, 1), Plane(k, 2), 0xFE);  // A | B | C
        return _mm512_movm_epi8(_mm512_test_epi8_mask(any, any));
      },
      [&](V s, V, V o) { return _mm512_and_si512(s, o); });
}

void Intensity(const uint8_t* key, const uint8_t* other, uint8_t* dst, size_t pixels, uint8_t invKey,
               uint8_t invOther) {
  const V zero = _mm512_setzero_si512();
  const V lowBytes = _mm512_set1_epi16(0x00FF);
  ByPixel(
      key, other, dst, pixels, invKey, invOther,
      [&](const V k[3], size_t, const BlockMasks*, size_t) {
        // L = (2r + 3g + b) / 6 on 16-bit lanes: r and g pairs times (2, 3),
        // plus b, then / 6 as a high multiply (exact below 32768).
        const V r = Plane(k, 0), g = Plane(k, 1), b = Plane(k, 2);
        const V weights = _mm512_set1_epi16(0x0302);
        const V divide6 = _mm512_set1_epi16(10923);
        const V low = _mm512_add_epi16(_mm512_maddubs_epi16(_mm512_unpacklo_epi8(r, g), weights),
                                       _mm512_unpacklo_epi8(b, zero));
        const V high = _mm512_add_epi16(_mm512_maddubs_epi16(_mm512_unpackhi_epi8(r, g), weights),
                                        _mm512_unpackhi_epi8(b, zero));
        return _mm512_packus_epi16(_mm512_mulhi_epu16(low, divide6), _mm512_mulhi_epu16(high, divide6));
      },
      [&](V level, V, V o) {
        // other * L / 255 for the even and the odd bytes.
        const V even = Div255(_mm512_mullo_epi16(_mm512_and_si512(o, lowBytes), _mm512_and_si512(level, lowBytes)));
        const V odd = Div255(_mm512_mullo_epi16(_mm512_srli_epi16(o, 8), _mm512_srli_epi16(level, 8)));
        return _mm512_or_si512(even, _mm512_slli_epi16(odd, 8));
      });
}

void Overlay(const uint8_t* key, const uint8_t* other, uint8_t* dst, size_t pixels, uint8_t invKey,
             uint8_t invOther, uint16_t weightKey, uint16_t weightOther) {
  if (weightKey == 128) {
    OverlayKernel<true>(key, other, dst, pixels, invKey, invOther, weightKey, weightOther);
  } else {
    OverlayKernel<false>(key, other, dst, pixels, invKey, invOther, weightKey, weightOther);
  }
}

void OverlayBorder(const uint8_t* key, const uint8_t* other, uint8_t* dst, size_t pixels, uint8_t invKey,
                   uint8_t invOther, uint16_t weightKey, uint16_t weightOther, const BorderSums& sums) {
  if (weightKey == 128) {
    OverlayBorderKernel<true>(key, other, dst, pixels, invKey, invOther, weightKey, weightOther, sums);
  } else {
    OverlayBorderKernel<false>(key, other, dst, pixels, invKey, invOther, weightKey, weightOther, sums);
  }
}

void BorderPixelSums(const uint8_t* key, size_t pixels, uint8_t invKey, uint8_t* shown, uint8_t* centre) {
  const V ik = _mm512_set1_epi8(static_cast<char>(invKey));
  ForEachBlock(pixels, [&](size_t i, const BlockMasks* tail, size_t count) {
    V stored[3], asShown[3];
    for (int j = 0; j < 3; ++j) {
      stored[j] = Load(key + i * 3, tail, j);
      asShown[j] = Xor(stored[j], ik);
    }
    const V sums = PixelSums(asShown);
    StorePerPixel(shown + i, tail, count, sums);
    if (invKey != 0) StorePerPixel(centre + i, tail, count, PixelSums(stored));
  });
}

void BorderRowSums(const BorderSums& sums) {
  // Local copies: the byte stores below could otherwise alias the fields.
  const uint8_t* shown = sums.shown;
  uint8_t* sides = sums.sides;
  uint8_t* rows = sums.rows;
  const size_t pixels = sums.pixels;
  auto step = [&](size_t p, __mmask64 m) {
    const V left = _mm512_maskz_loadu_epi8(m, shown + p - 1);
    const V right = _mm512_maskz_loadu_epi8(m, shown + p + 1);
    const V both = _mm512_adds_epu8(left, right);
    _mm512_mask_storeu_epi8(sides + p, m, both);
    _mm512_mask_storeu_epi8(rows + p, m, _mm512_adds_epu8(both, _mm512_maskz_loadu_epi8(m, shown + p)));
  };
  size_t p = 0;
  for (; p + 64 <= pixels; p += 64) step(p, ~__mmask64{0});
  if (p < pixels) step(p, _bzhi_u64(~0ULL, pixels - p));
  FinishBorderRows(sums);
}

void ApplyTable(uint8_t* dst, size_t bytes, const uint8_t* table) {
  const V t0 = _mm512_loadu_si512(table), t1 = _mm512_loadu_si512(table + 64);
  const V t2 = _mm512_loadu_si512(table + 128), t3 = _mm512_loadu_si512(table + 192);
  auto lookUp = [&](V x) {
    // Entries 0..127 and 128..255 by the low seven bits, picked by the top bit.
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(x), _mm512_permutex2var_epi8(t0, x, t1),
                                  _mm512_permutex2var_epi8(t2, x, t3));
  };
  size_t j = 0;
  for (; j + 64 <= bytes; j += 64) _mm512_storeu_si512(dst + j, lookUp(_mm512_loadu_si512(dst + j)));
  if (j < bytes) {
    const __mmask64 m = _bzhi_u64(~0ULL, bytes - j);
    _mm512_mask_storeu_epi8(dst + j, m, lookUp(_mm512_maskz_loadu_epi8(m, dst + j)));
  }
}

#pragma GCC diagnostic pop
#pragma GCC pop_options

}  // namespace quor::mix::avx512

#endif  // QUOR_MIX_AVX512

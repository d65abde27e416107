#include "output/power_limit.h"

#include <algorithm>
#include <cstring>

#include "core/target_clones.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QUOR_WIDE_PASSES 1
#endif

// The passes below are plain loops the compiler vectorizes; each also gets
// an AVX2 version where the build allows.
#define QUOR_VECTOR_CLONES QUOR_TARGET_CLONES("avx2", "default")

namespace quor {
namespace {

constexpr size_t kBlock = PreparedCorrection::kBlock;

// v' = floor(v * f / 256) per channel, f from the block's factors (at
// most 256), computed as the high half of (v << 8) * f: one 16-bit
// multiply per channel.
inline uint8_t Factor(uint8_t v, uint16_t f) {
  return static_cast<uint8_t>((static_cast<uint32_t>(static_cast<uint16_t>(v << 8)) * f) >> 16);
}

// The gain passes in one loop: each byte's gained value g, then written
// (kStore) as g or, with kScale, as floor(g * k / 65536); kSum sums the
// gained values, each block in 16 bits (at most 96 x 255), then into the
// total. `to` may be `from`.
template <bool kStore, bool kScale, bool kSum>
inline uint32_t GainLoop(uint8_t* to, const uint8_t* from, size_t n, const uint16_t* factors, uint16_t k) {
  static_assert(kBlock * 255 <= 0xFFFF);
  const auto one = [to, from, k](size_t i, uint16_t f) {
    const uint8_t g = Factor(from[i], f);
    if constexpr (kStore) to[i] = kScale ? static_cast<uint8_t>(static_cast<uint16_t>((uint32_t{g} * k) >> 16)) : g;
    return g;
  };
  uint32_t sum = 0;
  size_t i = 0;
  for (; i + kBlock <= n; i += kBlock) {
    uint16_t block = 0;
    for (size_t j = 0; j < kBlock; ++j) block = static_cast<uint16_t>(block + one(i + j, factors[j]));
    if constexpr (kSum) sum += block;
  }
  for (size_t j = 0; i < n; ++i, ++j) sum += one(i, factors[j]);
  return kSum ? sum : 0;
}

QUOR_VECTOR_CLONES uint32_t GainSumLoop(const uint8_t* from, size_t n, const uint16_t* factors) {
  return GainLoop<false, false, true>(nullptr, from, n, factors, 0);
}
QUOR_VECTOR_CLONES void GainCopyLoop(uint8_t* to, const uint8_t* from, size_t n, const uint16_t* factors) {
  GainLoop<true, false, false>(to, from, n, factors, 0);
}
QUOR_VECTOR_CLONES void GainScaleLoop(uint8_t* to, const uint8_t* from, size_t n, const uint16_t* factors,
                                      uint16_t k) {
  GainLoop<true, true, false>(to, from, n, factors, k);
}

// In 16-bit lanes over blocks of 256 channels (at most 65280 each).
QUOR_VECTOR_CLONES uint32_t Sum(const uint8_t* ch, size_t n) {
  uint32_t sum = 0;
  for (size_t i = 0; i < n; i += 256) {
    uint16_t block = 0;
    const size_t end = std::min(n, i + 256);
    for (size_t j = i; j < end; ++j) block = static_cast<uint16_t>(block + ch[j]);
    sum += block;
  }
  return sum;
}

// v'' = floor(v * k / 65536): the high half of a 16-bit product. `to`
// may be `from`.
QUOR_VECTOR_CLONES void ScaleBy(uint8_t* to, const uint8_t* from, size_t n, uint16_t k) {
  for (size_t i = 0; i < n; ++i) {
    const uint16_t v = from[i];
    to[i] = static_cast<uint8_t>(static_cast<uint16_t>((uint32_t{v} * k) >> 16));
  }
}

#if QUOR_WIDE_PASSES
// The same passes written for 64-byte AVX-512 vectors, taking a channel's
// even and odd bytes in 16-bit lanes apart by masks rather than shuffles:
// for a lane holding channels e (low byte) and o (high byte),
//   floor(e * f / 256)        = (e * f) >> 8              (e * f < 65536)
//   floor(o * f / 256) << 8   = (o * f) & 0xFF00
//   floor(e * k / 65536)      = high half of e * k
//   floor(o * k / 65536) << 8 = high half of (o << 8) * k, & 0xFF00
// so every byte gets exactly what the portable passes give it. A device's
// last partial vector is read and written under a byte mask.
#define QUOR_WIDE [[gnu::target("avx512bw")]]

constexpr size_t kWide = 64;

// The sum of the eight 64-bit lanes (through memory: GCC 12's lane
// shuffles and reductions trip its uninitialized-variable warning).
QUOR_WIDE inline uint32_t LaneSum(__m512i v) {
  alignas(64) uint64_t lanes[8];
  _mm512_store_si512(lanes, v);
  uint64_t sum = 0;
  for (const uint64_t lane : lanes) sum += lane;
  return static_cast<uint32_t>(sum);
}

QUOR_WIDE inline __mmask64 TailMask(size_t left) {
  return left >= kWide ? ~__mmask64{0} : (__mmask64{1} << left) - 1;
}

QUOR_WIDE inline __m512i GainWide(__m512i v, __m512i evenFactor, __m512i oddFactor) {
  const __m512i low = _mm512_set1_epi16(0x00FF);
  const __m512i high = _mm512_set1_epi16(static_cast<int16_t>(0xFF00));
  const __m512i even = _mm512_srli_epi16(_mm512_mullo_epi16(_mm512_and_si512(v, low), evenFactor), 8);
  const __m512i odd = _mm512_and_si512(_mm512_mullo_epi16(_mm512_srli_epi16(v, 8), oddFactor), high);
  return _mm512_or_si512(even, odd);
}

QUOR_WIDE inline __m512i ScaleWide(__m512i v, __m512i k) {
  const __m512i low = _mm512_set1_epi16(0x00FF);
  const __m512i high = _mm512_set1_epi16(static_cast<int16_t>(0xFF00));
  const __m512i even = _mm512_mulhi_epu16(_mm512_and_si512(v, low), k);
  const __m512i odd = _mm512_and_si512(_mm512_mulhi_epu16(_mm512_and_si512(v, high), k), high);
  return _mm512_or_si512(even, odd);
}

// The gain passes over whole blocks of three vectors, whose colours then
// repeat (factors[q] are vector q's), and a masked tail: as GainLoop.
template <bool kStore, bool kScale, bool kSum>
QUOR_WIDE inline void GainVector(uint8_t* to, const uint8_t* from, size_t left, __m512i even, __m512i odd,
                                 __m512i scale, __m512i& total) {
  const bool whole = left >= kWide;
  const __mmask64 m = TailMask(left);
  const __m512i g = GainWide(whole ? _mm512_loadu_si512(from) : _mm512_maskz_loadu_epi8(m, from), even, odd);
  if constexpr (kSum) total = _mm512_add_epi64(total, _mm512_sad_epu8(g, _mm512_setzero_si512()));
  if constexpr (kStore) {
    const __m512i out = kScale ? ScaleWide(g, scale) : g;
    if (whole) {
      _mm512_storeu_si512(to, out);
    } else {
      _mm512_mask_storeu_epi8(to, m, out);
    }
  }
}

template <bool kStore, bool kScale, bool kSum>
QUOR_WIDE uint32_t GainWidePass(uint8_t* to, const uint8_t* from, size_t n, const WideFactors& factors,
                                uint16_t k) {
  __m512i even[3];
  __m512i odd[3];
  for (size_t q = 0; q < 3; ++q) {
    even[q] = _mm512_load_si512(factors.even[q].data());
    odd[q] = _mm512_load_si512(factors.odd[q].data());
  }
  const __m512i scale = _mm512_set1_epi16(static_cast<int16_t>(k));
  __m512i total = _mm512_setzero_si512();
  size_t i = 0;
  const auto at = [to](size_t offset) { return kStore ? to + offset : nullptr; };
  for (; i + 3 * kWide <= n; i += 3 * kWide) {
    for (size_t q = 0; q < 3; ++q) {
      const size_t o = i + q * kWide;
      GainVector<kStore, kScale, kSum>(at(o), from + o, kWide, even[q], odd[q], scale, total);
    }
  }
  for (size_t q = 0; i < n; i += kWide, ++q) {
    GainVector<kStore, kScale, kSum>(at(i), from + i, n - i, even[q], odd[q], scale, total);
  }
  return kSum ? LaneSum(total) : 0;
}

QUOR_WIDE uint32_t SumWide(const uint8_t* ch, size_t n) {
  const __m512i zero = _mm512_setzero_si512();
  __m512i total = zero;
  __m512i other = zero;
  size_t i = 0;
  for (; i + 2 * kWide <= n; i += 2 * kWide) {
    total = _mm512_add_epi64(total, _mm512_sad_epu8(_mm512_loadu_si512(ch + i), zero));
    other = _mm512_add_epi64(other, _mm512_sad_epu8(_mm512_loadu_si512(ch + i + kWide), zero));
  }
  for (; i < n; i += kWide) {
    total = _mm512_add_epi64(total, _mm512_sad_epu8(_mm512_maskz_loadu_epi8(TailMask(n - i), ch + i), zero));
  }
  return LaneSum(_mm512_add_epi64(total, other));
}

QUOR_WIDE void ScaleByWide(uint8_t* to, const uint8_t* from, size_t n, uint16_t k) {
  const __m512i factor = _mm512_set1_epi16(static_cast<int16_t>(k));
  size_t i = 0;
  for (; i + kWide <= n; i += kWide) {
    const __m512i v = _mm512_loadu_si512(from + i);
    _mm512_storeu_si512(to + i, ScaleWide(v, factor));
  }
  if (i < n) {
    const __mmask64 m = TailMask(n - i);
    _mm512_mask_storeu_epi8(to + i, m, ScaleWide(_mm512_maskz_loadu_epi8(m, from + i), factor));
  }
}
#endif

}  // namespace

uint64_t EstimatedMilliamps(std::span<const uint8_t> channels, int milliampsPerChannel) {
  uint64_t sum = 0;
  for (const uint8_t v : channels) sum += v;
  return sum * static_cast<uint64_t>(std::max(milliampsPerChannel, 0)) / 255;
}

namespace {
bool WidePassesAvailable() {
#if QUOR_WIDE_PASSES
  static const bool available = __builtin_cpu_supports("avx512bw");
  return available;
#else
  return false;
#endif
}

[[maybe_unused]] bool Wide(CorrectionPasses passes) {
  return passes == CorrectionPasses::kFastest && WidePassesAvailable();
}
}  // namespace

uint32_t SumBytes(const uint8_t* bytes, size_t n, CorrectionPasses passes) {
#if QUOR_WIDE_PASSES
  if (Wide(passes)) return SumWide(bytes, n);
#endif
  (void)passes;
  return Sum(bytes, n);
}

void ScaleBytes(uint8_t* to, const uint8_t* from, size_t n, uint16_t k, CorrectionPasses passes) {
#if QUOR_WIDE_PASSES
  if (Wide(passes)) return ScaleByWide(to, from, n, k);
#endif
  (void)passes;
  ScaleBy(to, from, n, k);
}

PreparedCorrection::PreparedCorrection(const DeviceCorrection& correction, CorrectionPasses passes) {
  // Gain and cap in 1/256 steps: f = round(gain * cap * 256 / 10000) per
  // colour (256 at 100 % and 100 %); colours repeat every 3 bytes.
  const int cap = std::clamp(correction.cap, 0, 100);
  std::array<uint16_t, 3> factor{};
  for (size_t c = 0; c < 3; ++c) {
    factor[c] = static_cast<uint16_t>((std::clamp(correction.gain[c], 0, 100) * cap * 256 + 5000) / 10000);
  }
  for (size_t j = 0; j < kBlock; ++j) factors_[j] = factor[j % 3];
  for (size_t q = 0; q < 3; ++q) {
    for (size_t lane = 0; lane < 32; ++lane) {
      const size_t byte = q * 64 + 2 * lane;
      wideFactors_.even[q][lane] = factor[byte % 3];
      wideFactors_.odd[q][lane] = factor[(byte + 1) % 3];
    }
  }
  passes_ = passes;
  wide_ = Wide(passes);
  gains_ = factor != std::array<uint16_t, 3>{256, 256, 256};
  budget_ = correction.budgetMilliamps > 0;
  allowed_ = static_cast<uint64_t>(std::max(correction.budgetMilliamps, 0)) * 255;
  milliamps_ = static_cast<uint64_t>(std::clamp(correction.milliampsPerChannel, 1, 1000));
}

uint32_t PreparedCorrection::GainSum(const uint8_t* pixels, size_t n) const {
#if QUOR_WIDE_PASSES
  if (wide_) return gains_ ? GainWidePass<false, false, true>(nullptr, pixels, n, wideFactors_, 0) : SumWide(pixels, n);
#endif
  return gains_ ? GainSumLoop(pixels, n, factors_.data()) : Sum(pixels, n);
}

void PreparedCorrection::GainCopy(uint8_t* to, const uint8_t* pixels, size_t n, uint32_t scale) const {
  const auto k = static_cast<uint16_t>(scale);
  const bool scaled = scale != kUnscaled;
#if QUOR_WIDE_PASSES
  if (wide_) {
    if (!gains_) {
      if (scaled) ScaleByWide(to, pixels, n, k);
    } else if (scaled) {
      GainWidePass<true, true, false>(to, pixels, n, wideFactors_, k);
    } else {
      GainWidePass<true, false, false>(to, pixels, n, wideFactors_, k);
    }
    if (gains_ || scaled) return;
  }
#endif
  if (!gains_) {
    if (scaled) {
      ScaleBy(to, pixels, n, k);
    } else if (to != pixels) {
      std::memcpy(to, pixels, n);
    }
  } else if (scaled) {
    GainScaleLoop(to, pixels, n, factors_.data(), k);
  } else {
    GainCopyLoop(to, pixels, n, factors_.data());
  }
}

BudgetScale PreparedCorrection::ScaleFor(uint32_t sum) const {
  // The estimate is sum(v) * mA / 255 milliamperes for the budget B mA; it
  // is over when sum * mA > B * 255. Then every channel becomes
  //   v'' = floor(v' * k / 65536),  k = floor(B * 255 * 65536 / (sum * mA)),
  // so sum(v'') <= sum * k / 65536 <= B * 255 / mA, hence the new estimate
  // sum(v'') * mA / 255 <= B: the frame fits its budget exactly, and k is
  // below 65536, so no value grows.
  const uint64_t draw = uint64_t{sum} * milliamps_;
  if (!budget_ || draw <= allowed_) return {};
  const auto k = static_cast<uint32_t>((allowed_ << 16) / draw);
  return {k, ShareOf(k)};
}

int PreparedCorrection::Apply(std::span<uint8_t> pixels) const {
  if (!budget_) {
    GainCopy(pixels.data(), pixels.data(), pixels.size(), kUnscaled);
    return 100;
  }
  // The sum of the gained values first, then gains and scale in one pass.
  const BudgetScale scale = ScaleFor(GainSum(pixels.data(), pixels.size()));
  GainCopy(pixels.data(), pixels.data(), pixels.size(), scale.factor);
  return scale.share;
}

int PreparedCorrection::ApplyBudget(std::span<uint8_t> channels) const {
  const BudgetScale scale = ScaleFor(budget_ ? SumBytes(channels.data(), channels.size(), passes_) : 0);
  if (scale.factor != kUnscaled) {
    ScaleBytes(channels.data(), channels.data(), channels.size(), static_cast<uint16_t>(scale.factor), passes_);
  }
  return scale.share;
}

int ApplyCorrection(const DeviceCorrection& correction, std::span<uint8_t> pixels) {
  return PreparedCorrection(correction).Apply(pixels);
}

}  // namespace quor

#include "output/power_limit.h"

#include <algorithm>

#include "core/target_clones.h"

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

QUOR_VECTOR_CLONES void Scale(uint8_t* __restrict ch, size_t n, const uint16_t* __restrict factors) {
  size_t i = 0;
  for (; i + kBlock <= n; i += kBlock) {
    for (size_t j = 0; j < kBlock; ++j) ch[i + j] = Factor(ch[i + j], factors[j]);
  }
  for (size_t j = 0; i < n; ++i, ++j) ch[i] = Factor(ch[i], factors[j]);
}

// Scale, summing what it leaves in the same pass: each block in 16 bits
// (at most 96 x 255), then into the total.
QUOR_VECTOR_CLONES uint32_t ScaleAndSum(uint8_t* __restrict ch, size_t n, const uint16_t* __restrict factors) {
  static_assert(kBlock * 255 <= 0xFFFF);
  uint32_t sum = 0;
  size_t i = 0;
  for (; i + kBlock <= n; i += kBlock) {
    uint16_t block = 0;
    for (size_t j = 0; j < kBlock; ++j) {
      const uint8_t v = Factor(ch[i + j], factors[j]);
      ch[i + j] = v;
      block = static_cast<uint16_t>(block + v);
    }
    sum += block;
  }
  for (size_t j = 0; i < n; ++i, ++j) {
    ch[i] = Factor(ch[i], factors[j]);
    sum += ch[i];
  }
  return sum;
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

// v'' = floor(v * k / 65536): the high half of a 16-bit product.
QUOR_VECTOR_CLONES void ScaleBy(uint8_t* ch, size_t n, uint16_t k) {
  for (size_t i = 0; i < n; ++i) {
    const uint16_t v = ch[i];
    ch[i] = static_cast<uint8_t>(static_cast<uint16_t>((uint32_t{v} * k) >> 16));
  }
}

}  // namespace

uint64_t EstimatedMilliamps(std::span<const uint8_t> channels, int milliampsPerChannel) {
  uint64_t sum = 0;
  for (const uint8_t v : channels) sum += v;
  return sum * static_cast<uint64_t>(std::max(milliampsPerChannel, 0)) / 255;
}

PreparedCorrection::PreparedCorrection(const DeviceCorrection& correction) {
  // Gain and cap in 1/256 steps: f = round(gain * cap * 256 / 10000) per
  // colour (256 at 100 % and 100 %); colours repeat every 3 channels.
  const int cap = std::clamp(correction.cap, 0, 100);
  std::array<uint16_t, 3> factor{};
  for (size_t c = 0; c < 3; ++c) {
    factor[c] = static_cast<uint16_t>((std::clamp(correction.gain[c], 0, 100) * cap * 256 + 5000) / 10000);
  }
  for (size_t j = 0; j < kBlock; ++j) factors_[j] = factor[j % 3];
  gains_ = factor != std::array<uint16_t, 3>{256, 256, 256};
  budget_ = correction.budgetMilliamps > 0;
  allowed_ = static_cast<uint64_t>(std::max(correction.budgetMilliamps, 0)) * 255;
  milliamps_ = static_cast<uint64_t>(std::clamp(correction.milliampsPerChannel, 1, 1000));
}

int PreparedCorrection::Apply(std::span<uint8_t> channels) const {
  const size_t n = channels.size();
  uint8_t* const ch = channels.data();
  uint32_t sum = 0;
  if (gains_) {
    if (!budget_) {
      Scale(ch, n, factors_.data());
      return 100;
    }
    sum = ScaleAndSum(ch, n, factors_.data());
  } else {
    if (!budget_) return 100;
    sum = Sum(ch, n);
  }
  // Budget. The estimate is sum(v) * mA / 255 milliamperes for the budget
  // B mA; it is over when sum * mA > B * 255. Then every channel becomes
  //   v'' = floor(v' * k / 65536),  k = floor(B * 255 * 65536 / (sum * mA)),
  // so sum(v'') <= sum * k / 65536 <= B * 255 / mA, hence the new estimate
  // sum(v'') * mA / 255 <= B: the frame fits its budget exactly, and k is
  // below 65536, so no value grows.
  const uint64_t draw = uint64_t{sum} * milliamps_;
  if (draw <= allowed_) return 100;
  const uint16_t k = static_cast<uint16_t>((allowed_ << 16) / draw);
  ScaleBy(ch, n, k);
  return static_cast<int>(uint32_t{k} * 100 >> 16);
}

int ApplyCorrection(const DeviceCorrection& correction, std::span<uint8_t> channels) {
  return PreparedCorrection(correction).Apply(channels);
}

}  // namespace quor

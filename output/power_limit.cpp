#include "output/power_limit.h"

#include <algorithm>

namespace quor {

uint64_t EstimatedMilliamps(std::span<const uint8_t> channels, int milliampsPerChannel) {
  uint64_t sum = 0;
  for (const uint8_t v : channels) sum += v;
  return sum * static_cast<uint64_t>(std::max(milliampsPerChannel, 0)) / 255;
}

int ApplyCorrection(const DeviceCorrection& correction, std::span<uint8_t> channels) {
  // Gain and cap first, in 1/256 steps: m = round(gain * cap * 256 / 10000)
  // per colour (256 at 100 % and 100 %), v' = floor(v * m / 256). All in
  // 16 bits, so the loops vectorize.
  const int cap = std::clamp(correction.cap, 0, 100);
  std::array<uint16_t, 3> factor{};
  for (size_t c = 0; c < 3; ++c) {
    factor[c] = static_cast<uint16_t>((std::clamp(correction.gain[c], 0, 100) * cap * 256 + 5000) / 10000);
  }
  const size_t n = channels.size();
  uint8_t* const ch = channels.data();
  if (factor != std::array<uint16_t, 3>{256, 256, 256}) {
    // The colours repeat every 3 channels; 48 channels hold whole colour
    // triples and whole vector lanes.
    constexpr size_t kBlock = 48;
    std::array<uint16_t, kBlock> pattern{};
    for (size_t j = 0; j < kBlock; ++j) pattern[j] = factor[j % 3];
    size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
      for (size_t j = 0; j < kBlock; ++j) {
        ch[i + j] = static_cast<uint8_t>(static_cast<uint16_t>(ch[i + j] * pattern[j]) >> 8);
      }
    }
    for (size_t j = 0; i < n; ++i, ++j) ch[i] = static_cast<uint8_t>(static_cast<uint16_t>(ch[i] * pattern[j]) >> 8);
  }
  if (correction.budgetMilliamps <= 0) return 100;
  // At most 65535 channels of 255; summed in 16-bit lanes over blocks of
  // 256 channels (at most 65280 each), which vectorizes well.
  uint32_t sum = 0;
  for (size_t i = 0; i < n; i += 256) {
    uint16_t block = 0;
    const size_t end = std::min(n, i + 256);
    for (size_t j = i; j < end; ++j) block = static_cast<uint16_t>(block + ch[j]);
    sum += block;
  }

  // Budget. The estimate is sum(v) * mA / 255 milliamperes for the budget
  // B mA; it is over when sum * mA > B * 255. Then every channel becomes
  //   v'' = floor(v' * k / 65536),  k = floor(B * 255 * 65536 / (sum * mA)),
  // so sum(v'') <= sum * k / 65536 <= B * 255 / mA, hence the new estimate
  // sum(v'') * mA / 255 <= B: the frame fits its budget exactly, and k is
  // below 65536, so no value grows.
  const uint64_t milliamps = static_cast<uint64_t>(std::clamp(correction.milliampsPerChannel, 1, 1000));
  const uint64_t allowed = static_cast<uint64_t>(correction.budgetMilliamps) * 255;
  const uint64_t draw = uint64_t{sum} * milliamps;
  if (draw <= allowed) return 100;
  const uint16_t k = static_cast<uint16_t>((allowed << 16) / draw);
  for (size_t i = 0; i < n; ++i) {
    const uint16_t v = ch[i];
    ch[i] = static_cast<uint8_t>((uint32_t{v} * k) >> 16);  // the high half of a 16-bit product
  }
  return static_cast<int>(uint32_t{k} * 100 >> 16);
}

}  // namespace quor

#include "output/power_limit.h"

#include <algorithm>

namespace quor {

uint64_t EstimatedMilliamps(std::span<const uint8_t> channels, int milliampsPerChannel) {
  uint64_t sum = 0;
  for (const uint8_t v : channels) sum += v;
  return sum * static_cast<uint64_t>(std::max(milliampsPerChannel, 0)) / 255;
}

int ApplyCorrection(const DeviceCorrection& correction, std::span<uint8_t> channels) {
  // Gain and cap first: v' = floor(v * gain * cap / 10000).
  const int cap = std::clamp(correction.cap, 0, 100);
  std::array<uint32_t, 3> factor{};
  for (size_t c = 0; c < 3; ++c) factor[c] = static_cast<uint32_t>(std::clamp(correction.gain[c], 0, 100) * cap);
  const size_t n = channels.size();
  uint64_t sum = 0;
  if (factor != std::array<uint32_t, 3>{10000, 10000, 10000}) {
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
      for (size_t c = 0; c < 3; ++c) {
        const uint32_t v = channels[i + c] * factor[c] / 10000;
        channels[i + c] = static_cast<uint8_t>(v);
        sum += v;
      }
    }
    for (size_t c = 0; i < n; ++i, ++c) {
      const uint32_t v = channels[i] * factor[c] / 10000;
      channels[i] = static_cast<uint8_t>(v);
      sum += v;
    }
  } else {
    for (const uint8_t v : channels) sum += v;
  }
  if (correction.budgetMilliamps <= 0) return 100;

  // Budget. The estimate is sum(v) * mA / 255 milliamperes for the budget
  // B mA; it is over when sum * mA > B * 255. Then every channel becomes
  //   v'' = floor(v' * k / 65536),  k = floor(B * 255 * 65536 / (sum * mA)),
  // so sum(v'') <= sum * k / 65536 <= B * 255 / mA, hence the new estimate
  // sum(v'') * mA / 255 <= B: the frame fits its budget exactly, and k is
  // below 65536, so no value grows.
  const uint64_t milliamps = static_cast<uint64_t>(std::clamp(correction.milliampsPerChannel, 1, 1000));
  const uint64_t allowed = static_cast<uint64_t>(correction.budgetMilliamps) * 255;
  const uint64_t draw = sum * milliamps;
  if (draw <= allowed) return 100;
  const uint32_t k = static_cast<uint32_t>((allowed << 16) / draw);
  for (uint8_t& v : channels) v = static_cast<uint8_t>((v * k) >> 16);
  return static_cast<int>(uint64_t{k} * 100 >> 16);
}

}  // namespace quor

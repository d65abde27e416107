#include "generators/fast_trig.h"

#include <algorithm>

#include "core/target_clones.h"

namespace quor {
namespace {

// The row loops are written for the vectoriser. On x86-64 they are also
// built for AVX2 (four doubles to a vector; no FMA, so every rounding stays
// as in the plain build), and the loader picks the variant the processor
// has.
#define QUOR_TRIG_KERNEL QUOR_TARGET_CLONES("avx2", "default")

// The fast |scale * sin x| (or cos) and whether it might truncate otherwise
// than libm's (NearStepBits, the sign bit).
template <Wave kWave>
[[gnu::always_inline]] inline double Scaled(double x, double s) {
  return s * (kWave == Wave::kSine ? FastAbsSin(x) : FastAbsCos(x));
}

// Works in chunks: the first loop vectorises and only gathers whether any
// value lies near an integer step; the second runs only for the rare chunk
// where one does, works the same values out again and redoes those.
template <Wave kWave, typename ScaleFn>
[[gnu::always_inline]] inline int Magnitudes(const double* args, int count, ScaleFn scale, int* out) {
  constexpr int kChunk = 64;
  int exact = 0;
  for (int begin = 0; begin < count; begin += kChunk) {
    const int n = std::min(kChunk, count - begin);
    int64_t anyNearStep = 0;
    for (int i = 0; i < n; ++i) {
      const double x = args[begin + i];
      const double s = scale(begin + i);
      const double scaled = Scaled<kWave>(x, s);
      // Only an argument out of range can go past s; the bound keeps the
      // cast defined until the value is redone below.
      out[begin + i] = static_cast<int>(scaled < 2 * s ? scaled : 2 * s);
      anyNearStep |= NearStepBits(x, scaled, s);
    }
    if (anyNearStep >= 0) continue;
    for (int i = 0; i < n; ++i) {
      const double x = args[begin + i];
      const double s = scale(begin + i);
      if (NearStepBits(x, Scaled<kWave>(x, s), s) >= 0) continue;
      out[begin + i] = std::abs(static_cast<int>(s * (kWave == Wave::kSine ? std::sin(x) : std::cos(x))));
      ++exact;
    }
  }
  return exact;
}

}  // namespace

QUOR_TRIG_KERNEL int TruncatedMagnitudes(Wave wave, const double* args, const double* scales, int count, int* out) {
  const auto scale = [scales](int i) { return scales[i]; };
  return wave == Wave::kSine ? Magnitudes<Wave::kSine>(args, count, scale, out)
                             : Magnitudes<Wave::kCosine>(args, count, scale, out);
}

QUOR_TRIG_KERNEL int TruncatedSineMagnitudes(const double* args, int count, double scale, int* out) {
  return Magnitudes<Wave::kSine>(args, count, [scale](int) { return scale; }, out);
}

}  // namespace quor

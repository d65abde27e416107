// Sine and cosine for the generators' per-pixel loops, whose results are
// truncated to integers (palette indices, offsets). Branch-free, so loops
// over them vectorise. Pure functions, any thread.
//
// Guarantee: for |x| <= kFastTrigLimit, FastSin and FastCos differ from the
// true sine and cosine by less than kFastTrigMaxError:
//  - Range reduction by pi in three parts: n * kPiA and n * kPiB are exact
//    for |2n| < 2^27, so the reduced r = x - n pi is off by a few rounding
//    errors of r itself (below 1e-15) and pi's own tail (below 1e-24).
//  - sin(r) on |r| <= pi/2 by an odd polynomial of degree 11 fitted for the
//    least largest error: 1.75e-11 (it equioscillates; measured on a grid of
//    2 * 10^6 points), plus about 1e-15 of rounding.
// NearStepBits allows the fast value kFastTrigMargin, fifty times that bound,
// from the libm value (itself within one ulp of the truth) and tells where
// the fast value might truncate to another integer; TruncatedMagnitudes
// fills a row of integers exactly as std::sin or std::cos would give them.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

namespace quor {

inline constexpr double kFastTrigLimit = 33554432.0;  // 2^25
inline constexpr double kFastTrigMaxError = 2e-11;
inline constexpr double kFastTrigMargin = 50 * kFastTrigMaxError;

namespace fast_trig {

// pi = kPiA + kPiB + kPiC to 2^-105, kPiA and kPiB with 26 significant bits.
inline constexpr double kPiA = 0x1.921fb58p+1;
inline constexpr double kPiB = -0x1.dde974p-26;
inline constexpr double kPiC = 0x1.1a62633145c07p-53;
inline constexpr double kInvPi = 0.3183098861837907;
// Adding and subtracting 1.5 * 2^52 rounds to the nearest integer (for
// magnitudes below 2^51); the sum's lowest mantissa bit is that integer's
// parity.
inline constexpr double kRounder = 0x1.8p52;

// sin(r) for |r| <= pi/2: r + r^3 q(r^2).
inline double SineNearZero(double r) {
  const double r2 = r * r;
  double q = -0x1.99aede737bba4p-26;
  q = q * r2 + 0x1.7166ff8f607cbp-19;
  q = q * r2 - 0x1.a017816e855f2p-13;
  q = q * r2 + 0x1.11110af90b834p-7;
  q = q * r2 - 0x1.55555540a61cap-3;
  return r + r * r2 * q;
}

// x = n pi + r with n = k + shift, k the integer nearest x / pi - shift
// (shift 0 for the sine, 1/2 for the cosine), so |r| <= pi/2 (give or take
// the rounding of x / pi, a few ulps of x). The low bit of `rounded` is k's
// parity.
struct Reduced {
  double r;
  double rounded;
};
inline Reduced Reduce(double x, double shift) {
  const double rounded = (x * kInvPi - shift) + kRounder;
  const double n = (rounded - kRounder) + shift;
  return {((x - n * kPiA) - n * kPiB) - n * kPiC, rounded};
}
inline double FlipForOdd(double sine, double rounded) {
  const uint64_t odd = std::bit_cast<uint64_t>(rounded) << 63;
  return std::bit_cast<double>(std::bit_cast<uint64_t>(sine) ^ odd);
}

}  // namespace fast_trig

// sin x = (-1)^k sin(x - k pi) for the integer k nearest x / pi.
inline double FastSin(double x) {
  const auto [r, rounded] = fast_trig::Reduce(x, 0.0);
  return fast_trig::FlipForOdd(fast_trig::SineNearZero(r), rounded);
}
// cos x = -(-1)^k sin(x - (k + 1/2) pi) for the integer k nearest x / pi - 1/2.
inline double FastCos(double x) {
  const auto [r, rounded] = fast_trig::Reduce(x, 0.5);
  return -fast_trig::FlipForOdd(fast_trig::SineNearZero(r), rounded);
}
// |FastSin(x)| and |FastCos(x)|, which need no sign.
inline double FastAbsSin(double x) { return std::abs(fast_trig::SineNearZero(fast_trig::Reduce(x, 0.0).r)); }
inline double FastAbsCos(double x) { return std::abs(fast_trig::SineNearZero(fast_trig::Reduce(x, 0.5).r)); }

// Whether trunc(scaled), scaled = scale * FastSin(x) (or FastCos, or their
// magnitudes), might differ from the integer trunc(scale * std::sin(x))
// gives (finite x, scale >= 0): unless x is in range and no integer lies
// within scale * kFastTrigMargin of scaled. Both products round alike (a relative 2^-53),
// far inside the margin. The answer is the sign bit (set: might differ); as
// bits it vectorises where comparisons would not.
inline int64_t NearStepBits(double x, double scaled, double scale) {
  const double nearest = (scaled + fast_trig::kRounder) - fast_trig::kRounder;
  const double inRange = kFastTrigLimit - std::abs(x);
  const double farFromStep = std::abs(scaled - nearest) - scale * kFastTrigMargin;
  return std::bit_cast<int64_t>(inRange) | std::bit_cast<int64_t>(farFromStep);
}

enum class Wave { kSine, kCosine };

// out[i] = |trunc(scale(i) * std::sin(args[i]))|, or std::cos, for finite
// args and 0 <= scale(i) < 2^30: the fast value wherever NearStepBits allows
// it, else libm's. Returns how many needed libm. Works in chunks: the first
// loop vectorises, the second runs only for the rare chunk where some value
// lies near an integer step.
template <Wave kWave, typename ScaleFn>
int TruncatedMagnitudes(const double* args, int count, ScaleFn scale, int* out) {
  constexpr int kChunk = 64;
  int exact = 0;
  for (int begin = 0; begin < count; begin += kChunk) {
    const int n = std::min(kChunk, count - begin);
    std::array<int64_t, kChunk> nearStep;
    int64_t anyNearStep = 0;
    for (int i = 0; i < n; ++i) {
      const double x = args[begin + i];
      const double s = scale(begin + i);
      const double scaled = s * (kWave == Wave::kSine ? FastAbsSin(x) : FastAbsCos(x));
      // Only an argument out of range can go past s; the bound keeps the
      // cast defined until the value is redone below.
      out[begin + i] = static_cast<int>(scaled < 2 * s ? scaled : 2 * s);
      nearStep[static_cast<size_t>(i)] = NearStepBits(x, scaled, s);
      anyNearStep |= nearStep[static_cast<size_t>(i)];
    }
    if (anyNearStep >= 0) continue;
    for (int i = 0; i < n; ++i) {
      if (nearStep[static_cast<size_t>(i)] >= 0) continue;
      const double x = args[begin + i];
      out[begin + i] = std::abs(static_cast<int>(scale(begin + i) * (kWave == Wave::kSine ? std::sin(x) : std::cos(x))));
      ++exact;
    }
  }
  return exact;
}

// |trunc(scale * std::sin(args[i]))| with one scale for all.
inline int TruncatedSineMagnitudes(const double* args, int count, double scale, int* out) {
  return TruncatedMagnitudes<Wave::kSine>(args, count, [scale](int) { return scale; }, out);
}

}  // namespace quor

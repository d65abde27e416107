// Sine and cosine for the generators' per-pixel loops, whose results are
// truncated to integers (palette indices, offsets). Branch-free, so loops
// over them vectorise (generators/fast_trig.cpp). Pure functions, any thread.
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

// out[i] = |trunc(scales[i] * std::sin(args[i]))|, or std::cos, for i <
// count, finite args and 0 <= scales[i] < 2^30: the fast value wherever
// NearStepBits allows it, else libm's. Returns how many needed libm.
int TruncatedMagnitudes(Wave wave, const double* args, const double* scales, int count, int* out);
// The same with one scale for all and the sine.
int TruncatedSineMagnitudes(const double* args, int count, double scale, int* out);

}  // namespace quor

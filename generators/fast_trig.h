// Sine and cosine for the generators' per-pixel loops, whose results are
// truncated to integers (palette indices, offsets). Branch-free, so loops
// over them vectorise. Pure functions, any thread.
//
// Guarantee: for |x| <= kFastTrigLimit, FastSin and FastCos differ from the
// true sine and cosine by less than kFastTrigError / 20, so from std::sin and
// std::cos (within one ulp of the truth) by less than kFastTrigError.
//  - Range reduction by pi in three parts: n * kPiA and n * kPiB are exact
//    for |2n| < 2^27, so the reduced r = x - n pi is off by a few rounding
//    errors of r itself (below 1e-15) and pi's own tail (below 1e-24).
//  - sin(r) on |r| <= pi/2 by its Taylor series up to r^17: the series
//    alternates with falling terms, so the error is below
//    (pi/2)^19 / 19! = 4.4e-14, plus about 1e-15 of rounding.
// TruncatesLikeLibm then tells where the fast value gives the same integer
// as the libm value would; TruncatedSines uses it to fill a row.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace quor {

inline constexpr double kFastTrigLimit = 33554432.0;  // 2^25
inline constexpr double kFastTrigError = 1e-12;

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

// (-1)^k sin(x - n pi) for k = round(x / pi - shift), n = k + shift. With
// shift 0 that is sin x; with shift 0.5 it is -cos x, as
// cos((k + 1/2) pi + r) = -(-1)^k sin r.
inline double ReducedSine(double x, double shift) {
  const double rounded = (x * kInvPi - shift) + kRounder;
  const double k = rounded - kRounder;
  const double n = k + shift;
  const double r = ((x - n * kPiA) - n * kPiB) - n * kPiC;
  const double r2 = r * r;
  double p = 1.0 / 355687428096000.0;  // 1/17!
  p = p * r2 - 1.0 / 1307674368000.0;
  p = p * r2 + 1.0 / 6227020800.0;
  p = p * r2 - 1.0 / 39916800.0;
  p = p * r2 + 1.0 / 362880.0;
  p = p * r2 - 1.0 / 5040.0;
  p = p * r2 + 1.0 / 120.0;
  p = p * r2 - 1.0 / 6.0;
  const double sine = r + r * r2 * p;
  // sin(x) = (-1)^k sin(r): flip the sign bit for odd k.
  const uint64_t odd = std::bit_cast<uint64_t>(rounded) << 63;
  return std::bit_cast<double>(std::bit_cast<uint64_t>(sine) ^ odd);
}

}  // namespace fast_trig

inline double FastSin(double x) { return fast_trig::ReducedSine(x, 0.0); }
inline double FastCos(double x) { return -fast_trig::ReducedSine(x, 0.5); }

// Whether trunc(scaled), scaled = scale * FastSin(x) (or FastCos), is
// certainly the integer trunc(scale * std::sin(x)) gives (finite x, scale >=
// 0): when x is in range and no integer lies within scale * kFastTrigError of
// scaled. Both products round alike (a relative 2^-53), far inside the
// bound's margin. The sign bit of NearStepBits says no; as bits it vectorises
// where comparisons would not.
inline int64_t NearStepBits(double x, double scaled, double scale) {
  const double nearest = (scaled + fast_trig::kRounder) - fast_trig::kRounder;
  const double inRange = kFastTrigLimit - std::abs(x);
  const double farFromStep = std::abs(scaled - nearest) - scale * kFastTrigError;
  return std::bit_cast<int64_t>(inRange) | std::bit_cast<int64_t>(farFromStep);
}
inline bool TruncatesLikeLibm(double x, double scaled, double scale) { return NearStepBits(x, scaled, scale) >= 0; }

// out[i] = trunc(scale * std::sin(args[i])) for finite args and 0 <= scale <
// 2^30, from FastSin wherever TruncatesLikeLibm; returns how many needed
// std::sin. The first loop vectorises; the second runs only for the rare row
// where some value lies near an integer step (or an argument is out of range).
inline int TruncatedSines(const double* args, int count, double scale, int* out) {
  int64_t nearStep = 0;
  for (int i = 0; i < count; ++i) {
    const double scaled = scale * FastSin(args[i]);
    // Only an argument out of range can leave -scale..scale; the clamp keeps
    // the cast defined until the value is redone below.
    out[i] = static_cast<int>(std::min(std::max(-2 * scale, scaled), 2 * scale));
    nearStep |= NearStepBits(args[i], scaled, scale);
  }
  if (nearStep >= 0) return 0;
  int exact = 0;
  for (int i = 0; i < count; ++i) {
    const double scaled = scale * FastSin(args[i]);
    if (TruncatesLikeLibm(args[i], scaled, scale)) {
      out[i] = static_cast<int>(scaled);
    } else {
      out[i] = static_cast<int>(scale * std::sin(args[i]));
      ++exact;
    }
  }
  return exact;
}

}  // namespace quor

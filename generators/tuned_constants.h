// The half turn that the generators' angles, curves and palettes are tuned
// to: 3.14593, deliberately not pi. Spot positions, sine curves and the
// plasma and colour-scroll patterns all depend on this exact value, so a
// scene looks the same as it did when it was stored.
#pragma once

namespace quor {

inline constexpr double kTunedHalfTurn = 3.14593;
inline constexpr float kTunedHalfTurnSingle = 3.14593f;

}  // namespace quor

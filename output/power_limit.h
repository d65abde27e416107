// Per-device colour correction and power budget, applied to a device's
// channel bytes after the patch has filled them and before they are
// encoded: a gain per colour (white balance), a brightness cap, and a
// current budget that scales the whole device down when the estimated draw
// of the frame exceeds it, as LED controllers with automatic brightness
// limiting do. Channels are taken as red, green, blue in turn from the
// device's first channel. Pure integer arithmetic, so the same frame always
// gives the same bytes; any thread.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace quor {

inline constexpr int kDefaultMilliampsPerChannel = 20;

struct DeviceCorrection {
  // Percent per colour, 0..100; applied with the cap in 1/256 steps.
  std::array<int, 3> gain{100, 100, 100};
  int cap = 100;                           // brightness cap, percent 0..100
  int budgetMilliamps = 0;                 // 0 = no budget
  int milliampsPerChannel = kDefaultMilliampsPerChannel;  // draw of one channel at 255, 1..1000

  // False when every byte would pass unchanged; such devices are left alone.
  bool Active() const { return gain != std::array<int, 3>{100, 100, 100} || cap != 100 || budgetMilliamps > 0; }
  friend bool operator==(const DeviceCorrection&, const DeviceCorrection&) = default;
};

// Applies `correction` to `channels` in place. Returns the share the budget
// left, in percent (100 when the frame fits or there is no budget).
int ApplyCorrection(const DeviceCorrection& correction, std::span<uint8_t> channels);

// The estimated draw of `channels` in milliamperes, rounded down.
uint64_t EstimatedMilliamps(std::span<const uint8_t> channels, int milliampsPerChannel);

}  // namespace quor

// Per-device colour correction and power budget: a gain per colour (white
// balance) and a brightness cap, applied to each pixel's red, green and
// blue as the patch copies them into the device, wherever its colour order
// puts them; and a current budget that scales the whole device down when
// the estimated draw of its channels exceeds it, as LED controllers with
// automatic brightness limiting do. Pure integer arithmetic, so the same
// frame always gives the same bytes; any thread.
#pragma once

#include <array>
#include <cstddef>
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

// How PreparedCorrection runs its passes: the fastest the processor allows
// (64-byte vectors where it has AVX-512), or the portable loops every build
// has. Both give the same bytes; tests compare them.
enum class CorrectionPasses { kFastest, kPortable };

// The factors of a block of three 64-byte vectors (whose colours then
// repeat) in 16-bit lanes, even and odd bytes apart, for the wide passes.
struct WideFactors {
  alignas(64) std::array<std::array<uint16_t, 32>, 3> even{};
  alignas(64) std::array<std::array<uint16_t, 32>, 3> odd{};
};

// What a budget does to a device's channels: every channel becomes
// floor(v * factor / 65536), unless factor is kUnscaled; `share` is the
// brightness left in percent.
inline constexpr uint32_t kUnscaled = 65536;
struct BudgetScale {
  uint32_t factor = kUnscaled;
  int share = 100;
};
inline int ShareOf(uint32_t factor) { return factor >= kUnscaled ? 100 : static_cast<int>(factor * 100 >> 16); }

// A correction made ready for the send when output opens: the factor of
// every byte of a whole vector block of pixels laid out once, and the
// budget in the units of the channel sum. The passes take pixel bytes, red,
// green and blue in turn from the first byte.
class PreparedCorrection {
 public:
  static constexpr size_t kBlock = 96;  // whole colour triples and whole vector lanes

  PreparedCorrection() = default;
  explicit PreparedCorrection(const DeviceCorrection& correction,
                              CorrectionPasses passes = CorrectionPasses::kFastest);
  bool Active() const { return gains_ || budget_; }
  bool HasGains() const { return gains_; }
  bool HasBudget() const { return budget_; }

  // The sum of the pixel bytes after gains and cap; writes nothing.
  uint32_t GainSum(const uint8_t* pixels, size_t n) const;
  // Writes the pixel bytes after gains and cap to `to` (which may be
  // `pixels`), each then scaled by `scale` unless it is kUnscaled.
  void GainCopy(uint8_t* to, const uint8_t* pixels, size_t n, uint32_t scale) const;
  // One byte of colour c (0 red, 1 green, 2 blue), as GainCopy writes it.
  uint8_t GainOne(uint8_t v, size_t c, uint32_t scale) const {
    const uint32_t g = uint32_t{v} * factors_[c] >> 8;
    return static_cast<uint8_t>(scale == kUnscaled ? g : g * scale >> 16);
  }
  // The budget's verdict on channels (after gains and cap) summing to `sum`.
  BudgetScale ScaleFor(uint32_t sum) const;

  // The whole correction on pixel bytes in place. Returns the share the
  // budget left, in percent (100 when they fit or there is no budget).
  int Apply(std::span<uint8_t> pixels) const;
  // The budget alone on channels that already had their gains.
  int ApplyBudget(std::span<uint8_t> channels) const;

 private:
  std::array<uint16_t, kBlock> factors_{};  // per byte of a block, 256 = unchanged
  WideFactors wideFactors_;
  CorrectionPasses passes_ = CorrectionPasses::kFastest;
  bool wide_ = false;                       // the passes_ run 64-byte vectors
  bool gains_ = false;                      // some factor is below 256
  bool budget_ = false;
  uint64_t allowed_ = 0;    // budget in mA x 255: the channel sum times mA may reach it
  uint64_t milliamps_ = 1;  // draw of one channel at 255
};

// The sum of n bytes, and to[i] = floor(from[i] * k / 65536) (`to` may
// be `from`): the budget's passes, for the patch to run while it copies.
uint32_t SumBytes(const uint8_t* bytes, size_t n, CorrectionPasses passes = CorrectionPasses::kFastest);
void ScaleBytes(uint8_t* to, const uint8_t* from, size_t n, uint16_t k,
                CorrectionPasses passes = CorrectionPasses::kFastest);

// Applies `correction` to pixel bytes in place (PreparedCorrection for one
// call).
int ApplyCorrection(const DeviceCorrection& correction, std::span<uint8_t> pixels);

// The estimated draw of `channels` in milliamperes, rounded down.
uint64_t EstimatedMilliamps(std::span<const uint8_t> channels, int milliampsPerChannel);

}  // namespace quor

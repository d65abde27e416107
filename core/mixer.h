// MixFrames: combines two RgbFrames into a third by one of ten merge modes,
// then applies gamma and the master level. Components are bytes 0..255 and
// all arithmetic but the gamma curve is integer with truncating divisions.
// A Mixer is owned by the engine and used on the frame-clock thread only; it
// keeps scratch buffers and the gamma/master table between calls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/mixer_kernels.h"

namespace quor {

// List positions of the "Mergemode" combo boxes. "A" is the upper generator
// of a channel (or channel 1 in the main mix), "B" the lower one (channel 2).
enum MixMode : int {
  kMixProgressive = 0,
  kMixLinear = 1,
  kMixShapeOfA = 2,          // "Upper Shape": B shows only where A is lit
  kMixShapeOfB = 3,          // "Lower Shape"
  kMixIntensityOfA = 4,      // "Upper Intensity": A's brightness scales B
  kMixIntensityOfB = 5,      // "Lower Intensity"
  kMixOverlayA = 6,          // "Upper Overlay": A on top wherever A is lit
  kMixOverlayB = 7,          // "Lower Overlay"
  kMixOverlayBorderA = 8,    // "Upper Overlay (Border)": A plus a one-pixel rim
  kMixOverlayBorderB = 9,    // "Lower Overlay (Border)"
};
inline constexpr int kMixModeCount = 10;

struct MixParams {
  int mode = kMixProgressive;  // values outside 0..9 act as kMixProgressive
  int fade = 0;                // 0..255, clamped
  int master = 255;            // 0..255, clamped
  bool invertA = false;
  bool invertB = false;
  float gamma = 1.0f;          // exactly 1.0 skips the gamma step
};

// The gamma slider position (1..500, clamped) as the mixer takes it:
// position / 100.0 rounded to a 32-bit float.
float GammaFromSetting(int gammaSetting);

// Which kernels a Mixer runs. Both give the same bytes; kFastest uses the
// processor's wide vector instructions where it has them.
enum class MixerKernels { kFastest, kPortable };

class Mixer {
 public:
  explicit Mixer(MixerKernels kernels = MixerKernels::kFastest);

  // Writes width x height pixels to dst. dst may be the same buffer as a or
  // b (the scene fade mixes into its own input); nothing else is touched.
  void MixFrames(const uint8_t* a, const uint8_t* b, uint8_t* dst, int width, int height,
                 const MixParams& p);

 private:
  // Brings finalTable_ up to date for this gamma and master; false when
  // neither is active and the table step can be skipped.
  bool PrepareFinalTable(float gamma, int master);
  // The border overlays' sums of the key, in the border scratch below.
  mix::BorderSums PrepareBorderSums(const uint8_t* key, uint8_t invKey, int width, int height);

  mix::KernelSet kernels_;
  // Border scratch behind mix::BorderSums.
  std::vector<uint8_t> borderShown_;
  std::vector<uint8_t> borderCentre_;
  std::vector<uint8_t> borderSides_;
  std::vector<uint8_t> borderRows_;

  std::array<uint8_t, 256> gammaTable_{};
  std::array<uint8_t, 256> finalTable_{};
  uint32_t gammaTableBits_ = 0;      // bit pattern of the gamma gammaTable_ holds
  bool gammaTableValid_ = false;
  uint32_t finalGammaBits_ = 0;
  int finalMaster_ = -1;             // -1: finalTable_ not built yet
};

}  // namespace quor

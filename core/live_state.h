// The live values that the mix pass reads and the windows show: master
// section and preview settings, run-time flags and the mixer panel. They are
// atomics because the UI thread and the clock thread both touch them; the
// Engine owns one set, and its commands are the only writers outside the
// mix pass.
#pragma once

#include <array>
#include <atomic>

#include "core/generator.h"
#include "core/generator_registry.h"

namespace quor {

inline constexpr int kDefaultSlotSpeed = 25;
inline constexpr int kMinSlotSpeed = 5;
inline constexpr int kMaxSlotSpeed = 25;

// The three mixes: channel 1 (slots 0 and 2), channel 2 (slots 1 and 3) and
// the main mix of the two channels.
enum MixIndex : int { kMixChannel1 = 0, kMixChannel2 = 1, kMixMain = 2 };
inline constexpr int kMixCount = 3;
// Flashes per beat of the beat-synced strobe's choices: off, 1, 1/2, 1/4 beat.
inline constexpr std::array<int, 4> kStrobeBeatParts{0, 1, 2, 4};

// Crossfader glide of the main mix.
enum GlideDirection : int { kGlideNone = 0, kGlideToStart = 1, kGlideToCentre = 2, kGlideToEnd = 3 };

// Preview sources of the channel previews.
enum PreviewSource : int { kPreviewOff = 0, kPreviewMix = 1, kPreviewGenerator1 = 2, kPreviewGenerator2 = 3 };

// Output state: stopped, running, sending the final black frames.
enum OutputStateValue : int { kOutputStopped = 0, kOutputRunning = 1, kOutputClosing = 2 };

// Settings of the master section, the preview sources and the scene-fade
// options, all read by the mix pass or the generators.
struct EngineSettings {
  std::atomic<int> pixelStep{1};
  std::atomic<int> outputFps{25};
  std::atomic<int> gammaSetting{100};
  std::atomic<int> masterLevel{255};
  std::atomic<int> strobeTime{1};
  std::atomic<int> strobeCounter{-1};
  // The strobe on the beat of the tempo in use: 0 off (the strobe time's
  // rhythm), else the flashes per beat (1, 2 or 4).
  std::atomic<int> strobeBeatSync{0};
  std::atomic<GlideDirection> mainFadeDirection{kGlideNone};
  std::atomic<int> sceneFadeLevel{0};
  std::atomic<PreviewSource> leftPreviewSource{kPreviewMix};
  std::atomic<PreviewSource> rightPreviewSource{kPreviewMix};
  // Any value > 0 is on. The project saves it back as it was loaded, so it
  // stays an int.
  std::atomic<int> sceneFadeEnabled{1};
  std::atomic<int> sceneFadeStep{10};
  // "Remote Control Enabled": open the remote input whenever possible
  // (1). Saved in the project as it was loaded, so it stays an int.
  std::atomic<int> remoteControlEnabled{0};
};

// Run-time flags (never saved).
struct RuntimeFlags {
  std::atomic<OutputStateValue> outputState{kOutputStopped};
  std::atomic<bool> recorderActive{false};
  std::atomic<bool> remoteInputActive{false};
  std::atomic<bool> showModeActive{false};
  std::atomic<int> frameCounter{0};
  std::atomic<bool> shutdownRequested{false};
};

// The mixer panel values that the mix pass and scenes read. The panel
// widgets bind to these; they never hold the only copy.
struct MixerPanel {
  std::array<std::atomic<int>, kSlotCount> effectListPosition{};
  std::array<std::atomic<int>, kSlotCount> speed{};
  std::array<std::atomic<int>, kSlotCount> invert{};
  std::array<std::atomic<int>, kMixCount> mergeMode{};
  std::array<std::atomic<int>, kMixCount> masterFade{};

  MixerPanel() { Reset(); }
  // Effects to None / Blackout, speeds 25, invert off, merge modes 0,
  // masterfades 128.
  void Reset();
};

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<GlideDirection>::is_always_lock_free && std::atomic<PreviewSource>::is_always_lock_free &&
              std::atomic<OutputStateValue>::is_always_lock_free);

}  // namespace quor

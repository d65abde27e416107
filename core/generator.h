// The contract between the engine and a generator type. One Generator object
// is the state record of one type in one slot; the engine creates all of
// them at start-up and keeps them for the whole run, so Create only
// (re)initialises and Destroy only releases what Create allocated.
//
// Threads: Create, Destroy and ExchangeSettings run on the user-interface
// thread; Render runs on the frame-clock thread (and once on the UI thread
// after a paste or a scene start). The engine never runs two of them at the
// same time for one slot; a settings edit from a dialog that must rebuild
// buffers follows the busy protocol (core/busy_status.h).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "core/rgb_frame.h"

namespace quor {

class AudioAnalyzer;
class Console;
class RandomSource;
struct ColorWheel;

inline constexpr int kSlotCount = 4;
inline constexpr int kSettingsBlockSize = 1024;
inline constexpr int kMaxGeneratorType = 19;

// The persistent settings of one generator in its type's own byte layout.
using SettingsBlock = std::array<uint8_t, kSettingsBlockSize>;

enum class SettingsDirection : int {
  kStore = 0,  // live state -> block
  kLoad = 1,   // block -> live state (and reset what depends on it)
};

// Engine services a generator may use. All references outlive every
// generator.
struct GeneratorContext {
  Console& console;
  RandomSource& random;
  ColorWheel& sharedColorWheel;  // touched only while the engine serialises ticks
  const std::atomic<int>& pixelStep;  // 1..4: extra movement per rendered frame
  AudioAnalyzer& audio;               // spectrum and audio triggers
  // Beats of the tempo in use so far, published by every mix pass, for the
  // audio triggers that follow the beat.
  std::atomic<uint32_t> beats{0};
  // Screen Capture generators running now (at most one may).
  std::atomic<int> screenCaptures{0};
};

class Generator {
 public:
  virtual ~Generator() = default;
  // Returns false when the generator cannot run; the slot then falls back to
  // None / Blackout.
  virtual bool Create(int width, int height) = 0;
  // Draws the next picture. What it does not overwrite keeps the previous one.
  virtual void Render(const Canvas& canvas) = 0;
  virtual void Destroy() = 0;
  virtual void ExchangeSettings(SettingsBlock& block, SettingsDirection direction) = 0;

  // Set by the engine before each render while the slot's audio trigger
  // follows the beat instead of the level of its band.
  std::atomic<bool> beatTrigger{false};
};

using GeneratorFactory = std::unique_ptr<Generator> (*)(GeneratorContext& context);

}  // namespace quor

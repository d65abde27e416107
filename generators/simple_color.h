// Simple Color (type 7): fills the whole matrix with one colour, fixed or
// stepping along the auto colour wheel once per frame. Also home of the
// colour group (fixed colour + " Autocolor" / " Autocolor Sync") and the
// solid fill that Strobe shares.
// Render runs on the clock thread; Create, ExchangeSettings and the setters
// on the UI thread, never at the same time as Render (Engine::EditGenerator).
#pragma once

#include <cstdint>
#include <memory>

#include "core/generator.h"
#include "core/rgb_frame.h"
#include "generators/color.h"

namespace quor {

inline constexpr int kSimpleColorHelpTopic = 46;
// Four 32-bit words: red, green, blue, auto colour mode.
inline constexpr int kSimpleColorSettingsBytes = 4 * 4;

// Auto colour modes.
inline constexpr int kAutoColorOff = 0;
inline constexpr int kAutoColorOwn = 1;     // " Autocolor": the generator's own wheel
inline constexpr int kAutoColorShared = 2;  // " Autocolor Sync": the shared wheel (any value above 1)

// A fixed colour or the auto colour wheel, as the colour group of a settings
// dialog edits it.
struct ColorGroup {
  Rgb color;
  int autoColorMode = kAutoColorOff;
  int wheelPosition = kWheelNotStarted;
  int wheelPhase = kWheelNotStarted;

  // The colour of this frame; advances the wheel (own or shared) once when
  // the mode is 1 or more.
  Rgb NextColor(GeneratorContext& context);
  void RestartWheel() { wheelPosition = wheelPhase = kWheelNotStarted; }

  // Trackbars: values are kept within 0..255.
  void SetRed(int value);
  void SetGreen(int value);
  void SetBlue(int value);
  // Check boxes: " Autocolor" checked sets 1, unchecked sets 0 (and so also
  // clears " Autocolor Sync"); " Autocolor Sync" checked sets 2 (and so also
  // checks " Autocolor"), unchecked sets 1.
  void SetAutoColorChecked(bool checked) { autoColorMode = checked ? kAutoColorOwn : kAutoColorOff; }
  void SetAutoColorSyncChecked(bool checked) { autoColorMode = checked ? kAutoColorShared : kAutoColorOwn; }
  bool AutoColorChecked() const { return autoColorMode >= kAutoColorOwn; }
  bool AutoColorSyncChecked() const { return autoColorMode >= kAutoColorShared; }
};

// Writes `color` (low byte of each component) into all width * height pixels.
void FillFrame(uint8_t* frame, int width, int height, Rgb color);

class SimpleColorGenerator final : public Generator {
 public:
  explicit SimpleColorGenerator(GeneratorContext& context) : context_(context) {}

  bool Create(int width, int height) override;
  void Render(uint8_t* frame, int width, int height) override;
  void Destroy() override {}
  // Loading restarts the own wheel at a random point.
  void ExchangeSettings(SettingsBlock& block, SettingsDirection direction) override;

  // The "Simple Color" dialog's controls.
  ColorGroup& colorGroup() { return colors_; }
  const ColorGroup& colorGroup() const { return colors_; }

 private:
  GeneratorContext& context_;
  ColorGroup colors_;
};

std::unique_ptr<Generator> CreateSimpleColorGenerator(GeneratorContext& context);

}  // namespace quor

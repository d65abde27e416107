// Colour helpers for the generators: HSV and HSL conversions used to build
// palettes (all values 0..255), and the automatic colour wheel behind the
// "Autocolor" options. Pure integer-in/integer-out functions; the wheel
// state lives with its caller (one pair per generator, one shared wheel
// owned by the engine and advanced from the clock thread only).
#pragma once

#include "core/generator.h"
#include "core/random_source.h"
#include "core/rgb_frame.h"

namespace quor {

// Hue sectors are 43 wide; hues 215..255 fall into the last one.
Rgb HsvToRgb(int hue, int saturation, int value);

Rgb HslToRgb(int hue, int saturation, int lightness);

// A position 0..255 within a phase 0..5 of the wheel magenta -> red ->
// yellow -> green -> cyan -> blue -> magenta. One turn takes 768 steps.
struct ColorWheel {
  int position = 0;
  int phase = 0;
  friend bool operator==(const ColorWheel&, const ColorWheel&) = default;
};

// A generator's own wheel before its first step; NextAutoColor then starts
// it at a random point of the first five phases.
inline constexpr int kWheelNotStarted = -1;

// Writes the next wheel colour and advances the wheel by one step: the
// shared wheel when `shared` > 0 (position and phase are then ignored and may
// be null), else the caller's (*position, *phase).
void NextAutoColor(Rgb* out, int* position, int* phase, int shared, ColorWheel& sharedWheel,
                   RandomSource& random);

// Auto colour modes.
inline constexpr int kAutoColorOff = 0;
inline constexpr int kAutoColorOwn = 1;     // " Autocolor": the generator's own wheel
inline constexpr int kAutoColorShared = 2;  // " Autocolor Sync": the shared wheel (any value above 1)

// A fixed colour or the auto colour wheel, as the colour group of a settings
// dialog edits it. Each generator stores the colour and mode in its own
// settings layout; the wheel is never stored.
struct ColorGroup {
  Rgb color;
  int autoColorMode = kAutoColorOff;
  int wheelPosition = kWheelNotStarted;
  int wheelPhase = kWheelNotStarted;

  // The colour of this frame; advances the wheel (own or shared) once when
  // the mode is 1 or more.
  Rgb NextColor(GeneratorContext& context);
  void RestartWheel() { wheelPosition = wheelPhase = kWheelNotStarted; }
  // Back to a generator's defaults, with the own wheel not started.
  void Reset(Rgb defaultColor, int defaultMode) {
    color = defaultColor;
    autoColorMode = defaultMode;
    RestartWheel();
  }

  // Trackbars: values are kept within 0..255.
  void SetRed(int value);
  void SetGreen(int value);
  void SetBlue(int value);
  void SetColor(Rgb value);
  // Check boxes: " Autocolor" checked sets 1, unchecked sets 0 (and so also
  // clears " Autocolor Sync"); " Autocolor Sync" checked sets 2 (and so also
  // checks " Autocolor"), unchecked sets 1.
  void SetAutoColorChecked(bool checked) { autoColorMode = checked ? kAutoColorOwn : kAutoColorOff; }
  void SetAutoColorSyncChecked(bool checked) { autoColorMode = checked ? kAutoColorShared : kAutoColorOwn; }
  bool AutoColorChecked() const { return autoColorMode >= kAutoColorOwn; }
  bool AutoColorSyncChecked() const { return autoColorMode >= kAutoColorShared; }
};

// Base of the generators whose settings hold one colour group: the group
// itself (for the dialog's colour controls) and the accessors callers use.
class ColorGroupOwner {
 public:
  ColorGroupOwner() = default;
  ColorGroupOwner(Rgb defaultColor, int defaultMode) { colors_.Reset(defaultColor, defaultMode); }

  ColorGroup& colorGroup() { return colors_; }
  const ColorGroup& colorGroup() const { return colors_; }
  Rgb color() const { return colors_.color; }
  // Components are clamped to 0..255.
  void SetColor(Rgb color) { colors_.SetColor(color); }
  // 0 fixed colour, 1 own colour wheel, 2 shared wheel.
  int autoColorMode() const { return colors_.autoColorMode; }
  void SetAutoColorMode(int mode) { colors_.autoColorMode = mode; }

 protected:
  ColorGroup colors_;
};

}  // namespace quor

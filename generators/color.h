// Colour helpers for the generators: HSV and HSL conversions used to build
// palettes (all values 0..255), and the automatic colour wheel behind the
// "Autocolor" options. Pure integer-in/integer-out functions; the wheel
// state lives with its caller (one pair per generator, one shared wheel
// owned by the engine and advanced from the clock thread only).
#pragma once

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

}  // namespace quor

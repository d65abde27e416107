#include "generators/color.h"

#include <algorithm>
#include <cassert>

namespace quor {

Rgb HsvToRgb(int hue, int saturation, int value) {
  if (saturation == 0) return {value, value, value};
  const double h = hue / 43.0;
  const int sector = static_cast<int>(h);
  const double f = h - sector;
  const double s = saturation / 255.0;
  const int p = static_cast<int>((1.0 - s) * value);
  const int q = static_cast<int>((1.0 - s * f) * value);
  const int t = static_cast<int>((1.0 - s * (1.0 - f)) * value);
  switch (sector) {
    case 0: return {value, t, p};
    case 1: return {q, value, p};
    case 2: return {p, value, t};
    case 3: return {p, q, value};
    case 4: return {t, p, value};
    default: return {value, p, q};
  }
}

namespace {

// One component of the HSL conversion; t is the hue shifted for the component.
int HslComponent(double p, double q, double t) {
  if (t < 0) t += 1;
  if (t > 1) t -= 1;
  double value;
  if (6 * t < 1) {
    value = p + (q - p) * 6 * t;
  } else if (2 * t < 1) {
    value = q;
  } else if (3 * t < 2) {
    value = p + (q - p) * (2.0 / 3.0 - t) * 6;
  } else {
    value = p;
  }
  return value < 0 ? 0 : static_cast<int>(value * 255);
}

}  // namespace

Rgb HslToRgb(int hue, int saturation, int lightness) {
  if (saturation == 0) return {lightness, lightness, lightness};
  const double h = hue / 255.0;
  const double s = saturation / 255.0;
  const double l = lightness / 255.0;
  const double q = l < 0.5 ? l * (1 + s) : l + s - l * s;
  const double p = 2 * l - q;
  // A third of a turn, as the single-precision constant the palettes were
  // built with.
  constexpr double kThird = 0.33333334;
  return {HslComponent(p, q, h + kThird), HslComponent(p, q, h), HslComponent(p, q, h - kThird)};
}

void NextAutoColor(Rgb* out, int* position, int* phase, int shared, ColorWheel& sharedWheel,
                   RandomSource& random) {
  assert(out != nullptr);
  ColorWheel wheel = sharedWheel;
  if (shared <= 0) {
    assert(position != nullptr && phase != nullptr);
    wheel = {*position, *phase};
    if (wheel.position < 0 || wheel.phase < 0) {
      // A random start never lands in the last phase.
      wheel.position = random.Next() % 255;
      wheel.phase = random.Next() % 5;
    }
  }

  wheel.position += 2;
  const int p = wheel.position > 255 ? 0 : wheel.position;
  if (wheel.position > 255) {
    wheel.position = 0;
    if (++wheel.phase > 5) wheel.phase = 0;
  }
  switch (wheel.phase) {
    case 0: *out = {255, 0, 255 - p}; break;  // magenta to red
    case 1: *out = {255, p, 0}; break;        // red to yellow
    case 2: *out = {255 - p, 255, 0}; break;  // yellow to green
    case 3: *out = {0, 255, p}; break;        // green to cyan
    case 4: *out = {0, 255 - p, 255}; break;  // cyan to blue
    default: *out = {p, 0, 255}; break;       // blue to magenta
  }

  if (shared > 0) {
    sharedWheel = wheel;
  } else {
    *position = wheel.position;
    *phase = wheel.phase;
  }
}

Rgb ColorGroup::NextColor(GeneratorContext& context) {
  if (autoColorMode < kAutoColorOwn) return color;
  Rgb next;
  NextAutoColor(&next, &wheelPosition, &wheelPhase, autoColorMode != kAutoColorOwn ? 1 : 0,
                context.sharedColorWheel, context.random);
  return next;
}

void ColorGroup::SetRed(int value) { color.r = std::clamp(value, 0, 255); }
void ColorGroup::SetGreen(int value) { color.g = std::clamp(value, 0, 255); }
void ColorGroup::SetBlue(int value) { color.b = std::clamp(value, 0, 255); }

void ColorGroup::SetColor(Rgb value) {
  SetRed(value.r);
  SetGreen(value.g);
  SetBlue(value.b);
}

}  // namespace quor

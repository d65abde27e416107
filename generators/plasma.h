// Plasma (type 1): three animated sine fields per pixel (a vertical wave, a
// rotating diagonal wave and rings from the top-left corner) mapped through
// a 256-entry palette. The pattern scales with the larger matrix side.
// Render runs on the clock thread; Create, ExchangeSettings and the setters
// on the UI thread, never at the same time as Render (Engine::EditGenerator).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

#include "core/generator.h"
#include "core/rgb_frame.h"
#include "generators/palette_expand.h"

namespace quor {

// Four 32-bit words: zoom, palette, style, speed.
inline constexpr int kPlasmaSettingsBytes = 4 * 4;
inline constexpr int kPlasmaDefaultSpeed = 50;

// "Style" list: a style outside it draws as "Mix".
inline constexpr std::array<std::string_view, 4> kPlasmaStyleNames = {"Mix", "Vertical", "Diagonal/Rotate",
                                                                      "Radial"};
// "Color Palette" list: a palette outside it is built as "Classic".
inline constexpr std::array<std::string_view, 6> kPlasmaPaletteNames = {
    "Classic", "Psychadelic", "Blue/Green", "Red/Green Small", "Red/Green Smooth", "Red/Yellow"};

using Palette256 = std::array<Rgb, 256>;

// The 256 entries of a Plasma palette. Components may reach 256 (a cosine
// peak of 128 + 128); a pixel shows their low byte.
Palette256 BuildPlasmaPalette(int palette);

class PlasmaGenerator final : public Generator {
 public:
  explicit PlasmaGenerator(GeneratorContext&) {}

  bool Create(int width, int height) override;
  void Render(const Canvas& canvas) override;
  void Destroy() override {}
  // Loading replaces a speed outside 1..100 by 50, rebuilds the palette and
  // restarts the animation.
  void ExchangeSettings(SettingsBlock& block, SettingsDirection direction) override;

  // The "Plasma" dialog's controls.
  void SetZoom(int zoom);        // 1..100
  void SetSpeed(int speed);      // 1..100: time advances speed / 100 per frame
  void SetStyle(int style);      // list position in kPlasmaStyleNames
  void SetPalette(int palette);  // list position in kPlasmaPaletteNames; rebuilds the palette
  int zoom() const { return zoom_; }
  int speed() const { return speed_; }
  int style() const { return style_; }
  int palette() const { return palette_; }

  // Animation time, advanced before each frame is drawn.
  float time() const { return time_; }
  const Rgb& paletteEntry(int index) const { return table_[static_cast<size_t>(index & 0xff)]; }
  // How many sines of the last frame came from std::sin because the fast
  // value lay too near an integer step (see fast_trig.h).
  int lastExactSines() const { return lastExactSines_; }

 private:
  void BuildPalette();
  void PrepareRings(int width, int height, double ring);

  int zoom_ = 30;
  int palette_ = 0;
  int style_ = 0;
  float time_ = 0.0f;
  int speed_ = kPlasmaDefaultSpeed;
  Palette256 table_{};
  // The table as the bytes a pixel receives.
  PackedPalette pixels_{};
  int lastExactSines_ = 0;

  // sqrt(pi' * 100 (x^2 + y^2)) / ring for every pixel: the rings' phase
  // without the time, kept until the size or the zoom changes.
  std::array<double, kMaxMatrixPixels> ringDistance_{};
  int ringWidth_ = 0;
  int ringHeight_ = 0;
  double ringScale_ = 0.0;
};

std::unique_ptr<Generator> CreatePlasmaGenerator(GeneratorContext& context);

struct SettingsDialogTable;
// The settings dialog, described in generators/plasma_dialog.cpp.
extern const SettingsDialogTable kPlasmaDialog;

}  // namespace quor

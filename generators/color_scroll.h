// Color Scroll (type 14): maps a geometric index per pixel (distance along
// an axis, from the centre, along a spiral ...) plus a moving offset into a
// 256-entry palette, so bands of colour scroll across the matrix. The
// pattern scales with the larger matrix side.
// Render runs on the clock thread; Create, ExchangeSettings and the setters
// on the UI thread, never at the same time as Render (Engine::EditGenerator).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

#include "core/generator.h"
#include "core/rgb_frame.h"

namespace quor {

// Five 32-bit words: zoom, speed, palette, style, reverse.
inline constexpr int kColorScrollSettingsBytes = 5 * 4;

// "Style" list: a style outside it draws as "Horizontal".
inline constexpr std::array<std::string_view, 10> kColorScrollStyleNames = {
    "Horizontal",          "Vertical", "Diagonal Left", "Diagonal Right", "Horizontal Symetric",
    "Vertical Symetric",   "Circle",   "Hyperbola",     "Diamond",        "Spiral"};
// "Color Palette" list: a palette outside it is built as "Classic RGB".
inline constexpr std::array<std::string_view, 7> kColorScrollPaletteNames = {
    "Classic RGB", "Red", "Green", "Blue", "Black/white", "Blue/Green", "Blue/Red"};

std::array<Rgb, 256> BuildColorScrollPalette(int palette);

// Brings a raw palette index into 0..255 the way the scroll wraps it: in
// steps of 255, so 256 selects entry 1 and -1 selects entry 254.
int WrapColorScrollIndex(int v);

class ColorScrollGenerator final : public Generator {
 public:
  explicit ColorScrollGenerator(GeneratorContext&) {}

  bool Create(int width, int height) override;
  void Render(const Canvas& canvas) override;
  void Destroy() override {}
  // Loading rebuilds the palette and restarts the scroll at offset 0; a zoom
  // outside 1..100 or a speed outside 1..20 is brought into its range.
  void ExchangeSettings(SettingsBlock& block, SettingsDirection direction) override;

  // The "Color Scroll" dialog's controls.
  // "Zoom" trackbar, 0..99, shows zoom 100 - position.
  void SetZoomPosition(int position);
  int ZoomPosition() const { return 100 - zoom_; }
  void SetSpeed(int speed);  // 1..20: offset step per frame
  void SetReverseChecked(bool checked) { reverse_ = checked ? 1 : 0; }
  bool ReverseChecked() const { return reverse_ >= 1; }
  void SetStyle(int style);      // list position in kColorScrollStyleNames
  void SetPalette(int palette);  // list position in kColorScrollPaletteNames; rebuilds the palette
  int zoom() const { return zoom_; }
  int speed() const { return speed_; }
  int style() const { return style_; }
  int palette() const { return palette_; }

  // Scroll position 0..255, moved before each frame is drawn.
  int offset() const { return offset_; }
  const Rgb& paletteEntry(int index) const { return table_[static_cast<size_t>(index & 0xff)]; }

 private:
  void BuildPalette();
  void Scroll();
  void RenderSpiral(const Canvas& canvas, double f);
  void PrepareSpiral(int width, int height, double f);
  void RenderCircle(const Canvas& canvas, double f);

  int zoom_ = 20;
  int speed_ = 2;
  int reverse_ = 0;
  int palette_ = 0;
  int style_ = 0;
  int offset_ = 0;
  std::array<Rgb, 256> table_{};
  std::array<std::array<uint8_t, 3>, 256> pixels_{};

  // "Spiral": each pixel's radius and unturned angle depend only on the
  // matrix size and the zoom, so they are kept until one of those changes.
  struct SpiralPoint {
    float angle;
    int radius;
  };
  std::array<SpiralPoint, kMaxMatrixPixels> spiral_{};
  int spiralWidth_ = 0;
  int spiralHeight_ = 0;
  double spiralF_ = 0.0;

  // "Circle": each pixel's scaled distance from the centre depends only on
  // the matrix size, so it is kept until that changes.
  std::array<double, kMaxMatrixPixels> circle_{};
  int circleWidth_ = 0;
  int circleHeight_ = 0;
};

std::unique_ptr<Generator> CreateColorScrollGenerator(GeneratorContext& context);

struct SettingsDialogTable;
// The settings dialog, described in generators/color_scroll_dialog.cpp.
extern const SettingsDialogTable kColorScrollDialog;

}  // namespace quor

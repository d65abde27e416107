// Fire (type 2): heat diffusion over a byte field. Random hot spots are
// stamped into a hidden row below the matrix, heat rises and cools upwards
// and is shown through a black-red-yellow-white palette.
// Render runs on the frame clock; Create, Destroy, ExchangeSettings and the
// setters on the UI thread (the setters through Engine::EditGenerator).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/busy_status.h"
#include "core/generator.h"
#include "generators/palette_expand.h"

namespace quor {

class FireGenerator final : public Generator {
 public:
  static constexpr int kSmallHotspots = 1;
  static constexpr int kMediumHotspots = 2;
  static constexpr int kBigHotspots = 3;
  static constexpr int kDefaultHotspotSize = kSmallHotspots;
  static constexpr int kDefaultHotspots = 35;
  static constexpr int kMaxHotspots = 100;
  // Settings block: hotspots, hotspot size (two 32-bit words).
  static constexpr int kSettingsBytes = 8;

  explicit FireGenerator(GeneratorContext& context);

  bool Create(int width, int height) override;
  void Render(const Canvas& canvas) override;
  void Destroy() override;
  void ExchangeSettings(SettingsBlock& block, SettingsDirection direction) override;

  // "Hotspots" 0..100: hot spots stamped per step, in per cent of twice the
  // width (plus one). Out-of-range values are clamped.
  void SetHotspots(int hotspots);
  int hotspots() const { return hotspots_; }
  // "Hotspot Size" 1 Small, 2 Medium, 3 Big: the edge of the square hot spot.
  // Other values select Small.
  void SetHotspotSize(int size);
  int hotspotSize() const { return hotspotSize_; }

  // The palette entry a heat value shows as (each component 0..255).
  Rgb PaletteEntry(int heat) const;
  // Heat at (x, y); row `height` is the hidden hot-spot row. 0 outside the
  // field or before Create.
  int HeatAt(int x, int y) const;
  int busyState() const { return busy_.Get(); }

 private:
  void Step(int spots);

  GeneratorContext& context_;
  int hotspotSize_ = kDefaultHotspotSize;
  int hotspots_ = kDefaultHotspots;
  BusyStatus busy_;
  PackedPalette palette_{};
  // width x (height + 1) bytes, row-major; the last row is hidden.
  std::vector<uint8_t> heat_;
  int width_ = 0;
  int height_ = 0;
};

std::unique_ptr<Generator> CreateFireGenerator(GeneratorContext& context);

struct SettingsDialogTable;
// The settings dialog, described in generators/fire_dialog.cpp.
extern const SettingsDialogTable kFireDialog;

}  // namespace quor

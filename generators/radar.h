// Radar/Scan Lines (type 15): a band of full-length lines sweeps across the
// matrix, left/right or up/down, optionally bouncing, and leaves a trail that
// fades by a fixed step per movement step. Keeps no buffers of its own.
// Render runs on the frame-clock thread; Create, Destroy, ExchangeSettings
// and the setters on the UI thread, never overlapping a Render of the slot.
#pragma once

#include <cstdint>
#include <memory>

#include "core/generator.h"
#include "generators/color.h"

namespace quor {

class RadarGenerator : public Generator, public ColorGroupOwner {
 public:
  enum Mode : int {
    kLeftToRight = 0,
    kRightToLeft = 1,
    kBounceHorizontal = 2,
    kTopToBottom = 3,
    kBottomToTop = 4,
    kBounceVertical = 5,
  };

  static constexpr Rgb kDefaultColor{255, 0, 0};

  explicit RadarGenerator(GeneratorContext& context)
      : ColorGroupOwner(kDefaultColor, kAutoColorShared), context_(context) {}

  bool Create(int width, int height) override;
  void Render(const Canvas& canvas) override;
  void Destroy() override {}
  void ExchangeSettings(SettingsBlock& block, SettingsDirection direction) override;

  // Settings as the dialog edits them.
  int mode() const { return mode_; }
  void SetMode(int mode) { mode_ = mode; }
  int bandWidth() const { return width_; }
  void SetBandWidth(int percent);  // 0..100 of the sweep dimension
  int fade() const { return fade_; }
  void SetFade(int percent);  // 0..100; 0 = no trail
  int offset() const { return offset_; }
  // 0..100; also moves the band to that share of the sweep dimension and
  // restarts a bounce forwards.
  void SetOffset(int percent);

  // Run-time state, for inspection.
  int position() const { return position_; }
  bool movingBackwards() const { return bounce_ != 0; }

 private:
  bool Vertical() const { return mode_ >= kTopToBottom && mode_ <= kBounceVertical; }
  void Move(int band, int extent);

  GeneratorContext& context_;
  int mode_ = kBounceHorizontal;
  int width_ = 0;
  int fade_ = 0;
  int offset_ = 0;
  int position_ = 0;
  int bounce_ = 0;
  int matrixWidth_ = 0;
  int matrixHeight_ = 0;
};

std::unique_ptr<Generator> CreateRadarGenerator(GeneratorContext& context);

struct SettingsDialogTable;
// The settings dialog, described in generators/radar_dialog.cpp.
extern const SettingsDialogTable kRadarDialog;

}  // namespace quor

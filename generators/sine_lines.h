// Sine Lines (type 3): up to three travelling sine curves whose amplitude
// either pulses on its own (a triangle wave) or follows the low, middle and
// high bands of the sound spectrum. Owns a spectrum buffer from Create to
// Destroy, guarded by the busy protocol. Render runs on the frame-clock
// thread; Create, Destroy, ExchangeSettings and the setters on the UI thread.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/busy_status.h"
#include "core/generator.h"

namespace quor {

class SineLinesGenerator : public Generator {
 public:
  static constexpr int kMaxLines = 3;

  explicit SineLinesGenerator(GeneratorContext& context) : context_(context) {}

  bool Create(int width, int height) override;
  void Render(const Canvas& canvas) override;
  void Destroy() override;
  void ExchangeSettings(SettingsBlock& block, SettingsDirection direction) override;

  // Settings as the dialog edits them.
  int lines() const { return lines_; }
  void SetLines(int lines);  // 1..3
  int waves() const { return width_; }
  void SetWaves(int halfWaves);  // 1..10 half waves across the matrix
  bool audio() const { return audio_ != 0; }
  void SetAudio(bool on) { audio_ = on ? 1 : 0; }
  int gain() const { return gain_; }
  void SetGain(int gain);  // 1..50 (tenths)
  Rgb color(int curve) const { return colors_[static_cast<size_t>(curve)]; }
  void SetColor(int curve, Rgb color);  // curve 0..2

  // Run-time state, for inspection.
  int amplitudeCounter(int curve) const { return counters_[static_cast<size_t>(curve)]; }
  float phase(int curve) const { return phases_[static_cast<size_t>(curve)]; }
  int bandAmplitude(int curve) const { return bandAmplitudes_[static_cast<size_t>(curve)]; }
  int busyState() const { return busy_.Get(); }

 private:
  void ResetMotion();

  GeneratorContext& context_;
  int lines_ = 2;
  int width_ = 4;
  std::array<int, kMaxLines> counters_{0, 3, 6};
  std::array<float, kMaxLines> phases_{};
  std::array<Rgb, kMaxLines> colors_{Rgb{255, 0, 0}, Rgb{0, 255, 0}, Rgb{0, 0, 255}};
  BusyStatus busy_;
  int gain_ = 20;
  int audio_ = 0;
  std::array<int, kMaxLines> bandAmplitudes_{};
  std::vector<int16_t> spectrum_;
};

std::unique_ptr<Generator> CreateSineLinesGenerator(GeneratorContext& context);

struct SettingsDialogTable;
// The settings dialog, described in generators/sine_lines_dialog.cpp.
extern const SettingsDialogTable kSineLinesDialog;

}  // namespace quor

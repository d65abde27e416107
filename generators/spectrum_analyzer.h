// Spectrum Analyzer (type 11): the sound input's spectrum as logarithmically
// spaced bands, drawn either as bars with three colour zones and falling
// peak dots, or as a polyline with an optional fill and a peak line.
// Render runs on the clock thread; Create, ExchangeSettings and the setters
// on the UI thread through Engine::EditGenerator. The band arrays are rebuilt
// only under the busy protocol, so a Render never reads freed arrays.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/busy_status.h"
#include "core/generator.h"
#include "core/rgb_frame.h"

namespace quor {

// Seventeen 32-bit words from offset 0.
inline constexpr int kSpectrumSettingsBytes = 17 * 4;
inline constexpr int kSpectrumMinBands = 4;
inline constexpr int kSpectrumMaxBands = 64;
inline constexpr int kSpectrumPeakHoldFrames = 10;

// The band count a matrix of this width starts with: a third of the width
// (at most 64) from 12 columns on, else 4.
int DefaultSpectrumBands(int width);
// The spectrum bins band i of `bands` covers: first..last inclusive (bins 0
// and 1 are never used). `first` > `last` cannot happen: every band has at
// least one bin, up to bin 255.
struct SpectrumBandRange {
  int first;
  int last;
};
std::vector<SpectrumBandRange> SpectrumBandRanges(int bands);

class SpectrumAnalyzerGenerator final : public Generator {
 public:
  explicit SpectrumAnalyzerGenerator(GeneratorContext& context) : context_(context) {}

  bool Create(int width, int height) override;
  // Reads the engine's spectrum once, then draws it (RenderSpectrum).
  void Render(const Canvas& canvas) override;
  void Destroy() override;
  // Loading limits the bands to the matrix width and restarts the levels.
  void ExchangeSettings(SettingsBlock& block, SettingsDirection direction) override;

  // One frame from the given 256 magnitudes: band levels, peaks, drawing.
  void RenderSpectrum(const int16_t* spectrum, const Canvas& canvas);

  // The "Spectrum Analyzer" dialog's controls.
  void SetBands(int bands);  // "FFT Bands": 4..min(width, 64); restarts the levels
  int bands() const { return bands_; }
  // The most bands the matrix allows: its width, within 4..64.
  int maxBands() const;
  // "Mid" and "Peak" of "Color Transition Pos": a move that would cross the
  // other slider is refused (returns false, nothing changes).
  bool SetMidPosition(int percent);
  bool SetPeakPosition(int percent);
  int midPosition() const { return midPosition_; }
  int peakPosition() const { return peakPosition_; }
  void SetGain(int gain);  // 1..50
  int gain() const { return gain_; }
  void SetLineMode(bool on) { lineMode_ = on ? 1 : 0; }
  void SetLineFill(bool on) { lineFill_ = on ? 1 : 0; }
  void SetBarsWithGap(bool on) { barsWithGap_ = on ? 1 : 0; }
  void SetPeakHold(bool on) { peakHold_ = on ? 1 : 0; }
  bool lineMode() const { return lineMode_ != 0; }
  bool lineFill() const { return lineFill_ != 0; }
  bool barsWithGap() const { return barsWithGap_ != 0; }
  bool peakHold() const { return peakHold_ != 0; }
  Rgb baseColor, midColor, peakColor;

  // The dialog's enable rule: with line mode the gap, the colour transition
  // sliders and the mid colour do not apply and line fill does; else the
  // reverse.
  bool LineFillEnabled() const { return lineMode(); }
  bool BarControlsEnabled() const { return !lineMode(); }

  // Smoothed level, peak and hold counter of band i (for tests and meters).
  int level(int band) const { return level_[static_cast<size_t>(band)]; }
  int peak(int band) const { return peak_[static_cast<size_t>(band)]; }
  int status() const { return status_.Get(); }

 private:
  void ReallocateBands();
  void UpdateBands(const int16_t* spectrum);
  int BandHeight(int value, int band, int height) const;
  void DrawBars(const Canvas& canvas) const;
  void DrawLines(const Canvas& canvas) const;

  GeneratorContext& context_;
  int width_ = 0;
  int barsWithGap_ = 1;
  int bands_ = kSpectrumMinBands;
  int peakHold_ = 1;
  int midPosition_ = 69;
  int peakPosition_ = 82;
  int gain_ = 20;
  int lineMode_ = 0;
  int lineFill_ = 0;
  std::vector<int16_t> spectrum_;
  std::vector<int> level_, peak_, hold_;
  std::vector<SpectrumBandRange> ranges_;
  BusyStatus status_;
};

std::unique_ptr<Generator> CreateSpectrumAnalyzerGenerator(GeneratorContext& context);

struct SettingsDialogTable;
// The settings dialog, described in generators/spectrum_analyzer_dialog.cpp.
extern const SettingsDialogTable kSpectrumAnalyzerDialog;

}  // namespace quor

#include "generators/spectrum_analyzer.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "audio/audio_analyzer.h"
#include "generators/draw.h"
#include "generators/settings_fields.h"

namespace quor {

static_assert(kSpectrumSettingsBytes <= kSettingsBlockSize);

int DefaultSpectrumBands(int width) {
  return width >= 12 ? std::min(width / 3, kSpectrumMaxBands) : kSpectrumMinBands;
}

std::vector<SpectrumBandRange> SpectrumBandRanges(int bands) {
  std::vector<SpectrumBandRange> ranges;
  if (bands < 2) return ranges;
  ranges.reserve(static_cast<size_t>(bands));
  const double step = std::log10(255.0) / (bands - 1);
  int last = 0;
  int first = 1;
  for (int i = 0; i < bands; ++i) {
    const int e = static_cast<int>(std::pow(10.0, i * step));
    last = e > last ? e : last + 1;
    last = std::min(last, 254);
    ranges.push_back({first, last});
    first = last + 1;
  }
  return ranges;
}

bool SpectrumAnalyzerGenerator::Create(int width, int height) {
  (void)height;
  status_.WaitAndEnter(BusyStatus::kCreating, context_.console);
  width_ = width;
  barsWithGap_ = 1;
  bands_ = DefaultSpectrumBands(width);
  peakHold_ = 1;
  midPosition_ = 69;
  peakPosition_ = 82;
  gain_ = 20;
  baseColor = {0, 255, 0};
  midColor = {255, 255, 0};
  peakColor = {255, 0, 0};
  lineMode_ = 0;
  lineFill_ = 0;
  spectrum_.assign(kSpectrumBins, 0);
  ReallocateBands();
  return true;
}

void SpectrumAnalyzerGenerator::Destroy() {
  status_.WaitAndEnter(BusyStatus::kDestroyed, context_.console);
  level_.clear();
  peak_.clear();
  hold_.clear();
  level_.shrink_to_fit();
  peak_.shrink_to_fit();
  hold_.shrink_to_fit();
  spectrum_.clear();
  spectrum_.shrink_to_fit();
}

// Called with the status at "creating" (no Render can run); ends "ready".
void SpectrumAnalyzerGenerator::ReallocateBands() {
  const size_t n = static_cast<size_t>(bands_);
  level_.assign(n, 0);
  peak_.assign(n, 0);
  hold_.assign(n, 0);
  ranges_ = SpectrumBandRanges(bands_);
  status_.SetReady();
}

int SpectrumAnalyzerGenerator::maxBands() const {
  return std::min(std::max(width_, kSpectrumMinBands), kSpectrumMaxBands);
}

void SpectrumAnalyzerGenerator::SetBands(int bands) {
  const int wanted = std::clamp(bands, kSpectrumMinBands, maxBands());
  status_.ChangeAndRebuild(context_.console, [&] { bands_ = wanted; }, [&] { ReallocateBands(); });
}

bool SpectrumAnalyzerGenerator::SetMidPosition(int percent) {
  if (percent < 1 || percent > 100 || percent > peakPosition_) return false;
  midPosition_ = percent;
  return true;
}

bool SpectrumAnalyzerGenerator::SetPeakPosition(int percent) {
  if (percent < 1 || percent > 100 || percent < midPosition_) return false;
  peakPosition_ = percent;
  return true;
}

void SpectrumAnalyzerGenerator::SetGain(int gain) { gain_ = std::clamp(gain, 1, 50); }

void SpectrumAnalyzerGenerator::ExchangeSettings(SettingsBlock& block, SettingsDirection direction) {
  using G = SpectrumAnalyzerGenerator;
  static constexpr auto kLayout = SettingsLayout<G>(
      {Stored<G, &G::barsWithGap_>(), Stored<G, &G::bands_>(), Stored<G, &G::peakHold_>(),
       Stored<G, &G::midPosition_>(), Stored<G, &G::peakPosition_>(), Stored<G, &G::gain_>(),
       Stored<G, &G::baseColor>(), Stored<G, &G::midColor>(), Stored<G, &G::peakColor>(), Stored<G, &G::lineMode_>(),
       Stored<G, &G::lineFill_>()});
  static_assert(kLayout.bytes == kSpectrumSettingsBytes);
  if (direction == SettingsDirection::kStore) {
    kLayout.Store(*this, block);
    return;
  }
  status_.WaitAndEnter(BusyStatus::kCreating, context_.console);
  kLayout.Load(*this, block);
  gain_ = std::clamp(gain_, 1, 50);  // the slider's range; a damaged gain would draw far off-frame lines
  // At most one band per column. A damaged count below the dialog's
  // smallest (which would divide by zero) becomes 4.
  bands_ = std::clamp(bands_, kSpectrumMinBands, std::max(width_, kSpectrumMinBands));
  if (spectrum_.empty()) spectrum_.assign(kSpectrumBins, 0);
  ReallocateBands();
}

void SpectrumAnalyzerGenerator::Render(const Canvas& canvas) {
  if (status_.Get() != BusyStatus::kReady) return;
  int16_t spectrum[kSpectrumBins];
  context_.audio.GetSpectrum(spectrum);
  RenderSpectrum(spectrum, canvas);
}

void SpectrumAnalyzerGenerator::RenderSpectrum(const int16_t* spectrum, const Canvas& canvas) {
  uint8_t* const frame = canvas.pixels;
  const int width = canvas.width;
  const int height = canvas.height;
  RenderGuard guard(status_);
  if (!guard || frame == nullptr || width <= 0 || height <= 0) return;
  std::copy(spectrum, spectrum + kSpectrumBins, spectrum_.begin());
  std::fill(frame, frame + canvas.ByteSize(), uint8_t{0});
  UpdateBands(spectrum_.data());
  if (lineMode_ == 0) {
    DrawBars(canvas);
  } else {
    DrawLines(canvas);
  }
}

void SpectrumAnalyzerGenerator::UpdateBands(const int16_t* spectrum) {
  for (size_t i = 0; i < level_.size(); ++i) {
    const SpectrumBandRange range = ranges_[i];
    int v = 0;
    for (int k = range.first; k <= range.last; ++k) v = std::max<int>(v, spectrum[k + 1]);
    int& level = level_[i];
    level = level < v ? v : ((v + level) / 2 + level) / 2;
    if (peak_[i] <= level) {
      peak_[i] = level;
      hold_[i] = kSpectrumPeakHoldFrames;
    } else if (hold_[i] > 0) {
      --hold_[i];
    } else {
      int x = level;
      for (int n = 0; n < 4; ++n) x = (x + peak_[i]) / 2;
      peak_[i] = x;
    }
  }
}

// The higher the band, the larger its amplification: the divisor shrinks as
// bands - i.
int SpectrumAnalyzerGenerator::BandHeight(int value, int band, int height) const {
  const double divisor = static_cast<double>(bands_ - band) * (2560 / bands_) / height;
  const double h = (gain_ / 10.0) * value / divisor;
  // Levels are 16-bit magnitudes, but a damaged gain must not overflow.
  return static_cast<int>(std::clamp(h, -1.0e9, 1.0e9));
}

namespace {

Rgb TwoThirds(Rgb c) { return {c.r * 2 / 3, c.g * 2 / 3, c.b * 2 / 3}; }

}  // namespace

void SpectrumAnalyzerGenerator::DrawBars(const Canvas& canvas) const {
  const int w = canvas.width;
  const int h = canvas.height;
  const int barWidth = std::max(w / bands_, 1);
  const int gap = barWidth - barsWithGap_ <= 0 ? 0 : barsWithGap_;
  const int peakRow = h * peakPosition_ / 100;
  const int midRow = h * midPosition_ / 100;
  std::vector<int> barHeights(level_.size()), peakHeights(level_.size());
  for (size_t i = 0; i < level_.size(); ++i) {
    barHeights[i] = BandHeight(level_[i], static_cast<int>(i), h);
    peakHeights[i] = std::min(BandHeight(peak_[i], static_cast<int>(i), h), h - 1);
  }
  for (int r = 0; r < h; ++r) {
    const int y = h - 1 - r;
    const Rgb rowColor = r >= peakRow ? peakColor : r >= midRow ? midColor : baseColor;
    const Rgb dotColor = TwoThirds(rowColor);
    for (int i = 0; i < bands_; ++i) {
      const int x0 = i * barWidth;
      const int x1 = x0 + barWidth - 1 - gap;
      if (x0 >= w) break;
      if (r <= barHeights[static_cast<size_t>(i)]) DrawLine(canvas, x0, y, x1, y, rowColor, false);
      if (peakHold_ != 0 && r == peakHeights[static_cast<size_t>(i)]) DrawLine(canvas, x0, y, x1, y, dotColor, false);
    }
  }
}

void SpectrumAnalyzerGenerator::DrawLines(const Canvas& canvas) const {
  const int w = canvas.width;
  const int h = canvas.height;
  const int barWidth = std::max(w / bands_, 1);
  int lastX = 0, lastY = 0, lastP = 0;
  for (int i = 0; i < bands_; ++i) {
    const int x = barWidth / 2 + i * barWidth;
    const int y = h - 1 - BandHeight(level_[static_cast<size_t>(i)], i, h);
    const int p = h - 1 - BandHeight(peak_[static_cast<size_t>(i)], i, h);
    if (i == 0) {
      lastX = -barWidth;
      lastY = (h - 1 + 2 * y) / 3;
      lastP = (h - 1 + 2 * p) / 3;
    }
    DrawLine(canvas, lastX, lastY, x, y, baseColor, false);
    if (peakHold_ != 0) DrawLine(canvas, lastX, lastP, x, p, peakColor, false);
    lastX = x;
    lastY = y;
    lastP = p;
  }
  DrawLine(canvas, lastX, lastY, w, (h - 1 + 2 * lastY) / 3, baseColor, false);
  if (lineFill_ != 0) {
    for (int x = 0; x < w; ++x) FloodFill(canvas, x, h - 1, baseColor, false);
  }
  if (peakHold_ != 0) DrawLine(canvas, lastX, lastP, w, (h - 1 + 2 * lastP) / 3, peakColor, false);
}

std::unique_ptr<Generator> CreateSpectrumAnalyzerGenerator(GeneratorContext& context) {
  return std::make_unique<SpectrumAnalyzerGenerator>(context);
}

}  // namespace quor

#include "generators/sine_lines.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/audio_analyzer.h"
#include "generators/draw.h"
#include "generators/settings_fields.h"
#include "generators/tuned_constants.h"

namespace quor {
namespace {

constexpr int kSettingsWords = 13;
constexpr int kMinGain = 1;
constexpr int kMaxGain = 50;
// The phases grow without bound in single precision; long before their
// steps get lost in rounding (after days of running) they are taken back by
// whole turns, which leaves the curves where they are.
constexpr float kPhaseWrap = 8192.0f;
constexpr double kTwoPi = 6.283185307179586;
constexpr std::array<int, SineLinesGenerator::kMaxLines> kStartCounters = {0, 3, 6};

int MaxOf(const int16_t* values, int first, int last, int initial) {
  int result = initial;
  for (int i = first; i <= last; ++i) result = std::max<int>(result, values[i]);
  return result;
}

}  // namespace

bool SineLinesGenerator::Create(int width, int height) {
  if (!IsValidMatrixSize(width, height)) return false;
  lines_ = 2;
  width_ = 4;
  colors_ = {Rgb{255, 0, 0}, Rgb{0, 255, 0}, Rgb{0, 0, 255}};
  gain_ = 20;
  audio_ = 0;
  bandAmplitudes_ = {};
  ResetMotion();
  spectrum_.assign(kSpectrumBins, 0);
  busy_.SetReady();
  return true;
}

void SineLinesGenerator::Destroy() {
  busy_.WaitAndEnter(BusyStatus::kDestroyed, context_.console);
  std::vector<int16_t>().swap(spectrum_);
}

void SineLinesGenerator::ResetMotion() {
  counters_ = kStartCounters;
  phases_ = {};
}

void SineLinesGenerator::SetLines(int lines) { lines_ = std::clamp(lines, 1, kMaxLines); }

void SineLinesGenerator::SetWaves(int halfWaves) { width_ = std::clamp(halfWaves, 1, 10); }

void SineLinesGenerator::SetGain(int gain) { gain_ = std::clamp(gain, kMinGain, kMaxGain); }

void SineLinesGenerator::SetColor(int curve, Rgb color) {
  if (curve >= 0 && curve < kMaxLines) colors_[static_cast<size_t>(curve)] = color;
}

void SineLinesGenerator::ExchangeSettings(SettingsBlock& block, SettingsDirection direction) {
  using G = SineLinesGenerator;
  static constexpr auto kLayout = SettingsLayout<G>({Stored<G, &G::lines_>(), Stored<G, &G::width_>(),
                                                     Stored<G, &G::audio_>(), Stored<G, &G::gain_>(),
                                                     Stored<G, &G::colors_>()});
  static_assert(kLayout.bytes == kSettingsWords * 4);
  if (direction == SettingsDirection::kStore) {
    kLayout.Store(*this, block);
    return;
  }
  kLayout.Load(*this, block);
  // A gain far out of range would overflow the band amplitudes.
  gain_ = std::clamp(gain_, kMinGain, kMaxGain);
  ResetMotion();
}

void SineLinesGenerator::Render(const Canvas& canvas) {
  uint8_t* const frame = canvas.pixels;
  const int width = canvas.width;
  const int height = canvas.height;
  RenderGuard guard(busy_);
  if (!guard || width <= 0 || height <= 0) return;
  std::memset(frame, 0, static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  if (lines_ > kMaxLines) lines_ = kMaxLines;
  const int half = height / 2;

  // Each curve's target amplitude: the loudest bin of its band (bass, middle,
  // treble), scaled by the gain and by a per-band divisor over the height.
  std::array<int, kMaxLines> bandLevels{};
  if (audio_ != 0 && spectrum_.size() == kSpectrumBins) {
    context_.audio.GetSpectrum(spectrum_.data());
    const int16_t* s = spectrum_.data();
    const int bass = MaxOf(s, 2, 3, 0);
    const int mid = MaxOf(s, 8, 51, s[7]);
    const int high = MaxOf(s, 62, 255, s[61]);
    const float g = static_cast<float>(gain_) / 10.0f;
    bandLevels[0] = static_cast<int>(g * static_cast<float>(bass) / static_cast<float>(4960 / (2 * height)));
    bandLevels[1] = static_cast<int>(g * static_cast<float>(mid) / static_cast<float>(3840 / (2 * height)));
    bandLevels[2] = static_cast<int>(g * static_cast<float>(high) / static_cast<float>(2240 / (2 * height)));
  }

  const int steps = context_.pixelStep.load(std::memory_order_relaxed);
  const float waveStep = static_cast<float>(width_) * kTunedHalfTurnSingle / static_cast<float>(width);
  for (int k = 1; k <= lines_; ++k) {
    const size_t curve = static_cast<size_t>(k - 1);
    float& phase = phases_[curve];
    phase = phase + static_cast<float>(steps * 2) * waveStep * static_cast<float>(k) * 0.5f;
    if (std::fabs(phase) > kPhaseWrap) phase = static_cast<float>(std::fmod(static_cast<double>(phase), kTwoPi));

    int amplitude;
    if (audio_ == 0) {
      const int c = counters_[curve];
      amplitude = c < half ? c : c < 3 * half ? 2 * half - c : c - 4 * half;
      amplitude /= k;
    } else {
      // Rises at once, decays slowly.
      int& b = bandAmplitudes_[curve];
      const int a = bandLevels[curve];
      b = b < a ? a : (b + (a + b) / 2) / 2;
      amplitude = b;
    }

    const Rgb color = colors_[curve];
    const double phaseValue = phase;
    int previousY = 0;
    for (int x = 0; x < width; ++x) {
      const double angle = (static_cast<double>(x) / (width - 1)) * kTunedHalfTurn * width_ - phaseValue;
      const int y = static_cast<int>(std::sin(angle) * amplitude + half);
      if (x == 0) {
        PutPixel(canvas, x, y, color, false);
      } else {
        DrawLine(canvas, x - 1, previousY, x, y, color, false);
      }
      previousY = y;
    }

    int& counter = counters_[curve];
    counter += half / 4;
    if (counter >= 4 * half) counter = 0;
  }
}

std::unique_ptr<Generator> CreateSineLinesGenerator(GeneratorContext& context) {
  return std::make_unique<SineLinesGenerator>(context);
}

}  // namespace quor

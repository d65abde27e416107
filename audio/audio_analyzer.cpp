#include "audio/audio_analyzer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <utility>

#include "audio/audio_capture.h"

namespace quor {
namespace {

constexpr int kMaxFftOrder = 10;
// The gain control aims at a mean square of 0.01 of full scale over the
// block: sum((x / 32767)^2) * gain^2 = 512 * 0.01.
constexpr double kAgcTargetSumOfSquares = 5.12;
constexpr float kAgcMaxGain = 5.0f;

// A 16-bit store of a wider intermediate: keeps the low 16 bits, so the
// fixed-point transform wraps exactly as its 16-bit registers would and the
// spectrum the audio generators react to stays bit-exact.
inline int16_t Store16(int32_t value) { return static_cast<int16_t>(value); }

// Q15 product of two 16-bit values; the product always fits 32 bits.
inline int32_t MulQ15(int32_t a, int32_t b) { return (a * b) >> 15; }

}  // namespace

const std::array<int16_t, kSineTableSize>& FixedPointSineTable() {
  static const std::array<int16_t, kSineTableSize> table = [] {
    std::array<int16_t, kSineTableSize> t{};
    for (int i = 0; i < kSineTableSize; ++i) {
      const double angle = 2.0 * std::numbers::pi * i / kSineTableSize;
      t[static_cast<size_t>(i)] = static_cast<int16_t>(std::trunc(32767.0 * std::sin(angle)));
    }
    return t;
  }();
  return table;
}

int FixedPointFft(int16_t* re, int16_t* im, int order) {
  if (order < 0 || order > kMaxFftOrder) return -1;
  const int n = 1 << order;
  const int16_t* sine = FixedPointSineTable().data();

  // Bit-reversal reordering, incrementing the reversed index alongside i.
  int reversed = 0;
  for (int i = 1; i < n; ++i) {
    int bit = n;
    do {
      bit >>= 1;
    } while (reversed + bit > n - 1);
    reversed = (reversed & (bit - 1)) + bit;
    if (reversed > i) {
      std::swap(re[i], re[reversed]);
      std::swap(im[i], im[reversed]);
    }
  }

  // Butterflies; every stage halves, so no stage can overflow for inputs
  // that stay inside 16 bits on the way.
  int shift = kMaxFftOrder - 1;
  for (int half = 1; half < n; half <<= 1, --shift) {
    const int step = half << 1;
    for (int m = 0; m < half; ++m) {
      const int j = m << shift;
      const int32_t wr = sine[j + kSineTableSize / 4] >> 1;  // cosine
      const int32_t wi = -static_cast<int32_t>(sine[j]) >> 1;
      for (int i = m; i < n; i += step) {
        const int p = i + half;
        const int32_t tr = MulQ15(wr, re[p]) - MulQ15(wi, im[p]);
        const int32_t ti = MulQ15(wr, im[p]) + MulQ15(wi, re[p]);
        const int32_t qr = re[i] >> 1;
        const int32_t qi = im[i] >> 1;
        re[p] = Store16(qr - tr);
        im[p] = Store16(qi - ti);
        re[i] = Store16(qr + tr);
        im[i] = Store16(qi + ti);
      }
    }
  }
  return 0;
}

AudioAnalyzer::AudioAnalyzer() = default;
AudioAnalyzer::~AudioAnalyzer() { Stop(); }

void AudioAnalyzer::GetSpectrum(int16_t* out) {
  std::lock_guard lock(mutex_);
  AnalyzeLocked(out);
}

void AudioAnalyzer::AnalyzeLocked(int16_t* out) {
  if (blockState_.load(std::memory_order_acquire) != kFilled) {
    std::memcpy(out, real_.data(), kSpectrumBins * sizeof(int16_t));
    return;
  }

  // Mono mix, truncating toward zero.
  for (size_t i = 0; i < real_.size(); ++i) {
    real_[i] = static_cast<int16_t>((block_[2 * i] + block_[2 * i + 1]) / 2);
  }

  if (agcEnabled.load(std::memory_order_relaxed) > 0) {
    double sumOfSquares = 0.0;
    for (int16_t v : real_) {
      const double x = v / 32767.0;
      sumOfSquares += x * x;
    }
    // Silence asks for an unbounded gain, which the cap below turns into 5.
    float target = sumOfSquares > 0.0 ? static_cast<float>(std::sqrt(kAgcTargetSumOfSquares / sumOfSquares))
                                      : std::numeric_limits<float>::infinity();
    target = std::min(target, kAgcMaxGain);
    // Rise by 1/50 of the distance per analysis, fall at once.
    const float gain = target > agcGain_ ? (target + 49.0f * agcGain_) / 50.0f : target;
    agcGain_ = gain;
    for (int16_t& v : real_) {
      // |gain * v| <= 5 * 32768, so the conversion to 32 bits is exact
      // truncation; what does not fit 16 bits becomes -32768.
      const int32_t scaled = static_cast<int32_t>(gain * static_cast<float>(v));
      v = (scaled < -32768 || scaled > 32767) ? int16_t{-32768} : static_cast<int16_t>(scaled);
    }
  }

  imag_.fill(0);
  FixedPointFft(real_.data(), imag_.data(), kFftOrder);

  for (size_t k = 0; k < static_cast<size_t>(kSpectrumBins); ++k) {
    // Two squares of -32768 sum to 2^31, one more than int32 holds.
    const int64_t re = real_[k];
    const int64_t im = imag_[k];
    const int64_t sum = re * re + im * im;
    const int64_t magnitude = static_cast<int64_t>(std::sqrt(static_cast<double>(sum)));
    real_[k] = magnitude > 32767 ? int16_t{-32768} : static_cast<int16_t>(magnitude);
  }

  std::memcpy(out, real_.data(), kSpectrumBins * sizeof(int16_t));
  blockState_.store(kQueued, std::memory_order_release);
}

int AudioAnalyzer::TriggerLevel(const AudioTrigger& trigger) {
  std::lock_guard lock(mutex_);
  AnalyzeLocked(triggerSpectrum_.data());
  return TriggerBandLevel(triggerSpectrum_, trigger);
}

float AudioAnalyzer::AgcGain() {
  std::lock_guard lock(mutex_);
  return agcGain_;
}

std::optional<Failure> AudioAnalyzer::Start() {
  if (capture_) return std::nullopt;
  tempo_.Start();
  auto capture = std::make_unique<AudioCapture>(*this);
  if (std::optional<Failure> failed = capture->Open()) {
    tempo_.Stop();
    return failed;
  }
  capture_ = std::move(capture);
  return std::nullopt;
}

void AudioAnalyzer::Stop() {
  if (capture_) capture_->Close();
  capture_.reset();
  tempo_.Stop();
}

bool AudioAnalyzer::Capturing() const { return capture_ != nullptr; }

bool AudioAnalyzer::DeliverBlock(const int16_t* interleavedFrames) {
  // The tempo needs every block, also those the spectrum never looks at.
  tempo_.Feed(interleavedFrames, kAudioBlockFrames);
  int expected = kQueued;
  if (!blockState_.compare_exchange_strong(expected, kFilling, std::memory_order_acquire)) return false;
  std::memcpy(block_.data(), interleavedFrames, sizeof(block_));
  blockState_.store(kFilled, std::memory_order_release);
  return true;
}

}  // namespace quor

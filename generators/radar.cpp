#include "generators/radar.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "generators/color.h"
#include "generators/settings_fields.h"

namespace quor {
namespace {

constexpr int kSettingsWords = 8;

// Every component c becomes c - step when above step, else 0.
void FadeFrame(uint8_t* frame, size_t bytes, int step) {
  const auto s = static_cast<uint8_t>(std::clamp(step, 0, 255));
  for (size_t i = 0; i < bytes; ++i) {
    const uint8_t c = frame[i];
    frame[i] = c > s ? static_cast<uint8_t>(c - s) : 0;
  }
}

}  // namespace

bool RadarGenerator::Create(int width, int height) {
  if (!IsValidMatrixSize(width, height)) return false;
  mode_ = kBounceHorizontal;
  width_ = 0;
  fade_ = 0;
  offset_ = 0;
  colors_.Reset(kDefaultColor, kAutoColorShared);
  position_ = 0;
  bounce_ = 0;
  matrixWidth_ = width;
  matrixHeight_ = height;
  return true;
}

void RadarGenerator::SetBandWidth(int percent) { width_ = std::clamp(percent, 0, 100); }

void RadarGenerator::SetFade(int percent) { fade_ = std::clamp(percent, 0, 100); }

void RadarGenerator::SetOffset(int percent) {
  offset_ = std::clamp(percent, 0, 100);
  position_ = (offset_ * (Vertical() ? matrixHeight_ : matrixWidth_)) / 100;
  bounce_ = 0;
}

void RadarGenerator::ExchangeSettings(SettingsBlock& block, SettingsDirection direction) {
  using G = RadarGenerator;
  static constexpr auto kLayout = SettingsLayout<G>(
      {Stored<G, &G::mode_>(), Stored<G, &G::width_>(), Stored<G, &G::fade_>(), Stored<G, &G::colors_, &ColorGroup::color>(),
       Stored<G, &G::colors_, &ColorGroup::autoColorMode>(), Stored<G, &G::offset_>()});
  static_assert(kLayout.bytes == kSettingsWords * 4);
  if (direction == SettingsDirection::kStore) {
    kLayout.Store(*this, block);
    return;
  }
  kLayout.Load(*this, block);
  // Band and trail sizes outside 0..100 would overflow the size arithmetic
  // or make the fade step divide by zero; bring them back into range.
  width_ = std::clamp(width_, 0, 100);
  fade_ = std::clamp(fade_, 0, 100);
  if (offset_ > 100 || offset_ < 0) offset_ = 0;
  colors_.RestartWheel();
  position_ = ((Vertical() ? matrixHeight_ : matrixWidth_ - 1) * offset_) / 100;
  bounce_ = 0;
}

void RadarGenerator::Move(int band, int extent) {
  switch (Vertical() ? mode_ - kTopToBottom : mode_) {
    case kRightToLeft:
      if (--position_ <= -band) position_ = extent - 1;
      break;
    case kBounceHorizontal:
      if (bounce_ == 0) {
        if (++position_ >= extent - band) bounce_ = 1;
      } else {
        if (--position_ < 1) bounce_ = 0;
      }
      break;
    default:  // forwards, also for unknown modes
      if (++position_ >= extent) position_ = -band;
      break;
  }
}

void RadarGenerator::Render(const Canvas& canvas) {
  uint8_t* const frame = canvas.pixels;
  const int width = canvas.width;
  const int height = canvas.height;
  if (width <= 0 || height <= 0) return;
  const Rgb color = colors_.NextColor(context_);
  const uint8_t rgb[3] = {static_cast<uint8_t>(color.r), static_cast<uint8_t>(color.g),
                          static_cast<uint8_t>(color.b)};

  const bool vertical = Vertical();
  const int extent = vertical ? height : width;
  const int band = (extent * width_) / 100 + 1;
  const int trail = (extent * fade_) / 100;
  const int step = 255 / (trail + 1);
  const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
  const size_t rowBytes = static_cast<size_t>(width) * 3;

  const int steps = context_.pixelStep.load(std::memory_order_relaxed);
  for (int s = 0; s < steps; ++s) {
    if (fade_ < 1) {
      std::memset(frame, 0, bytes);
    } else {
      FadeFrame(frame, bytes, step);
    }
    // The band's lines that fall inside the frame, each drawn full length.
    const int first = std::max(position_, 0);
    const int last = static_cast<int>(std::min<int64_t>(int64_t{position_} + band - 1, extent - 1));
    if (vertical) {
      for (int y = first; y <= last; ++y) {
        uint8_t* p = frame + static_cast<size_t>(y) * rowBytes;
        for (int x = 0; x < width; ++x, p += 3) std::memcpy(p, rgb, 3);
      }
    } else if (first <= last) {
      for (int y = 0; y < height; ++y) {
        uint8_t* p = frame + static_cast<size_t>(y) * rowBytes + static_cast<size_t>(first) * 3;
        for (int x = first; x <= last; ++x, p += 3) std::memcpy(p, rgb, 3);
      }
    }
    Move(band, extent);
  }
}

std::unique_ptr<Generator> CreateRadarGenerator(GeneratorContext& context) {
  return std::make_unique<RadarGenerator>(context);
}

}  // namespace quor

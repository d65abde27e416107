#include "generators/metaballs.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "core/random_source.h"
#include "generators/color.h"
#include "generators/palette_expand.h"
#include "generators/settings_fields.h"

namespace quor {

static_assert(MetaballsGenerator::kSettingsBytes <= kSettingsBlockSize);

namespace {

// One speed component: 0.5..2.5 pixels per step, the sign from a separate
// draw.
float RandomSpeed(RandomSource& random) {
  const int sign = random.Next();
  const int magnitude = random.Next();
  const float speed = (static_cast<float>(magnitude) / 32767.0f) * 2.0f + 0.5f;
  return sign % 2 == 0 ? -speed : speed;
}

}  // namespace

MetaballsGenerator::MetaballsGenerator(GeneratorContext& context)
    : ColorGroupOwner(kDefaultColor, kDefaultAutoColorMode), context_(context) {}

bool MetaballsGenerator::Create(int width, int height) {
  busy_.WaitAndEnter(BusyStatus::kCreating, context_.console);
  size_ = kDefaultSize;
  balls_ = kDefaultBalls;
  collision_ = 1;
  colors_.Reset(kDefaultColor, kDefaultAutoColorMode);
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  field_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0);
  Rebuild();
  return true;
}

void MetaballsGenerator::Destroy() {
  busy_.WaitAndEnter(BusyStatus::kDestroyed, context_.console);
  kernel_ = {};
  ballList_ = {};
  field_ = {};
  kernelSize_ = 0;
  width_ = 0;
  height_ = 0;
}

void MetaballsGenerator::Rebuild() {
  kernel_.clear();
  ballList_.clear();
  kernelSize_ = 0;
  if (width_ > 0 && height_ > 0) {
    const int larger = std::max(width_, height_);
    const int d = (larger * size_) / 100 + 5;
    const int count = (larger * balls_) / 100 + 1;

    // Radial falloff (1 - distance / radius)^2 scaled to 255, zero from the
    // radius on.
    kernelSize_ = d;
    kernel_.resize(static_cast<size_t>(d) * static_cast<size_t>(d));
    const float radius = static_cast<float>(d) / 2.0f;
    const int half = d / 2;
    for (int ky = 0; ky < d; ++ky) {
      for (int kx = 0; kx < d; ++kx) {
        const int dx = kx - half;
        const int dy = ky - half;
        const float distance = std::sqrt(static_cast<float>(dx * dx + dy * dy));
        int cell = 0;
        if (distance < radius) {
          const float falloff = 1.0f - distance / radius;
          cell = static_cast<int>(255.0f * (falloff * falloff));
        }
        kernel_[static_cast<size_t>(ky) * d + kx] = static_cast<uint8_t>(cell);
      }
    }

    ballList_.resize(static_cast<size_t>(count));
    for (Ball& ball : ballList_) {
      ball.x = static_cast<float>(context_.random.Next() % width_);
      ball.y = static_cast<float>(context_.random.Next() % height_);
      ball.vx = RandomSpeed(context_.random);
      ball.vy = RandomSpeed(context_.random);
    }
  }
  busy_.SetReady();
}

template <typename Change>
void MetaballsGenerator::ChangeAndRebuild(Change change) {
  busy_.ChangeAndRebuild(context_.console, change, [this] { Rebuild(); });
}

void MetaballsGenerator::SetSize(int size) {
  ChangeAndRebuild([&] { size_ = std::clamp(size, 1, 100); });
}

void MetaballsGenerator::SetBalls(int balls) {
  ChangeAndRebuild([&] { balls_ = std::clamp(balls, 0, 100); });
}

void MetaballsGenerator::PlaceBall(int index, const Ball& ball) {
  if (index < 0 || static_cast<size_t>(index) >= ballList_.size()) return;
  if (!std::isfinite(ball.x) || !std::isfinite(ball.y) || !std::isfinite(ball.vx) || !std::isfinite(ball.vy)) {
    return;
  }
  ballList_[static_cast<size_t>(index)] = ball;
}

void MetaballsGenerator::ExchangeSettings(SettingsBlock& block, SettingsDirection direction) {
  using G = MetaballsGenerator;
  static constexpr auto kLayout = SettingsLayout<G>(
      {Stored<G, &G::size_>(), Stored<G, &G::balls_>(), Stored<G, &G::colors_, &ColorGroup::autoColorMode>(),
       Stored<G, &G::collision_>(), Stored<G, &G::colors_, &ColorGroup::color>()});
  static_assert(kLayout.bytes == kSettingsBytes);
  if (direction == SettingsDirection::kStore) {
    kLayout.Store(*this, block);
    return;
  }
  ChangeAndRebuild([&] {
    kLayout.Load(*this, block);
    // Out-of-range sizes and counts would overflow the kernel arithmetic or
    // ask for a negative number of balls; they are clamped into range.
    size_ = std::clamp(size_, 1, 100);
    balls_ = std::clamp(balls_, 0, 100);
    colors_.SetColor(colors_.color);
    colors_.RestartWheel();
  });
}

void MetaballsGenerator::MoveBalls(int pixelStep) {
  const float w = static_cast<float>(width_);
  const float h = static_cast<float>(height_);
  const size_t count = ballList_.size();
  for (size_t i = 0; i < count; ++i) {
    Ball& ball = ballList_[i];
    ball.x += ball.vx * static_cast<float>(pixelStep);
    ball.y += ball.vy * static_cast<float>(pixelStep);
    if (ball.x < 0) {
      ball.x = 0;
      ball.vx = -ball.vx;
    }
    if (ball.x >= w) {
      ball.x = w - 1;
      ball.vx = -ball.vx;
    }
    if (ball.y < 0) {
      ball.y = 0;
      ball.vy = -ball.vy;
    }
    if (ball.y >= h) {
      ball.y = h - 1;
      ball.vy = -ball.vy;
    }
    if (collision_ != 0) {
      // Balls before i have moved in this frame, later ones not yet; every
      // ball on exactly the same spot turns this one around once.
      for (size_t j = 0; j < count; ++j) {
        if (j != i && ballList_[j].x == ball.x && ballList_[j].y == ball.y) {
          ball.vx = -ball.vx;
          ball.vy = -ball.vy;
        }
      }
    }
  }
}

void MetaballsGenerator::Render(const Canvas& canvas) {
  uint8_t* const frame = canvas.pixels;
  const int width = canvas.width;
  const int height = canvas.height;
  RenderGuard guard(busy_);
  if (!guard) return;
  // Field, kernel and balls belong to the size of the last Create.
  if (width != width_ || height != height_ || kernelSize_ <= 0) return;

  const Rgb color = colors_.NextColor(context_);

  std::fill(field_.begin(), field_.end(), uint8_t{0});
  MoveBalls(context_.pixelStep.load(std::memory_order_relaxed));

  const int d = kernelSize_;
  const int half = d >> 1;
  for (const Ball& ball : ballList_) {
    const int bx = static_cast<int>(ball.x);
    const int by = static_cast<int>(ball.y);
    // Only the kernel cells that land inside the frame.
    const int rowBegin = std::max(half - by, 0);
    const int rowEnd = std::min(d, height - by + half);
    const int colBegin = std::max(half - bx, 0);
    const int colEnd = std::min(d, width - bx + half);
    for (int ky = rowBegin; ky < rowEnd; ++ky) {
      const uint8_t* kernelRow = kernel_.data() + static_cast<size_t>(ky) * d;
      uint8_t* fieldRow = field_.data() + static_cast<size_t>(by - half + ky) * width;
      for (int kx = colBegin; kx < colEnd; ++kx) {
        uint8_t& cell = fieldRow[bx - half + kx];
        const unsigned sum = unsigned{cell} + kernelRow[kx];
        cell = static_cast<uint8_t>(sum > 255 ? 255 : sum);
      }
    }
  }

  // Tint: each component scales with the field value.
  PackedPalette tint;
  for (int v = 0; v < 256; ++v) {
    tint[static_cast<size_t>(v)] = PackRgb(static_cast<uint8_t>(v * color.r / 255),
                                           static_cast<uint8_t>(v * color.g / 255),
                                           static_cast<uint8_t>(v * color.b / 255));
  }
  ExpandPalette(field_.data(), field_.size(), tint, frame);
}

std::unique_ptr<Generator> CreateMetaballsGenerator(GeneratorContext& context) {
  return std::make_unique<MetaballsGenerator>(context);
}

}  // namespace quor

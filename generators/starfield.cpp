#include "generators/starfield.h"

#include <algorithm>
#include <cstring>

#include "core/random_source.h"
#include "generators/color.h"
#include "generators/draw.h"
#include "generators/settings_fields.h"

namespace quor {

static_assert(StarfieldGenerator::kSettingsBytes <= kSettingsBlockSize);

StarfieldGenerator::StarfieldGenerator(GeneratorContext& context)
    : ColorGroupOwner(kDefaultColor, kAutoColorOff), context_(context) {}

bool StarfieldGenerator::Create(int width, int height) {
  busy_.WaitAndEnter(BusyStatus::kCreating, context_.console);
  stars_ = kDefaultStars;
  trails_ = 1;
  zoom_ = kDefaultZoom;
  speed_ = kDefaultSpeed;
  colors_.Reset(kDefaultColor, kAutoColorOff);
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  Rebuild();
  return true;
}

void StarfieldGenerator::Destroy() {
  busy_.WaitAndEnter(BusyStatus::kDestroyed, context_.console);
  starList_ = {};
  width_ = 0;
  height_ = 0;
}

// A random point of the box two matrix sizes around the axis, 100..1099 deep.
void StarfieldGenerator::PlaceFarAway(Star& star) {
  star.x = context_.random.Next() % (4 * width_) - 2 * width_;
  star.y = context_.random.Next() % (4 * height_) - 2 * height_;
  star.z = context_.random.Next() % 1000 + 100;
}

void StarfieldGenerator::Rebuild() {
  starList_.clear();
  if (width_ > 0 && height_ > 0) {
    const int count = ((width_ * height_) / 5 * stars_) / 100;
    starList_.resize(static_cast<size_t>(std::max(count, 0)));
    for (Star& star : starList_) {
      PlaceFarAway(star);
      star.speed = context_.random.Next() % 15 + speed_ * 2 + 5;
      star.lastX = -1;
      star.lastY = -1;
    }
  }
  busy_.SetReady();
}

template <typename Change>
void StarfieldGenerator::ChangeAndRebuild(Change change) {
  busy_.ChangeAndRebuild(context_.console, change, [this] { Rebuild(); });
}

void StarfieldGenerator::SetStars(int stars) {
  ChangeAndRebuild([&] { stars_ = std::clamp(stars, 10, 100); });
}

void StarfieldGenerator::ExchangeSettings(SettingsBlock& block, SettingsDirection direction) {
  using G = StarfieldGenerator;
  static constexpr auto kLayout = SettingsLayout<G>(
      {Stored<G, &G::colors_, &ColorGroup::color>(), Stored<G, &G::colors_, &ColorGroup::autoColorMode>(),
       Stored<G, &G::stars_>(), Stored<G, &G::trails_>(), Stored<G, &G::zoom_>(), Stored<G, &G::speed_>()});
  static_assert(kLayout.bytes == kSettingsBytes);
  if (direction == SettingsDirection::kStore) {
    kLayout.Store(*this, block);
    return;
  }
  ChangeAndRebuild([&] {
    kLayout.Load(*this, block);
    // A speed of -10 would divide by zero in the brightness and a negative
    // one draw a negative respawn range; zoom and star count would overflow
    // the projection or the star list. All are clamped into range.
    colors_.SetColor(colors_.color);
    stars_ = std::clamp(stars_, 10, 100);
    SetZoom(zoom_);
    SetSpeed(speed_);
    colors_.RestartWheel();
  });
}

void StarfieldGenerator::Render(const Canvas& canvas) {
  uint8_t* const frame = canvas.pixels;
  const int width = canvas.width;
  const int height = canvas.height;
  RenderGuard guard(busy_);
  if (!guard) return;
  // Star positions are scaled to the size of the last Create.
  if (width != width_ || height != height_) return;

  const Rgb color = colors_.NextColor(context_);
  std::memset(frame, 0, canvas.ByteSize());

  const int brightnessScale = speed_ * 2 + 20;
  for (Star& star : starList_) {
    star.z -= star.speed;
    if (!canvas.Contains(star.lastX, star.lastY) || star.z < 1) {
      PlaceFarAway(star);
      star.speed = speed_ + context_.random.Next() % (speed_ + 15) + 5;
      star.lastX = -1;
      star.lastY = -1;
    }
    const int sx = (zoom_ * star.x) / star.z + width / 2;
    const int sy = (zoom_ * star.y) / star.z + height / 2;

    // Fast stars and near stars are bright.
    const int brightness = std::clamp(((star.speed * 255) / brightnessScale) * (1000 / star.z), 0, 255);
    const Rgb shade{color.r * brightness / 255, color.g * brightness / 255, color.b * brightness / 255};

    if (star.lastX != -1 && trails_ != 0) {
      DrawLine(canvas, sx, sy, star.lastX, star.lastY, shade, false);
    } else {
      PutPixel(canvas, star.lastX, star.lastY, shade, false);
    }
    star.lastX = sx;
    star.lastY = sy;
  }
}

std::unique_ptr<Generator> CreateStarfieldGenerator(GeneratorContext& context) {
  return std::make_unique<StarfieldGenerator>(context);
}

}  // namespace quor

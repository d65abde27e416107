#include "generators/falling_rain.h"

#include <algorithm>
#include <cstring>

#include "core/random_source.h"
#include "generators/color.h"
#include "generators/settings_fields.h"

namespace quor {

static_assert(FallingRainGenerator::kSettingsBytes <= kSettingsBlockSize);

FallingRainGenerator::FallingRainGenerator(GeneratorContext& context)
    : ColorGroupOwner(kDefaultColor, kDefaultAutoColorMode), context_(context) {}

int FallingRainGenerator::ClampLength(int length) { return std::clamp(length, 0, 100); }

int FallingRainGenerator::ValidDirection(int direction) {
  return direction >= kTopToBottom && direction <= kRightToLeft ? direction : kTopToBottom;
}

bool FallingRainGenerator::Create(int width, int height) {
  busy_.WaitAndEnter(BusyStatus::kCreating, context_.console);
  drops_ = kDefaultDrops;
  length_ = kDefaultLength;
  direction_ = kTopToBottom;
  colors_.Reset(kDefaultColor, kDefaultAutoColorMode);
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  Rebuild();
  return true;
}

void FallingRainGenerator::Destroy() {
  busy_.WaitAndEnter(BusyStatus::kDestroyed, context_.console);
  dropList_ = {};
  width_ = 0;
  height_ = 0;
}

// A new drop in a random lane, entering up to four fall lengths later.
void FallingRainGenerator::SpawnDrop(Drop& drop) {
  drop.lane = context_.random.Next() % CrossSize();
  drop.head = -(context_.random.Next() % (4 * FallSize()));
}

void FallingRainGenerator::Rebuild() {
  dropList_.clear();
  if (width_ > 0 && height_ > 0) {
    const int count = (CrossSize() * 5 * drops_) / 100 + 1;
    dropList_.resize(static_cast<size_t>(count));
    for (Drop& drop : dropList_) SpawnDrop(drop);
  }
  busy_.SetReady();
}

template <typename Change>
void FallingRainGenerator::ChangeAndRebuild(Change change) {
  busy_.ChangeAndRebuild(context_.console, change, [this] { Rebuild(); });
}

void FallingRainGenerator::SetDrops(int drops) {
  ChangeAndRebuild([&] { drops_ = std::clamp(drops, 0, 100); });
}

void FallingRainGenerator::SetDirection(int direction) {
  ChangeAndRebuild([&] { direction_ = ValidDirection(direction); });
}

void FallingRainGenerator::ExchangeSettings(SettingsBlock& block, SettingsDirection direction) {
  using G = FallingRainGenerator;
  static constexpr auto kLayout = SettingsLayout<G>(
      {Stored<G, &G::drops_>(), Stored<G, &G::length_>(), Stored<G, &G::direction_>(),
       Stored<G, &G::colors_, &ColorGroup::color>(), Stored<G, &G::colors_, &ColorGroup::autoColorMode>()});
  static_assert(kLayout.bytes == kSettingsBytes);
  if (direction == SettingsDirection::kStore) {
    kLayout.Store(*this, block);
    return;
  }
  ChangeAndRebuild([&] {
    kLayout.Load(*this, block);
    // A negative drop count or tail length would size the drop list below
    // zero or divide by a zero tail; such values are clamped into range.
    drops_ = std::clamp(drops_, 0, 100);
    length_ = ClampLength(length_);
    direction_ = ValidDirection(direction_);
    colors_.SetColor(colors_.color);
    colors_.RestartWheel();
  });
}

void FallingRainGenerator::Render(const Canvas& canvas) {
  uint8_t* const frame = canvas.pixels;
  const int width = canvas.width;
  const int height = canvas.height;
  RenderGuard guard(busy_);
  if (!guard) return;
  // Lanes and positions belong to the size of the last Create.
  if (width != width_ || height != height_ || dropList_.empty()) return;

  std::memset(frame, 0, static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  const Rgb color = colors_.NextColor(context_);

  const int fall = FallSize();
  const int tail = (fall * 3 * length_) / 100 + 1;
  const int step = 255 / tail;
  for (const Drop& drop : dropList_) {
    if (drop.head < 0) continue;
    // The head is the brightest pixel; each tail pixel behind it is one step
    // darker. Pixels before the entry edge or past the far edge are clipped.
    for (int k = 0; k < tail; ++k) {
      const int along = drop.head - k;
      if (along < 0) break;
      if (along >= fall) continue;
      int x;
      int y;
      switch (direction_) {
        case kTopToBottom: x = drop.lane; y = along; break;
        case kBottomToTop: x = drop.lane; y = height - 1 - along; break;
        case kLeftToRight: x = along; y = drop.lane; break;
        default: x = width - 1 - along; y = drop.lane; break;
      }
      if (!canvas.Contains(x, y)) continue;
      const int fade = k * step;
      uint8_t* p = canvas.At(x, y);
      p[0] = std::max(p[0], static_cast<uint8_t>(std::max(color.r - fade, 0)));
      p[1] = std::max(p[1], static_cast<uint8_t>(std::max(color.g - fade, 0)));
      p[2] = std::max(p[2], static_cast<uint8_t>(std::max(color.b - fade, 0)));
    }
  }

  const int pixelStep = context_.pixelStep.load(std::memory_order_relaxed);
  for (Drop& drop : dropList_) {
    drop.head += pixelStep;
    if (drop.head > fall + tail) SpawnDrop(drop);
  }
}

std::unique_ptr<Generator> CreateFallingRainGenerator(GeneratorContext& context) {
  return std::make_unique<FallingRainGenerator>(context);
}

}  // namespace quor

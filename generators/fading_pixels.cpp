#include "generators/fading_pixels.h"

#include "core/random_source.h"
#include "generators/color.h"
#include "generators/draw.h"
#include "generators/settings_fields.h"

namespace quor {

static_assert(FadingPixelsGenerator::kSettingsBytes <= kSettingsBlockSize);

bool FadingPixelsGenerator::Create(int, int) {
  count_ = kDefaultCount;
  fade_ = kDefaultFade;
  size_ = 0;
  randomColor_ = 0;
  colors_.Reset(kDefaultColor, kDefaultAutoColorMode);
  return true;
}

void FadingPixelsGenerator::ExchangeSettings(SettingsBlock& block, SettingsDirection direction) {
  using G = FadingPixelsGenerator;
  static constexpr auto kLayout = SettingsLayout<G>(
      {Stored<G, &G::count_>(), Stored<G, &G::fade_>(), Stored<G, &G::size_>(), Stored<G, &G::randomColor_>(),
       Stored<G, &G::colors_, &ColorGroup::color>(), Stored<G, &G::colors_, &ColorGroup::autoColorMode>()});
  static_assert(kLayout.bytes == kSettingsBytes);
  if (direction == SettingsDirection::kStore) {
    kLayout.Store(*this, block);
    return;
  }
  kLayout.Load(*this, block);
  // Out-of-range values are clamped: a huge count or size would overflow the
  // pixel arithmetic, a fade below 1 would leave the picture standing.
  SetCount(count_);
  SetFade(fade_);
  SetSize(size_);
  colors_.SetColor(colors_.color);
  colors_.RestartWheel();
}

void FadingPixelsGenerator::Render(const Canvas& canvas) {
  uint8_t* const frame = canvas.pixels;
  const int width = canvas.width;
  const int height = canvas.height;
  if (width <= 0 || height <= 0) return;
  const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
  // A saturating subtraction on every byte of the previous picture.
  const uint8_t fade = static_cast<uint8_t>(fade_);
  for (size_t i = 0; i < bytes; ++i) {
    const uint8_t v = frame[i];
    frame[i] = v > fade ? static_cast<uint8_t>(v - fade) : uint8_t{0};
  }

  Rgb color = colors_.NextColor(context_);
  RandomSource& random = context_.random;
  const int extra = (((width * height) >> 2) * count_) / 100;
  for (int i = 0; i <= extra; ++i) {
    if (randomColor_ != 0) {
      color.r = random.Next() % 255;
      color.g = random.Next() % 255;
      color.b = random.Next() % 255;
    }
    const int x = random.Next() % width;
    const int y = random.Next() % height;
    if (size_ == 0) {
      uint8_t* p = canvas.At(x, y);
      p[0] = static_cast<uint8_t>(color.r);
      p[1] = static_cast<uint8_t>(color.g);
      p[2] = static_cast<uint8_t>(color.b);
    } else {
      FillRectangle(canvas, x, y, x + size_, y + size_, color, false);
    }
  }
}

std::unique_ptr<Generator> CreateFadingPixelsGenerator(GeneratorContext& context) {
  return std::make_unique<FadingPixelsGenerator>(context);
}

}  // namespace quor

#include "generators/fading_pixels.h"

#include "core/byte_io.h"
#include "core/random_source.h"
#include "generators/color.h"
#include "generators/draw.h"

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
  if (direction == SettingsDirection::kStore) {
    ByteWriter writer{std::span<uint8_t>(block)};
    writer.PutI32(count_);
    writer.PutI32(fade_);
    writer.PutI32(size_);
    writer.PutI32(randomColor_);
    writer.PutI32(colors_.color.r);
    writer.PutI32(colors_.color.g);
    writer.PutI32(colors_.color.b);
    writer.PutI32(colors_.autoColorMode);
    return;
  }
  ByteReader reader{std::span<const uint8_t>(block)};
  // Out-of-range values are clamped: a huge count or size would overflow the
  // pixel arithmetic, a fade below 1 would leave the picture standing.
  SetCount(reader.GetI32());
  SetFade(reader.GetI32());
  SetSize(reader.GetI32());
  randomColor_ = reader.GetI32();
  Rgb color;
  color.r = reader.GetI32();
  color.g = reader.GetI32();
  color.b = reader.GetI32();
  colors_.SetColor(color);
  colors_.autoColorMode = reader.GetI32();
  colors_.RestartWheel();
}

void FadingPixelsGenerator::Render(uint8_t* frame, int width, int height) {
  if (width <= 0 || height <= 0) return;
  const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
  // A saturating subtraction on every byte of the previous picture.
  const uint8_t fade = static_cast<uint8_t>(fade_);
  for (size_t i = 0; i < bytes; ++i) {
    const uint8_t v = frame[i];
    frame[i] = v > fade ? static_cast<uint8_t>(v - fade) : uint8_t{0};
  }

  Rgb color = colors_.NextColor(context_);

  const Canvas canvas{frame, width, height};
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

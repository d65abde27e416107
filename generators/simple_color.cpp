#include "generators/simple_color.h"

#include <cassert>
#include <cstring>

#include "generators/settings_fields.h"

namespace quor {

static_assert(kSimpleColorSettingsBytes <= kSettingsBlockSize);

void FillFrame(const Canvas& canvas, Rgb color) {
  if (canvas.width <= 0 || canvas.height <= 0) return;
  const uint8_t pixel[3] = {static_cast<uint8_t>(color.r), static_cast<uint8_t>(color.g),
                            static_cast<uint8_t>(color.b)};
  // Paint the first row pixel by pixel, then copy it down.
  const size_t rowBytes = static_cast<size_t>(canvas.width) * 3;
  for (size_t i = 0; i < rowBytes; i += 3) std::memcpy(canvas.pixels + i, pixel, 3);
  for (int y = 1; y < canvas.height; ++y) std::memcpy(canvas.At(0, y), canvas.pixels, rowBytes);
}

bool SimpleColorGenerator::Create(int, int) {
  colors_.Reset({255, 0, 0}, kAutoColorOff);
  return true;
}

void SimpleColorGenerator::Render(const Canvas& canvas) {
  FillFrame(canvas, colors_.NextColor(context_));
}

void SimpleColorGenerator::ExchangeSettings(SettingsBlock& block, SettingsDirection direction) {
  using G = SimpleColorGenerator;
  static constexpr auto kLayout = SettingsLayout<G>(
      {Stored<G, &G::colors_, &ColorGroup::color>(), Stored<G, &G::colors_, &ColorGroup::autoColorMode>()});
  static_assert(kLayout.bytes == kSimpleColorSettingsBytes);
  if (direction == SettingsDirection::kStore) {
    kLayout.Store(*this, block);
    return;
  }
  kLayout.Load(*this, block);
  colors_.RestartWheel();
}

std::unique_ptr<Generator> CreateSimpleColorGenerator(GeneratorContext& context) {
  return std::make_unique<SimpleColorGenerator>(context);
}

}  // namespace quor

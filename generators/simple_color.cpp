#include "generators/simple_color.h"

#include <cassert>
#include <cstring>

#include "core/byte_io.h"

namespace quor {

static_assert(kSimpleColorSettingsBytes <= kSettingsBlockSize);

void FillFrame(uint8_t* frame, int width, int height, Rgb color) {
  if (width <= 0 || height <= 0) return;
  const uint8_t pixel[3] = {static_cast<uint8_t>(color.r), static_cast<uint8_t>(color.g),
                            static_cast<uint8_t>(color.b)};
  // Paint the first row pixel by pixel, then copy it down.
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  for (size_t i = 0; i < rowBytes; i += 3) std::memcpy(frame + i, pixel, 3);
  for (int y = 1; y < height; ++y) std::memcpy(frame + static_cast<size_t>(y) * rowBytes, frame, rowBytes);
}

bool SimpleColorGenerator::Create(int, int) {
  colors_.Reset({255, 0, 0}, kAutoColorOff);
  return true;
}

void SimpleColorGenerator::Render(uint8_t* frame, int width, int height) {
  FillFrame(frame, width, height, colors_.NextColor(context_));
}

void SimpleColorGenerator::ExchangeSettings(SettingsBlock& block, SettingsDirection direction) {
  if (direction == SettingsDirection::kStore) {
    ByteWriter writer(block);
    writer.PutI32(colors_.color.r);
    writer.PutI32(colors_.color.g);
    writer.PutI32(colors_.color.b);
    writer.PutI32(colors_.autoColorMode);
    assert(writer.position() == kSimpleColorSettingsBytes);
    return;
  }
  ByteReader reader(block);
  colors_.color.r = reader.GetI32();
  colors_.color.g = reader.GetI32();
  colors_.color.b = reader.GetI32();
  colors_.autoColorMode = reader.GetI32();
  colors_.RestartWheel();
}

std::unique_ptr<Generator> CreateSimpleColorGenerator(GeneratorContext& context) {
  return std::make_unique<SimpleColorGenerator>(context);
}

}  // namespace quor

#include "output/bitmap_encoder.h"

#include <cstdio>

#include "core/byte_io.h"

namespace quor {

size_t BitmapRowBytes(int width) {
  const size_t raw = static_cast<size_t>(width > 0 ? width : 0) * 3;
  return (raw + 3) / 4 * 4;
}

void EncodeBitmap(FrameView frame, std::vector<uint8_t>& out) {
  const int width = frame.width > 0 ? frame.width : 0;
  const int height = frame.height > 0 ? frame.height : 0;
  const size_t row = BitmapRowBytes(width);
  const size_t size = kBitmapHeaderBytes + row * static_cast<size_t>(height);
  out.assign(size, 0);
  ByteWriter w(out);
  w.PutU8('B');
  w.PutU8('M');
  w.PutU32(static_cast<uint32_t>(size));
  w.PutU32(0);                         // reserved
  w.PutU32(kBitmapHeaderBytes);        // offset of the pixel data
  w.PutU32(40);                        // information header size
  w.PutI32(width);
  w.PutI32(height);                    // positive: rows bottom-up
  w.PutU16(1);                         // planes
  w.PutU16(24);                        // bits per pixel
  w.Skip(24);                          // no compression; sizes and resolution 0
  for (int y = height - 1; y >= 0; --y) {
    uint8_t* dst = out.data() + kBitmapHeaderBytes + row * static_cast<size_t>(height - 1 - y);
    const uint8_t* src = frame.pixels + static_cast<size_t>(y) * static_cast<size_t>(width) * 3;
    for (int x = 0; x < width; ++x, src += 3, dst += 3) {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
    }
  }
}

std::string BitmapFileName(std::string_view folder, int counter) {
  char name[32];
  std::snprintf(name, sizeof name, "%08d.bmp", counter);
  std::string result(folder);
  if (!result.empty() && result.back() != '/') result += '/';
  return result + name;
}

}  // namespace quor

#include "output/recorder_encoder.h"

#include <cstddef>

namespace quor {

void EncodeRecorderFrame(FrameView frame, std::vector<uint8_t>& out) {
  const size_t w = static_cast<size_t>(frame.width > 0 ? frame.width : 0);
  const size_t h = static_cast<size_t>(frame.height > 0 ? frame.height : 0);
  out.resize(w * h * 3);
  uint8_t* dst = out.data();
  for (size_t x = 0; x < w; ++x) {
    const uint8_t* src = frame.pixels + x * 3;
    for (size_t y = 0; y < h; ++y, src += w * 3) {
      *dst++ = static_cast<uint8_t>(src[0] ^ 0x80);
      *dst++ = static_cast<uint8_t>(src[1] ^ 0x80);
      *dst++ = static_cast<uint8_t>(src[2] ^ 0x80);
    }
  }
}

}  // namespace quor

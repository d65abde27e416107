#include "output/glediator_encoder.h"

#include <algorithm>

namespace quor {

void EncodeGlediator(const OutputDevice& /*device*/, std::span<uint8_t> buffer, std::vector<uint8_t>& /*scratch*/,
                     const PacketSink& sink) {
  if (buffer.size() < kGlediatorHeaderBytes + kBufferTrailerBytes) return;
  const size_t channels = ChannelsIn(buffer, kGlediatorHeaderBytes);
  const auto data = buffer.subspan(kGlediatorHeaderBytes, channels);
  std::replace(data.begin(), data.end(), uint8_t{0x01}, uint8_t{0x02});
  buffer[0] = 0x01;
  sink(buffer.first(kGlediatorHeaderBytes + channels));
}

}  // namespace quor

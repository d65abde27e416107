#include "output/minidmx_encoder.h"

namespace quor {

uint8_t MiniDmxTypeByte(size_t channels) {
  switch (channels) {
    case 96: return 0xA0;
    case 256: return 0xA1;
    case 512: return 0xA2;
    case 768: return 0xB0;
    case 1536: return 0xB1;
    case 3072: return 0xB2;
    default: return 0;
  }
}

void EncodeMiniDmx(const OutputDevice& /*device*/, std::span<uint8_t> buffer, std::vector<uint8_t>& /*scratch*/,
                   const PacketSink& sink) {
  const size_t channels = ChannelsIn(buffer, kMiniDmxHeaderBytes);
  const uint8_t type = MiniDmxTypeByte(channels);
  if (type == 0) return;
  buffer[0] = 0x5A;  // start byte
  buffer[1] = type;
  buffer[kMiniDmxHeaderBytes + channels] = 0xA5;  // end byte
  sink(buffer.first(kMiniDmxHeaderBytes + channels + 1));
}

}  // namespace quor

#include "output/tpm2_encoder.h"

namespace quor {

void EncodeTpm2(const OutputDevice& /*device*/, std::span<uint8_t> buffer, std::vector<uint8_t>& /*scratch*/,
                const PacketSink& sink) {
  if (buffer.size() < kTpm2HeaderBytes + kBufferTrailerBytes) return;
  const size_t channels = ChannelsIn(buffer, kTpm2HeaderBytes);
  ByteWriter header(buffer.first(kTpm2HeaderBytes));
  header.PutU8(0xC9);  // start byte
  header.PutU8(0xDA);  // data frame
  header.PutU16BigEndian(static_cast<uint16_t>(channels));
  buffer[kTpm2HeaderBytes + channels] = 0x36;  // end byte
  sink(buffer.first(kTpm2HeaderBytes + channels + 1));
}

}  // namespace quor

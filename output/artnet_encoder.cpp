#include "output/artnet_encoder.h"

namespace quor {

void EncodeArtDmx(const OutputDevice& device, std::span<uint8_t> buffer, std::vector<uint8_t>& /*scratch*/,
                  const PacketSink& sink) {
  if (buffer.size() < kArtNetHeaderBytes + kBufferTrailerBytes) return;
  const size_t channels = ChannelsIn(buffer, kArtNetHeaderBytes);
  ByteWriter out(buffer.first(kArtNetHeaderBytes));
  out.PutBytes("Art-Net", 8);  // with its terminating zero
  out.PutU16(0x5000);          // OpDmx, low byte first
  out.PutU16BigEndian(14);     // protocol version
  out.PutU8(0);                // sequence: not used
  out.PutU8(0);                // physical input
  out.PutU8(static_cast<uint8_t>(device.subnet * 16 + device.universe));
  out.PutU8(static_cast<uint8_t>(device.driverParam));  // Net
  out.PutU16BigEndian(static_cast<uint16_t>(channels));
  sink(buffer.first(kArtNetHeaderBytes + channels));
}

}  // namespace quor

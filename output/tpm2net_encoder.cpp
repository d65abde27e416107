#include "output/tpm2net_encoder.h"

#include <algorithm>

namespace quor {

int Tpm2NetPacketCount(size_t channels, int perBlock) {
  if (perBlock < 1 || channels == 0) return 0;
  const size_t block = static_cast<size_t>(perBlock);
  return static_cast<int>((channels + block - 1) / block);
}

void EncodeTpm2Net(const OutputDevice& device, std::span<uint8_t> buffer, std::vector<uint8_t>& scratch,
                   const PacketSink& sink) {
  const size_t channels = ChannelsIn(buffer, kTpm2NetHeaderBytes);
  const int packets = Tpm2NetPacketCount(channels, device.driverParam);
  if (packets < 1) return;
  const size_t block = static_cast<size_t>(device.driverParam);
  const std::span<const uint8_t> data = buffer.subspan(kTpm2NetHeaderBytes, channels);
  for (int n = 1; n <= packets; ++n) {
    const size_t start = static_cast<size_t>(n - 1) * block;
    const size_t size = std::min(block, channels - start);
    scratch.resize(kTpm2NetHeaderBytes + size + 1);
    ByteWriter out(scratch);
    out.PutU8(0x9C);  // start byte
    out.PutU8(0xDA);  // data frame
    out.PutU16BigEndian(static_cast<uint16_t>(size));
    out.PutU8(static_cast<uint8_t>(n));        // packet number, from 1
    out.PutU8(static_cast<uint8_t>(packets));  // packets in this frame
    out.PutBytes(data.data() + start, size);
    out.PutU8(0x36);  // end byte
    sink(std::span<const uint8_t>(scratch));
  }
}

}  // namespace quor

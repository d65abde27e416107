#include "output/ddp_encoder.h"

#include <algorithm>

namespace quor {
namespace {

constexpr size_t kSequenceOffset = 1;

void WriteHeader(std::span<uint8_t> header, bool push, uint8_t sequence, size_t offset, size_t length) {
  ByteWriter out(header.first(kDdpHeaderBytes));
  out.PutU8(static_cast<uint8_t>(kDdpVersion1 | (push ? kDdpPush : 0)));
  out.PutU8(sequence);
  out.PutU8(kDdpTypeRgb8);
  out.PutU8(kDdpIdDisplay);
  out.PutU32BigEndian(static_cast<uint32_t>(offset));
  out.PutU16BigEndian(static_cast<uint16_t>(length));
}

}  // namespace

void EncodeDdp(const OutputDevice& /*device*/, std::span<uint8_t> buffer, std::vector<uint8_t>& scratch,
               const PacketSink& sink) {
  const size_t channels = ChannelsIn(buffer, kDdpHeaderBytes);
  if (buffer.size() < kDdpHeaderBytes + kBufferTrailerBytes || channels == 0) return;
  uint8_t sequence = buffer[kSequenceOffset] & 0x0F;
  const std::span<const uint8_t> data = buffer.subspan(kDdpHeaderBytes, channels);
  for (size_t offset = 0; offset < channels; offset += kDdpMaxDataBytes) {
    const size_t length = std::min(kDdpMaxDataBytes, channels - offset);
    const bool last = offset + length == channels;
    sequence = static_cast<uint8_t>(sequence % 15 + 1);  // 1..15; 0 would mean "not used"
    if (offset == 0) {
      WriteHeader(buffer, last, sequence, offset, length);
      sink(buffer.first(kDdpHeaderBytes + length));
    } else {
      scratch.resize(kDdpHeaderBytes + length);
      WriteHeader(scratch, last, sequence, offset, length);
      std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(offset), length, scratch.begin() + kDdpHeaderBytes);
      sink(std::span<const uint8_t>(scratch));
    }
  }
  buffer[kSequenceOffset] = sequence;
}

}  // namespace quor

#include "output/sacn_encoder.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace quor {
namespace {

constexpr size_t kRootLayerStart = 16;     // flags and length of the root layer
constexpr size_t kFramingLayerStart = 38;  // flags and length of the framing layer
constexpr size_t kDmpLayerStart = 115;     // flags and length of the DMP layer
constexpr size_t kSequenceOffset = 111;
constexpr size_t kOptionsOffset = 112;
constexpr uint8_t kStreamTerminated = 0x40;
constexpr size_t kSourceNameBytes = 64;

// PDU flags (0x7) in the top four bits, the PDU's length in the low twelve.
uint16_t FlagsAndLength(size_t length) { return static_cast<uint16_t>(0x7000 | (length & 0x0FFF)); }

// Writes the whole header for `slots` slots with `sequence` and `options`.
void WriteHeader(const OutputDevice& device, std::span<uint8_t> header, size_t slots, uint8_t sequence,
                 uint8_t options) {
  const size_t total = kSacnHeaderBytes + slots;
  const uint16_t syncAddress =
      static_cast<uint16_t>(header[kSacnSyncAddressOffset] << 8 | header[kSacnSyncAddressOffset + 1]);
  ByteWriter out(header.first(kSacnHeaderBytes));
  // Root layer.
  out.PutU16BigEndian(0x0010);  // preamble size
  out.PutU16BigEndian(0x0000);  // post-amble size
  out.PutBytes("ASC-E1.17\0\0\0", 12);
  out.PutU16BigEndian(FlagsAndLength(total - kRootLayerStart));
  out.PutU32BigEndian(0x00000004);  // VECTOR_ROOT_E131_DATA
  const SacnCid cid = CidOf(device);
  out.PutBytes(cid.data(), cid.size());
  // Framing layer.
  out.PutU16BigEndian(FlagsAndLength(total - kFramingLayerStart));
  out.PutU32BigEndian(0x00000002);  // VECTOR_E131_DATA_PACKET
  char name[kSourceNameBytes] = {};
  std::memcpy(name, kSacnSourceName, std::strlen(kSacnSourceName));
  out.PutBytes(name, sizeof name);
  out.PutU8(static_cast<uint8_t>(std::clamp(device.driverParam, 0, kSacnMaxPriority)));
  out.PutU16BigEndian(syncAddress);  // 0: none
  out.PutU8(sequence);
  out.PutU8(options);
  out.PutU16BigEndian(static_cast<uint16_t>(device.universe));
  // DMP layer.
  out.PutU16BigEndian(FlagsAndLength(total - kDmpLayerStart));
  out.PutU8(0x02);              // VECTOR_DMP_SET_PROPERTY
  out.PutU8(0xA1);              // address and data type
  out.PutU16BigEndian(0x0000);  // first property address
  out.PutU16BigEndian(0x0001);  // address increment
  out.PutU16BigEndian(static_cast<uint16_t>(slots + 1));  // property value count, START code included
  out.PutU8(0x00);              // DMX512-A START code
}

// Sends one packet with the buffer's next sequence number. A universe
// outside 1..63999 (a damaged record) sends nothing: 0 and 64000 and above
// are not for data.
void SendPacket(const OutputDevice& device, std::span<uint8_t> buffer, uint8_t options, const PacketSink& sink) {
  if (device.universe < kSacnMinUniverse || device.universe > kSacnMaxUniverse) return;
  const size_t slots = std::min(ChannelsIn(buffer, kSacnHeaderBytes), static_cast<size_t>(kSacnMaxSlots));
  const uint8_t sequence = buffer[kSequenceOffset];
  WriteHeader(device, buffer, slots, sequence, options);
  sink(buffer.first(kSacnHeaderBytes + slots));
  buffer[kSequenceOffset] = static_cast<uint8_t>(sequence + 1);
}

}  // namespace

SacnCid CidOf(const OutputDevice& device) {
  SacnCid cid;
  std::memcpy(cid.data(), device.path.data() + kSacnCidOffset, cid.size());
  return cid;
}

void SetCid(OutputDevice& device, const SacnCid& cid) {
  std::memcpy(device.path.data() + kSacnCidOffset, cid.data(), cid.size());
}

bool IsZeroCid(const SacnCid& cid) {
  return std::all_of(cid.begin(), cid.end(), [](uint8_t b) { return b == 0; });
}

SacnCid NewCid() {
  std::random_device random;
  SacnCid cid;
  for (size_t i = 0; i < cid.size(); i += 4) {
    const uint32_t word = random();
    for (size_t k = 0; k < 4; ++k) cid[i + k] = static_cast<uint8_t>(word >> (8 * k));
  }
  cid[6] = static_cast<uint8_t>((cid[6] & 0x0F) | 0x40);  // version 4
  cid[8] = static_cast<uint8_t>((cid[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return cid;
}

namespace {
std::string MulticastGroup(int universe) {
  universe &= 0xFFFF;
  return "239.255." + std::to_string(universe >> 8) + "." + std::to_string(universe & 0xFF);
}
}  // namespace

std::string SacnDestination(const OutputDevice& device) {
  const std::string_view address = device.AddressText();
  if (!address.empty() && address != "multicast") return std::string(address);
  return MulticastGroup(device.universe);
}

std::string SacnSyncDestination(const OutputDevice& device, int universe) {
  const std::string_view address = device.AddressText();
  if (!address.empty() && address != "multicast") return std::string(address);
  return MulticastGroup(universe);
}

void SetSacnSyncAddress(std::span<uint8_t> buffer, int universe) {
  if (buffer.size() < kSacnHeaderBytes) return;
  buffer[kSacnSyncAddressOffset] = static_cast<uint8_t>(universe >> 8);
  buffer[kSacnSyncAddressOffset + 1] = static_cast<uint8_t>(universe);
}

std::array<uint8_t, kSacnSyncBytes> SacnSyncPacket(const SacnCid& cid, uint8_t sequence, int universe) {
  std::array<uint8_t, kSacnSyncBytes> packet{};
  ByteWriter out(packet);
  // Root layer.
  out.PutU16BigEndian(0x0010);  // preamble size
  out.PutU16BigEndian(0x0000);  // post-amble size
  out.PutBytes("ASC-E1.17\0\0\0", 12);
  out.PutU16BigEndian(FlagsAndLength(kSacnSyncBytes - kRootLayerStart));
  out.PutU32BigEndian(0x00000008);  // VECTOR_ROOT_E131_EXTENDED
  out.PutBytes(cid.data(), cid.size());
  // Framing layer.
  out.PutU16BigEndian(FlagsAndLength(kSacnSyncBytes - kFramingLayerStart));
  out.PutU32BigEndian(0x00000001);  // VECTOR_E131_EXTENDED_SYNCHRONIZATION
  out.PutU8(sequence);
  out.PutU16BigEndian(static_cast<uint16_t>(universe));
  out.PutU16BigEndian(0);  // reserved
  return packet;
}

void EncodeSacn(const OutputDevice& device, std::span<uint8_t> buffer, std::vector<uint8_t>& /*scratch*/,
                const PacketSink& sink) {
  if (buffer.size() < kSacnHeaderBytes + kBufferTrailerBytes) return;
  SendPacket(device, buffer, 0, sink);
}

void EncodeSacnStop(const OutputDevice& device, std::span<uint8_t> buffer, std::vector<uint8_t>& /*scratch*/,
                    const PacketSink& sink) {
  if (buffer.size() < kSacnHeaderBytes + kBufferTrailerBytes) return;
  // The options byte remembers between the two stop frames that the plain
  // black packet has gone out.
  if ((buffer[kOptionsOffset] & kStreamTerminated) == 0) {
    SendPacket(device, buffer, 0, sink);
    buffer[kOptionsOffset] = kStreamTerminated;
    return;
  }
  for (int k = 0; k < 3; ++k) SendPacket(device, buffer, kStreamTerminated, sink);
}

}  // namespace quor

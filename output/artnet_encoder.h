// Art-Net ArtDmx datagrams: an 18-byte header in front of the channel data.
// Pure; any thread.
#pragma once

#include <array>

#include "output/encoder.h"

namespace quor {

inline constexpr size_t kArtNetHeaderBytes = 18;

// Writes the header into the first 18 bytes of `buffer` and emits one
// datagram of 18 + channels bytes.
void EncodeArtDmx(const OutputDevice& device, std::span<uint8_t> buffer, std::vector<uint8_t>& scratch,
                  const PacketSink& sink);

// ArtSync: sent after a frame's ArtDmx packets so that nodes show the
// universes of one frame at the same moment.
inline constexpr size_t kArtSyncBytes = 14;
inline constexpr std::array<uint8_t, kArtSyncBytes> kArtSyncPacket = {
    'A', 'r', 't', '-', 'N', 'e', 't', 0,  // ID with its terminating zero
    0x00, 0x52,                            // OpSync, low byte first
    0, 14,                                 // protocol version, high byte first
    0, 0};                                 // Aux1, Aux2

}  // namespace quor

// Art-Net ArtDmx datagrams: an 18-byte header in front of the channel data.
// Pure; any thread.
#pragma once

#include "output/encoder.h"

namespace quor {

inline constexpr size_t kArtNetHeaderBytes = 18;

// Writes the header into the first 18 bytes of `buffer` and emits one
// datagram of 18 + channels bytes.
void EncodeArtDmx(const OutputDevice& device, std::span<uint8_t> buffer, std::vector<uint8_t>& scratch,
                  const PacketSink& sink);

}  // namespace quor

// Glediator serial frames: a 0x01 start byte, then the channel bytes with
// every 0x01 raised to 0x02 so that 0x01 only ever marks a frame start.
// Pure; any thread.
#pragma once

#include "output/encoder.h"

namespace quor {

inline constexpr size_t kGlediatorHeaderBytes = 1;

// Rewrites the channel part in place and emits the 1 + channels bytes.
void EncodeGlediator(const OutputDevice& device, std::span<uint8_t> buffer, std::vector<uint8_t>& scratch,
                     const PacketSink& sink);

}  // namespace quor

// MiniDMX serial frames: 5A, a type byte naming the channel count, the
// channels, A5. Only six channel counts exist; any other sends nothing.
// Pure; any thread.
#pragma once

#include "output/encoder.h"

namespace quor {

inline constexpr size_t kMiniDmxHeaderBytes = 2;

// The type byte for a channel count, or 0 when the count has none.
uint8_t MiniDmxTypeByte(size_t channels);

void EncodeMiniDmx(const OutputDevice& device, std::span<uint8_t> buffer, std::vector<uint8_t>& scratch,
                   const PacketSink& sink);

}  // namespace quor

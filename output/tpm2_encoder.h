// tpm2 serial frames: C9 DA, the channel count high byte first, the
// channels, 36. Pure; any thread.
#pragma once

#include "output/encoder.h"

namespace quor {

inline constexpr size_t kTpm2HeaderBytes = 4;

// Fills the header and the end byte around the channels and emits the
// 4 + channels + 1 bytes.
void EncodeTpm2(const OutputDevice& device, std::span<uint8_t> buffer, std::vector<uint8_t>& scratch,
                const PacketSink& sink);

}  // namespace quor

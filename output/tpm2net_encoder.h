// tpm2.net block datagrams: the channels are cut into blocks of
// `driverParam` bytes, each sent as its own numbered packet. Pure; any thread.
#pragma once

#include "output/encoder.h"

namespace quor {

inline constexpr size_t kTpm2NetHeaderBytes = 6;

// Number of packets for `channels` bytes in blocks of `perBlock` (0 when
// either is below 1).
int Tpm2NetPacketCount(size_t channels, int perBlock);

// Emits the packets in order; the channel part of `buffer` is not changed.
void EncodeTpm2Net(const OutputDevice& device, std::span<uint8_t> buffer, std::vector<uint8_t>& scratch,
                   const PacketSink& sink);

}  // namespace quor

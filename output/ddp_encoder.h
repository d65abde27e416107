// DDP (Distributed Display Protocol) data packets: a 10-byte header in
// front of at most 1440 data bytes; a frame longer than that goes out as
// several packets, each with its byte offset in the frame, and the last one
// carries the push flag that makes the display show the frame. Data type
// RGB, 8 bits per colour. Pure; any thread.
//
// The 4-bit sequence number (1..15, counting packets) lives in the send
// buffer's header, which persists from frame to frame while output runs.
#pragma once

#include "output/encoder.h"

namespace quor {

inline constexpr size_t kDdpHeaderBytes = 10;
inline constexpr size_t kDdpMaxDataBytes = 1440;
inline constexpr int kDdpPort = 4048;
inline constexpr uint8_t kDdpVersion1 = 0x40;
inline constexpr uint8_t kDdpPush = 0x01;
inline constexpr uint8_t kDdpTypeRgb8 = 0x0B;  // standard type, RGB, 8 bits per element
inline constexpr uint8_t kDdpIdDisplay = 1;    // the default output device

// Emits ceil(channels / 1440) packets; the first is built in place in the
// buffer, the others in `scratch`.
void EncodeDdp(const OutputDevice& device, std::span<uint8_t> buffer, std::vector<uint8_t>& scratch,
               const PacketSink& sink);

}  // namespace quor

// What every wire encoder shares. An encoder is a pure function: it takes a
// device's settings and its send buffer and hands the finished packets or
// frames to a sink, in order; it never touches a socket or a file.
//
// The send buffer of a device is its header bytes, then its channel bytes
// (filled by the patch), then one spare byte for a protocol's end byte:
// headerLength + channels + kBufferTrailerBytes bytes in all. The channel
// count is taken from the buffer's size, never from the stored settings, so
// an encoder cannot reach past the buffer it was given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "output/output_device.h"

namespace quor {

inline constexpr size_t kBufferTrailerBytes = 1;

using PacketSink = std::function<void(std::span<const uint8_t>)>;

// `scratch` is a reusable work buffer owned by the caller (encoders that
// assemble packets outside `buffer` use it).
using BufferEncoder = void (*)(const OutputDevice& device, std::span<uint8_t> buffer, std::vector<uint8_t>& scratch,
                               const PacketSink& sink);

// The number of channel bytes in a send buffer with `headerLength` header
// bytes (0 when the buffer is too small to hold even the header).
inline size_t ChannelsIn(std::span<const uint8_t> buffer, size_t headerLength) {
  const size_t fixed = headerLength + kBufferTrailerBytes;
  return buffer.size() > fixed ? buffer.size() - fixed : 0;
}

}  // namespace quor

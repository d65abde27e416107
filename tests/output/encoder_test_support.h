// Runs a buffer encoder the way the sender does and keeps every packet.
#pragma once

#include <cstdint>
#include <vector>

#include "output/drivers.h"
#include "output/output_device.h"

namespace quor::test {

using Packets = std::vector<std::vector<uint8_t>>;

// A send buffer for `device` (header, channels, trailer) with the channel
// part set to `channels` (missing bytes 0).
inline std::vector<uint8_t> SendBuffer(const OutputDevice& device, const std::vector<uint8_t>& channels) {
  const size_t header = static_cast<size_t>(FindDriver(device.driver)->headerLength);
  std::vector<uint8_t> buffer(header + static_cast<size_t>(device.channels) + kBufferTrailerBytes, 0);
  for (size_t i = 0; i < channels.size() && i < static_cast<size_t>(device.channels); ++i) buffer[header + i] = channels[i];
  return buffer;
}

inline Packets Encode(const OutputDevice& device, std::vector<uint8_t>& buffer) {
  Packets packets;
  std::vector<uint8_t> scratch;
  FindDriver(device.driver)->encode(device, buffer, scratch, [&packets](std::span<const uint8_t> bytes) {
    packets.emplace_back(bytes.begin(), bytes.end());
  });
  return packets;
}

inline OutputDevice Device(int driver, int channels, int driverParam = 0) {
  OutputDevice d;
  d.driver = driver;
  d.channels = channels;
  d.driverParam = driverParam;
  d.headerLength = FindDriver(driver)->headerLength;
  d.SetAddress("127.0.0.1");
  return d;
}

}  // namespace quor::test

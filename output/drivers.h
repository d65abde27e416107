// The table of the output drivers: the name shown, the header length
// in front of the channel data, the transport and the encoder. Adding a
// protocol means one encoder pair and one line here. Read-only; any thread.
#pragma once

#include <array>
#include <string>

#include "output/encoder.h"

namespace quor {

enum class TransportKind { kUdp, kSerial, kBitmapFolder, kRecorderFile };

struct DriverInfo {
  const char* name;
  int headerLength;
  TransportKind transport;
  BufferEncoder encode;  // nullptr for the drivers that write whole frames
  // For the black frames of a stop, when they differ; nullptr = `encode`.
  BufferEncoder encodeStop = nullptr;
  // The destination address text; nullptr = the device's address field.
  std::string (*destination)(const OutputDevice&) = nullptr;
};

const std::array<DriverInfo, kDriverCount>& Drivers();
// The driver's row, or nullptr for a value outside the table.
const DriverInfo* FindDriver(int driver);
// Where the driver's datagrams for `device` go (dotted IPv4 text).
std::string DestinationOf(const OutputDevice& device);
// Drivers that have a send buffer (network and serial).
bool HasSendBuffer(int driver);

}  // namespace quor

// This machine's own IPv4 addresses, as the network interfaces hold them.
// Asks the kernel each call; any thread but the clock thread.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/failure.h"

namespace quor {

// The IPv4 addresses of the network interfaces that are up and are not
// loopback interfaces, in the order the system lists them (first byte
// first: 192.168.0.10 is {192, 168, 0, 10}).
Result<std::vector<std::array<uint8_t, 4>>> OwnIpv4Addresses();

}  // namespace quor

// The IPv4 address this machine answers Art-Net discovery with.
#pragma once

#include <array>
#include <cstdint>

namespace quor {

// The first IPv4 address of a network interface that is up and is not a
// loopback interface, in the order the system lists them; 127.0.0.1 when
// there is none.
std::array<uint8_t, 4> FindOwnIpv4Address();

}  // namespace quor

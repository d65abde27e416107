#include "platform/network_interfaces.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>

namespace quor {

Result<std::vector<std::array<uint8_t, 4>>> OwnIpv4Addresses() {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return SystemFailure("network interfaces", errno);
  std::vector<std::array<uint8_t, 4>> addresses;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
    const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
    std::array<uint8_t, 4> address{};
    std::memcpy(address.data(), &in->sin_addr.s_addr, 4);  // network order: first byte first
    addresses.push_back(address);
  }
  ::freeifaddrs(list);
  return addresses;
}

}  // namespace quor

#include "output/own_address.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstring>

namespace quor {

std::array<uint8_t, 4> FindOwnIpv4Address() {
  std::array<uint8_t, 4> address{127, 0, 0, 1};
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return address;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
    const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
    std::memcpy(address.data(), &in->sin_addr.s_addr, 4);  // network order: first byte first
    break;
  }
  ::freeifaddrs(list);
  return address;
}

}  // namespace quor

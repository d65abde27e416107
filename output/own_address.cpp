#include "output/own_address.h"

#include "platform/network_interfaces.h"

namespace quor {

std::array<uint8_t, 4> FindOwnIpv4Address() {
  const Result<std::vector<std::array<uint8_t, 4>>> addresses = OwnIpv4Addresses();
  if (!addresses || addresses->empty()) return {127, 0, 0, 1};
  return addresses->front();
}

}  // namespace quor

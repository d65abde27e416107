// The private network fixture itself: inside it only loopback exists and a
// limited broadcast comes back on loopback.
#include "private_network.h"

#include <gtest/gtest.h>
#include <poll.h>

namespace quor {
namespace {

bool OnlyLoopbackExists() {
  struct if_nameindex* names = if_nameindex();
  if (names == nullptr) return false;
  int count = 0;
  bool onlyLo = true;
  for (struct if_nameindex* n = names; n->if_index != 0; ++n, ++count) onlyLo = onlyLo && std::strcmp(n->if_name, "lo") == 0;
  if_freenameindex(names);
  return onlyLo && count == 1;
}

bool BroadcastComesBack() {
  const int receiver = socket(AF_INET, SOCK_DGRAM, 0);
  const int sender = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  socklen_t length = sizeof(address);
  const int on = 1;
  if (bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      getsockname(receiver, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      setsockopt(sender, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on)) != 0) {
    return false;
  }
  address.sin_addr.s_addr = htonl(INADDR_BROADCAST);
  const char ping[] = "ping";
  if (sendto(sender, ping, sizeof(ping), 0, reinterpret_cast<sockaddr*>(&address), sizeof(address)) < 0) {
    std::fprintf(stderr, "broadcast send failed: %s\n", std::strerror(errno));
    return false;
  }
  pollfd wait{receiver, POLLIN, 0};
  char got[8] = {};
  const bool received = poll(&wait, 1, 1000) == 1 && recv(receiver, got, sizeof(got), 0) == sizeof(ping);
  close(sender);
  close(receiver);
  return received && std::strcmp(got, ping) == 0;
}

TEST(PrivateNetwork, HoldsOnlyLoopbackAndCarriesLimitedBroadcast) {
  const test::PrivateNetworkResult result =
      test::RunInPrivateNetwork([] { return OnlyLoopbackExists() && BroadcastComesBack(); });
  if (result == test::PrivateNetworkResult::kUnavailable) {
    GTEST_SKIP() << "this kernel allows no private network namespace here (run as root or enable "
                    "unprivileged user namespaces)";
  }
  EXPECT_EQ(result, test::PrivateNetworkResult::kPassed);
}

}  // namespace
}  // namespace quor

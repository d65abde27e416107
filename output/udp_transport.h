// The per-device transport that sends a network device's datagrams to its
// address and port on the socket all network devices share (owned by
// Outputs: the UI thread opens and closes it, the sending thread sends).
// The socket is platform/udp_socket.h's, or any DatagramSocket a test puts
// in its place.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "output/transport.h"
#include "platform/udp_socket.h"

namespace quor {

class UdpTransport : public Transport {
 public:
  // `address` is dotted IPv4 text; text that is not an address sends
  // nothing (rather than falling back to the broadcast address).
  UdpTransport(DatagramSocket& socket, std::string_view address, int port);
  void Send(std::span<const uint8_t> bytes) override;
  bool HasDestination() const { return destination_.has_value(); }

 private:
  DatagramSocket& socket_;
  std::optional<Ipv4Endpoint> destination_;
};

}  // namespace quor

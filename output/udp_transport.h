// The shared UDP socket of all network devices and the per-device
// transport that sends datagrams on it to the device's address and port.
// The socket is non-blocking with broadcast sending allowed; a datagram the
// system will not take at once is lost. Owned by Outputs (UI thread opens and
// closes, the sending thread sends).
#pragma once

#include <netinet/in.h>

#include <string_view>

#include "output/transport.h"

namespace quor {

class UdpSocket {
 public:
  UdpSocket();  // creates the socket; valid() tells whether that worked
  ~UdpSocket();
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;
  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  // The local port the system bound on first use (0 before any send).
  int LocalPort() const;

 private:
  int fd_ = -1;
};

class UdpTransport : public Transport {
 public:
  // `address` is dotted IPv4 text; text that is not an address sends
  // nothing (rather than falling back to the broadcast address).
  UdpTransport(const UdpSocket& socket, std::string_view address, int port);
  void Send(std::span<const uint8_t> bytes) override;
  bool HasDestination() const { return hasDestination_; }

 private:
  const UdpSocket& socket_;
  sockaddr_in destination_{};
  bool hasDestination_ = false;
};

}  // namespace quor

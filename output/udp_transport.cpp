#include "output/udp_transport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace quor {

UdpSocket::UdpSocket() {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd_ < 0) return;
  const int on = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

UdpSocket::~UdpSocket() {
  if (fd_ >= 0) ::close(fd_);
}

int UdpSocket::LocalPort() const {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  return ntohs(local.sin_port);
}

UdpTransport::UdpTransport(const UdpSocket& socket, std::string_view address, int port) : socket_(socket) {
  destination_.sin_family = AF_INET;
  destination_.sin_port = htons(static_cast<uint16_t>(port & 0xFFFF));
  const std::string text(address);
  hasDestination_ = ::inet_pton(AF_INET, text.c_str(), &destination_.sin_addr) == 1;
}

void UdpTransport::Send(std::span<const uint8_t> bytes) {
  if (!hasDestination_ || !socket_.valid()) return;
  ::sendto(socket_.fd(), bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
           reinterpret_cast<const sockaddr*>(&destination_), sizeof destination_);
}

}  // namespace quor

#include "output/udp_transport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace quor {
namespace {

// The kernel takes at most this many messages per sendmmsg call.
constexpr size_t kMessagesPerCall = 1024;

}  // namespace

UdpSocket::UdpSocket() {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd_ < 0) return;
  const int on = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  // A frame may queue several megabytes; a larger send buffer lets the
  // system take a whole frame before the non-blocking socket refuses.
  const int sendBuffer = 4 << 20;
  ::setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
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

void UdpSocket::SendTo(const sockaddr_in& destination, std::span<const uint8_t> bytes) {
  if (fd_ < 0) return;
  if (!batching_) {
    if (::sendto(fd_, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&destination), sizeof destination) < 0) {
      ++refused_;
    }
    return;
  }
  const size_t offset = bytes_.size();
  bytes_.resize(offset + bytes.size());
  if (!bytes.empty()) std::memcpy(bytes_.data() + offset, bytes.data(), bytes.size());
  queued_.push_back(Queued{destination, offset, bytes.size()});
}

void UdpSocket::Flush() {
  const size_t count = queued_.size();
  if (count == 0 || fd_ < 0) {
    queued_.clear();
    bytes_.clear();
    return;
  }
  // The byte store has stopped growing; now its addresses hold.
  pieces_.resize(count);
  messages_.resize(count);
  for (size_t i = 0; i < count; ++i) {
    Queued& q = queued_[i];
    pieces_[i] = iovec{bytes_.data() + q.offset, q.size};
    msghdr& h = messages_[i].msg_hdr;
    h = msghdr{};
    h.msg_name = &q.destination;
    h.msg_namelen = sizeof q.destination;
    h.msg_iov = &pieces_[i];
    h.msg_iovlen = 1;
  }
  size_t next = 0;
  while (next < count) {
    const auto batch = static_cast<unsigned>(std::min(count - next, kMessagesPerCall));
    const int sent = ::sendmmsg(fd_, messages_.data() + next, batch, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent > 0) {
      next += static_cast<size_t>(sent);
    } else if (sent < 0 && errno == EINTR) {
      continue;
    } else {
      // This datagram was refused (no route, buffer full): skip it alone.
      ++refused_;
      ++next;
    }
  }
  queued_.clear();
  bytes_.clear();
}

UdpTransport::UdpTransport(UdpSocket& socket, std::string_view address, int port) : socket_(socket) {
  destination_.sin_family = AF_INET;
  destination_.sin_port = htons(static_cast<uint16_t>(port & 0xFFFF));
  const std::string text(address);
  hasDestination_ = ::inet_pton(AF_INET, text.c_str(), &destination_.sin_addr) == 1;
}

void UdpTransport::Send(std::span<const uint8_t> bytes) {
  if (hasDestination_) socket_.SendTo(destination_, bytes);
}

}  // namespace quor

#include "platform/udp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/udp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace quor {
namespace {

// The kernel takes at most this many messages per sendmmsg call, cuts one
// message into at most this many datagrams, and one message's payload is
// limited like a single datagram's.
constexpr size_t kMessagesPerCall = 1024;
constexpr size_t kMaxSegments = 64;
// Shorter runs gain little, and a capture on the sending host (before the
// system cuts a message) would show them as one frame: they go singly.
constexpr size_t kMinSegments = 8;
constexpr size_t kMaxUdpPayload = 65507;

sockaddr_in SystemAddress(const Ipv4Endpoint& endpoint) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(endpoint.port);
  std::memcpy(&address.sin_addr.s_addr, endpoint.address.data(), 4);  // network order: first byte first
  return address;
}

}  // namespace

std::optional<Ipv4Endpoint> Ipv4Endpoint::Parse(std::string_view dotted, uint16_t port) {
  const std::string text(dotted);
  in_addr address{};
  if (::inet_pton(AF_INET, text.c_str(), &address) != 1) return std::nullopt;
  Ipv4Endpoint endpoint;
  std::memcpy(endpoint.address.data(), &address.s_addr, 4);
  endpoint.port = port;
  return endpoint;
}

struct UdpSocket::SystemMessages {
  std::vector<mmsghdr> messages;
  std::vector<iovec> pieces;
  std::vector<sockaddr_in> names;
  std::vector<uint64_t> controls;  // one cmsg per message, 8-byte aligned
};

UdpSocket::UdpSocket() : system_(std::make_unique<SystemMessages>()) {
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

UdpSocket::UdpSocket(int fd) : fd_(fd), system_(std::make_unique<SystemMessages>()) {}

Result<std::unique_ptr<UdpSocket>> UdpSocket::OpenListening(int port, std::array<uint8_t, 4> address) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return Failure{"UDP port " + std::to_string(port), errno, "cannot open a socket"};
  std::unique_ptr<UdpSocket> socket(new UdpSocket(fd));
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr = SystemAddress({address, static_cast<uint16_t>(port)}).sin_addr;
  local.sin_port = htons(static_cast<uint16_t>(port));
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    socket->bindFailure_ = Failure{"UDP port " + std::to_string(port), errno, "cannot bind the socket"};
  }
  return socket;
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

std::optional<size_t> UdpSocket::Receive(std::span<uint8_t> buffer) {
  if (fd_ < 0) return std::nullopt;
  const ssize_t got = ::recv(fd_, buffer.data(), buffer.size(), 0);
  if (got < 0) return std::nullopt;
  return static_cast<size_t>(got);
}

std::optional<size_t> UdpSocket::ReceiveFrom(std::span<uint8_t> buffer, Ipv4Endpoint& sender) {
  if (fd_ < 0) return std::nullopt;
  sockaddr_in from{};
  socklen_t length = sizeof from;
  const ssize_t got = ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
  if (got < 0) return std::nullopt;
  const uint32_t host = ntohl(from.sin_addr.s_addr);
  sender.address = {static_cast<uint8_t>(host >> 24), static_cast<uint8_t>(host >> 16), static_cast<uint8_t>(host >> 8),
                    static_cast<uint8_t>(host)};
  sender.port = ntohs(from.sin_port);
  return static_cast<size_t>(got);
}

void UdpSocket::SendTo(const Ipv4Endpoint& destination, std::span<const uint8_t> bytes) {
  if (fd_ < 0) return;
  if (!batching_) {
    const sockaddr_in to = SystemAddress(destination);
    if (::sendto(fd_, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to) < 0) {
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
  if (queued_.empty() || fd_ < 0) {
    queued_.clear();
    bytes_.clear();
    return;
  }
  // Group runs: same destination, same size (the last may be shorter), at
  // most kMaxSegments datagrams and a total a single datagram can hold.
  plan_.clear();
  for (size_t i = 0; i < queued_.size();) {
    const Queued& head = queued_[i];
    size_t count = 1;
    size_t total = head.size;
    if (segmentation_ && head.size > 0) {
      while (i + count < queued_.size() && count < kMaxSegments) {
        const Queued& next = queued_[i + count];
        if (next.size > head.size || next.size == 0 || total + next.size > kMaxUdpPayload ||
            next.destination != head.destination) {
          break;
        }
        total += next.size;
        ++count;
        if (next.size < head.size) break;  // a shorter datagram ends the run
      }
    }
    if (count < kMinSegments) count = 1;
    plan_.push_back(Message{i, count});
    i += count;
  }

  // The byte store has stopped growing; now its addresses hold.
  const size_t messages = plan_.size();
  SystemMessages& system = *system_;
  system.pieces.resize(messages);
  system.messages.resize(messages);
  system.names.resize(messages);
  constexpr size_t kControlWords = (CMSG_SPACE(sizeof(uint16_t)) + 7) / 8;
  system.controls.assign(messages * kControlWords, 0);
  for (size_t m = 0; m < messages; ++m) {
    const Message& message = plan_[m];
    const Queued& head = queued_[message.first];
    const Queued& tail = queued_[message.first + message.count - 1];
    system.names[m] = SystemAddress(head.destination);
    system.pieces[m] = iovec{bytes_.data() + head.offset, tail.offset + tail.size - head.offset};
    msghdr& h = system.messages[m].msg_hdr;
    h = msghdr{};
    h.msg_name = &system.names[m];
    h.msg_namelen = sizeof system.names[m];
    h.msg_iov = &system.pieces[m];
    h.msg_iovlen = 1;
    if (message.count > 1) {
      h.msg_control = &system.controls[m * kControlWords];
      h.msg_controllen = CMSG_SPACE(sizeof(uint16_t));
      cmsghdr* c = CMSG_FIRSTHDR(&h);
      c->cmsg_level = SOL_UDP;
      c->cmsg_type = UDP_SEGMENT;
      c->cmsg_len = CMSG_LEN(sizeof(uint16_t));
      const auto segment = static_cast<uint16_t>(head.size);
      std::memcpy(CMSG_DATA(c), &segment, sizeof segment);
    }
  }

  size_t next = 0;
  while (next < messages) {
    const auto batch = static_cast<unsigned>(std::min(messages - next, kMessagesPerCall));
    const int sent = ::sendmmsg(fd_, system.messages.data() + next, batch, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent > 0) {
      next += static_cast<size_t>(sent);
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    const Message& failed = plan_[next];
    if (failed.count > 1) {
      // The system would not cut this message (no segmentation on the
      // route's device, or a size it refuses): send its datagrams singly,
      // and stop asking where segmentation itself is missing.
      if (errno == EIO || errno == ENOPROTOOPT || errno == EOPNOTSUPP) segmentation_ = false;
      SendOneByOne(failed);
    } else {
      ++refused_;  // this datagram was refused (no route, buffer full): skip it alone
    }
    ++next;
  }
  queued_.clear();
  bytes_.clear();
}

void UdpSocket::SendOneByOne(const Message& message) {
  for (size_t i = message.first; i < message.first + message.count; ++i) {
    const Queued& q = queued_[i];
    const sockaddr_in to = SystemAddress(q.destination);
    if (::sendto(fd_, bytes_.data() + q.offset, q.size, MSG_DONTWAIT | MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) {
      ++refused_;
    }
  }
}

}  // namespace quor

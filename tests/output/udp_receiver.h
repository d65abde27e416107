// A UDP socket on 127.0.0.1 with a port of its own, for tests that check
// what the output sends.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <vector>

namespace quor::test {

struct Datagram { std::vector<uint8_t> bytes; int sourcePort = 0; };

class UdpReceiver {
 public:
  UdpReceiver() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), length);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
  }
  // Takes over a bound socket (one made in another network namespace).
  explicit UdpReceiver(int boundFd) : fd_(boundFd) {
    sockaddr_in a{};
    socklen_t length = sizeof a;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length) == 0) port_ = ntohs(a.sin_port);
  }
  UdpReceiver(const UdpReceiver&) = delete;
  UdpReceiver& operator=(const UdpReceiver&) = delete;
  ~UdpReceiver() { if (fd_ >= 0) ::close(fd_); }
  int port() const { return port_; }
  int fd() const { return fd_; }
  // Asks for a receive buffer of `bytes`; returns what the system granted.
  int SetReceiveBuffer(int bytes) {
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    int granted = 0;
    socklen_t length = sizeof granted;
    ::getsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &granted, &length);
    return granted;
  }

  bool Receive(Datagram& out, int timeoutMs = 2000) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) != 1) return false;
    out.bytes.resize(65536);
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n = ::recvfrom(fd_, out.bytes.data(), out.bytes.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
    out.bytes.resize(n < 0 ? 0 : static_cast<size_t>(n));
    out.sourcePort = ntohs(from.sin_port);
    return n >= 0;
  }
  // Everything that arrives until the line has been quiet for `quietMs`.
  std::vector<Datagram> ReceiveAll(int quietMs = 100) {
    std::vector<Datagram> all;
    for (Datagram d; Receive(d, quietMs);) all.push_back(d);
    return all;
  }
  // The channel data of an Art-Net datagram (after its 18-byte header).
  static std::vector<uint8_t> ArtNetData(const Datagram& d) { return {d.bytes.begin() + 18, d.bytes.end()}; }
  // Receives until an Art-Net datagram carrying `want` arrives (true) or `within` passes.
  bool ReceivesArtNet(const std::vector<uint8_t>& want, std::chrono::seconds within) {
    Datagram got;
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (std::chrono::steady_clock::now() < deadline && Receive(got, 1000)) {
      if (ArtNetData(got) == want) return true;
    }
    return false;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace quor::test

// The shared UDP socket of all network devices and the per-device
// transport that sends datagrams on it to the device's address and port.
// The socket is non-blocking with broadcast and multicast sending allowed; a
// datagram the system will not take at once is lost. Owned by Outputs (UI
// thread opens and closes, the sending thread sends).
//
// With thousands of devices one system call per datagram would dominate a
// frame, so the socket can queue datagrams (copied, so encoders may reuse
// their buffers) and hand a whole frame's worth to the system with a few
// sendmmsg calls. Runs of equal-sized datagrams to one destination (the
// universes of one controller) go as one message that the system cuts into
// those datagrams (UDP segmentation), which costs a fraction of sending
// them one by one; where the system cannot do that, they go one by one.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

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

  // Sends one datagram now, or, while batching, queues it for Flush.
  void SendTo(const sockaddr_in& destination, std::span<const uint8_t> bytes);
  // Queue datagrams from now on instead of sending each at once.
  void SetBatching(bool on) { batching_ = on; }
  // Sends every queued datagram in order. A datagram the system refuses is
  // skipped and counted; the rest still go out.
  void Flush();
  // Datagrams the system refused since the socket was opened.
  uint64_t refused() const { return refused_; }

 private:
  struct Queued {
    sockaddr_in destination;
    size_t offset, size;  // in bytes_
  };
  // One message: `count` queued datagrams from `first`, cut by the system
  // into datagrams of the first one's size when count > 1.
  struct Message {
    size_t first, count;
  };
  void SendOneByOne(const Message& message);

  int fd_ = -1;
  bool batching_ = false;
  bool segmentation_ = true;  // off once the system refused to cut a message
  uint64_t refused_ = 0;
  // Kept between frames so a steady frame allocates nothing.
  std::vector<uint8_t> bytes_;
  std::vector<Queued> queued_;
  std::vector<Message> plan_;
  std::vector<mmsghdr> messages_;
  std::vector<iovec> pieces_;
  std::vector<uint64_t> controls_;  // one cmsg per message, 8-byte aligned
};

class UdpTransport : public Transport {
 public:
  // `address` is dotted IPv4 text; text that is not an address sends
  // nothing (rather than falling back to the broadcast address).
  UdpTransport(UdpSocket& socket, std::string_view address, int port);
  void Send(std::span<const uint8_t> bytes) override;
  bool HasDestination() const { return hasDestination_; }

 private:
  UdpSocket& socket_;
  sockaddr_in destination_{};
  bool hasDestination_ = false;
};

// A socket for receiving: non-blocking, broadcast and address reuse on,
// bound to every local address at `port`. -1 when no socket could be made;
// `bound` says whether binding worked (the socket stays open either way, as
// it can still send).
int OpenListeningSocket(int port, bool& bound);

}  // namespace quor

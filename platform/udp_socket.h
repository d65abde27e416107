// UDP datagram sockets. DatagramSocket is the small interface the rest of
// the program sends and receives through (a test can put a recording one in
// its place); UdpSocket is the system's: non-blocking, broadcast, multicast
// sending and address reuse allowed, a datagram the system will not take at
// once is lost. No call ever waits. One thread at a time per socket (the
// owner serialises open, sends and close).
//
// With thousands of devices one system call per datagram would dominate a
// frame, so a socket can queue datagrams (copied, so encoders may reuse
// their buffers) and hand a whole frame's worth to the system with a few
// sendmmsg calls. Runs of equal-sized datagrams to one destination (the
// universes of one controller) go as one message that the system cuts into
// those datagrams (UDP segmentation), which costs a fraction of sending
// them one by one; where the system cannot do that, they go one by one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/failure.h"

namespace quor {

// An IPv4 address and UDP port.
struct Ipv4Endpoint {
  std::array<uint8_t, 4> address{};  // first byte first: 127.0.0.1 is {127, 0, 0, 1}
  uint16_t port = 0;
  bool operator==(const Ipv4Endpoint&) const = default;

  // Dotted IPv4 text ("192.168.0.10") and a port; nothing for text that is
  // not such an address.
  static std::optional<Ipv4Endpoint> Parse(std::string_view dotted, uint16_t port);
  // 255.255.255.255 at `port`.
  static Ipv4Endpoint Broadcast(uint16_t port) { return {{255, 255, 255, 255}, port}; }
};

class DatagramSocket {
 public:
  virtual ~DatagramSocket() = default;
  // Sends one datagram now, or, while batching, queues it for Flush.
  virtual void SendTo(const Ipv4Endpoint& destination, std::span<const uint8_t> bytes) = 0;
  // Queue datagrams from now on instead of sending each at once.
  virtual void SetBatching(bool on) = 0;
  // Sends every queued datagram in order. A datagram the system refuses is
  // skipped and counted; the rest still go out.
  virtual void Flush() = 0;
  // Copies one waiting datagram into `buffer` (a longer one is cut to its
  // size) and returns how many bytes it copied; nothing when none is waiting.
  virtual std::optional<size_t> Receive(std::span<uint8_t> buffer) = 0;
  // The local port the system bound (0 before any send of an unbound socket).
  virtual int LocalPort() const = 0;
  // The descriptor an InterruptibleWait (platform/interruptible_wait.h)
  // waits on for the next datagram; -1 when the socket cannot be waited on
  // (a test's recording socket), and its reader then has to look from time
  // to time.
  virtual int WaitHandle() const { return -1; }
};

class UdpSocket final : public DatagramSocket {
 public:
  // A socket for sending (the output's shared socket, with a send buffer
  // large enough for a frame); valid() tells whether it could be made.
  UdpSocket();
  // A socket for receiving: bound to `local` (0.0.0.0: every local
  // address) at `port`. The
  // failure when no socket could be made; a socket that could not be bound
  // is returned all the same (it can still send) and says why in
  // bindFailure().
  static Result<std::unique_ptr<UdpSocket>> OpenListening(int port, std::array<uint8_t, 4> local = {0, 0, 0, 0});
  ~UdpSocket() override;
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  bool valid() const { return fd_ >= 0; }
  const std::optional<Failure>& bindFailure() const { return bindFailure_; }
  void SendTo(const Ipv4Endpoint& destination, std::span<const uint8_t> bytes) override;
  void SetBatching(bool on) override { batching_ = on; }
  void Flush() override;
  std::optional<size_t> Receive(std::span<uint8_t> buffer) override;
  // Receive that also tells who sent the datagram.
  std::optional<size_t> ReceiveFrom(std::span<uint8_t> buffer, Ipv4Endpoint& sender);
  int LocalPort() const override;
  int WaitHandle() const override { return fd_; }
  // Datagrams the system refused since the socket was opened.
  uint64_t refused() const { return refused_; }

 private:
  struct Queued {
    Ipv4Endpoint destination;
    size_t offset, size;  // in bytes_
  };
  // One message: `count` queued datagrams from `first`, cut by the system
  // into datagrams of the first one's size when count > 1.
  struct Message {
    size_t first, count;
  };
  struct SystemMessages;  // the system's message headers, kept between frames
  explicit UdpSocket(int fd);
  void SendOneByOne(const Message& message);

  int fd_ = -1;
  std::optional<Failure> bindFailure_;
  bool batching_ = false;
  bool segmentation_ = true;  // off once the system refused to cut a message
  uint64_t refused_ = 0;
  // Kept between frames so a steady frame allocates nothing.
  std::vector<uint8_t> bytes_;
  std::vector<Queued> queued_;
  std::vector<Message> plan_;
  std::unique_ptr<SystemMessages> system_;
};

}  // namespace quor

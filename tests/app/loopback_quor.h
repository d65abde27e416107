// Whole-program tests whose quor runs in a private network and sends to a UDP receiver on its 127.0.0.1:6454: the
// receiving socket is bound inside quor's network namespace and passed out to the test over a socket pair.
#pragma once

#include <sys/socket.h>

#include <cstring>
#include <memory>

#include "output/output_device.h"
#include "private_network.h"
#include "tests/app/windowed_support.h"
#include "tests/output/udp_receiver.h"

namespace quor::test {

// One byte with room for one passed descriptor, for sending and receiving.
struct FdMessage {
  char data = 0;
  iovec io{&data, 1};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr message{nullptr, 0, &io, 1, control, sizeof control, 0};
};

inline bool SendFd(int channel, int fd) {
  FdMessage m;
  cmsghdr* header = CMSG_FIRSTHDR(&m.message);
  header->cmsg_level = SOL_SOCKET, header->cmsg_type = SCM_RIGHTS, header->cmsg_len = CMSG_LEN(sizeof fd);
  std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
  return sendmsg(channel, &m.message, 0) == 1;
}

inline int ReceiveFd(int channel) {
  pollfd wait{channel, POLLIN, 0};
  FdMessage m;
  if (poll(&wait, 1, 10000) != 1 || recvmsg(channel, &m.message, 0) != 1) return -1;
  const cmsghdr* header = CMSG_FIRSTHDR(&m.message);
  int fd = -1;
  if (header != nullptr && header->cmsg_type == SCM_RIGHTS) std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
  return fd;
}

class LoopbackQuorTest : public XvfbTest {
 protected:
  // Starts quor on `project` (recalling scene 1) in a private network with a receiver on its 127.0.0.1:6454; false
  // without one.
  bool StartQuor(const std::string& project) {
    int channel[2];
    if (socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, channel) != 0) return false;
    quor_ = Spawn({QUOR_BINARY, project, "-S1", "--config-dir=" + dir_}, dir_ + "/quor.log", [&channel] {
      if (!EnterPrivateNetwork()) return false;
      const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
      const sockaddr_in local{AF_INET, htons(kArtNetPort), {htonl(INADDR_LOOPBACK)}, {}};
      return bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 && SendFd(channel[1], fd);
    });
    close(channel[1]);
    const int fd = ReceiveFd(channel[0]);
    close(channel[0]);
    if (fd >= 0) receiver_ = std::make_unique<UdpReceiver>(fd);
    return fd >= 0;
  }

  std::unique_ptr<UdpReceiver> receiver_;
};

}  // namespace quor::test

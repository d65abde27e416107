// A private network for tests that must send to an address other than
// 127.0.0.1 (limited broadcast, discovery polls): RunInPrivateNetwork runs
// the body in a forked child inside its own network namespace, which holds
// only the loopback interface, brought up, with 255.255.255.255 routed onto
// it. Whatever the body sends stays inside that namespace, so nothing can
// leave the machine. Root may create the namespace directly; other users
// get it through a user namespace where the kernel allows those.
//
// The body runs in the child: it must not use gtest assertions (they would
// report in the child); it returns whether it passed and may print why not.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

namespace quor::test {

enum class PrivateNetworkResult { kPassed, kFailed, kUnavailable };

namespace private_network_detail {

inline constexpr int kUnavailableExit = 77;

inline bool WriteSmallFile(const char* path, const std::string& text) {
  const int fd = open(path, O_WRONLY);
  if (fd < 0) return false;
  const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  return ok;
}

// Enters a fresh network namespace, as root directly, else through a user
// namespace that maps this user to root inside it.
inline bool EnterNamespace() {
  if (unshare(CLONE_NEWNET) == 0) return true;
  const uid_t uid = getuid();
  const gid_t gid = getgid();
  if (unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) return false;
  WriteSmallFile("/proc/self/setgroups", "deny");
  return WriteSmallFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
         WriteSmallFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
}

// Brings "lo" up and routes 255.255.255.255/32 onto it.
inline bool SetUpLoopback() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return false;
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
  ok = ok && ioctl(fd, SIOCSIFFLAGS, &request) == 0;

  rtentry route{};
  auto* dst = reinterpret_cast<sockaddr_in*>(&route.rt_dst);
  auto* mask = reinterpret_cast<sockaddr_in*>(&route.rt_genmask);
  dst->sin_family = mask->sin_family = AF_INET;
  dst->sin_addr.s_addr = mask->sin_addr.s_addr = htonl(INADDR_BROADCAST);
  route.rt_flags = RTF_UP | RTF_HOST;
  char device[] = "lo";
  route.rt_dev = device;
  ok = ok && ioctl(fd, SIOCADDRT, &route) == 0;
  close(fd);
  return ok;
}

}  // namespace private_network_detail

// Moves the calling process into a fresh private network as above, for a
// child that then starts another program there; false when this machine
// allows no such namespace or lo cannot be set up.
inline bool EnterPrivateNetwork() {
  return private_network_detail::EnterNamespace() && private_network_detail::SetUpLoopback();
}

inline PrivateNetworkResult RunInPrivateNetwork(const std::function<bool()>& body) {
  namespace detail = private_network_detail;
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return PrivateNetworkResult::kUnavailable;
  if (child == 0) {
    if (!detail::EnterNamespace()) _exit(detail::kUnavailableExit);
    if (!detail::SetUpLoopback()) {
      std::fprintf(stderr, "private network: cannot bring lo up or route broadcast onto it: %s\n",
                   std::strerror(errno));
      _exit(1);
    }
    const bool passed = body();
    std::fflush(nullptr);
    _exit(passed ? 0 : 1);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return PrivateNetworkResult::kFailed;
  if (WEXITSTATUS(status) == detail::kUnavailableExit) return PrivateNetworkResult::kUnavailable;
  return WEXITSTATUS(status) == 0 ? PrivateNetworkResult::kPassed : PrivateNetworkResult::kFailed;
}

}  // namespace quor::test

#include "platform/interruptible_wait.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

namespace quor {

Result<std::unique_ptr<InterruptibleWait>> InterruptibleWait::Create() {
  const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd < 0) return SystemFailure("interruptible wait", errno);
  return std::unique_ptr<InterruptibleWait>(new InterruptibleWait(fd));
}

InterruptibleWait::~InterruptibleWait() { ::close(eventFd_); }

void InterruptibleWait::Interrupt() {
  const uint64_t one = 1;
  // Fails only when the counter is near overflow, and then a wake-up is
  // pending anyway.
  [[maybe_unused]] const ssize_t written = ::write(eventFd_, &one, sizeof one);
}

WaitResult InterruptibleWait::Wait(int descriptor, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    int left = kWaitForever;
    if (timeoutMs >= 0) {
      const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      left = remaining > 0 ? static_cast<int>(remaining) : 0;
    }
    // A negative descriptor is left out by poll: only the interrupt counts.
    pollfd watched[2] = {{eventFd_, POLLIN, 0}, {descriptor, POLLIN, 0}};
    const int ready = ::poll(watched, 2, left);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return WaitResult::kFailed;
    }
    if (watched[0].revents & POLLIN) {
      uint64_t count = 0;
      [[maybe_unused]] const ssize_t taken = ::read(eventFd_, &count, sizeof count);
      return WaitResult::kInterrupted;
    }
    const short seen = watched[1].revents;
    if (seen & (POLLHUP | POLLERR | POLLNVAL)) return WaitResult::kHangUp;
    if (seen & POLLIN) return WaitResult::kReadable;
    if (ready == 0) return WaitResult::kTimedOut;
  }
}

}  // namespace quor

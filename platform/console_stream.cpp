#include "platform/console_stream.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>

namespace quor {
namespace {

// A pipe takes writes of up to this many bytes whole once poll says it is
// writable, so a write of that size never waits.
constexpr size_t kAtomicWriteBytes = PIPE_BUF;

}  // namespace

size_t WriteToStandardOutput(std::string_view text, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  size_t done = 0;
  while (done < text.size()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    pollfd p{STDOUT_FILENO, POLLOUT, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(std::max<int64_t>(left, 0)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;  // not writable now: the caller keeps the rest for later
    if ((p.revents & (POLLERR | POLLNVAL)) != 0) return text.size();  // nobody can read it any more
    const size_t chunk = std::min(text.size() - done, kAtomicWriteBytes);
    const ssize_t n = ::write(STDOUT_FILENO, text.data() + done, chunk);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return text.size();  // closed or broken: the lines are lost
    done += static_cast<size_t>(n);
  }
  return done;
}

}  // namespace quor

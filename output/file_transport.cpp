#include "output/file_transport.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace quor {
namespace {

bool WriteAll(int fd, std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes = bytes.subspan(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

std::unique_ptr<FileTransport> FileTransport::Create(const std::string& path, int* errorNumber) {
  auto fail = [errorNumber](int error) {
    if (errorNumber != nullptr) *errorNumber = error;
    return nullptr;
  };
  if (path.empty()) return fail(ENOENT);
  // Not truncated before the lock is held: a file in use stays intact.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return fail(errno);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(fd, 0) != 0) {
    const int error = errno;
    ::close(fd);
    return fail(error);
  }
  return std::unique_ptr<FileTransport>(new FileTransport(fd));
}

// Redirected devices send one packet per universe or column, so the queue
// counts many small records.
constexpr AsyncWriterLimits kFileTransportQueue{8192, size_t{8} << 20};

FileTransport::FileTransport(int fd)
    : fd_(fd),
      writer_(
          [fd](int64_t, std::span<const uint8_t> bytes) {
            WriteAll(fd, bytes);  // a failed write loses only its own bytes
            return true;
          },
          kFileTransportQueue) {}

FileTransport::~FileTransport() {
  writer_.Finish();
  ::close(fd_);
}

void FileTransport::Send(std::span<const uint8_t> bytes) { writer_.Post(0, bytes); }

bool WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool ok = WriteAll(fd, bytes);
  return ::close(fd) == 0 && ok;
}

}  // namespace quor

#include "output/file_transport.h"

#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/named_file.h"

namespace quor {
namespace {

// 0, or the errno of the write that failed.
int WriteAll(int fd, std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return ENOSPC;  // a regular file that takes nothing is full
    bytes = bytes.subspan(static_cast<size_t>(n));
  }
  return 0;
}

}  // namespace

std::unique_ptr<FileTransport> FileTransport::Create(const std::string& path, std::string* reason, int* errorNumber) {
  auto fail = [reason, errorNumber](int error, std::string why) {
    if (reason != nullptr) *reason = std::move(why);
    if (errorNumber != nullptr) *errorNumber = error;
    return nullptr;
  };
  const NamedFile file = OpenNamedFile(path, NamedFileUse::kWrite);
  if (!file.ok()) return fail(file.errorNumber, file.reason);
  // Not truncated before the lock is held: a file in use stays intact.
  if (::flock(file.fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(file.fd, 0) != 0) {
    const int error = errno;
    ::close(file.fd);
    return fail(error, error == EWOULDBLOCK ? "in use by another writer" : std::strerror(error));
  }
  return std::unique_ptr<FileTransport>(new FileTransport(file.fd));
}

// Redirected devices send one packet per universe or column, so the queue
// counts many small records.
constexpr AsyncWriterLimits kFileTransportQueue{8192, size_t{8} << 20};

FileTransport::FileTransport(int fd)
    : fd_(fd),
      writer_(
          [this](int64_t, std::span<const uint8_t> bytes) {
            const int error = WriteAll(fd_, bytes);
            if (error == 0) return true;
            int none = 0;
            fault_.compare_exchange_strong(none, error);
            return false;  // the writer discards the rest
          },
          kFileTransportQueue) {}

FileTransport::~FileTransport() {
  writer_.Finish();
  ::close(fd_);
}

void FileTransport::Send(std::span<const uint8_t> bytes) { writer_.Post(0, bytes); }

int WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes) {
  const NamedFile file = OpenNamedFile(path, NamedFileUse::kWrite);
  if (!file.ok()) return file.errorNumber != 0 ? file.errorNumber : EINVAL;
  int error = ::ftruncate(file.fd, 0) == 0 ? WriteAll(file.fd, bytes) : errno;
  if (::close(file.fd) != 0 && error == 0) error = errno;
  return error;
}

}  // namespace quor

#include "platform/file_handle.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace quor {
namespace {

bool ForSerialDevice(FileUse use) {
  return use == FileUse::kSerialDeviceRead || use == FileUse::kSerialDeviceWrite ||
         use == FileUse::kSerialDeviceReadWrite;
}

// Why a file of this type is not what `use` expects; nothing when it is.
// Only a folder has an errno of its own; the other refusals carry 0.
std::optional<Failure> WrongKind(const std::string& path, mode_t mode, FileUse use) {
  const bool serial = ForSerialDevice(use);
  if (serial ? S_ISCHR(mode) : S_ISREG(mode)) return std::nullopt;
  if (S_ISDIR(mode)) return SystemFailure(path, EISDIR);
  if (serial) return Failure{path, 0, "is not a serial port"};
  const char* what = S_ISFIFO(mode)   ? "is a FIFO"
                     : S_ISSOCK(mode) ? "is a socket"
                                      : "is a device";
  return Failure{path, 0, std::string(what) + ", not a regular file"};
}

int OpenFlags(FileUse use) {
  switch (use) {
    case FileUse::kRead:
      return O_RDONLY;
    case FileUse::kWrite:
      return O_WRONLY | O_CREAT;
    case FileUse::kSerialDeviceRead:
      return O_RDONLY | O_NOCTTY;
    case FileUse::kSerialDeviceWrite:
      return O_WRONLY | O_NOCTTY;
    case FileUse::kSerialDeviceReadWrite:
      return O_RDWR | O_NOCTTY;
  }
  return O_RDONLY;
}

}  // namespace

FileHandle::~FileHandle() {
  if (fd_ >= 0) ::close(fd_);
}

FileHandle::FileHandle(FileHandle&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

Result<FileHandle> FileHandle::Open(const std::string& path, FileUse use) {
  if (path.empty() || path.find('\0') != std::string::npos) return SystemFailure(path, ENOENT);
  // Looked at first, so that a device or FIFO is not even opened (opening
  // some devices has effects of its own).
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    if (std::optional<Failure> refused = WrongKind(path, info.st_mode, use)) return *refused;
  } else if (errno != ENOENT || use != FileUse::kWrite) {
    return SystemFailure(path, errno);
  }
  // Non-blocking all the same: the name may have become a FIFO meanwhile.
  const int fd = ::open(path.c_str(), OpenFlags(use) | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0644);
  if (fd < 0) return SystemFailure(path, errno);
  FileHandle file(fd, path);
  if (::fstat(fd, &info) != 0) return SystemFailure(path, errno);
  if (std::optional<Failure> refused = WrongKind(path, info.st_mode, use)) return *refused;
  if (!ForSerialDevice(use)) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return file;
}

Result<FileHandle> FileHandle::CreateNew(const std::string& path, unsigned mode) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
  if (fd < 0) return SystemFailure(path, errno);
  return FileHandle(fd, path);
}

int FileHandle::Release() { return std::exchange(fd_, -1); }

Result<size_t> FileHandle::Read(std::span<uint8_t> buffer) {
  size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t n = ::read(fd_, buffer.data() + done, buffer.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      return Failed(errno);
    }
  }
  return done;
}

std::optional<Failure> FileHandle::WriteAll(std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Failed(errno);
    if (n == 0) return Failed(ENOSPC);  // a regular file that takes nothing is full
    bytes = bytes.subspan(static_cast<size_t>(n));
  }
  return std::nullopt;
}

std::optional<Failure> FileHandle::Seek(uint64_t offset) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return Failed(EINVAL);
  if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) return Failed(errno);
  return std::nullopt;
}

Result<uint64_t> FileHandle::Size() const {
  struct stat info {};
  if (::fstat(fd_, &info) != 0) return Failed(errno);
  return static_cast<uint64_t>(info.st_size);
}

std::optional<Failure> FileHandle::LockExclusive() {
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return std::nullopt;
  const int error = errno;
  if (error == EWOULDBLOCK) return Failure{path_, error, "in use by another writer"};
  return Failed(error);
}

std::optional<Failure> FileHandle::Truncate() {
  if (::ftruncate(fd_, 0) != 0) return Failed(errno);
  return std::nullopt;
}

std::optional<Failure> FileHandle::SetMode(unsigned mode) {
  if (::fchmod(fd_, static_cast<mode_t>(mode)) != 0) return Failed(errno);
  return std::nullopt;
}

std::optional<Failure> FileHandle::Sync() {
  if (::fsync(fd_) != 0) return Failed(errno);
  return std::nullopt;
}

std::optional<Failure> FileHandle::Close() {
  const int fd = std::exchange(fd_, -1);
  if (fd >= 0 && ::close(fd) != 0) return Failed(errno);
  return std::nullopt;
}

}  // namespace quor

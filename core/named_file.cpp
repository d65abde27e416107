#include "core/named_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace quor {
namespace {

bool ForSerialDevice(NamedFileUse use) {
  return use == NamedFileUse::kSerialDeviceRead || use == NamedFileUse::kSerialDeviceWrite ||
         use == NamedFileUse::kSerialDeviceReadWrite;
}

NamedFile Failed(int error, std::string reason = {}) {
  NamedFile file;
  file.errorNumber = error;
  file.reason = reason.empty() ? std::strerror(error) : std::move(reason);
  return file;
}

// Why a file of this type is not what `use` expects; nothing when it is.
// Only a folder has an errno of its own; the other refusals carry 0.
std::optional<NamedFile> WrongKind(mode_t mode, NamedFileUse use) {
  const bool serial = ForSerialDevice(use);
  if (serial ? S_ISCHR(mode) : S_ISREG(mode)) return std::nullopt;
  if (S_ISDIR(mode)) return Failed(EISDIR);
  if (serial) return Failed(0, "is not a serial port");
  const char* what = S_ISFIFO(mode)   ? "is a FIFO"
                     : S_ISSOCK(mode) ? "is a socket"
                                      : "is a device";
  return Failed(0, std::string(what) + ", not a regular file");
}

int OpenFlags(NamedFileUse use) {
  switch (use) {
    case NamedFileUse::kRead:
      return O_RDONLY;
    case NamedFileUse::kWrite:
      return O_WRONLY | O_CREAT;
    case NamedFileUse::kSerialDeviceRead:
      return O_RDONLY | O_NOCTTY;
    case NamedFileUse::kSerialDeviceWrite:
      return O_WRONLY | O_NOCTTY;
    case NamedFileUse::kSerialDeviceReadWrite:
      return O_RDWR | O_NOCTTY;
  }
  return O_RDONLY;
}

}  // namespace

NamedFile OpenNamedFile(const std::string& path, NamedFileUse use) {
  if (path.empty() || path.find('\0') != std::string::npos) return Failed(ENOENT);
  // Looked at first, so that a device or FIFO is not even opened (opening
  // some devices has effects of its own).
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    if (std::optional<NamedFile> refused = WrongKind(info.st_mode, use)) return *refused;
  } else if (errno != ENOENT || use != NamedFileUse::kWrite) {
    return Failed(errno);
  }
  // Non-blocking all the same: the name may have become a FIFO meanwhile.
  const int fd = ::open(path.c_str(), OpenFlags(use) | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0644);
  if (fd < 0) return Failed(errno);
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    return Failed(error);
  }
  if (std::optional<NamedFile> refused = WrongKind(info.st_mode, use)) {
    ::close(fd);
    return *refused;
  }
  if (!ForSerialDevice(use)) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  NamedFile file;
  file.fd = fd;
  return file;
}

void CloseNamedFile(int fd) {
  if (fd >= 0) ::close(fd);
}

}  // namespace quor

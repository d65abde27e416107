#include "files/safe_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "core/named_file.h"

namespace quor {
namespace {

std::string Reason(int error) { return std::strerror(error); }

// Closes on scope exit unless released.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now and reports the close's own error (0 when fine).
  int Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

std::string FolderOfPath(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates a fresh temporary beside `path`; -1 with errno set on failure.
int CreateTemporary(const std::string& path, mode_t mode, std::string& tempPath) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "%ld-%08x", static_cast<long>(::getpid()), random());
    tempPath = path + kTemporaryMarker + suffix;
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// 0 or the errno of the first write that failed.
int WriteAll(int fd, std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n == 0) {
      return ENOSPC;  // a regular file that takes nothing is full
    } else if (errno != EINTR) {
      return errno;
    }
  }
  return 0;
}

// The rename is durable only once the folder's entry is on the disk too.
// Some file systems cannot sync a folder; the file itself is already safe.
void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool RegularFile(const std::string& path, struct stat& info) {
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// A symbolic link is followed, so the file it names is replaced and the
// link stays; a dangling link is replaced itself.
std::string ResolveLink(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return path;
  std::string resolved = real;
  std::free(real);
  return resolved;
}

}  // namespace

std::string ReplaceFile(const std::string& named, std::span<const uint8_t> bytes, int* errorNumber) {
  auto fail = [errorNumber](int error) {
    if (errorNumber != nullptr) *errorNumber = error;
    return Reason(error);
  };
  if (errorNumber != nullptr) *errorNumber = 0;
  const std::string path = ResolveLink(named);
  struct stat old {};
  const bool exists = ::stat(path.c_str(), &old) == 0;
  // A FIFO, device or folder under the name is not ours to replace.
  if (exists && S_ISDIR(old.st_mode)) return fail(EISDIR);
  if (exists && !S_ISREG(old.st_mode)) return "not a regular file";
  const mode_t mode = exists ? (old.st_mode & 07777) : 0666;  // the umask applies to a new file
  std::string tempPath;
  Fd fd(CreateTemporary(path, mode, tempPath));
  if (fd.get() < 0) return fail(errno);
  if (mode != 0666) ::fchmod(fd.get(), mode);
  int error = WriteAll(fd.get(), bytes);
  if (error == 0 && ::fsync(fd.get()) != 0) error = errno;
  const int closeError = fd.Close();
  if (error == 0) error = closeError;
  if (error == 0 && ::rename(tempPath.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(tempPath.c_str());
    return fail(error);
  }
  SyncFolder(FolderOfPath(path));
  return {};
}

std::string ReplaceBackup(const std::string& named, const std::string& backupPath, int* errorNumber) {
  if (errorNumber != nullptr) *errorNumber = 0;
  const std::string path = ResolveLink(named);
  struct stat info {};
  if (!RegularFile(path, info)) return {};
  std::string tempPath;
  // A hard link to the current file, renamed over the old backup: the
  // backup is always either the old one or the complete new one.
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = backupPath + kTemporaryMarker + std::to_string(::getpid()) + "-link" + std::to_string(attempt);
    if (::link(path.c_str(), tempPath.c_str()) == 0) {
      if (::rename(tempPath.c_str(), backupPath.c_str()) == 0) return {};
      const int error = errno;
      ::unlink(tempPath.c_str());
      if (errorNumber != nullptr) *errorNumber = error;
      return Reason(error);
    }
    if (errno != EEXIST) break;
  }
  // File systems without hard links: copy it.
  const FileReadResult current = ReadRegularFile(path, static_cast<size_t>(info.st_size));
  if (current.status != FileReadStatus::kDone) {
    if (errorNumber != nullptr) *errorNumber = current.errorNumber;
    return current.reason;
  }
  return ReplaceFile(backupPath, current.bytes, errorNumber);
}

bool FileHoldsBytes(const std::string& path, std::span<const uint8_t> bytes) {
  struct stat info {};
  if (!RegularFile(path, info) || static_cast<uint64_t>(info.st_size) != bytes.size()) return false;
  const FileReadResult current = ReadRegularFile(path, bytes.size());
  return current.status == FileReadStatus::kDone && std::equal(current.bytes.begin(), current.bytes.end(),
                                                                bytes.begin(), bytes.end());
}

int RemoveStaleTemporaries(const std::string& folder, const std::string& target) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return 0;
  int removed = 0;
  const size_t markerLength = std::strlen(kTemporaryMarker);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    const size_t marker = name.rfind(kTemporaryMarker);
    if (marker == std::string::npos || name.compare(0, target.size(), target) != 0) continue;
    // The writer's process id follows the marker; a running writer (another
    // instance saving right now) keeps its temporary.
    char* end = nullptr;
    const long pid = std::strtol(name.c_str() + marker + markerLength, &end, 10);
    if (end == name.c_str() + marker + markerLength || *end != '-' || pid <= 0) continue;
    if (pid != ::getpid() && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) continue;
    const std::string path = folder + "/" + name;
    struct stat info {};
    if (RegularFile(path, info) && ::unlink(path.c_str()) == 0) ++removed;
  }
  ::closedir(dir);
  return removed;
}

std::string NameTooLongReason(const std::string& path) {
  // The longest names: "<path>.quor-tmp-<pid>-<8 hex digits>" and the
  // backup's link "<path>.quor-tmp-<pid>-link<attempt up to 99>".
  const size_t longest = std::strlen(kTemporaryMarker) + std::to_string(::getpid()).size() + std::max(1 + 8, 5 + 2);
  const size_t slash = path.find_last_of('/');
  const size_t nameLength = slash == std::string::npos ? path.size() : path.size() - slash - 1;
  if (path.size() + longest >= PATH_MAX || nameLength + longest > NAME_MAX) return Reason(ENAMETOOLONG);
  return {};
}

std::string UnusableFolderReason(const std::string& folder) {
  if (folder.empty()) return "no folder named";
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) {
    if (errno != ENOENT) return Reason(errno);
    // Create it and the folders above it that are missing.
    for (size_t slash = folder.find('/', 1); ; slash = folder.find('/', slash + 1)) {
      const std::string part = folder.substr(0, slash);
      if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return Reason(errno);
      if (slash == std::string::npos) break;
    }
    if (::stat(folder.c_str(), &info) != 0) return Reason(errno);
  }
  if (!S_ISDIR(info.st_mode)) return Reason(ENOTDIR);
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return Reason(errno);
  return {};
}

FileReadResult ReadRegularFile(const std::string& path, size_t maxBytes) {
  FileReadResult result;
  auto fail = [&result](FileReadStatus status, std::string reason, int error = 0) {
    result.status = status;
    result.reason = std::move(reason);
    result.errorNumber = error;
    result.bytes.clear();
    return result;
  };
  auto failErrno = [&fail](FileReadStatus status) {
    const int error = errno;
    return fail(status, Reason(error), error);
  };
  // Never blocks on a FIFO, and refuses anything but a regular file.
  const NamedFile opened = OpenNamedFile(path, NamedFileUse::kRead);
  if (!opened.ok()) {
    const FileReadStatus status = opened.errorNumber == 0 ? FileReadStatus::kNotRegular : FileReadStatus::kMissing;
    return fail(status, opened.reason, opened.errorNumber);
  }
  Fd fd(opened.fd);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return failErrno(FileReadStatus::kFailed);
  if (info.st_size < 0 || static_cast<uint64_t>(info.st_size) > maxBytes) {
    return fail(FileReadStatus::kTooLarge, "larger than " + std::to_string(maxBytes) + " bytes");
  }
  result.bytes.resize(static_cast<size_t>(info.st_size));
  size_t done = 0;
  for (;;) {
    if (done == result.bytes.size()) {
      // The file may have grown since fstat: look for one more byte.
      if (done > maxBytes) return fail(FileReadStatus::kTooLarge, "larger than " + std::to_string(maxBytes) + " bytes");
      result.bytes.resize(std::min(maxBytes + 1, done + 64 * 1024));
      if (done == result.bytes.size()) break;
    }
    const ssize_t n = ::read(fd.get(), result.bytes.data() + done, result.bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      return failErrno(FileReadStatus::kFailed);
    }
  }
  if (done > maxBytes) return fail(FileReadStatus::kTooLarge, "larger than " + std::to_string(maxBytes) + " bytes");
  result.bytes.resize(done);
  return result;
}

}  // namespace quor

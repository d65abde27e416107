#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace quor {
namespace {

std::optional<Failure> Checked(int result, const std::string& subject) {
  if (result == 0) return std::nullopt;
  return SystemFailure(subject, errno);
}

}  // namespace

Result<FileStatus> StatPath(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return SystemFailure(path, errno);
  FileStatus status;
  status.kind = S_ISREG(info.st_mode) ? FileKind::kRegular : S_ISDIR(info.st_mode) ? FileKind::kFolder : FileKind::kOther;
  status.mode = info.st_mode & 07777;
  status.size = info.st_size < 0 ? 0 : static_cast<uint64_t>(info.st_size);
  return status;
}

std::string ResolveLink(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return path;
  std::string resolved = real;
  std::free(real);
  return resolved;
}

std::optional<Failure> RenamePath(const std::string& from, const std::string& to) {
  return Checked(::rename(from.c_str(), to.c_str()), to);
}

std::optional<Failure> RemoveFile(const std::string& path) { return Checked(::unlink(path.c_str()), path); }

std::optional<Failure> LinkFile(const std::string& existing, const std::string& newPath) {
  return Checked(::link(existing.c_str(), newPath.c_str()), newPath);
}

std::optional<Failure> MakeFolder(const std::string& path) { return Checked(::mkdir(path.c_str(), 0777), path); }

std::optional<Failure> CheckFolderWritable(const std::string& folder) {
  return Checked(::access(folder.c_str(), W_OK | X_OK), folder);
}

Result<std::vector<std::string>> ListFolder(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return SystemFailure(folder, errno);
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
  ::closedir(dir);
  return names;
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

size_t PathLengthLimit() { return PATH_MAX; }
size_t NameLengthLimit() { return NAME_MAX; }

}  // namespace quor

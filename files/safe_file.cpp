#include "files/safe_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "platform/file_handle.h"
#include "platform/file_system.h"
#include "platform/process.h"

namespace quor {
namespace {

std::string FolderOfPath(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates a fresh temporary beside `path`.
Result<FileHandle> CreateTemporary(const std::string& path, unsigned mode, std::string& tempPath) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "%ld-%08x", static_cast<long>(CurrentProcessId()), random());
    tempPath = path + kTemporaryMarker + suffix;
    Result<FileHandle> file = FileHandle::CreateNew(tempPath, mode);
    if (file || file.failure().errorNumber != EEXIST) return file;
  }
  return SystemFailure(path, EEXIST);
}

bool RegularFile(const std::string& path, FileStatus& info) {
  const Result<FileStatus> status = StatPath(path);
  if (!status || status->kind != FileKind::kRegular) return false;
  info = *status;
  return true;
}

}  // namespace

std::optional<Failure> ReplaceFile(const std::string& named, std::span<const uint8_t> bytes) {
  auto fail = [&named](int error) { return SystemFailure(named, error); };
  // A symbolic link is followed, so the file it names is replaced and the
  // link stays; a dangling link is replaced itself.
  const std::string path = ResolveLink(named);
  const Result<FileStatus> old = StatPath(path);
  // A FIFO, device or folder under the name is not ours to replace.
  if (old && old->kind == FileKind::kFolder) return fail(EISDIR);
  if (old && old->kind != FileKind::kRegular) return Failure{named, 0, "not a regular file"};
  const unsigned mode = old ? old->mode : 0666;  // the umask applies to a new file
  std::string tempPath;
  Result<FileHandle> file = CreateTemporary(path, mode, tempPath);
  if (!file) return fail(file.failure().errorNumber);
  if (mode != 0666) file->SetMode(mode);
  std::optional<Failure> failed = file->WriteAll(bytes);
  if (!failed) failed = file->Sync();
  const std::optional<Failure> closed = file->Close();
  if (!failed) failed = closed;
  if (!failed) failed = RenamePath(tempPath, path);
  if (failed) {
    RemoveFile(tempPath);
    return fail(failed->errorNumber);
  }
  // The rename is durable only once the folder's entry is on the disk too.
  SyncFolder(FolderOfPath(path));
  return {};
}

std::optional<Failure> ReplaceBackup(const std::string& named, const std::string& backupPath) {
  const std::string path = ResolveLink(named);
  FileStatus info;
  if (!RegularFile(path, info)) return {};
  std::string tempPath;
  // A hard link to the current file, renamed over the old backup: the
  // backup is always either the old one or the complete new one.
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = backupPath + kTemporaryMarker + std::to_string(CurrentProcessId()) + "-link" + std::to_string(attempt);
    const std::optional<Failure> linked = LinkFile(path, tempPath);
    if (!linked) {
      const std::optional<Failure> renamed = RenamePath(tempPath, backupPath);
      if (!renamed) return {};
      RemoveFile(tempPath);
      return SystemFailure(backupPath, renamed->errorNumber);
    }
    if (linked->errorNumber != EEXIST) break;
  }
  // File systems without hard links: copy it.
  const FileReadResult current = ReadRegularFile(path, static_cast<size_t>(info.size));
  if (current.status != FileReadStatus::kDone) return Failure{named, current.errorNumber, current.reason};
  return ReplaceFile(backupPath, current.bytes);
}

bool FileHoldsBytes(const std::string& path, std::span<const uint8_t> bytes) {
  FileStatus info;
  if (!RegularFile(path, info) || info.size != bytes.size()) return false;
  const FileReadResult current = ReadRegularFile(path, bytes.size());
  return current.status == FileReadStatus::kDone && std::equal(current.bytes.begin(), current.bytes.end(),
                                                                bytes.begin(), bytes.end());
}

int RemoveStaleTemporaries(const std::string& folder, const std::string& target) {
  const Result<std::vector<std::string>> names = ListFolder(folder);
  if (!names) return 0;
  int removed = 0;
  const size_t markerLength = std::strlen(kTemporaryMarker);
  for (const std::string& name : *names) {
    const size_t marker = name.rfind(kTemporaryMarker);
    if (marker == std::string::npos || name.compare(0, target.size(), target) != 0) continue;
    // The writer's process id follows the marker; a running writer (another
    // instance saving right now) keeps its temporary.
    char* end = nullptr;
    const long pid = std::strtol(name.c_str() + marker + markerLength, &end, 10);
    if (end == name.c_str() + marker + markerLength || *end != '-' || pid <= 0 || pid > INT32_MAX) continue;
    if (pid != CurrentProcessId() && ProcessExists(static_cast<int>(pid))) continue;
    const std::string path = folder + "/" + name;
    FileStatus info;
    if (RegularFile(path, info) && !RemoveFile(path)) ++removed;
  }
  return removed;
}

std::optional<Failure> CheckNamesFit(const std::string& path) {
  // The longest names: "<path>.quor-tmp-<pid>-<8 hex digits>" and the
  // backup's link "<path>.quor-tmp-<pid>-link<attempt up to 99>".
  const size_t longest =
      std::strlen(kTemporaryMarker) + std::to_string(CurrentProcessId()).size() + std::max(1 + 8, 5 + 2);
  const size_t slash = path.find_last_of('/');
  const size_t nameLength = slash == std::string::npos ? path.size() : path.size() - slash - 1;
  if (path.size() + longest >= PathLengthLimit() || nameLength + longest > NameLengthLimit()) {
    return SystemFailure(path, ENAMETOOLONG);
  }
  return {};
}

std::optional<Failure> CheckFolderUsable(const std::string& folder) {
  if (folder.empty()) return Failure{folder, 0, "no folder named"};
  Result<FileStatus> info = StatPath(folder);
  if (!info) {
    if (info.failure().errorNumber != ENOENT) return info.failure();
    // Create it and the folders above it that are missing.
    for (size_t slash = folder.find('/', 1); ; slash = folder.find('/', slash + 1)) {
      std::optional<Failure> made = MakeFolder(folder.substr(0, slash));
      if (made && made->errorNumber != EEXIST) return made;
      if (slash == std::string::npos) break;
    }
    info = StatPath(folder);
    if (!info) return info.failure();
  }
  if (info->kind != FileKind::kFolder) return SystemFailure(folder, ENOTDIR);
  return CheckFolderWritable(folder);
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
  auto failWith = [&fail](FileReadStatus status, const Failure& failure) {
    return fail(status, failure.message, failure.errorNumber);
  };
  // Never blocks on a FIFO, and refuses anything but a regular file.
  Result<FileHandle> file = FileHandle::Open(path, FileUse::kRead);
  if (!file) {
    const Failure& why = file.failure();
    return failWith(why.errorNumber == 0 ? FileReadStatus::kNotRegular : FileReadStatus::kMissing, why);
  }
  const Result<uint64_t> size = file->Size();
  if (!size) return failWith(FileReadStatus::kFailed, size.failure());
  if (*size > maxBytes) {
    return fail(FileReadStatus::kTooLarge, "larger than " + std::to_string(maxBytes) + " bytes");
  }
  result.bytes.resize(static_cast<size_t>(*size));
  size_t done = 0;
  for (;;) {
    if (done == result.bytes.size()) {
      // The file may have grown since it was measured: look for one more byte.
      if (done > maxBytes) return fail(FileReadStatus::kTooLarge, "larger than " + std::to_string(maxBytes) + " bytes");
      result.bytes.resize(std::min(maxBytes + 1, done + 64 * 1024));
      if (done == result.bytes.size()) break;
    }
    const size_t wanted = result.bytes.size() - done;
    const Result<size_t> got = file->Read(std::span<uint8_t>(result.bytes).subspan(done));
    if (!got) return failWith(FileReadStatus::kFailed, got.failure());
    done += *got;
    if (*got < wanted) break;  // the end of the file
  }
  if (done > maxBytes) return fail(FileReadStatus::kTooLarge, "larger than " + std::to_string(maxBytes) + " bytes");
  result.bytes.resize(done);
  return result;
}

}  // namespace quor

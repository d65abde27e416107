// What the program asks of the file system by name, beyond opening a file
// (platform/file_handle.h): the kind, mode and size behind a name, rename,
// remove, hard link, folder creation, listing and syncing, and the system's
// limits on names. Any thread; not for the clock thread (every call may
// wait for the disk).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/failure.h"

namespace quor {

enum class FileKind { kRegular, kFolder, kOther };

struct FileStatus {
  FileKind kind = FileKind::kOther;
  unsigned mode = 0;  // the permission bits (07777)
  uint64_t size = 0;
};

// What `path` names, a symbolic link followed.
Result<FileStatus> StatPath(const std::string& path);
// The file a symbolic link at `path` leads to; `path` itself when it is no
// link or a dangling one.
std::string ResolveLink(const std::string& path);
std::optional<Failure> RenamePath(const std::string& from, const std::string& to);
std::optional<Failure> RemoveFile(const std::string& path);
// Makes `newPath` a second name (hard link) of the file `existing`.
std::optional<Failure> LinkFile(const std::string& existing, const std::string& newPath);
// Creates one folder (the folder above must exist).
std::optional<Failure> MakeFolder(const std::string& path);
// Fails unless this process may create, rename and remove files in `folder`.
std::optional<Failure> CheckFolderWritable(const std::string& folder);
// The names in `folder` ("." and ".." included), in the system's order.
Result<std::vector<std::string>> ListFolder(const std::string& folder);
// Puts the folder's entries (a rename into it) on the disk. Some file
// systems cannot sync a folder; that is not reported.
void SyncFolder(const std::string& folder);

// The longest path and the longest file name the system takes, in bytes.
size_t PathLengthLimit();
size_t NameLengthLimit();

}  // namespace quor

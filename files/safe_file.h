// File operations that never destroy the last good file and never hang:
// a replace that either puts the complete new bytes in place or leaves the
// old file untouched, a one-generation backup, the clean-up of temporaries a
// killed run left behind, a bounded read that refuses special files, and
// the check that a folder can hold our files.
// Built on platform/file_handle.h and platform/file_system.h; any thread,
// but nothing here is meant for the clock thread (every call may wait for
// the disk).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/failure.h"

namespace quor {

// Marks the temporaries this program writes beside a target:
// "<target>.quor-tmp-<pid>-<random>".
inline constexpr const char* kTemporaryMarker = ".quor-tmp-";

// Writes `bytes` to a new temporary beside `path`, checks every write, the
// flush to the disk and the close, then renames it over `path`. On any
// failure the temporary is removed, `path` keeps its old content and the
// result is a failure with the system's reason ("No space left on device")
// and its errno; empty on success. The new file keeps the mode of the one it
// replaces; a symbolic link at `path` stays and its target is replaced.
std::optional<Failure> ReplaceFile(const std::string& path, std::span<const uint8_t> bytes);

// Makes `backupPath` a copy of the regular file `path` in one step (a hard
// link renamed over the old backup, or a full copy where links are not
// possible). Nothing happens when `path` is missing or not a regular file.
// Empty, or the failure that kept the backup from being made (its reason
// and errno); the old backup is then untouched.
std::optional<Failure> ReplaceBackup(const std::string& path, const std::string& backupPath);

// Whether the regular file `path` holds exactly `bytes`.
bool FileHoldsBytes(const std::string& path, std::span<const uint8_t> bytes);

// Removes the temporaries of our naming in `folder` whose writer is no
// longer running (killed between writing and renaming); with `target`, only
// those of files whose name begins with it (a project and its backup).
// Returns how many were removed.
int RemoveStaleTemporaries(const std::string& folder, const std::string& target = {});

// The temporaries beside a file are named longer than the file itself.
// Empty when every name ReplaceFile and ReplaceBackup write for `path` fits
// the system's limits on a path and on a file name; else the failure with
// the system's reason ("File name too long").
std::optional<Failure> CheckNamesFit(const std::string& path);

// Empty when `folder` exists (or could be created) as a folder this process
// may create, rename and remove files in; otherwise the failure saying why
// not.
std::optional<Failure> CheckFolderUsable(const std::string& folder);

enum class FileReadStatus {
  kDone,
  kMissing,     // could not be opened: missing, not readable or a folder
  kNotRegular,  // a FIFO, device or socket: never read
  kTooLarge,    // longer than the limit: never read
  kFailed,      // a read error
};

struct FileReadResult {
  FileReadStatus status = FileReadStatus::kDone;
  std::vector<uint8_t> bytes;
  std::string reason;  // the system's reason when not kDone
  int errorNumber = 0;  // the errno behind `reason`; 0 when no system call failed
};

// Reads the regular file `path` whole when it is at most `maxBytes` long.
// Opening never blocks (a FIFO without a writer would), and a file that
// grows while it is read stops at the limit.
FileReadResult ReadRegularFile(const std::string& path, size_t maxBytes);

}  // namespace quor

// An open file of the system's, owned: opened by name without ever waiting
// (a FIFO without a partner would block an open for good, so the name is
// looked at first and opened non-blocking, and anything but the expected
// kind, a regular file or a terminal where a serial port is meant, is
// refused with its reason), read, written, locked, flushed to the disk and
// closed. Names are bytes: any name the system accepts works, valid UTF-8
// or not. Move-only; closes on destruction. One thread at a time; not for
// the clock thread (every call may wait for the disk).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "platform/failure.h"

namespace quor {

enum class FileUse {
  kRead,               // an existing regular file, read only
  kWrite,              // a regular file, created when missing, write only; never truncated here
  kSerialDeviceRead,   // an existing terminal device; the handle stays non-blocking
  kSerialDeviceWrite,
  kSerialDeviceReadWrite,
};

class FileHandle {
 public:
  FileHandle() = default;
  // Takes over an open descriptor (-1: none).
  explicit FileHandle(int fd, std::string path = {}) : fd_(fd), path_(std::move(path)) {}
  ~FileHandle();
  FileHandle(FileHandle&& other) noexcept;
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  // Opens `path` for `use`. Regular files come back in blocking mode,
  // terminals non-blocking. The failure names the path, holds the errno of
  // the call that failed (0 for a name of the wrong kind, EISDIR for a
  // folder) and says why ("No such file or directory", "is a FIFO, not a
  // regular file", "is not a serial port").
  static Result<FileHandle> Open(const std::string& path, FileUse use);
  // Creates `path`, which must not exist yet, write only with `mode` (less
  // the umask).
  static Result<FileHandle> CreateNew(const std::string& path, unsigned mode);

  bool valid() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }
  // The system's descriptor, for code that hands it on (a library that
  // reads the file itself, a terminal's settings); still owned here.
  int descriptor() const { return fd_; }
  // Gives the descriptor up: the caller closes it.
  int Release();

  // Reads until `buffer` is full or the file ends; how many bytes came.
  Result<size_t> Read(std::span<uint8_t> buffer);
  // Writes all of `bytes` (a regular file that takes nothing is full).
  std::optional<Failure> WriteAll(std::span<const uint8_t> bytes);
  // Moves the read and write position to `offset` bytes from the start.
  std::optional<Failure> Seek(uint64_t offset);
  // The size in bytes now.
  Result<uint64_t> Size() const;
  // Takes the exclusive lock, or fails at once ("in use by another
  // writer") when another open file holds it.
  std::optional<Failure> LockExclusive();
  std::optional<Failure> Truncate();
  std::optional<Failure> SetMode(unsigned mode);
  // Puts what was written on the disk.
  std::optional<Failure> Sync();
  // Closes now and reports the close's own failure.
  std::optional<Failure> Close();

 private:
  Failure Failed(int errorNumber) const { return SystemFailure(path_, errorNumber); }

  int fd_ = -1;
  std::string path_;
};

}  // namespace quor

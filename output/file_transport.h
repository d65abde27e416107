// A file that the output writes to: the redirection file of a network or
// serial device, or the Glediator File Recorder file. Created or truncated
// on open and locked against a second writer. Send only queues its bytes for
// a writer thread (core/async_writer.h), so the sending thread never waits
// for the disk; bytes that find the queue full are dropped and counted. The
// first failed write (a full disk) ends the writing and is kept as fault().
// Only a regular file is taken, and opening never waits (a FIFO without a
// reader would block it). UI thread opens and closes (closing writes what
// is queued); the sending thread sends.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "core/async_writer.h"
#include "output/transport.h"
#include "platform/failure.h"
#include "platform/file_handle.h"

namespace quor {

class FileTransport : public Transport {
 public:
  // A failure when the file cannot be created, is no regular file or is in
  // use by another writer: it names the path, says why and holds the errno
  // of the call that failed (0 for a name of the wrong kind).
  static Result<std::unique_ptr<FileTransport>> Create(const std::string& path);
  ~FileTransport() override;
  void Send(std::span<const uint8_t> bytes) override;
  int fault() const override { return fault_.load(); }
  // Sends that were dropped because the writer fell behind.
  uint64_t dropped() const { return writer_.dropped(); }

 private:
  explicit FileTransport(FileHandle file);
  FileHandle file_;
  std::atomic<int> fault_{0};
  AsyncWriter writer_;  // last: its thread uses the members above
};

// Writes `bytes` as the whole new content of the regular file `path`
// (Bitmap Export files). Empty when it worked; else the failure, whose
// errorNumber is the errno of the call that failed (EINVAL for a name that
// is no regular file).
std::optional<Failure> WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes);

}  // namespace quor

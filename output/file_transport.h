// A file that the output writes to: the redirection file of a network or
// serial device, or the Glediator File Recorder file. Created or truncated
// on open and locked against a second writer. Send only queues its bytes for
// a writer thread (core/async_writer.h), so the sending thread never waits
// for the disk; bytes that find the queue full are dropped and counted. UI
// thread opens and closes (closing writes what is queued); the sending
// thread sends.
#pragma once

#include <memory>
#include <string>

#include "core/async_writer.h"
#include "output/transport.h"

namespace quor {

class FileTransport : public Transport {
 public:
  // nullptr when the file cannot be created or is in use by another writer;
  // `errorNumber`, when given, then holds the errno of the call that failed.
  static std::unique_ptr<FileTransport> Create(const std::string& path, int* errorNumber = nullptr);
  ~FileTransport() override;
  void Send(std::span<const uint8_t> bytes) override;
  // Sends that were dropped because the writer fell behind.
  uint64_t dropped() const { return writer_.dropped(); }

 private:
  explicit FileTransport(int fd);
  int fd_;
  AsyncWriter writer_;
};

// Writes `bytes` as the whole new content of `path` (Bitmap Export files).
// Returns false when the file cannot be created or written.
bool WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes);

}  // namespace quor

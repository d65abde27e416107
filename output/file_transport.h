// A file that the output writes to: the redirection file of a network or
// serial device, or the Glediator File Recorder file. Created or truncated
// on open and locked against a second writer; every Send appends its bytes
// with a synchronous write. UI thread opens and closes; the sending thread
// writes.
#pragma once

#include <memory>
#include <string>

#include "output/transport.h"

namespace quor {

class FileTransport : public Transport {
 public:
  // nullptr when the file cannot be created or is in use by another writer.
  static std::unique_ptr<FileTransport> Create(const std::string& path);
  ~FileTransport() override;
  void Send(std::span<const uint8_t> bytes) override;

 private:
  explicit FileTransport(int fd) : fd_(fd) {}
  int fd_;
};

// Writes `bytes` as the whole new content of `path` (Bitmap Export files).
// Returns false when the file cannot be created or written.
bool WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes);

}  // namespace quor

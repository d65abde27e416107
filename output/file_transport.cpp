#include "output/file_transport.h"

#include <cerrno>

namespace quor {

Result<std::unique_ptr<FileTransport>> FileTransport::Create(const std::string& path) {
  Result<FileHandle> file = FileHandle::Open(path, FileUse::kWrite);
  if (!file) return file.failure();
  // Not truncated before the lock is held: a file in use stays intact.
  if (std::optional<Failure> refused = file->LockExclusive()) return *std::move(refused);
  if (std::optional<Failure> refused = file->Truncate()) return *std::move(refused);
  return std::unique_ptr<FileTransport>(new FileTransport(std::move(*file)));
}

// Redirected devices send one packet per universe or column, so the queue
// counts many small records.
constexpr AsyncWriterLimits kFileTransportQueue{8192, size_t{8} << 20};

FileTransport::FileTransport(FileHandle file)
    : file_(std::move(file)),
      writer_(
          [this](int64_t, std::span<const uint8_t> bytes) {
            const std::optional<Failure> failed = file_.WriteAll(bytes);
            if (!failed) return true;
            int none = 0;
            fault_.compare_exchange_strong(none, failed->errorNumber);
            return false;  // the writer discards the rest
          },
          kFileTransportQueue) {}

FileTransport::~FileTransport() {
  writer_.Finish();
  file_.Close();
}

void FileTransport::Send(std::span<const uint8_t> bytes) { writer_.Post(0, bytes); }

std::optional<Failure> WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes) {
  Result<FileHandle> file = FileHandle::Open(path, FileUse::kWrite);
  if (!file) {
    Failure refused = file.failure();
    if (refused.errorNumber == 0) refused.errorNumber = EINVAL;
    return refused;
  }
  std::optional<Failure> failed = file->Truncate();
  if (!failed) failed = file->WriteAll(bytes);
  const std::optional<Failure> closed = file->Close();
  if (!failed) failed = closed;
  return failed;
}

}  // namespace quor

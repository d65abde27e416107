#include "files/recording_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/byte_io.h"
#include "core/rgb_frame.h"

namespace quor {

static_assert(sizeof(kRecordingMagic) + 1 + 3 * 4 == kRecordingHeaderSize);

std::array<uint8_t, kRecordingHeaderSize> EncodeRecordingHeader(const RecordingHeader& header) {
  std::array<uint8_t, kRecordingHeaderSize> bytes{};
  ByteWriter writer(bytes);
  writer.PutBytes(kRecordingMagic, sizeof(kRecordingMagic));
  writer.PutU8(kRecordingVersion);
  writer.PutU32(header.width);
  writer.PutU32(header.height);
  writer.PutU32(header.fps);
  return bytes;
}

// --- sources ----------------------------------------------------------------

size_t MemoryRecordingSource::Read(uint8_t* out, size_t size) {
  const size_t n = std::min(size, bytes_.size() - position_);
  if (n > 0) std::memcpy(out, bytes_.data() + position_, n);
  position_ += n;
  return n;
}

std::unique_ptr<FileRecordingSource> FileRecordingSource::Open(const std::string& path) {
  if (path.empty()) return nullptr;
  std::FILE* file = std::fopen(path.c_str(), "rbe");
  if (file == nullptr) return nullptr;
  return std::unique_ptr<FileRecordingSource>(new FileRecordingSource(file));
}

FileRecordingSource::~FileRecordingSource() { std::fclose(file_); }

size_t FileRecordingSource::Read(uint8_t* out, size_t size) { return std::fread(out, 1, size, file_); }

bool FileRecordingSource::Rewind() {
  // Drops what is buffered so that a file rewritten in place is read anew
  // (a seek inside the buffer would keep the old bytes); the seek also
  // clears the end-of-file mark, so a file that grew is read on.
  std::fflush(file_);
  return std::fseek(file_, 0, SEEK_SET) == 0;
}

std::unique_ptr<RecordingSource> OpenRecordingFile(const std::string& path) { return FileRecordingSource::Open(path); }

const char* RecordingOpenMessage(RecordingOpenResult result) {
  switch (result) {
    case RecordingOpenResult::kUnknownFormat:
      return kUnknownFileFormatMessage;
    case RecordingOpenResult::kWrongVersion:
      return kWrongFileVersionMessage;
    case RecordingOpenResult::kNameTooLong:
      return "File name too long.";
    case RecordingOpenResult::kOpened:
    case RecordingOpenResult::kCannotOpen:
      break;
  }
  return nullptr;
}

// --- reader -----------------------------------------------------------------

namespace {

// Reads and checks a header from the current position of `source`.
RecordingOpenResult ReadHeader(RecordingSource& source, RecordingHeader* header) {
  std::array<uint8_t, kRecordingHeaderSize> bytes{};
  const size_t got = source.Read(bytes.data(), bytes.size());
  if (got < sizeof(kRecordingMagic) || std::memcmp(bytes.data(), kRecordingMagic, sizeof(kRecordingMagic)) != 0) {
    return RecordingOpenResult::kUnknownFormat;
  }
  ByteReader reader(std::span<const uint8_t>(bytes.data(), got));
  reader.Skip(sizeof(kRecordingMagic));
  if (reader.GetU8() != kRecordingVersion || !reader.ok()) return RecordingOpenResult::kWrongVersion;
  header->width = reader.GetU32();
  header->height = reader.GetU32();
  header->fps = reader.GetU32();
  if (!reader.ok()) return RecordingOpenResult::kUnknownFormat;
  // The recorder only ever writes matrix sizes; anything else is damage, and
  // letting it through would size the frame buffer from the file.
  if (header->width > kMaxMatrixSide || header->height > kMaxMatrixSide ||
      !IsValidMatrixSize(static_cast<int>(header->width), static_cast<int>(header->height))) {
    return RecordingOpenResult::kUnknownFormat;
  }
  return RecordingOpenResult::kOpened;
}

}  // namespace

RecordingOpenResult RecordingReader::Open(std::unique_ptr<RecordingSource> source,
                                          std::unique_ptr<RecordingReader>* reader) {
  reader->reset();
  if (source == nullptr) return RecordingOpenResult::kCannotOpen;
  RecordingHeader header;
  const RecordingOpenResult result = ReadHeader(*source, &header);
  if (result != RecordingOpenResult::kOpened) return result;
  reader->reset(new RecordingReader(std::move(source), header));
  return result;
}

bool RecordingReader::ReadExactly(uint8_t* out, size_t size) {
  size_t done = 0;
  while (done < size) {
    const size_t n = source_->Read(out + done, size - done);
    if (n == 0) return false;
    done += n;
  }
  return true;
}

bool RecordingReader::RestartAtFirstFrame() {
  if (!source_->Rewind()) return false;
  RecordingHeader again;
  if (ReadHeader(*source_, &again) != RecordingOpenResult::kOpened) return false;
  return again.width == header_.width && again.height == header_.height;
}

FrameReadResult RecordingReader::ReadFrame(std::span<uint8_t> out) {
  if (!positioned_) {
    // The previous call reached the end and could not start over yet.
    positioned_ = RestartAtFirstFrame();
    if (!positioned_) return FrameReadResult::kEnd;
  }
  auto endOfRecording = [this] {
    positioned_ = RestartAtFirstFrame();
    return FrameReadResult::kEnd;
  };

  // A "Q" arms the search; the next "X" after it completes the marker, with
  // whatever lies between skipped.
  bool armed = false;
  for (;;) {
    uint8_t byte = 0;
    if (source_->Read(&byte, 1) != 1) return endOfRecording();
    if (byte == kFrameMarkerFirst) {
      armed = true;
    } else if (byte == kFrameMarkerSecond && armed) {
      break;
    }
  }
  uint8_t kind = 0;
  if (source_->Read(&kind, 1) != 1 || kind == kFrameMarkerEnd) return endOfRecording();
  if (kind != kFrameMarkerFrame) return FrameReadResult::kSkipped;

  const size_t frameBytes = header_.FrameBytes();
  if (out.size() < frameBytes) return FrameReadResult::kSkipped;  // caller error; never overrun
  if (!ReadExactly(out.data(), frameBytes)) return endOfRecording();
  return FrameReadResult::kFrame;
}

// --- sink -------------------------------------------------------------------

std::unique_ptr<FileRecordingSink> FileRecordingSink::Create(const std::string& path) {
  if (path.empty()) return nullptr;
  // Truncated only once the lock is held: a file another writer records
  // into stays intact.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &info) != 0 ||
      (S_ISREG(info.st_mode) && ::ftruncate(fd, 0) != 0)) {
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<FileRecordingSink>(new FileRecordingSink(fd));
}

FileRecordingSink::~FileRecordingSink() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileRecordingSink::Write(std::span<const uint8_t> bytes) {
  if (fd_ < 0) return false;
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes = bytes.subspan(static_cast<size_t>(n));
  }
  return true;
}

bool FileRecordingSink::Close() {
  if (fd_ < 0) return true;
  const int result = ::close(fd_);
  fd_ = -1;
  return result == 0;
}

}  // namespace quor

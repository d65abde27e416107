#include "files/recording_file.h"

#include <algorithm>
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

bool RecordingSource::Seek(uint64_t offset) {
  if (!Rewind()) return false;
  uint8_t scratch[4096];
  while (offset > 0) {
    const size_t n = Read(scratch, static_cast<size_t>(std::min<uint64_t>(offset, sizeof scratch)));
    if (n == 0) return false;
    offset -= n;
  }
  return true;
}

std::unique_ptr<FileRecordingSource> FileRecordingSource::Open(const std::string& path) {
  // Anything but a regular file is refused before a byte is read from it,
  // and the open itself never waits for a FIFO's writer.
  Result<FileHandle> opened = FileHandle::Open(path, FileUse::kRead);
  if (!opened) return nullptr;
  return std::unique_ptr<FileRecordingSource>(new FileRecordingSource(std::move(*opened)));
}

FileRecordingSource::~FileRecordingSource() = default;

size_t FileRecordingSource::Read(uint8_t* out, size_t size) {
  const Result<size_t> got = file_.Read(std::span<uint8_t>(out, size));
  return got ? *got : 0;
}

// Reads go straight to the file, unbuffered, so a file rewritten in place
// or grown since is read anew from wherever the position is set.
bool FileRecordingSource::Rewind() { return !file_.Seek(0); }

bool FileRecordingSource::Seek(uint64_t offset) { return !file_.Seek(offset); }

int64_t FileRecordingSource::Size() {
  const Result<uint64_t> size = file_.Size();
  return size ? static_cast<int64_t>(*size) : -1;
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

namespace {

// Reads a source in large blocks for the index scan.
class BlockScanner {
 public:
  BlockScanner(RecordingSource& source, uint64_t offset) : source_(source), offset_(offset), block_(1 << 20) {}
  uint64_t offset() const { return offset_; }
  // Moves on to just past the next `byte`; false at the end of the source.
  bool SkipPast(uint8_t byte) {
    for (;;) {
      if (at_ == size_ && !Fill()) return false;
      const void* hit = std::memchr(block_.data() + at_, byte, size_ - at_);
      if (hit == nullptr) {
        offset_ += size_ - at_;
        at_ = size_;
        continue;
      }
      const size_t next = static_cast<size_t>(static_cast<const uint8_t*>(hit) - block_.data()) + 1;
      offset_ += next - at_;
      at_ = next;
      return true;
    }
  }
  bool NextByte(uint8_t* byte) {
    if (at_ == size_ && !Fill()) return false;
    *byte = block_[at_++];
    ++offset_;
    return true;
  }
  // Moves on by `count` bytes; false when the source ends first.
  bool Skip(uint64_t count) {
    while (count > 0) {
      if (at_ == size_ && !Fill()) return false;
      const size_t n = static_cast<size_t>(std::min<uint64_t>(count, size_ - at_));
      at_ += n;
      offset_ += n;
      count -= n;
    }
    return true;
  }

 private:
  bool Fill() {
    at_ = 0;
    size_ = source_.Read(block_.data(), block_.size());
    return size_ > 0;
  }
  RecordingSource& source_;
  uint64_t offset_;
  std::vector<uint8_t> block_;
  size_t at_ = 0;
  size_t size_ = 0;
};

}  // namespace

RecordingIndex IndexRecording(RecordingSource& source, uint64_t offset, size_t frameBytes) {
  RecordingIndex index;
  index.scannedSize = source.Size();
  BlockScanner scanner(source, offset);
  uint32_t skips = 0;
  for (;;) {
    if (!scanner.SkipPast(kFrameMarkerFirst) || !scanner.SkipPast(kFrameMarkerSecond)) break;
    uint8_t kind = 0;
    if (!scanner.NextByte(&kind) || kind == kFrameMarkerEnd) break;
    if (kind != kFrameMarkerFrame) {
      if (skips < UINT32_MAX) ++skips;
      continue;
    }
    const uint64_t frameOffset = scanner.offset();
    if (!scanner.Skip(frameBytes)) break;  // cut short: the end of the recording
    index.frames.push_back({frameOffset, skips});
    skips = 0;
  }
  index.trailingSkips = skips;
  return index;
}

namespace {

// Whether the bytes after the header are none, or begin with (a part of) a
// frame marker.
bool BeginsWithFrameMarker(RecordingSource& source) {
  if (!source.Seek(kRecordingHeaderSize)) return false;
  uint8_t next[kFrameMarkerSize] = {};
  const size_t got = source.Read(next, sizeof next);
  return std::memcmp(next, kFrameMarker.data(), got) == 0;
}

}  // namespace

RecordingOpenResult RecordingReader::Open(std::unique_ptr<RecordingSource> source,
                                          std::unique_ptr<RecordingReader>* reader) {
  reader->reset();
  if (source == nullptr) return RecordingOpenResult::kCannotOpen;
  RecordingHeader header;
  const RecordingOpenResult result = ReadHeader(*source, &header);
  if (result != RecordingOpenResult::kOpened) return result;
  RecordingIndex index = IndexRecording(*source, kRecordingHeaderSize, header.FrameBytes());
  // A recording stopped before its first frame was complete holds the
  // header and at most a cut first frame: it plays as black. Other bytes
  // without a single frame are no recording.
  if (index.frames.empty() && !BeginsWithFrameMarker(*source)) return RecordingOpenResult::kUnknownFormat;
  reader->reset(new RecordingReader(std::move(source), header, std::move(index)));
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

void RecordingReader::StartOfIndex() {
  next_ = 0;
  skipsLeft_ = index_.frames.empty() ? index_.trailingSkips : index_.frames.front().skipsBefore;
}

bool RecordingReader::RestartAtFirstFrame() {
  if (!source_->Rewind()) return false;
  RecordingHeader again;
  if (ReadHeader(*source_, &again) != RecordingOpenResult::kOpened) return false;
  if (again.width != header_.width || again.height != header_.height) return false;
  // A file that changed its size (grew while being recorded, or was
  // rewritten) is indexed again; an unchanged one is not searched again.
  const int64_t size = source_->Size();
  if (size != index_.scannedSize) {
    if (!source_->Seek(kRecordingHeaderSize)) return false;
    index_ = IndexRecording(*source_, kRecordingHeaderSize, header_.FrameBytes());
  }
  StartOfIndex();
  return !index_.frames.empty();
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
  if (skipsLeft_ > 0) {
    --skipsLeft_;
    return FrameReadResult::kSkipped;
  }
  if (next_ >= index_.frames.size()) return endOfRecording();
  const RecordingIndex::Frame frame = index_.frames[next_++];
  skipsLeft_ = next_ < index_.frames.size() ? index_.frames[next_].skipsBefore : index_.trailingSkips;

  const size_t frameBytes = header_.FrameBytes();
  if (out.size() < frameBytes) return FrameReadResult::kSkipped;  // caller error; never overrun
  // A file cut short since it was indexed ends here.
  if (!source_->Seek(frame.offset) || !ReadExactly(out.data(), frameBytes)) return endOfRecording();
  return FrameReadResult::kFrame;
}

// --- sink -------------------------------------------------------------------

Result<std::unique_ptr<FileRecordingSink>> FileRecordingSink::Create(const std::string& path) {
  Result<FileHandle> opened = FileHandle::Open(path, FileUse::kWrite);
  if (!opened) return opened.failure();
  // Truncated only once the lock is held: a file another writer records
  // into stays intact.
  if (std::optional<Failure> refused = opened->LockExclusive()) return *std::move(refused);
  if (std::optional<Failure> refused = opened->Truncate()) return *std::move(refused);
  return std::unique_ptr<FileRecordingSink>(new FileRecordingSink(std::move(*opened)));
}

FileRecordingSink::~FileRecordingSink() = default;

bool FileRecordingSink::Write(std::span<const uint8_t> bytes) {
  if (!file_.valid()) return false;
  if (const std::optional<Failure> failed = file_.WriteAll(bytes)) {
    error_.store(failed->errorNumber);
    return false;
  }
  return true;
}

bool FileRecordingSink::Close() { return !file_.Close(); }

}  // namespace quor

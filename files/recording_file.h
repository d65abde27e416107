// The recording file (.qrr): an 18-byte header ("QRR!", 0, version "1",
// width, height and frames per second as little-endian 32-bit words)
// followed by frames, each the marker "QX" plus a zero byte and then
// width x height x 3 bytes of RGB, row-major. A marker whose third byte is 1
// ends the recording.
//
// RecordingReader reads such a file through a RecordingSource (a memory or
// a file implementation) and never trusts what it reads: any damage ends
// playback or skips a frame, it never reads or writes outside its buffers.
// RecordingSink is the writing side the recorder uses. None of these classes
// is thread-safe; their owners serialise the calls.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "files/file_messages.h"
#include "platform/failure.h"
#include "platform/file_handle.h"

namespace quor {

inline constexpr uint8_t kRecordingMagic[5] = {'Q', 'R', 'R', '!', 0};
inline constexpr uint8_t kRecordingVersion = '1';
inline constexpr size_t kRecordingHeaderSize = 18;
inline constexpr uint8_t kFrameMarkerFirst = 'Q';
inline constexpr uint8_t kFrameMarkerSecond = 'X';
inline constexpr uint8_t kFrameMarkerFrame = 0;  // third marker byte: a frame follows
inline constexpr uint8_t kFrameMarkerEnd = 1;    // third marker byte: end of the recording
inline constexpr size_t kFrameMarkerSize = 3;

inline constexpr const char* kWrongFileVersionMessage = "Wrong File Version.";

struct RecordingHeader {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t fps = 0;

  size_t FrameBytes() const { return static_cast<size_t>(width) * height * 3; }
  friend bool operator==(const RecordingHeader&, const RecordingHeader&) = default;
};

std::array<uint8_t, kRecordingHeaderSize> EncodeRecordingHeader(const RecordingHeader& header);
inline constexpr std::array<uint8_t, kFrameMarkerSize> kFrameMarker = {kFrameMarkerFirst, kFrameMarkerSecond,
                                                                       kFrameMarkerFrame};

// --- reading --------------------------------------------------------------

// Where a recording's bytes come from. Reads from the current position.
class RecordingSource {
 public:
  virtual ~RecordingSource() = default;
  // Copies up to `size` bytes into `out`; returns how many (0 at the end).
  virtual size_t Read(uint8_t* out, size_t size) = 0;
  // Moves the read position back to the first byte.
  virtual bool Rewind() = 0;
  // Moves the read position to `offset` bytes from the start. The default
  // rewinds and reads its way there.
  virtual bool Seek(uint64_t offset);
  // The size in bytes now, or -1 when the source cannot tell.
  virtual int64_t Size() { return -1; }
};

// Reads a byte array that the caller keeps alive.
class MemoryRecordingSource final : public RecordingSource {
 public:
  explicit MemoryRecordingSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  size_t Read(uint8_t* out, size_t size) override;
  bool Rewind() override {
    position_ = 0;
    return true;
  }
  bool Seek(uint64_t offset) override {
    position_ = static_cast<size_t>(std::min<uint64_t>(offset, bytes_.size()));
    return true;
  }
  int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }

 private:
  std::span<const uint8_t> bytes_;
  size_t position_ = 0;
};

// Reads a file; other readers may have it open at the same time.
class FileRecordingSource final : public RecordingSource {
 public:
  // nullptr when the file cannot be opened for reading or is no regular
  // file (a FIFO or device would block or never end).
  static std::unique_ptr<FileRecordingSource> Open(const std::string& path);
  ~FileRecordingSource() override;
  FileRecordingSource(const FileRecordingSource&) = delete;
  FileRecordingSource& operator=(const FileRecordingSource&) = delete;
  size_t Read(uint8_t* out, size_t size) override;
  bool Rewind() override;
  bool Seek(uint64_t offset) override;
  int64_t Size() override;

 private:
  explicit FileRecordingSource(FileHandle file) : file_(std::move(file)) {}
  FileHandle file_;
};

// Opens the recording with this name; nullptr when it cannot be opened.
using RecordingOpener = std::function<std::unique_ptr<RecordingSource>(const std::string& name)>;
std::unique_ptr<RecordingSource> OpenRecordingFile(const std::string& path);

enum class RecordingOpenResult {
  kOpened,
  kCannotOpen,     // no name, or the file cannot be read: silently nothing
  kUnknownFormat,  // not "QRR!\0", a short header, a frame size no matrix can have
                   // or other bytes than a frame after the header
  kWrongVersion,   // a version byte other than "1"
  kNameTooLong,    // longer than the 255 characters a settings block holds
};

// The error box text for a result, or nullptr when there is none to show.
const char* RecordingOpenMessage(RecordingOpenResult result);

enum class FrameReadResult {
  kFrame,    // `out` holds the next frame
  kEnd,      // end of file, end marker or a short frame: back at the first frame
  kSkipped,  // a marker of unknown kind: nothing read this time
};

// Where the frames of a recording lie: one pass over the file with the
// marker search below finds them all, so playback never searches again.
// Each frame also counts the unknown-kind markers met just before it.
struct RecordingIndex {
  struct Frame {
    uint64_t offset;       // of the frame's first pixel byte
    uint32_t skipsBefore;  // unknown-kind markers between it and the frame before
  };
  std::vector<Frame> frames;
  uint32_t trailingSkips = 0;  // unknown-kind markers after the last frame
  int64_t scannedSize = -1;    // the source's Size() when it was scanned
};

// Scans `source` from its current position (`offset` bytes from the start)
// to its end or its end marker: a "Q" arms the search, the next "X" after it
// completes a marker (bytes in between are skipped); the byte after the
// marker gives its kind; a frame that is cut short ends the recording.
RecordingIndex IndexRecording(RecordingSource& source, uint64_t offset, size_t frameBytes);

class RecordingReader {
 public:
  // Reads and checks the header and indexes the frames (reading the whole
  // file once). A recording without a single frame is refused as
  // kUnknownFormat unless nothing but (a part of) a first frame follows the
  // header: the recorder leaves that when stopped before the first frame,
  // and it opens as a recording with no frames (ReadFrame gives kEnd until
  // frames appear). On success the reader stands before the first frame.
  // The frame size must be one a matrix can have (each side 4..320, at
  // most 16384 pixels), which also bounds every later read.
  static RecordingOpenResult Open(std::unique_ptr<RecordingSource> source, std::unique_ptr<RecordingReader>* reader);

  const RecordingHeader& header() const { return header_; }
  const RecordingIndex& index() const { return index_; }

  // Reads the next frame into `out` (header().FrameBytes() long; its
  // content is undefined unless kFrame): one seek and one read. After the
  // last frame comes kEnd and the reader goes back to the first frame by
  // itself, indexing the file again if its size changed meanwhile.
  FrameReadResult ReadFrame(std::span<uint8_t> out);

 private:
  RecordingReader(std::unique_ptr<RecordingSource> source, const RecordingHeader& header, RecordingIndex index)
      : source_(std::move(source)), header_(header), index_(std::move(index)) {
    StartOfIndex();
  }
  // Reads the header again and stands before the first frame. False when
  // the file no longer starts with the header it was opened with (rewritten
  // in place) or holds no frame now; playback then waits at the end until
  // that changes.
  bool RestartAtFirstFrame();
  void StartOfIndex();
  // Fills `out` completely or returns false.
  bool ReadExactly(uint8_t* out, size_t size);

  std::unique_ptr<RecordingSource> source_;
  RecordingHeader header_;
  RecordingIndex index_;
  size_t next_ = 0;        // the index entry played next
  uint32_t skipsLeft_ = 0;  // unknown markers to report before it
  bool positioned_ = true;  // false after an end that could not start over yet
};

// --- writing --------------------------------------------------------------

// Where the recorder's bytes go.
class RecordingSink {
 public:
  virtual ~RecordingSink() = default;
  // Appends all of `bytes`; false when that failed.
  virtual bool Write(std::span<const uint8_t> bytes) = 0;
  // Completes the file; false when that failed. Called once at the end.
  virtual bool Close() { return true; }
  // The errno of the last failed Write, 0 when none is known (any thread).
  virtual int error() const { return 0; }
};

// Appends to a byte array that the caller keeps alive.
class MemoryRecordingSink final : public RecordingSink {
 public:
  explicit MemoryRecordingSink(std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  bool Write(std::span<const uint8_t> bytes) override {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return true;
  }

 private:
  std::vector<uint8_t>& bytes_;
};

// A regular file created or truncated for writing and locked against a
// second writer; every Write is one synchronous write.
class FileRecordingSink final : public RecordingSink {
 public:
  // A failure when the file cannot be created, is no regular file (opening
  // never waits for a FIFO's reader) or another writer holds it.
  static Result<std::unique_ptr<FileRecordingSink>> Create(const std::string& path);
  ~FileRecordingSink() override;
  FileRecordingSink(const FileRecordingSink&) = delete;
  FileRecordingSink& operator=(const FileRecordingSink&) = delete;
  bool Write(std::span<const uint8_t> bytes) override;
  bool Close() override;
  int error() const override { return error_.load(); }

 private:
  explicit FileRecordingSink(FileHandle file) : file_(std::move(file)) {}
  FileHandle file_;
  std::atomic<int> error_{0};
};

}  // namespace quor

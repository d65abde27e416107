#include "generators/file_player.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/console.h"
#include "generators/settings_fields.h"

namespace quor {

static_assert(kFilePlayerSettingsBytes <= kSettingsBlockSize);
static_assert(kFilePlayerNameBytes + 1 == kFilePlayerSettingsBytes);

// How long opening waits for the reader thread's first frames, so that
// playback starts with frames at hand.
constexpr int kFirstFramesWaitMs = 200;

FilePlayerGenerator::FilePlayerGenerator(Console& console, RecordingOpener opener, FilePlayerReading reading)
    : console_(console), opener_(std::move(opener)), reading_(reading) {}

FilePlayerGenerator::~FilePlayerGenerator() { Close(); }

bool FilePlayerGenerator::Create(int, int) {
  Close();
  fileName_.clear();
  loadError_.reset();
  return true;
}

void FilePlayerGenerator::Destroy() { Close(); }

void FilePlayerGenerator::Close() {
  status_.WaitAndEnter(BusyStatus::kDestroyed, console_);
  reader_.reset();
  if (ahead_ != nullptr && ahead_->notReady() > 0) {
    console_.Print("File Player: %s: %llu frames were not read in time and were left out.\n", fileName_.c_str(),
                   static_cast<unsigned long long>(ahead_->notReady()));
  }
  ahead_.reset();  // stops the reader thread
  fileWidth_ = fileHeight_ = fileFps_ = 0;
}

RecordingOpenResult FilePlayerGenerator::Open() {
  if (status_.Get() != BusyStatus::kDestroyed || fileName_.empty()) return RecordingOpenResult::kCannotOpen;
  if (fileName_.size() > kFilePlayerNameBytes) {
    // A name the settings block cannot hold would come back cut short.
    fileName_.clear();
    return RecordingOpenResult::kNameTooLong;
  }
  std::unique_ptr<RecordingReader> reader;
  const RecordingOpenResult result = RecordingReader::Open(opener_(fileName_), &reader);
  if (const char* message = RecordingOpenMessage(result)) {
    console_.Print("File Player: %s: %s\n", fileName_.c_str(), message);
  }
  if (result == RecordingOpenResult::kUnknownFormat || result == RecordingOpenResult::kWrongVersion) {
    fileName_.clear();
  }
  if (result != RecordingOpenResult::kOpened) return result;

  const RecordingHeader& header = reader->header();
  noFrames_ = reader->index().frames.empty();
  fileWidth_ = static_cast<int>(header.width);
  fileHeight_ = static_cast<int>(header.height);
  fileFps_ = static_cast<int>(std::min<uint32_t>(header.fps, 0x7fffffff));
  fileFrame_.assign(header.FrameBytes(), 0);
  if (reading_ == FilePlayerReading::kAhead) {
    ahead_ = std::make_unique<RecordingReadAhead>(std::move(reader));
    ahead_->WaitUntilFull(kFirstFramesWaitMs);
  } else {
    reader_ = std::move(reader);
  }
  status_.SetReady();
  return result;
}

RecordingOpenResult FilePlayerGenerator::Load(const std::string& path) {
  Close();
  fileName_ = path;
  return Open();
}

void FilePlayerGenerator::ExchangeSettings(SettingsBlock& block, SettingsDirection direction) {
  using G = FilePlayerGenerator;
  constexpr int kName = static_cast<int>(kFilePlayerNameBytes);
  static constexpr auto kLayout =
      SettingsLayout<G>({StoredText<G, kName, kName, &G::fileName_>(), StoredByte<G, &G::smoothResize_>()});
  static_assert(kLayout.fields[1].offset == kFilePlayerSmoothOffset);
  if (direction == SettingsDirection::kStore) {
    kLayout.Store(*this, block);
    return;
  }
  Close();
  // The name ends at its first zero byte or after 255 characters.
  kLayout.Load(*this, block);
  const std::string name = fileName_;  // a refused file's name is cleared
  loadError_.reset();
  if (const char* text = RecordingOpenMessage(Open())) loadError_ = Failure{name, 0, text};
}

FilePlayerDialogState FilePlayerGenerator::DialogState(int matrixWidth, int matrixHeight) const {
  FilePlayerDialogState state;
  state.fileName = fileName_;
  char label[64];
  std::snprintf(label, sizeof(label), "File Resolution: %d x %d", fileWidth_, fileHeight_);
  state.resolutionLabel = label;
  const bool sameSize = fileWidth_ == matrixWidth && fileHeight_ == matrixHeight;
  state.resizeChecked = !sameSize;
  state.smoothEnabled = !sameSize;
  state.smoothChecked = smoothResize_.load() == 1;
  return state;
}

void FilePlayerGenerator::Render(const Canvas& canvas) {
  uint8_t* const frame = canvas.pixels;
  const int width = canvas.width;
  const int height = canvas.height;
  RenderGuard guard(status_);
  if (!guard || frame == nullptr || width <= 0 || height <= 0) return;
  const bool got = ahead_ != nullptr ? ahead_->Next(fileFrame_) == RecordingReadAhead::Result::kFrame
                                     : reader_->ReadFrame(fileFrame_) == FrameReadResult::kFrame;
  if (!got) {
    // A recording without frames (yet) plays as black.
    if (noFrames_) std::memset(frame, 0, static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    return;
  }
  noFrames_ = false;
  if (width == fileWidth_ && height == fileHeight_) {
    std::memcpy(frame, fileFrame_.data(), fileFrame_.size());
    return;
  }
  const bool smooth = smoothResize_.load() == 1;
  if (width != scaledWidth_ || height != scaledHeight_ || fileWidth_ != scaledFileWidth_ ||
      fileHeight_ != scaledFileHeight_ || smooth != scaledSmooth_) {
    PrepareScaling(width, height, smooth);
  }
  DrawScaled(canvas);
}

// Target column x starts at source column trunc(x * fileWidth / width) and,
// with smoothing, spans the ceil(fileWidth / width) columns that lie within
// one scaled pixel; rows alike. Computed exactly in integers, which equals
// trunc(sx * x) for sx = fileWidth / width without floating-point rounding.
void FilePlayerGenerator::PrepareScaling(int width, int height, bool smooth) {
  auto build = [smooth](std::vector<Span>& spans, int target, int source, size_t stride) {
    spans.resize(static_cast<size_t>(target));
    const int count = smooth ? std::max(1, (source + target - 1) / target) : 1;
    for (int i = 0; i < target; ++i) {
      const int first = static_cast<int>(static_cast<int64_t>(i) * source / target);
      // Never past the last source pixel, whatever the ratio.
      spans[static_cast<size_t>(i)] = {static_cast<size_t>(first) * stride, std::min(count, source - first)};
    }
  };
  build(columns_, width, fileWidth_, 3);
  build(rows_, height, fileHeight_, static_cast<size_t>(fileWidth_) * 3);
  auto single = [](const Span& span) { return span.count == 1; };
  pickOnly_ = std::all_of(columns_.begin(), columns_.end(), single) && std::all_of(rows_.begin(), rows_.end(), single);
  scaledWidth_ = width;
  scaledHeight_ = height;
  scaledFileWidth_ = fileWidth_;
  scaledFileHeight_ = fileHeight_;
  scaledSmooth_ = smooth;
}

void FilePlayerGenerator::DrawScaled(const Canvas& canvas) const {
  uint8_t* const frame = canvas.pixels;
  const int width = canvas.width;
  const int height = canvas.height;
  const uint8_t* source = fileFrame_.data();
  const size_t rowStride = static_cast<size_t>(fileWidth_) * 3;
  const size_t targetStride = static_cast<size_t>(width) * 3;
  for (int y = 0; y < height; ++y) {
    const Span& row = rows_[static_cast<size_t>(y)];
    uint8_t* out = frame + static_cast<size_t>(y) * targetStride;
    // Enlarging repeats rows: a row drawn from the same source rows as the
    // one above is a copy of it.
    if (y > 0 && row.first == rows_[static_cast<size_t>(y) - 1].first &&
        row.count == rows_[static_cast<size_t>(y) - 1].count) {
      std::memcpy(out, out - targetStride, targetStride);
      continue;
    }
    const uint8_t* sourceRow = source + row.first;
    if (pickOnly_) {
      for (const Span& column : columns_) {
        const uint8_t* p = sourceRow + column.first;
        out[0] = p[0];
        out[1] = p[1];
        out[2] = p[2];
        out += 3;
      }
      continue;
    }
    for (const Span& column : columns_) {
      int sum[3] = {0, 0, 0};
      const uint8_t* first = sourceRow + column.first;
      for (int r = 0; r < row.count; ++r) {
        const uint8_t* p = first + static_cast<size_t>(r) * rowStride;
        for (int c = 0; c < column.count; ++c, p += 3) {
          sum[0] += p[0];
          sum[1] += p[1];
          sum[2] += p[2];
        }
      }
      const int n = row.count * column.count;
      out[0] = static_cast<uint8_t>(sum[0] / n);
      out[1] = static_cast<uint8_t>(sum[1] / n);
      out[2] = static_cast<uint8_t>(sum[2] / n);
      out += 3;
    }
  }
}

std::unique_ptr<Generator> CreateFilePlayerGenerator(GeneratorContext& context) {
  return std::make_unique<FilePlayerGenerator>(context.console, &OpenRecordingFile, FilePlayerReading::kAhead);
}

}  // namespace quor

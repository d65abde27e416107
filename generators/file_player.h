// "Quor! File Player" (type 17): plays a recording file frame by frame into
// its slot, one frame per render tick, looping to the first frame after the
// end. A recording of another size than the matrix is scaled: each target
// pixel takes the source pixel at its scaled position or, with smoothing,
// the average of the block of source pixels it covers.
//
// Threads: Render runs on the clock thread; Create, Destroy, ExchangeSettings
// and the dialog's setters on the UI thread. The file is opened and closed
// under the busy protocol (status 0 no file, 1 ready, 3 rendering), so a
// close waits for a Render in progress. Opening indexes the file's frames
// once; the player the program creates then reads them on a reader thread
// ahead of the renders (files/recording_read_ahead.h), so Render never
// touches the disk. Messages about damaged files go to the console too.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/busy_status.h"
#include "core/change_feed.h"
#include "core/generator.h"
#include "files/recording_file.h"
#include "files/recording_read_ahead.h"

namespace quor {

class Console;

// Settings block: bytes 0..254 the file name, byte 255 smoothResize.
inline constexpr size_t kFilePlayerNameBytes = 255;
inline constexpr size_t kFilePlayerSmoothOffset = 255;
inline constexpr size_t kFilePlayerSettingsBytes = 256;

// What the "Quor! File Player" dialog shows.
struct FilePlayerDialogState {
  std::string fileName;
  std::string resolutionLabel;  // "File Resolution: %d x %d"
  bool resizeChecked = false;   // " Resize to Matrix Dimension" (always disabled)
  bool smoothEnabled = false;   // " Use smooth resizing (bicubic)"
  bool smoothChecked = false;
};

// kInRender reads each frame inside Render (one seek and one read; for
// tests and benchmarks that step renders one by one); kAhead reads on a
// reader thread.
enum class FilePlayerReading { kInRender, kAhead };

class FilePlayerGenerator final : public Generator {
 public:
  explicit FilePlayerGenerator(Console& console, RecordingOpener opener = &OpenRecordingFile,
                               FilePlayerReading reading = FilePlayerReading::kInRender);
  ~FilePlayerGenerator() override;

  // Empty name, no file, header fields 0, status 0.
  bool Create(int width, int height) override;
  // Plays the next frame; draws nothing without a file, at the end of the
  // recording (the next call starts over) or at a marker of unknown kind,
  // and black while the recording holds no frame.
  void Render(const Canvas& canvas) override;
  // Closes the file.
  void Destroy() override;
  // Store: name and smoothResize into the block. Load: closes the file,
  // takes name and smoothResize from the block and opens the file; an error
  // from opening is kept for TakeLoadError.
  void ExchangeSettings(SettingsBlock& block, SettingsDirection direction) override;

  // "Load": closes the open file, takes `path` and opens it. Returns the
  // result; RecordingOpenMessage gives the error box text, if any. On a
  // format error the name is cleared.
  RecordingOpenResult Load(const std::string& path);
  // " Use smooth resizing (bicubic)" toggled; acts from the next frame.
  void SetSmoothResize(bool on) { smoothResize_.store(on ? 1 : 0); }
  int smoothResize() const { return smoothResize_.load(); }
  FilePlayerDialogState DialogState(int matrixWidth, int matrixHeight) const;

  // The error the last ExchangeSettings load left (the file and the error
  // box text), if any; cleared by taking it. The engine hands it to the
  // change feed after a scene recall or a paste.
  std::optional<Failure> TakeLoadError() { return std::exchange(loadError_, std::nullopt); }

  const std::string& fileName() const { return fileName_; }
  int fileWidth() const { return fileWidth_; }
  int fileHeight() const { return fileHeight_; }
  int fileFps() const { return fileFps_; }
  int status() const { return status_.Get(); }

 private:
  // Opens fileName_ when no file is open and a name is set.
  RecordingOpenResult Open();
  // Waits for a Render in progress, then closes the file (status 0).
  void Close();
  // Rebuilds the scaling tables for this matrix size and mode.
  void PrepareScaling(int width, int height, bool smooth);
  void DrawScaled(const Canvas& canvas) const;

  Console& console_;
  RecordingOpener opener_;
  const FilePlayerReading reading_;
  BusyStatus status_;

  // Set while the status is 0, read by Render once it is 1.
  std::string fileName_;
  std::unique_ptr<RecordingReader> reader_;  // kInRender
  std::unique_ptr<RecordingReadAhead> ahead_;  // kAhead
  int fileWidth_ = 0;
  int fileHeight_ = 0;
  int fileFps_ = 0;
  std::vector<uint8_t> fileFrame_;
  std::atomic<int> smoothResize_{0};
  std::optional<Failure> loadError_;
  bool noFrames_ = false;  // the open recording held no frame; Render draws black

  // Render only: where each target column and row reads from.
  struct Span {
    size_t first;  // byte offset of the first source column or row
    int count;     // source columns or rows averaged (1 without smoothing)
  };
  std::vector<Span> columns_;
  std::vector<Span> rows_;
  int scaledWidth_ = 0;
  int scaledHeight_ = 0;
  int scaledFileWidth_ = 0;
  int scaledFileHeight_ = 0;
  bool scaledSmooth_ = false;
  bool pickOnly_ = true;  // every target pixel takes one source pixel
};

std::unique_ptr<Generator> CreateFilePlayerGenerator(GeneratorContext& context);

struct SettingsDialogTable;
// The settings dialog, described in generators/file_player_dialog.cpp.
extern const SettingsDialogTable kFilePlayerDialog;

}  // namespace quor

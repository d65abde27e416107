// Image Viewer (type 6): a still or animated image file, or a slideshow of
// the image files of a folder that advances on a timer, on audio beats or
// both, scaled to the matrix.
//
// Threads: Render runs on the clock thread; Create, Destroy,
// ExchangeSettings and the setters on the UI thread (through
// Engine::EditGenerator, never during a Render). Decoding runs on a loader
// thread of the generator's own: Render never waits for disk or decoder; it
// takes a finished image when one is there (try-lock) and meanwhile shows
// what it had, black at first. The image Render reads is released only
// under the busy protocol.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "generators/trigger_watch.h"
#include "audio/audio_trigger.h"
#include "core/busy_status.h"
#include "core/generator.h"
#include "generators/image_loader.h"

namespace quor {

inline constexpr int kImageViewerSettingsBytes = 311;
inline constexpr int kImageViewerPathBytes = 255;
inline constexpr int kSlideshowMinSeconds = 1;
inline constexpr int kSlideshowMaxSeconds = 300;

// The options that decide how an image lands on the matrix.
struct ImagePlacement {
  int resize = 1;      // " Resize to Matrix Dimension"
  int smooth = 0;      // " Use smooth resizing (bicubic)": block averaging
  int centre = 1;      // " Place in Center"
  int keepAspect = 1;  // " Keep Aspect Ratio"
  int zoom = 0;        // " Zoom": fill the matrix, cropping the image
};

// Draws one image frame (RGB) into the canvas: matrix pixel (x, y) averages the source block from
// (trunc(sx (x - ox)), trunc(sy (y - oy))) of bw x bh positions, positions
// outside the image counting as black.
void ScaleImageFrame(FrameView image, const ImagePlacement& placement, const Canvas& canvas);

class ImageViewerGenerator final : public Generator {
 public:
  explicit ImageViewerGenerator(GeneratorContext& context);
  ~ImageViewerGenerator() override;

  bool Create(int width, int height) override;
  void Render(const Canvas& canvas) override;
  void Destroy() override;
  // Loading releases the current image, repairs out-of-range values and
  // starts loading the stored file or slideshow.
  void ExchangeSettings(SettingsBlock& block, SettingsDirection direction) override;

  // The "Image Viewer" dialog's controls.
  // "Load": releases the current image, stores the path (file, or folder in
  // slideshow mode) and starts loading it. A path the block cannot hold
  // (255 bytes or more) is refused with false.
  bool LoadPath(const std::string& path);
  const std::string& path() const { return path_; }
  // " Slideshow": either way the current image is released and the path emptied.
  void SetSlideshow(bool on);
  bool slideshow() const { return slideshow_ != 0; }
  void SetTime(int seconds) { time_ = std::clamp(seconds, kSlideshowMinSeconds, kSlideshowMaxSeconds); }
  int time() const { return time_; }
  void SetTimed(bool on) { timed_ = on ? 1 : 0; }
  void SetAudio(bool on) { audio_ = on ? 1 : 0; }
  bool timed() const { return timed_ != 0; }
  bool audio() const { return audio_ != 0; }
  AudioTrigger& audioTrigger() { return trigger_; }
  // The check boxes that place the image; the next Render redraws a still image.
  void SetPlacement(const ImagePlacement& placement);
  const ImagePlacement& placement() const { return placement_; }

  int status() const { return status_.Get(); }
  // Frames of the image shown now (0 while none is shown).
  int frameCount() const;
  // Waits (UI thread, tests) until the loader has finished what was asked
  // of it; false when that takes longer than `timeoutMs`.
  bool WaitForLoader(int timeoutMs);
  // Milliseconds of a steady clock; replaceable for tests.
  void SetClock(std::function<int64_t()> clock) { clock_ = std::move(clock); }

 private:
  struct Request {
    uint64_t generation = 0;
    bool slideshow = false;  // next file of the folder, else the path itself
    std::string path;
  };
  struct Result {
    uint64_t generation = 0;
    std::shared_ptr<const DecodedImage> image;
  };

  void ReleaseImage();    // UI thread: status 0, image gone, loader told to drop its work
  void StartLoading();    // UI thread: status 1, loader asked for the path or first slide
  bool TryAsk(bool slideshow);  // never waits
  void LoaderMain();
  void TakeFinishedImage();     // clock thread, never waits

  GeneratorContext& context_;
  std::string path_;
  ImagePlacement placement_;
  int slideshow_ = 0;
  int time_ = 5;
  int timed_ = 1;
  int audio_ = 0;
  AudioTrigger trigger_;
  TriggerWatch triggerWatch_;
  int lastTrigger_ = 0;
  BusyStatus status_;
  std::function<int64_t()> clock_;

  // Clock-thread side (and UI thread while no Render runs).
  std::shared_ptr<const DecodedImage> image_;
  int nextFrame_ = 0;
  int lastFrame_ = -1;
  int64_t loadClock_ = 0;
  bool advanceWanted_ = false;

  // Shared with the loader thread under mutex_.
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  uint64_t generation_ = 0;  // of the latest request from the UI thread
  std::shared_ptr<const DecodedImage> garbage_;  // a replaced image, freed by the loader
  bool hasRequest_ = false;
  Request request_;
  bool busy_ = false;
  bool hasResult_ = false;
  Result result_;
  bool stop_ = false;
  std::thread loader_;
  SlideshowWalk walk_;  // loader thread only (reset through a request)
  uint64_t walkGeneration_ = 0;
  // The generation Render accepts results of; set by the UI thread while no
  // Render runs.
  uint64_t wantedGeneration_ = 0;
};

std::unique_ptr<Generator> CreateImageViewerGenerator(GeneratorContext& context);

struct SettingsDialogTable;
// The settings dialog, described in generators/image_viewer_dialog.cpp.
extern const SettingsDialogTable kImageViewerDialog;

}  // namespace quor

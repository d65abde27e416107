#include "generators/image_viewer.h"

#include <chrono>
#include <cmath>
#include <cstring>

#include "audio/audio_analyzer.h"
#include "core/console.h"
#include "generators/settings_fields.h"

namespace quor {

static_assert(kImageViewerSettingsBytes <= kSettingsBlockSize);

namespace {

int64_t SteadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The source positions one matrix column (or row) averages: `count`
// positions from `first`, of which [inFirst, inEnd) lie inside the image.
struct SourceSpan {
  int64_t inFirst;
  int64_t inEnd;
};

std::vector<SourceSpan> Spans(int target, int source, double scale, int offset, int count) {
  std::vector<SourceSpan> spans(static_cast<size_t>(target));
  for (int i = 0; i < target; ++i) {
    const double start = std::trunc(scale * (i - offset));
    // Far outside on either side counts as empty.
    const int64_t first = static_cast<int64_t>(std::clamp(start, -1.0e12, 1.0e12));
    spans[static_cast<size_t>(i)] = {std::clamp<int64_t>(first, 0, source),
                                     std::clamp<int64_t>(first + count, 0, source)};
  }
  return spans;
}

}  // namespace

void ScaleImageFrame(FrameView image, const ImagePlacement& placement, const Canvas& canvas) {
  const int imageWidth = image.width;
  const int imageHeight = image.height;
  uint8_t* const frame = canvas.pixels;
  const int width = canvas.width;
  const int height = canvas.height;
  double sx = 1.0;
  double sy = 1.0;
  if (placement.resize != 0) {
    sx = static_cast<double>(imageWidth) / width;
    sy = static_cast<double>(imageHeight) / height;
    if (placement.keepAspect != 0) sx = sy = placement.zoom != 0 ? std::min(sx, sy) : std::max(sx, sy);
  }
  int ox = 0;
  int oy = 0;
  if (placement.centre != 0) {
    oy = static_cast<int>((height - imageHeight / sy) * 0.5);
    ox = static_cast<int>((width - imageWidth / sx) * 0.5);
  }
  // Block sizes: positions c with x0 <= c < x0 + bw, so ceil(bw) of them.
  const int bw = placement.smooth != 0 ? std::max(1, static_cast<int>(std::ceil(sx))) : 1;
  const int bh = placement.smooth != 0 ? std::max(1, static_cast<int>(std::ceil(sy))) : 1;
  const std::vector<SourceSpan> columns = Spans(width, imageWidth, sx, ox, bw);
  const std::vector<SourceSpan> rows = Spans(height, imageHeight, sy, oy, bh);
  const int64_t count = int64_t{bw} * bh;
  const size_t stride = static_cast<size_t>(imageWidth) * 3;
  uint8_t* out = frame;
  for (const SourceSpan& row : rows) {
    for (const SourceSpan& column : columns) {
      int64_t sum[3] = {0, 0, 0};
      for (int64_t r = row.inFirst; r < row.inEnd; ++r) {
        const uint8_t* p = image.pixels + static_cast<size_t>(r) * stride + static_cast<size_t>(column.inFirst) * 3;
        for (int64_t c = column.inFirst; c < column.inEnd; ++c, p += 3) {
          sum[0] += p[0];
          sum[1] += p[1];
          sum[2] += p[2];
        }
      }
      out[0] = static_cast<uint8_t>(sum[0] / count);
      out[1] = static_cast<uint8_t>(sum[1] / count);
      out[2] = static_cast<uint8_t>(sum[2] / count);
      out += 3;
    }
  }
}

ImageViewerGenerator::ImageViewerGenerator(GeneratorContext& context)
    : context_(context), clock_(&SteadyMilliseconds) {}

ImageViewerGenerator::~ImageViewerGenerator() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (loader_.joinable()) loader_.join();
}

bool ImageViewerGenerator::Create(int, int) {
  ReleaseImage();
  path_.clear();
  placement_ = ImagePlacement{};
  slideshow_ = 0;
  time_ = 5;
  timed_ = 1;
  audio_ = 0;
  trigger_ = AudioTrigger{};
  lastTrigger_ = 0;
  return true;
}

void ImageViewerGenerator::Destroy() { ReleaseImage(); }

void ImageViewerGenerator::ReleaseImage() {
  status_.WaitAndEnter(BusyStatus::kDestroyed, context_.console);
  image_.reset();
  nextFrame_ = 0;
  lastFrame_ = -1;
  advanceWanted_ = false;
  std::lock_guard lock(mutex_);
  // Whatever the loader still does for an earlier request is dropped.
  ++generation_;
  wantedGeneration_ = generation_;
  hasRequest_ = false;
  hasResult_ = false;
  result_.image.reset();
}

void ImageViewerGenerator::StartLoading() {
  if (path_.empty()) return;
  {
    std::lock_guard lock(mutex_);
    ++generation_;
    wantedGeneration_ = generation_;
    request_ = {generation_, slideshow_ != 0, path_};
    hasRequest_ = true;
    if (!loader_.joinable()) loader_ = std::thread(&ImageViewerGenerator::LoaderMain, this);
  }
  wake_.notify_one();
  loadClock_ = clock_();
  lastTrigger_ = 0;
  status_.SetReady();
}

bool ImageViewerGenerator::LoadPath(const std::string& path) {
  if (path.size() >= static_cast<size_t>(kImageViewerPathBytes) || path.find('\0') != std::string::npos) {
    context_.console.Print("Image Viewer: the path is too long: %s\n", path.c_str());
    return false;
  }
  ReleaseImage();
  path_ = path;
  StartLoading();
  return true;
}

void ImageViewerGenerator::SetSlideshow(bool on) {
  ReleaseImage();
  path_.clear();
  slideshow_ = on ? 1 : 0;
}

void ImageViewerGenerator::SetPlacement(const ImagePlacement& placement) {
  placement_ = placement;
  lastFrame_ = -1;  // a still image is drawn again with the new options
}

int ImageViewerGenerator::frameCount() const { return image_ ? static_cast<int>(image_->frames.size()) : 0; }

bool ImageViewerGenerator::WaitForLoader(int timeoutMs) {
  std::unique_lock lock(mutex_);
  return idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !hasRequest_ && !busy_; });
}

void ImageViewerGenerator::ExchangeSettings(SettingsBlock& block, SettingsDirection direction) {
  using G = ImageViewerGenerator;
  using P = ImagePlacement;
  static constexpr auto kLayout = SettingsLayout<G>(
      {StoredText<G, kImageViewerPathBytes, kImageViewerPathBytes - 1, &G::path_>(),
       Stored<G, &G::placement_, &P::resize>(), Stored<G, &G::placement_, &P::centre>(),
       Stored<G, &G::placement_, &P::keepAspect>(), Stored<G, &G::slideshow_>(), Stored<G, &G::time_>(),
       Stored<G, &G::timed_>(), Stored<G, &G::audio_>(), Stored<G, &G::trigger_>(),
       Stored<G, &G::placement_, &P::smooth>(), Stored<G, &G::placement_, &P::zoom>()});
  static_assert(kLayout.bytes == kImageViewerSettingsBytes);
  if (direction == SettingsDirection::kStore) {
    kLayout.Store(*this, block);
    return;
  }
  ReleaseImage();
  kLayout.Load(*this, block);
  if (slideshow_ > 1) slideshow_ = 0;
  if (time_ < kSlideshowMinSeconds || time_ > kSlideshowMaxSeconds) time_ = 5;
  if (timed_ > 1) timed_ = 1;
  if (audio_ > 1) audio_ = 0;
  if (timed_ == 0 && audio_ == 0) timed_ = 1;
  if (placement_.smooth > 1) placement_.smooth = 0;
  RepairAudioTrigger(trigger_);
  StartLoading();
}

bool ImageViewerGenerator::TryAsk(bool slideshow) {
  std::unique_lock lock(mutex_, std::try_to_lock);
  if (!lock.owns_lock()) return false;
  request_ = {wantedGeneration_, slideshow, path_};
  hasRequest_ = true;
  lock.unlock();
  wake_.notify_one();
  return true;
}

void ImageViewerGenerator::TakeFinishedImage() {
  std::unique_lock lock(mutex_, std::try_to_lock);
  // While the loader has not yet freed the image replaced last time, the new
  // one waits a frame: nothing large is freed in the tick.
  if (!lock.owns_lock() || !hasResult_ || garbage_ != nullptr) return;
  hasResult_ = false;
  if (result_.generation != wantedGeneration_) return;
  // The replaced image is freed on the loader thread, not in the tick.
  garbage_ = std::move(image_);
  image_ = std::move(result_.image);
  lock.unlock();
  wake_.notify_one();
  nextFrame_ = 0;
  lastFrame_ = -1;
  loadClock_ = clock_();
}

void ImageViewerGenerator::Render(const Canvas& canvas) {
  uint8_t* const frame = canvas.pixels;
  const int width = canvas.width;
  const int height = canvas.height;
  if (frame == nullptr || width <= 0 || height <= 0) return;
  const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
  RenderGuard guard(status_);
  if (!guard) {
    if (status_.Get() == BusyStatus::kDestroyed) std::memset(frame, 0, bytes);
    return;
  }
  TakeFinishedImage();
  if (slideshow_ != 0) {
    const int64_t now = clock_();
    const bool due = now - loadClock_ > int64_t{time_} * 1000;
    bool advance = false;
    if (audio_ != 0) {
      const int active = triggerWatch_.Active(context_, *this, trigger_) ? 1 : 0;
      const bool rising = active > 0 && lastTrigger_ == 0;
      lastTrigger_ = active;
      advance = rising && (timed_ == 0 || due);
    } else if (timed_ != 0) {
      advance = due;
    }
    if (advance) advanceWanted_ = true;
    // A loader that holds its lock right now is asked again next frame.
    if (advanceWanted_ && TryAsk(true)) {
      advanceWanted_ = false;
      loadClock_ = now;
    }
  }
  if (!image_) {
    std::memset(frame, 0, bytes);
    lastFrame_ = -1;
    return;
  }
  if (nextFrame_ == lastFrame_) return;
  const int count = static_cast<int>(image_->frames.size());
  if (nextFrame_ >= count) nextFrame_ = 0;
  ScaleImageFrame({image_->frames[static_cast<size_t>(nextFrame_)].data(), image_->width, image_->height}, placement_,
                  canvas);
  lastFrame_ = nextFrame_;
  nextFrame_ = (nextFrame_ + 1) % count;
}

void ImageViewerGenerator::LoaderMain() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stop_ || hasRequest_ || garbage_ != nullptr; });
    garbage_.reset();
    if (stop_) return;
    if (!hasRequest_) continue;
    const Request request = std::move(request_);
    hasRequest_ = false;
    busy_ = true;
    lock.unlock();

    std::string file = request.path;
    if (request.slideshow) {
      if (walkGeneration_ != request.generation) {
        walk_.Reset(request.path);
        walkGeneration_ = request.generation;
      }
      file = walk_.Next();
    }
    ImageDecodeResult decoded;
    if (file.empty()) {
      context_.console.Print("Image Viewer: no image file in %s\n", request.path.c_str());
    } else {
      decoded = DecodeImageFile(file);
      if (!decoded.error.empty()) {
        context_.console.Print("Image Viewer: %s: %s\n", file.c_str(), decoded.error.c_str());
      }
    }

    lock.lock();
    busy_ = false;
    if (request.generation == generation_) {
      result_ = {request.generation, std::move(decoded.image)};
      hasResult_ = true;
    }
    idle_.notify_all();
  }
}

std::unique_ptr<Generator> CreateImageViewerGenerator(GeneratorContext& context) {
  return std::make_unique<ImageViewerGenerator>(context);
}

}  // namespace quor

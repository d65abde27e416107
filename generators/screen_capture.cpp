#include "generators/screen_capture.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "core/console.h"
#include "generators/settings_fields.h"
#include "platform/x11_screen.h"

namespace quor {

static_assert(kScreenCaptureSettingsBytes <= kSettingsBlockSize);

void AreaAverage(int sourceWidth, int sourceHeight, const uint8_t* source, size_t sourceStride, int bytesPerPixel,
                 const int rgbOffsets[3], const Canvas& canvas) {
                   uint8_t* const frame = canvas.pixels;
                   const int width = canvas.width;
                   const int height = canvas.height;
  if (sourceWidth <= 0 || sourceHeight <= 0) {
    std::memset(frame, 0, static_cast<size_t>(width) * height * 3);
    return;
  }
  auto span = [](int i, int target, int sourceSize) {
    const int first = static_cast<int>(int64_t{i} * sourceSize / target);
    const int end = static_cast<int>(int64_t{i + 1} * sourceSize / target);
    return std::pair{first, std::max(end, first + 1)};
  };
  uint8_t* out = frame;
  for (int y = 0; y < height; ++y) {
    const auto [rowFirst, rowEnd] = span(y, height, sourceHeight);
    for (int x = 0; x < width; ++x) {
      const auto [columnFirst, columnEnd] = span(x, width, sourceWidth);
      uint64_t sum[3] = {0, 0, 0};
      for (int r = rowFirst; r < rowEnd; ++r) {
        const uint8_t* p = source + static_cast<size_t>(r) * sourceStride + static_cast<size_t>(columnFirst) * bytesPerPixel;
        for (int c = columnFirst; c < columnEnd; ++c, p += bytesPerPixel) {
          sum[0] += p[rgbOffsets[0]];
          sum[1] += p[rgbOffsets[1]];
          sum[2] += p[rgbOffsets[2]];
        }
      }
      const uint64_t n = static_cast<uint64_t>(rowEnd - rowFirst) * static_cast<uint64_t>(columnEnd - columnFirst);
      out[0] = static_cast<uint8_t>(sum[0] / n);
      out[1] = static_cast<uint8_t>(sum[1] / n);
      out[2] = static_cast<uint8_t>(sum[2] / n);
      out += 3;
    }
  }
}

ScreenCaptureGenerator::~ScreenCaptureGenerator() { Destroy(); }

bool ScreenCaptureGenerator::Create(int width, int height) {
  Destroy();
  int expected = 0;
  if (!context_.screenCaptures.compare_exchange_strong(expected, 1)) return false;
  counted_ = true;
  status_.BeginCreate();
  width_ = width;
  height_ = height;
  SetRectangle({100, 100, 420, 100 + 320 * height / std::max(width, 1)});
  ready_.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 0);
  captures_ = 0;
  wanted_ = false;
  stop_ = false;
  Result<std::unique_ptr<X11Screen>> screen = X11Screen::Connect(displayName_);
  if (!screen) {
    context_.console.Write("Screen Capture: no X11 display; the picture stays black\n");
  } else {
    screen_ = std::move(*screen);
    thread_ = std::thread(&ScreenCaptureGenerator::CaptureMain, this);
  }
  status_.SetReady();
  return true;
}

void ScreenCaptureGenerator::Stop() {
  if (thread_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  screen_.reset();
}

void ScreenCaptureGenerator::Destroy() {
  if (status_.Get() == BusyStatus::kDestroyed && !counted_) return;
  status_.WaitAndEnter(BusyStatus::kDestroyed, context_.console);
  Stop();
  if (counted_) {
    context_.screenCaptures.store(0);
    counted_ = false;
  }
}

void ScreenCaptureGenerator::SetRectangle(const CaptureRectangle& r) {
  left_.store(r.left);
  top_.store(r.top);
  right_.store(r.right);
  bottom_.store(r.bottom);
}

CaptureRectangle ScreenCaptureGenerator::rectangle() const {
  return {left_.load(), top_.load(), right_.load(), bottom_.load()};
}

void ScreenCaptureGenerator::ExchangeSettings(SettingsBlock& block, SettingsDirection direction) {
  using R = CaptureRectangle;
  static constexpr auto kLayout = SettingsLayout<R>(
      {Stored<R, &R::left>(), Stored<R, &R::top>(), Stored<R, &R::right>(), Stored<R, &R::bottom>()});
  static_assert(kLayout.bytes == kScreenCaptureSettingsBytes);
  if (direction == SettingsDirection::kStore) {
    kLayout.Store(rectangle(), block);
    return;
  }
  CaptureRectangle r;
  kLayout.Load(r, block);
  SetRectangle(r);
}

void ScreenCaptureGenerator::Render(const Canvas& canvas) {
  uint8_t* const frame = canvas.pixels;
  const int width = canvas.width;
  const int height = canvas.height;
  RenderGuard guard(status_);
  if (!guard || frame == nullptr || width != width_ || height != height_) return;
  std::unique_lock lock(mutex_, std::try_to_lock);
  // The capture thread is handing over a picture right now: the frame keeps
  // the previous one.
  if (!lock.owns_lock()) return;
  std::memcpy(frame, ready_.data(), ready_.size());
  wanted_ = true;
  lock.unlock();
  wake_.notify_one();
}

bool ScreenCaptureGenerator::WaitForCaptures(int count, int timeoutMs) {
  std::unique_lock lock(mutex_);
  const uint64_t target = captures_ + static_cast<uint64_t>(count);
  wanted_ = true;
  wake_.notify_one();
  return delivered_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    if (captures_ < target) {
      wanted_ = true;
      wake_.notify_one();
    }
    return captures_ >= target;
  });
}

void ScreenCaptureGenerator::CaptureMain() {
  std::vector<uint8_t> grabbed;
  std::vector<uint8_t> picture(ready_.size());
  bool warned = false;
  const int rgb[3] = {0, 1, 2};
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stop_ || wanted_; });
      if (stop_) return;
      wanted_ = false;
    }
    const CaptureRectangle rect = rectangle();
    const int w = std::clamp(rect.right - rect.left, 0, kMaxCaptureSide);
    const int h = std::clamp(rect.bottom - rect.top, 0, kMaxCaptureSide);
    if (const std::optional<Failure> failed = screen_->Grab(rect.left, rect.top, w, h, grabbed)) {
      if (!warned) context_.console.Print("Screen Capture: %s\n", failed->message.c_str());
      warned = true;
      std::fill(picture.begin(), picture.end(), uint8_t{0});
    } else {
      AreaAverage(w, h, grabbed.data(), static_cast<size_t>(w) * 3, 3, rgb, Canvas{picture.data(), width_, height_});
    }
    {
      std::lock_guard lock(mutex_);
      ready_.swap(picture);
      ++captures_;
    }
    delivered_.notify_all();
  }
}

std::unique_ptr<Generator> CreateScreenCaptureGenerator(GeneratorContext& context) {
  return std::make_unique<ScreenCaptureGenerator>(context);
}

}  // namespace quor

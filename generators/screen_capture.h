// Screen Capture (type 12, "Capture Screen" in the effect list): a rectangle
// of the X11 screen, area-averaged down (or up) to the matrix on every frame.
// Only one Screen Capture runs at a time; a second one refuses to start.
//
// Threads: Create, Destroy, ExchangeSettings and SetRectangle on the UI
// thread; Render on the clock thread. The X round trip and the averaging
// run on a capture thread of the generator's own with its own X connection:
// each Render asks for the next picture and copies the last finished one,
// so a tick never waits on the X server.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/busy_status.h"
#include "core/generator.h"
#include "platform/x11_screen.h"

namespace quor {

inline constexpr int kScreenCaptureSettingsBytes = 4 * 4;
// A side of the capture rectangle larger than this is cut to it.
inline constexpr int kMaxCaptureSide = 16384;

struct CaptureRectangle {
  int left = 100;
  int top = 100;
  int right = 420;
  int bottom = 260;
  friend bool operator==(const CaptureRectangle&, const CaptureRectangle&) = default;
};

// Averages a source picture of sourceWidth x sourceHeight pixels (any
// layout: `pixel(x, y)` returns a pointer to R, G, B) into a width x height
// frame. Target column x covers source columns [x sw / w, (x + 1) sw / w),
// at least one; rows alike.
void AreaAverage(int sourceWidth, int sourceHeight, const uint8_t* source, size_t sourceStride, int bytesPerPixel,
                 const int rgbOffsets[3], const Canvas& canvas);

class ScreenCaptureGenerator final : public Generator {
 public:
  explicit ScreenCaptureGenerator(GeneratorContext& context) : context_(context) {}
  ~ScreenCaptureGenerator() override;

  // Refused (false) while another Screen Capture runs. Without an X11
  // display it starts but shows black, and says so once.
  bool Create(int width, int height) override;
  void Render(const Canvas& canvas) override;
  void Destroy() override;
  void ExchangeSettings(SettingsBlock& block, SettingsDirection direction) override;

  // The placement frame stores its screen rectangle here.
  void SetRectangle(const CaptureRectangle& rectangle);
  CaptureRectangle rectangle() const;
  // The X display to read ("" = $DISPLAY); takes effect at the next Create.
  void SetDisplayName(std::string name) { displayName_ = std::move(name); }
  int status() const { return status_.Get(); }
  // Waits (tests) until the capture thread has delivered `count` pictures
  // since the call; false after `timeoutMs`.
  bool WaitForCaptures(int count, int timeoutMs);

 private:
  void CaptureMain();
  void Stop();

  GeneratorContext& context_;
  std::string displayName_;
  std::atomic<int> left_{100}, top_{100}, right_{420}, bottom_{260};
  BusyStatus status_;
  bool counted_ = false;
  int width_ = 0;
  int height_ = 0;
  std::unique_ptr<X11Screen> screen_;  // the capture thread's own connection

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable delivered_;
  bool wanted_ = false;
  bool stop_ = false;
  uint64_t captures_ = 0;
  std::vector<uint8_t> ready_;  // the last finished picture, width x height RGB
  std::thread thread_;
};

std::unique_ptr<Generator> CreateScreenCaptureGenerator(GeneratorContext& context);

}  // namespace quor

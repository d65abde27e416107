// Fading Pixels (type 18): dims the slot's previous picture a little every
// frame and sprinkles new random pixels or small squares onto it. Keeps no
// buffers; the picture itself carries the state from frame to frame.
// Render runs on the frame clock; Create, Destroy, ExchangeSettings and the
// setters on the UI thread (the setters through Engine::EditGenerator).
#pragma once

#include <algorithm>
#include <cstdint>

#include "core/generator.h"
#include "generators/color.h"

namespace quor {

class FadingPixelsGenerator final : public Generator, public ColorGroupOwner {
 public:
  static constexpr int kDefaultCount = 20;
  static constexpr int kDefaultFade = 10;
  static constexpr int kMinFade = 1;
  static constexpr int kMaxFade = 128;
  static constexpr int kMaxSize = 10;
  static constexpr Rgb kDefaultColor{255, 0, 0};
  static constexpr int kDefaultAutoColorMode = 1;
  // Settings block: count, fade, size, random colour, red, green, blue,
  // AutoColorMode (eight 32-bit words).
  static constexpr int kSettingsBytes = 8 * 4;

  explicit FadingPixelsGenerator(GeneratorContext& context)
      : ColorGroupOwner(kDefaultColor, kDefaultAutoColorMode), context_(context) {}

  bool Create(int width, int height) override;
  void Render(const Canvas& canvas) override;
  void Destroy() override {}
  void ExchangeSettings(SettingsBlock& block, SettingsDirection direction) override;

  // "Count" 0..100: new pixels per frame in per cent of a quarter of the
  // pixel count (plus one).
  void SetCount(int count) { count_ = std::clamp(count, 0, 100); }
  int count() const { return count_; }
  // Amount taken from every component per frame, 1..128.
  void SetFade(int fade) { fade_ = std::clamp(fade, kMinFade, kMaxFade); }
  int fade() const { return fade_; }
  // The "Fade" trackbar runs 1..128 with the strongest fade on the left.
  static int FadeFromTrackbar(int position) { return 129 - position; }
  static int TrackbarFromFade(int fade) { return 129 - fade; }
  // "Size" 0..10: a new pixel becomes a square of size + 1 pixels per side.
  void SetSize(int size) { size_ = std::clamp(size, 0, kMaxSize); }
  int size() const { return size_; }
  // " Randomize Pixel Color": every new pixel gets its own random colour.
  void SetRandomColor(bool on) { randomColor_ = on ? 1 : 0; }
  bool randomColor() const { return randomColor_ != 0; }

 private:
  GeneratorContext& context_;
  int count_ = kDefaultCount;
  int fade_ = kDefaultFade;
  int size_ = 0;
  int randomColor_ = 0;
};

std::unique_ptr<Generator> CreateFadingPixelsGenerator(GeneratorContext& context);

struct SettingsDialogTable;
// The settings dialog, described in generators/fading_pixels_dialog.cpp.
extern const SettingsDialogTable kFadingPixelsDialog;

}  // namespace quor

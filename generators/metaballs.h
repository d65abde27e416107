// Metaballs (type 9): bouncing balls whose soft radial kernels add up, with
// saturation, into an intensity field tinted with one colour. The kernel
// and the balls are rebuilt whenever "Size" or "Balls" change.
// Render runs on the frame clock; Create, Destroy, ExchangeSettings and the
// setters on the UI thread (the setters through Engine::EditGenerator).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/busy_status.h"
#include "core/generator.h"
#include "generators/color.h"

namespace quor {

class MetaballsGenerator final : public Generator, public ColorGroupOwner {
 public:
  // Position and velocity in pixels (per step), single precision.
  struct Ball {
    float x = 0;
    float y = 0;
    float vx = 0;
    float vy = 0;
  };

  static constexpr int kDefaultSize = 20;
  static constexpr int kDefaultBalls = 10;
  static constexpr Rgb kDefaultColor{255, 0, 0};
  static constexpr int kDefaultAutoColorMode = 2;
  // Settings block: size, balls, AutoColorMode, collision, red, green, blue.
  static constexpr int kSettingsBytes = 7 * 4;

  explicit MetaballsGenerator(GeneratorContext& context);

  bool Create(int width, int height) override;
  void Render(const Canvas& canvas) override;
  void Destroy() override;
  void ExchangeSettings(SettingsBlock& block, SettingsDirection direction) override;

  // "Size" 1..100: kernel diameter in per cent of the larger matrix side.
  // Rebuilds kernel and balls.
  void SetSize(int size);
  int size() const { return size_; }
  // "Balls" 0..100: ball count in per cent of the larger side (plus one).
  // Rebuilds kernel and balls.
  void SetBalls(int balls);
  int balls() const { return balls_; }
  void SetCollision(bool on) { collision_ = on ? 1 : 0; }
  bool collision() const { return collision_ != 0; }
  // Components are clamped to 0..255.

  // The kernel edge D and its cells (D x D, row-major) of the last rebuild.
  int kernelSize() const { return kernelSize_; }
  std::span<const uint8_t> kernel() const { return kernel_; }
  std::span<const Ball> ballList() const { return ballList_; }
  // Puts ball `index` at a given place and speed (scripted scenes, tests);
  // ignored for an index outside the ball list.
  void PlaceBall(int index, const Ball& ball);
  int busyState() const { return busy_.Get(); }

 private:
  // Builds kernel and balls for the created size and ends ready; the caller
  // has taken the busy word (creating).
  void Rebuild();
  // Waits for a running Render, applies `change` and rebuilds.
  template <typename Change>
  void ChangeAndRebuild(Change change);
  void MoveBalls(int pixelStep);

  GeneratorContext& context_;
  int size_ = kDefaultSize;
  int balls_ = kDefaultBalls;
  int collision_ = 1;
  std::vector<uint8_t> kernel_;
  std::vector<uint8_t> field_;
  std::vector<Ball> ballList_;
  BusyStatus busy_;
  int kernelSize_ = 0;
  int width_ = 0;
  int height_ = 0;
};

std::unique_ptr<Generator> CreateMetaballsGenerator(GeneratorContext& context);

struct SettingsDialogTable;
// The settings dialog, described in generators/metaballs_dialog.cpp.
extern const SettingsDialogTable kMetaballsDialog;

}  // namespace quor

// Starfield (type 16): stars flying towards the viewer, projected onto the
// matrix and drawn as streaks from their last screen position. A star
// respawns far away once its projection leaves the matrix or it passes the
// viewer. The star list is rebuilt on a "Stars" change and a settings load.
// Render runs on the frame clock; Create, Destroy, ExchangeSettings and the
// setters on the UI thread (the setters through Engine::EditGenerator).
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "core/busy_status.h"
#include "core/generator.h"
#include "generators/color.h"

namespace quor {

class StarfieldGenerator final : public Generator, public ColorGroupOwner {
 public:
  // Space position (x, y around the axis of view, z the depth), speed in
  // depth units per frame and the screen position of the last frame
  // ((-1, -1) when the star has not been drawn since it spawned).
  struct Star {
    int x = 0;
    int y = 0;
    int z = 0;
    int speed = 0;
    int lastX = -1;
    int lastY = -1;
  };

  static constexpr int kDefaultStars = 30;
  static constexpr int kDefaultZoom = 100;
  static constexpr int kDefaultSpeed = 5;
  // Settings block: red, green, blue, AutoColorMode, stars, trails, zoom,
  // speed (eight 32-bit words).
  static constexpr Rgb kDefaultColor{255, 255, 0};
  static constexpr int kSettingsBytes = 8 * 4;

  explicit StarfieldGenerator(GeneratorContext& context);

  bool Create(int width, int height) override;
  void Render(const Canvas& canvas) override;
  void Destroy() override;
  void ExchangeSettings(SettingsBlock& block, SettingsDirection direction) override;

  // "Stars" 10..100: star count in per cent of a fifth of the pixel count.
  // Rebuilds the stars.
  void SetStars(int stars);
  int stars() const { return stars_; }
  // "Zoom" 50..150: projection factor.
  void SetZoom(int zoom) { zoom_ = std::clamp(zoom, 50, 150); }
  int zoom() const { return zoom_; }
  // "Speed" 1..20.
  void SetSpeed(int speed) { speed_ = std::clamp(speed, 1, 20); }
  int speed() const { return speed_; }
  // Streaks from the last screen position (on) or single pixels (off).
  void SetTrails(bool on) { trails_ = on ? 1 : 0; }
  bool trails() const { return trails_ != 0; }

  std::span<const Star> starList() const { return starList_; }
  int busyState() const { return busy_.Get(); }

 private:
  void Rebuild();
  template <typename Change>
  void ChangeAndRebuild(Change change);
  void PlaceFarAway(Star& star);

  GeneratorContext& context_;
  int stars_ = kDefaultStars;
  std::vector<Star> starList_;
  BusyStatus busy_;
  int trails_ = 1;
  int zoom_ = kDefaultZoom;
  int speed_ = kDefaultSpeed;
  int width_ = 0;
  int height_ = 0;
};

std::unique_ptr<Generator> CreateStarfieldGenerator(GeneratorContext& context);

struct SettingsDialogTable;
// The settings dialog, described in generators/starfield_dialog.cpp.
extern const SettingsDialogTable kStarfieldDialog;

}  // namespace quor

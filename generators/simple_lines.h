// Simple Lines (type 4): five line animations over a background that fades
// a little every frame: a rotating cross, a turning inscribed quadrilateral,
// bouncing lines, spotlight cones from the corners and sine "snakes". The
// element records (and the spotlight scratch frame) are owned from Create to
// Destroy and guarded by the busy protocol. Render runs on the frame-clock
// thread; Create, Destroy, ExchangeSettings and the setters on the UI thread.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/busy_status.h"
#include "core/generator.h"
#include "generators/color.h"

namespace quor {

class SimpleLinesGenerator : public Generator, public ColorGroupOwner {
 public:
  enum Mode : int {
    kCross = 0,
    kRectangular = 1,
    kDancingLines = 2,
    kSpotlights = 3,
    kDancingSnakes = 4,
  };
  // Spotlight corner bits.
  static constexpr int kLeftTop = 1;
  static constexpr int kRightTop = 2;
  static constexpr int kLeftBottom = 4;
  static constexpr int kRightBottom = 8;

  // Two records per line or snake. Dancing lines use (x, y, vx, vy) for each
  // end point; the other modes (angle, direction, speed, width).
  struct Element {
    float a = 0;
    float b = 0;
    float c = 0;
    float d = 0;
  };

  static constexpr Rgb kDefaultColor{0, 255, 0};

  explicit SimpleLinesGenerator(GeneratorContext& context)
      : ColorGroupOwner(kDefaultColor, kAutoColorShared), context_(context) {}

  bool Create(int width, int height) override;
  void Render(const Canvas& canvas) override;
  void Destroy() override;
  void ExchangeSettings(SettingsBlock& block, SettingsDirection direction) override;

  // Settings as the dialog edits them.
  int mode() const { return mode_; }
  // Entering "Dancing Lines" or "Dancing Snakes" rebuilds the elements.
  void SetMode(int mode);
  int fade() const { return fade_; }
  void SetFade(int percent);  // 0..100 of the larger matrix side
  int count() const { return count_; }
  void SetCount(int count);  // 1..5; rebuilds the elements
  int beam() const { return beam_; }
  void SetBeam(int degrees);  // 20..60
  int phase() const { return phase_; }
  void SetPhase(int degrees);  // 0..180
  int corners() const { return corners_; }
  void SetCorners(int mask) { corners_ = mask & 15; }

  // Run-time state, for inspection.
  int counter() const { return counter_; }
  const std::vector<Element>& elements() const { return elements_; }
  int busyState() const { return busy_.Get(); }

 private:
  void Rebuild();
  void DrawCross(const Canvas& canvas, Rgb color);
  void DrawRectangular(const Canvas& canvas, Rgb color);
  void DrawDancingLines(const Canvas& canvas, Rgb color);
  void DrawSpotlights(const Canvas& canvas, Rgb color);
  void DrawSnakes(const Canvas& canvas, Rgb color);

  GeneratorContext& context_;
  int mode_ = kCross;
  int fade_ = 15;
  int counter_ = 0;
  int count_ = 1;
  int beam_ = 25;
  int phase_ = 60;
  int corners_ = kLeftTop | kRightTop;
  std::vector<Element> elements_;
  BusyStatus busy_;
  std::vector<uint8_t> scratch_;
  int matrixWidth_ = 0;
  int matrixHeight_ = 0;
};

std::unique_ptr<Generator> CreateSimpleLinesGenerator(GeneratorContext& context);

struct SettingsDialogTable;
// The settings dialog, described in generators/simple_lines_dialog.cpp.
extern const SettingsDialogTable kSimpleLinesDialog;

}  // namespace quor

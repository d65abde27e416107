// Simple Color (type 7): fills the whole matrix with one colour, fixed or
// stepping along the auto colour wheel once per frame. Also home of the
// solid fill that Strobe shares.
// Render runs on the clock thread; Create, ExchangeSettings and the setters
// on the UI thread, never at the same time as Render (Engine::EditGenerator).
#pragma once

#include <cstdint>
#include <memory>

#include "core/generator.h"
#include "core/rgb_frame.h"
#include "generators/color.h"

namespace quor {

// Four 32-bit words: red, green, blue, auto colour mode.
inline constexpr int kSimpleColorSettingsBytes = 4 * 4;

// Writes `color` (low byte of each component) into all width * height pixels.
void FillFrame(const Canvas& canvas, Rgb color);

class SimpleColorGenerator final : public Generator, public ColorGroupOwner {
 public:
  explicit SimpleColorGenerator(GeneratorContext& context) : context_(context) {}

  bool Create(int width, int height) override;
  void Render(const Canvas& canvas) override;
  void Destroy() override {}
  // Loading restarts the own wheel at a random point.
  void ExchangeSettings(SettingsBlock& block, SettingsDirection direction) override;

 private:
  GeneratorContext& context_;
};

std::unique_ptr<Generator> CreateSimpleColorGenerator(GeneratorContext& context);

struct SettingsDialogTable;
// The settings dialog, described in generators/simple_color_dialog.cpp.
extern const SettingsDialogTable kSimpleColorDialog;

}  // namespace quor

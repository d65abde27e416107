// Falling Rain (type 13): drops with linearly fading tails running along
// one of four directions, each respawning in a random lane once it has left
// the matrix. The drop list is rebuilt on every change of "Drops" or
// "Direction" and on a settings load.
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

class FallingRainGenerator final : public Generator, public ColorGroupOwner {
 public:
  enum Direction : int {
    kTopToBottom = 0,
    kBottomToTop = 1,
    kLeftToRight = 2,
    kRightToLeft = 3,
  };

  // A drop's lane across the fall direction and its head's distance from
  // the edge it enters at; negative while it waits to enter.
  struct Drop {
    int lane = 0;
    int head = 0;
  };

  static constexpr int kDefaultDrops = 25;
  static constexpr int kDefaultLength = 15;
  static constexpr Rgb kDefaultColor{0, 0, 255};
  static constexpr int kDefaultAutoColorMode = 2;
  // Settings block: drops, length, direction, red, green, blue,
  // AutoColorMode (seven 32-bit words).
  static constexpr int kSettingsBytes = 7 * 4;

  explicit FallingRainGenerator(GeneratorContext& context);

  bool Create(int width, int height) override;
  void Render(const Canvas& canvas) override;
  void Destroy() override;
  void ExchangeSettings(SettingsBlock& block, SettingsDirection direction) override;

  // "Drops" 0..100: drops in per cent of five times the cross dimension
  // (plus one). Rebuilds the drops.
  void SetDrops(int drops);
  int drops() const { return drops_; }
  // "Length" 0..100: tail length in per cent of three times the fall
  // dimension (plus one).
  void SetLength(int length) { length_ = ClampLength(length); }
  int length() const { return length_; }
  // Rebuilds the drops; values outside 0..3 select top to bottom.
  void SetDirection(int direction);
  int direction() const { return direction_; }

  std::span<const Drop> dropList() const { return dropList_; }
  int busyState() const { return busy_.Get(); }

 private:
  static int ClampLength(int length);
  static int ValidDirection(int direction);
  int FallSize() const { return direction_ < kLeftToRight ? height_ : width_; }
  int CrossSize() const { return direction_ < kLeftToRight ? width_ : height_; }
  void SpawnDrop(Drop& drop);
  // Builds the drop list for the created size and ends ready; the caller
  // has taken the busy word (creating).
  void Rebuild();
  template <typename Change>
  void ChangeAndRebuild(Change change);

  GeneratorContext& context_;
  int drops_ = kDefaultDrops;
  int length_ = kDefaultLength;
  int direction_ = kTopToBottom;
  std::vector<Drop> dropList_;
  BusyStatus busy_;
  int width_ = 0;
  int height_ = 0;
};

std::unique_ptr<Generator> CreateFallingRainGenerator(GeneratorContext& context);

struct SettingsDialogTable;
// The settings dialog, described in generators/falling_rain_dialog.cpp.
extern const SettingsDialogTable kFallingRainDialog;

}  // namespace quor

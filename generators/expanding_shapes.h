// Expanding Shapes (type 10): shapes (rectangles, circles, diamonds, stars,
// text or single characters) grow from random centres, optionally fading as
// they grow and optionally each started by a rising audio beat. The shape
// records are owned from the rebuild until Destroy and guarded by the busy
// protocol. Render runs on the frame-clock thread; Create, Destroy,
// ExchangeSettings and the setters on the UI thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "generators/trigger_watch.h"
#include "audio/audio_trigger.h"
#include "core/busy_status.h"
#include "core/generator.h"
#include "generators/color.h"

namespace quor {

class ExpandingShapesGenerator : public Generator, public ColorGroupOwner {
 public:
  enum Shape : int {
    kOpenRectangle = 0,
    kFilledRectangle = 1,
    kOpenCircle = 2,
    kFilledCircle = 3,
    kOpenDiamond = 4,
    kFilledDiamond = 5,
    kSimpleStar = 6,
    kOpenStar5 = 7,
    kFilledStar5 = 8,
    kTextChars = 9,
  };

  // Phase of a shape that waits for an audio beat.
  static constexpr int kWaitingForBeat = -99999;
  // Longest text and font name kept (their stored fields hold 255 bytes
  // including the terminating NUL).
  static constexpr size_t kMaxTextLength = 254;
  static constexpr size_t kMaxDialogTextLength = 253;
  static constexpr Rgb kDefaultColor{255, 0, 0};
  static constexpr int kSettingsBytes = 590;

  struct ShapeRecord {
    int x = 0;
    int y = 0;
    int phase = 0;
    int character = 0;  // low byte: the character shown in random-character mode
  };

  explicit ExpandingShapesGenerator(GeneratorContext& context)
      : ColorGroupOwner(kDefaultColor, kAutoColorShared), context_(context) {}
  ~ExpandingShapesGenerator() override = default;

  bool Create(int width, int height) override;
  void Render(const Canvas& canvas) override;
  void Destroy() override;
  void ExchangeSettings(SettingsBlock& block, SettingsDirection direction) override;

  // Settings as the dialog edits them.
  int shape() const { return shape_; }
  void SetShape(int shape) { shape_ = shape; }
  int count() const { return count_; }
  void SetCount(int count);  // 1..100; rebuilds the shapes
  int start() const { return start_; }
  // 1..100; `end` moves along so that end - start stays; all phases restart.
  void SetStart(int start);
  int end() const { return end_; }
  int endOffset() const { return end_ - start_; }
  // 1..200: end = start + offset; all phases restart.
  void SetEndOffset(int offset);
  bool fade() const { return fade_ != 0; }
  void SetFade(bool on) { fade_ = on ? 1 : 0; }
  bool audioTrigger() const { return audioTrigger_ != 0; }
  // Switching the trigger off lets the shapes that wait for a beat start again.
  void SetAudioTrigger(bool on);
  AudioTrigger& trigger() { return trigger_; }
  const std::string& text() const { return text_; }
  void SetText(std::string_view text);  // at most 253 characters are kept
  const std::string& fontName() const { return fontName_; }
  // Also sets the symbol flag for the two symbol faces.
  void SetFont(std::string_view name);
  bool symbolFont() const { return symbol_ != 0; }
  bool bold() const { return bold_ != 0; }
  void SetBold(bool on) { bold_ = on ? 1 : 0; }
  bool italic() const { return italic_ != 0; }
  void SetItalic(bool on) { italic_ = on ? 1 : 0; }
  bool antialias() const { return antialias_ != 0; }
  void SetAntialias(bool on) { antialias_ = on ? 1 : 0; }
  bool randomCharacters() const { return randomChars_ != 0; }
  void SetRandomCharacters(bool on) { randomChars_ = on ? 1 : 0; }

  // Run-time state, for inspection.
  const std::vector<ShapeRecord>& shapes() const { return shapes_; }
  int nextTriggeredShape() const { return nextShape_; }
  int busyState() const { return busy_.Get(); }

 private:
  int SmallerSide() const { return matrixWidth_ < matrixHeight_ ? matrixWidth_ : matrixHeight_; }
  // Replaces the shape records under the busy protocol.
  void Rebuild();
  void RestartPhases();
  int StartPhase();
  int RandomCharacter();
  void DrawShape(const Canvas& canvas, const ShapeRecord& shape, int size, Rgb color);

  GeneratorContext& context_;
  int start_ = 30;
  int end_ = 117;
  int count_ = 5;
  int shape_ = kOpenRectangle;
  int fade_ = 1;
  std::vector<ShapeRecord> shapes_;
  BusyStatus busy_;
  std::string text_ = "Quor!";
  std::string fontName_ = "Arial";
  int bold_ = 1;
  int italic_ = 0;
  int antialias_ = 1;
  int randomChars_ = 0;
  int symbol_ = 0;
  int audioTrigger_ = 0;
  int nextShape_ = 0;
  int lastTrigger_ = 0;
  AudioTrigger trigger_;
  TriggerWatch triggerWatch_;
  int matrixWidth_ = 0;
  int matrixHeight_ = 0;
};

std::unique_ptr<Generator> CreateExpandingShapesGenerator(GeneratorContext& context);

struct SettingsDialogTable;
// The settings dialog, described in generators/expanding_shapes_dialog.cpp.
extern const SettingsDialogTable kExpandingShapesDialog;

}  // namespace quor

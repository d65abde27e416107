// Scrolling Text (type 5): one or more lines of text in a system font,
// scrolled across the matrix horizontally or vertically (optionally
// bouncing), with an optional per-column sine wave and a receding-plane
// perspective. "$TIME" and "$LTIME" show the local clock; a typed backslash
// followed by n breaks the line.
// Render runs on the clock thread; Create, ExchangeSettings and the setters
// on the UI thread through Engine::EditGenerator, never at the same time.
#pragma once

#include <algorithm>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/generator.h"
#include "core/rgb_frame.h"
#include "generators/simple_color.h"

namespace quor {

inline constexpr int kScrollingTextSettingsBytes = 578;
inline constexpr int kScrollingTextFieldBytes = 255;  // text and face name, NUL-terminated
inline constexpr int kScrollingTextMaxChars = 253;    // what the dialog's edit box takes
inline constexpr int kScrollRestart = 9999;           // scroll position: start again from the edge

enum class ScrollMode : int {
  kRightToLeft = 0,
  kLeftToRight = 1,
  kBounce = 2,        // "Right <-> Left": leaves the matrix before turning
  kBounceInside = 3,  // "Right <-> Left (inside)"
  kCentre = 4,        // "None/Center"
  kBottomToTop = 5,
  kTopToBottom = 6,
};
inline constexpr int kScrollModeCount = 7;
inline bool IsVerticalScrollMode(int mode) { return mode >= 5; }

enum class TextAlign : int { kLeft = 0, kCentre = 1, kRight = 2 };

// The faces the dialog offers.
inline constexpr const char* kScrollingTextFonts[] = {"Arial",           "Comic Sans MS", "Courier New", "Tahoma",
                                                      "Times New Roman", "Verdana",       "Small Fonts"};

// The text as shown at local time `now`: the first "$TIME" becomes "hh:mm",
// then the first "$LTIME" "hh:mm:ss".
std::string ExpandTimePlaceholders(std::string_view text, const std::tm& now);
// The lines of `text` split at every backslash-n; with at least one break an
// empty last line becomes a single space.
std::vector<std::string> SplitTextLines(std::string_view text);

// The two post effects, in place on a width x height frame.
// Each column x moves by trunc(sin(P / W * x * waveWidth * 0.5 + phase) *
// (H * waveHeight / 100)) rows (P = 3.14593); rows moved in from outside are
// black.
void ApplySineWave(const Canvas& canvas, int waveWidth, int waveHeight, float phase);
// Rows shrink towards the top by a factor (1 - angle / (40 H)) per row and
// darken by fade percent of 255 / (H / 2) per row; the bottom row is kept.
void ApplyPerspective(const Canvas& canvas, int angle, int fade);

class ScrollingTextGenerator final : public Generator, public ColorGroupOwner {
 public:
  explicit ScrollingTextGenerator(GeneratorContext& context) : context_(context) {}

  bool Create(int width, int height) override;
  void Render(const Canvas& canvas) override;
  void Destroy() override {}
  // Loading restarts scrolling from the edge and the wave from phase 0.
  void ExchangeSettings(SettingsBlock& block, SettingsDirection direction) override;

  // Render at a given local time (Render uses the clock).
  void RenderAt(const Canvas& canvas, const std::tm& now);

  // The "Scrolling Text" dialog's controls.
  void SetText(std::string_view text);  // at most 253 characters are kept
  const std::string& text() const { return text_; }
  void SetFontName(std::string_view name);
  const std::string& fontName() const { return fontName_; }
  void SetSize(int size) { size_ = static_cast<float>(std::clamp(size, 0, 100)); }
  void SetPos(int pos) { pos_ = std::clamp(pos, 0, 100); }
  void SetBold(bool on) { bold_ = on ? 1 : 0; }
  void SetItalic(bool on) { italic_ = on ? 1 : 0; }
  void SetAntialias(bool on) { antialias_ = on ? 1 : 0; }
  // Changing between a horizontal and a vertical mode restarts scrolling.
  void SetScrollMode(int mode);
  int scrollMode() const { return mode_; }
  void SetAlign(int align) { align_ = std::clamp(align, 0, 2); }
  void SetSineWave(bool on, int width, int height);
  void SetPerspective(bool on, int angle, int fade);
  int textSize() const { return static_cast<int>(size_); }
  int pos() const { return pos_; }
  bool bold() const { return bold_ != 0; }
  bool italic() const { return italic_ != 0; }
  bool antialias() const { return antialias_ != 0; }
  int align() const { return align_; }
  bool sineWave() const { return sineOn_ != 0; }
  int waveWidth() const { return waveWidth_; }
  int waveHeight() const { return waveHeight_; }
  bool perspective() const { return perspectiveOn_ != 0; }
  int angle() const { return angle_; }
  int fade() const { return fade_; }
  // One value of the sine wave or the perspective, the others kept.
  void SetSineOn(bool on) { SetSineWave(on, waveWidth_, waveHeight_); }
  void SetWaveWidth(int width) { SetSineWave(sineOn_ != 0, width, waveHeight_); }
  void SetWaveHeight(int height) { SetSineWave(sineOn_ != 0, waveWidth_, height); }
  void SetPerspectiveOn(bool on) { SetPerspective(on, angle_, fade_); }
  void SetAngle(int angle) { SetPerspective(perspectiveOn_ != 0, angle, fade_); }
  void SetFade(int fade) { SetPerspective(perspectiveOn_ != 0, angle_, fade); }

  int scrollPosition() const { return scrollPos_; }
  // The widest line in pixels as last drawn.
  int blockWidth() const { return blockWidth_; }

 private:
  void Advance(int width, int height, int lineCount, int lineHeight);

  GeneratorContext& context_;
  std::string text_ = "Quor!";
  std::string fontName_ = "Arial";
  float size_ = 57.0f;
  int pos_ = 57;
  int bold_ = 1;
  int italic_ = 0;
  int antialias_ = 1;
  int scrollPos_ = 0;
  int movingRight_ = 0;
  int mode_ = 0;
  int sineOn_ = 0;
  int waveWidth_ = 4;
  int waveHeight_ = 20;
  float wavePhase_ = 0.0f;
  int perspectiveOn_ = 0;
  int angle_ = 20;
  int fade_ = 0;
  int align_ = 1;
  int blockWidth_ = 0;
};

std::unique_ptr<Generator> CreateScrollingTextGenerator(GeneratorContext& context);

struct SettingsDialogTable;
// The settings dialog, described in generators/scrolling_text_dialog.cpp.
extern const SettingsDialogTable kScrollingTextDialog;

}  // namespace quor

#include "generators/expanding_shapes.h"

#include <algorithm>
#include <cstring>

#include "audio/audio_analyzer.h"
#include "generators/color.h"
#include "generators/draw.h"
#include "generators/settings_fields.h"
#include "generators/text_render.h"

namespace quor {
namespace {

constexpr size_t kStringField = 255;  // text and font name, NUL included
constexpr int kMaxCount = 100;
constexpr int kMaxStart = 100;
constexpr int kMaxEndOffset = 200;

bool IsSymbolFace(std::string_view name) { return name == "Wingdings" || name == "Webdings"; }

}  // namespace

bool ExpandingShapesGenerator::Create(int width, int height) {
  if (!IsValidMatrixSize(width, height)) return false;
  start_ = 30;
  end_ = 117;
  count_ = 5;
  shape_ = kOpenRectangle;
  fade_ = 1;
  text_ = "Quor!";
  fontName_ = "Arial";
  bold_ = 1;
  italic_ = 0;
  antialias_ = 1;
  randomChars_ = 0;
  symbol_ = 0;
  audioTrigger_ = 0;
  nextShape_ = 0;
  lastTrigger_ = 0;
  trigger_ = AudioTrigger{};
  colors_.Reset(kDefaultColor, kAutoColorShared);
  matrixWidth_ = width;
  matrixHeight_ = height;
  Rebuild();
  return true;
}

void ExpandingShapesGenerator::Destroy() {
  busy_.WaitAndEnter(BusyStatus::kDestroyed, context_.console);
  std::vector<ShapeRecord>().swap(shapes_);
}

int ExpandingShapesGenerator::StartPhase() {
  if (audioTrigger_ != 0) return kWaitingForBeat;
  return context_.random.Next() % SmallerSide();
}

int ExpandingShapesGenerator::RandomCharacter() {
  if (randomChars_ == 0 || text_.empty()) return 0;
  const int index = context_.random.Next() % static_cast<int>(text_.size());
  return static_cast<uint8_t>(text_[static_cast<size_t>(index)]);
}

void ExpandingShapesGenerator::Rebuild() {
  busy_.WaitAndEnter(BusyStatus::kCreating, context_.console);
  shapes_.assign(static_cast<size_t>(count_), ShapeRecord{});
  for (ShapeRecord& shape : shapes_) {
    shape.x = context_.random.Next() % matrixWidth_;
    shape.y = context_.random.Next() % matrixHeight_;
    shape.character = RandomCharacter();
    shape.phase = StartPhase();
  }
  if (nextShape_ >= count_ || nextShape_ < 0) nextShape_ = 0;
  busy_.SetReady();
}

void ExpandingShapesGenerator::RestartPhases() {
  if (matrixWidth_ <= 0) return;
  for (ShapeRecord& shape : shapes_) shape.phase = StartPhase();
}

void ExpandingShapesGenerator::SetCount(int count) {
  count_ = std::clamp(count, 1, kMaxCount);
  if (matrixWidth_ > 0) Rebuild();
}

void ExpandingShapesGenerator::SetStart(int start) {
  const int span = end_ - start_;
  start_ = std::clamp(start, 1, kMaxStart);
  end_ = start_ + span;
  RestartPhases();
}

void ExpandingShapesGenerator::SetEndOffset(int offset) {
  end_ = start_ + std::clamp(offset, 1, kMaxEndOffset);
  RestartPhases();
}

void ExpandingShapesGenerator::SetAudioTrigger(bool on) {
  const bool wasOn = audioTrigger_ != 0;
  audioTrigger_ = on ? 1 : 0;
  if (!wasOn || on || matrixWidth_ <= 0) return;
  // Without the trigger nothing would ever start the waiting shapes.
  for (ShapeRecord& shape : shapes_) {
    if (shape.phase == kWaitingForBeat) shape.phase = StartPhase();
  }
}

void ExpandingShapesGenerator::SetText(std::string_view text) {
  text_ = std::string(text.substr(0, kMaxDialogTextLength));
  text_ = text_.substr(0, text_.find('\0'));
}

void ExpandingShapesGenerator::SetFont(std::string_view name) {
  fontName_ = std::string(name.substr(0, kMaxTextLength));
  fontName_ = fontName_.substr(0, fontName_.find('\0'));
  symbol_ = IsSymbolFace(fontName_) ? 1 : 0;
}

void ExpandingShapesGenerator::ExchangeSettings(SettingsBlock& block, SettingsDirection direction) {
  using G = ExpandingShapesGenerator;
  constexpr int kField = static_cast<int>(kStringField);
  constexpr int kLength = static_cast<int>(kMaxTextLength);
  static constexpr auto kLayout = SettingsLayout<G>(
      {Stored<G, &G::start_>(), Stored<G, &G::end_>(), Stored<G, &G::count_>(), Stored<G, &G::shape_>(),
       Stored<G, &G::colors_, &ColorGroup::autoColorMode>(), Stored<G, &G::fade_>(), Stored<G, &G::audioTrigger_>(),
       Stored<G, &G::trigger_>(), Stored<G, &G::colors_, &ColorGroup::color>(),
       StoredText<G, kField, kLength, &G::text_>(), StoredText<G, kField, kLength, &G::fontName_>(),
       Stored<G, &G::bold_>(), Stored<G, &G::italic_>(), Stored<G, &G::antialias_>(), Stored<G, &G::randomChars_>(),
       Stored<G, &G::symbol_>()});
  static_assert(kLayout.bytes == kSettingsBytes);
  if (direction == SettingsDirection::kStore) {
    kLayout.Store(*this, block);
    return;
  }

  busy_.WaitAndEnter(BusyStatus::kCreating, context_.console);
  kLayout.Load(*this, block);
  // Sizes out of range would divide by zero (end not above start) or
  // overflow; the count bounds the allocation.
  start_ = std::clamp(start_, 1, kMaxStart);
  end_ = std::clamp(end_, start_ + 1, start_ + kMaxEndOffset);
  count_ = std::clamp(count_, 1, kMaxCount);
  colors_.RestartWheel();
  if (matrixWidth_ > 0) {
    Rebuild();
  } else {
    busy_.SetReady();
  }
}

void ExpandingShapesGenerator::DrawShape(const Canvas& canvas, const ShapeRecord& shape,
                                         int size, Rgb color) {
  const int x = shape.x;
  const int y = shape.y;
  const int d = size;
  switch (shape_) {
    case kFilledRectangle: FillRectangle(canvas, x - d, y - d, x + d, y + d, color, true); break;
    case kOpenCircle: DrawCircle(canvas, x, y, d, color, true); break;
    case kFilledCircle: FillCircle(canvas, x, y, d, color, true); break;
    case kOpenDiamond: DrawDiamond(canvas, x - d, y - d, x + d, y + d, color, true); break;
    case kFilledDiamond: FillDiamond(canvas, x - d, y - d, x + d, y + d, color, true); break;
    case kSimpleStar: DrawSimpleStar(canvas, x, y, d, color, true); break;
    case kOpenStar5: DrawStar5(canvas, x, y, d, color, true); break;
    case kFilledStar5: FillStar5(canvas, x, y, d, color, true); break;
    case kTextChars: {
      TextStyle style;
      style.bold = bold_ != 0;
      style.italic = italic_ != 0;
      style.antialias = antialias_ != 0;
      style.fontName = fontName_;
      style.centred = true;
      style.symbol = symbol_ != 0;
      const char character = static_cast<char>(shape.character & 0xFF);
      const std::string_view text =
          randomChars_ != 0 ? std::string_view(&character, character != 0 ? 1 : 0) : std::string_view(text_);
      DrawTextChars(canvas, x, y, 2 * d, color, true, style, text);
      break;
    }
    default:  // open rectangle, also for unknown shapes
      DrawRectangle(canvas, x - d, y - d, x + d, y + d, color, true);
      break;
  }
}

void ExpandingShapesGenerator::Render(const Canvas& canvas) {
  uint8_t* const frame = canvas.pixels;
  const int width = canvas.width;
  const int height = canvas.height;
  RenderGuard guard(busy_);
  if (!guard || width <= 0 || height <= 0) return;

  const Rgb color = colors_.NextColor(context_);
  const bool triggered = audioTrigger_ != 0;
  bool beat = false;
  if (triggered) {
    const int active = triggerWatch_.Active(context_, *this, trigger_) ? 1 : 0;
    beat = active > 0 && lastTrigger_ == 0;
    lastTrigger_ = active;
  }

  std::memset(frame, 0, static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  const int m = width < height ? width : height;
  const int s0 = (start_ * (m / 2)) / 100;
  const int s1 = ((m / 2) * end_) / 100;
  const int span = s1 + 1 - s0;
  const int fadeStep = 255 / span;
  const int steps = context_.pixelStep.load(std::memory_order_relaxed);

  for (size_t i = 0; i < shapes_.size(); ++i) {
    ShapeRecord& shape = shapes_[i];
    if (triggered && beat && static_cast<int>(i) == nextShape_) shape.phase = m;
    if (shape.phase >= m) {
      Rgb shapeColor = color;
      if (fade_ != 0) {
        const int64_t reduction = int64_t{std::max(shape.phase - m - 1, 0)} * fadeStep;
        const auto reduce = [reduction](int component) {
          return static_cast<int>(std::max<int64_t>(component - reduction, 0));
        };
        shapeColor = {reduce(color.r), reduce(color.g), reduce(color.b)};
      }
      DrawShape(canvas, shape, s0 + shape.phase - m, shapeColor);
    }

    // A shape parked for a beat stays parked until one starts it.
    if (triggered && shape.phase == kWaitingForBeat) continue;
    shape.phase += steps;
    if (shape.phase >= span + m) {
      shape.phase = StartPhase();
      shape.character = RandomCharacter();
      shape.x = context_.random.Next() % width;
      shape.y = context_.random.Next() % height;
    }
  }

  if (triggered && ++nextShape_ >= static_cast<int>(shapes_.size())) nextShape_ = 0;
}

std::unique_ptr<Generator> CreateExpandingShapesGenerator(GeneratorContext& context) {
  return std::make_unique<ExpandingShapesGenerator>(context);
}

}  // namespace quor

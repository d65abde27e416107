#include "generators/expanding_shapes.h"

#include <algorithm>
#include <cstring>

#include "audio/audio_analyzer.h"
#include "core/byte_io.h"
#include "generators/color.h"
#include "generators/draw.h"
#include "generators/text_render.h"

namespace quor {
namespace {

constexpr size_t kStringField = 255;  // text and font name, NUL included
constexpr int kMaxCount = 100;
constexpr int kMaxStart = 100;
constexpr int kMaxEndOffset = 200;

// The text of a NUL-terminated field; a field without a NUL keeps its first
// kMaxTextLength bytes so the stored form always has room for the NUL.
std::string ReadStringField(ByteReader& in) {
  char field[kStringField];
  in.GetBytes(field, sizeof(field));
  const void* nul = std::memchr(field, 0, sizeof(field));
  const size_t length = nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - field)
                                       : ExpandingShapesGenerator::kMaxTextLength;
  return std::string(field, length);
}

void WriteStringField(ByteWriter& out, const std::string& text) {
  char field[kStringField] = {};
  std::memcpy(field, text.data(), std::min(text.size(), ExpandingShapesGenerator::kMaxTextLength));
  out.PutBytes(field, sizeof(field));
}

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
  if (direction == SettingsDirection::kStore) {
    ByteWriter out(block);
    for (int v : {start_, end_, count_, shape_, colors_.autoColorMode, fade_, audioTrigger_, trigger_.gain,
                  trigger_.thresholdPercent, trigger_.threshold, trigger_.lowBand, trigger_.highBand,
                  colors_.color.r, colors_.color.g, colors_.color.b}) {
      out.PutI32(v);
    }
    WriteStringField(out, text_);
    WriteStringField(out, fontName_);
    for (int v : {bold_, italic_, antialias_, randomChars_, symbol_}) out.PutI32(v);
    return;
  }

  busy_.WaitAndEnter(BusyStatus::kCreating, context_.console);
  ByteReader in(block);
  // Sizes out of range would divide by zero (end not above start) or
  // overflow; the count bounds the allocation.
  start_ = std::clamp(in.GetI32(), 1, kMaxStart);
  end_ = std::clamp(in.GetI32(), start_ + 1, start_ + kMaxEndOffset);
  count_ = std::clamp(in.GetI32(), 1, kMaxCount);
  shape_ = in.GetI32();
  colors_.autoColorMode = in.GetI32();
  fade_ = in.GetI32();
  audioTrigger_ = in.GetI32();
  trigger_.gain = in.GetI32();
  trigger_.thresholdPercent = in.GetI32();
  trigger_.threshold = in.GetI32();
  trigger_.lowBand = in.GetI32();
  trigger_.highBand = in.GetI32();
  colors_.color.r = in.GetI32();
  colors_.color.g = in.GetI32();
  colors_.color.b = in.GetI32();
  text_ = ReadStringField(in);
  fontName_ = ReadStringField(in);
  bold_ = in.GetI32();
  italic_ = in.GetI32();
  antialias_ = in.GetI32();
  randomChars_ = in.GetI32();
  symbol_ = in.GetI32();
  static_assert(kSettingsBytes == 15 * 4 + 2 * kStringField + 5 * 4);
  colors_.RestartWheel();
  if (matrixWidth_ > 0) {
    Rebuild();
  } else {
    busy_.SetReady();
  }
}

void ExpandingShapesGenerator::DrawShape(uint8_t* frame, int width, int height, const ShapeRecord& shape,
                                         int size, Rgb color) {
  const Canvas canvas{frame, width, height};
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

void ExpandingShapesGenerator::Render(uint8_t* frame, int width, int height) {
  RenderGuard guard(busy_);
  if (!guard || width <= 0 || height <= 0) return;

  const Rgb color = colors_.NextColor(context_);
  const bool triggered = audioTrigger_ != 0;
  bool beat = false;
  if (triggered) {
    const int active = context_.audio.AudioTriggerActive(trigger_) ? 1 : 0;
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
      DrawShape(frame, width, height, shape, s0 + shape.phase - m, shapeColor);
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

#include "generators/strobe.h"

#include <algorithm>
#include <cassert>

#include "audio/audio_analyzer.h"
#include "core/byte_io.h"

namespace quor {

static_assert(kStrobeSettingsBytes <= kSettingsBlockSize);

namespace {

int ClampTime(int frames) { return std::clamp(frames, kStrobeMinTime, kStrobeMaxTime); }

}  // namespace

bool StrobeGenerator::Create(int, int) {
  timeOn_ = 2;
  timeOff_ = 2;
  frameCounter_ = 0;
  audioTriggerOn_ = 0;
  trigger_ = AudioTrigger{};
  colors_.Reset({255, 255, 255}, kAutoColorOff);
  return true;
}

void StrobeGenerator::Render(uint8_t* frame, int width, int height) {
  // The wheel steps on every frame, lit or dark.
  Rgb color = colors_.NextColor(context_);
  if (audioTriggerOn_ >= 1) {
    if (!context_.audio.AudioTriggerActive(trigger_)) color = {};
  } else if (frameCounter_ >= timeOn_) {
    color = {};
  }
  FillFrame(frame, width, height, color);

  // The counter runs in audio mode too, so switching back keeps the rhythm
  // going. A counter left beyond a shortened cycle comes back to 0 here.
  ++frameCounter_;
  if (frameCounter_ > timeOn_ + timeOff_) frameCounter_ = 0;
}

void StrobeGenerator::ExchangeSettings(SettingsBlock& block, SettingsDirection direction) {
  if (direction == SettingsDirection::kStore) {
    ByteWriter writer(block);
    writer.PutI32(timeOn_);
    writer.PutI32(timeOff_);
    writer.PutI32(audioTriggerOn_);
    writer.PutI32(trigger_.gain);
    writer.PutI32(trigger_.thresholdPercent);
    writer.PutI32(trigger_.threshold);
    writer.PutI32(trigger_.lowBand);
    writer.PutI32(trigger_.highBand);
    writer.PutI32(colors_.color.r);
    writer.PutI32(colors_.color.g);
    writer.PutI32(colors_.color.b);
    writer.PutI32(colors_.autoColorMode);
    assert(writer.position() == kStrobeSettingsBytes);
    return;
  }
  ByteReader reader(block);
  // A damaged block must not leave times whose sum overflows the counter
  // arithmetic; every stored scene holds 1..25 here.
  timeOn_ = ClampTime(reader.GetI32());
  timeOff_ = ClampTime(reader.GetI32());
  audioTriggerOn_ = reader.GetI32();
  trigger_.gain = reader.GetI32();
  trigger_.thresholdPercent = reader.GetI32();
  trigger_.threshold = reader.GetI32();
  trigger_.lowBand = reader.GetI32();
  trigger_.highBand = reader.GetI32();
  colors_.color.r = reader.GetI32();
  colors_.color.g = reader.GetI32();
  colors_.color.b = reader.GetI32();
  colors_.autoColorMode = reader.GetI32();
}

void StrobeGenerator::SetTimeOn(int frames) { timeOn_ = ClampTime(frames); }
void StrobeGenerator::SetTimeOff(int frames) { timeOff_ = ClampTime(frames); }

std::unique_ptr<Generator> CreateStrobeGenerator(GeneratorContext& context) {
  return std::make_unique<StrobeGenerator>(context);
}

}  // namespace quor

#include "generators/strobe.h"

#include <algorithm>
#include <cassert>

#include "audio/audio_analyzer.h"
#include "generators/settings_fields.h"

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

void StrobeGenerator::Render(const Canvas& canvas) {
  // The wheel steps on every frame, lit or dark.
  Rgb color = colors_.NextColor(context_);
  if (audioTriggerOn_ >= 1) {
    if (!triggerWatch_.Active(context_, *this, trigger_)) color = {};
  } else if (frameCounter_ >= timeOn_) {
    color = {};
  }
  FillFrame(canvas, color);

  // The counter runs in audio mode too, so switching back keeps the rhythm
  // going. A counter left beyond a shortened cycle comes back to 0 here.
  ++frameCounter_;
  if (frameCounter_ > timeOn_ + timeOff_) frameCounter_ = 0;
}

void StrobeGenerator::ExchangeSettings(SettingsBlock& block, SettingsDirection direction) {
  using G = StrobeGenerator;
  static constexpr auto kLayout = SettingsLayout<G>(
      {Stored<G, &G::timeOn_>(), Stored<G, &G::timeOff_>(), Stored<G, &G::audioTriggerOn_>(), Stored<G, &G::trigger_>(),
       Stored<G, &G::colors_, &ColorGroup::color>(), Stored<G, &G::colors_, &ColorGroup::autoColorMode>()});
  static_assert(kLayout.bytes == kStrobeSettingsBytes);
  if (direction == SettingsDirection::kStore) {
    kLayout.Store(*this, block);
    return;
  }
  kLayout.Load(*this, block);
  // A damaged block must not leave times whose sum overflows the counter
  // arithmetic; every stored scene holds 1..25 here.
  timeOn_ = ClampTime(timeOn_);
  timeOff_ = ClampTime(timeOff_);
}

void StrobeGenerator::SetTimeOn(int frames) { timeOn_ = ClampTime(frames); }
void StrobeGenerator::SetTimeOff(int frames) { timeOff_ = ClampTime(frames); }

std::unique_ptr<Generator> CreateStrobeGenerator(GeneratorContext& context) {
  return std::make_unique<StrobeGenerator>(context);
}

}  // namespace quor

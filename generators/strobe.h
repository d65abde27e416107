// Strobe (type 8): flashes one colour on and off, either on a fixed frame
// rhythm (time on lit frames, then time off + 1 dark ones) or on every frame
// in which the audio trigger hears its band at or above the threshold.
// Render runs on the clock thread; Create, ExchangeSettings and the setters
// on the UI thread, never at the same time as Render (Engine::EditGenerator).
#pragma once

#include <memory>

#include "generators/trigger_watch.h"
#include "audio/audio_trigger.h"
#include "core/generator.h"
#include "generators/simple_color.h"

namespace quor {

// Twelve 32-bit words: time on, time off, audio trigger flag, the five
// trigger words, red, green, blue, auto colour mode.
inline constexpr int kStrobeSettingsBytes = 12 * 4;
inline constexpr int kStrobeMinTime = 1;
inline constexpr int kStrobeMaxTime = 25;

class StrobeGenerator final : public Generator, public ColorGroupOwner {
 public:
  explicit StrobeGenerator(GeneratorContext& context) : context_(context) {}

  bool Create(int width, int height) override;
  void Render(const Canvas& canvas) override;
  void Destroy() override {}
  // Loading keeps the frame counter and the wheel running; times outside
  // 1..25 are brought into that range.
  void ExchangeSettings(SettingsBlock& block, SettingsDirection direction) override;

  // The "Strobe" dialog's controls.
  void SetTimeOn(int frames);   // "Time 1", 1..25
  void SetTimeOff(int frames);  // "Time 2", 1..25
  int timeOn() const { return timeOn_; }
  int timeOff() const { return timeOff_; }
  void SetAudioTriggerChecked(bool checked) { audioTriggerOn_ = checked ? 1 : 0; }
  bool AudioTriggerChecked() const { return audioTriggerOn_ > 0; }
  // "Setup" edits this record in place.
  AudioTrigger& audioTrigger() { return trigger_; }

  // Position in the on/off cycle: 0 .. time on + time off.
  int frameCounter() const { return frameCounter_; }

 private:
  GeneratorContext& context_;
  int timeOn_ = 2;
  int timeOff_ = 2;
  int frameCounter_ = 0;
  int audioTriggerOn_ = 0;
  AudioTrigger trigger_;
  TriggerWatch triggerWatch_;
};

std::unique_ptr<Generator> CreateStrobeGenerator(GeneratorContext& context);

struct SettingsDialogTable;
// The settings dialog, described in generators/strobe_dialog.cpp.
extern const SettingsDialogTable kStrobeDialog;

}  // namespace quor

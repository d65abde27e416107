// What a restart brings back: the live mixer (slot effects and their
// settings, speeds, inverts, merge modes, fades, master level, strobe), the
// running chase and its step or the last recalled scene, the output state
// and the open windows. It lives in the "resume" section of the project's
// side file (files/side_file.h), so the project file's bytes never change
// for it, and is applied after the project loads through engine commands.
// UI thread.
#pragma once

#include <QJsonObject>
#include <array>
#include <optional>
#include <string>

#include "core/generator.h"
#include "core/live_state.h"

namespace quor {

class Engine;

inline constexpr const char* kResumeSection = "resume";

// The windows a windowed host had open; a list window hidden by show mode
// counts as open.
struct ResumeWindows {
  bool scenes = false;
  bool chases = false;
  bool showMode = false;
  bool operator==(const ResumeWindows&) const = default;
};

struct ResumeState {
  std::array<int, kSlotCount> types{};   // generator type ids
  std::array<int, kSlotCount> speeds{};  // 5..25
  std::array<bool, kSlotCount> inverts{};
  std::array<bool, kSlotCount> beatTriggers{};  // audio triggers on the beat
  std::array<SettingsBlock, kSlotCount> settings{};
  std::array<int, kMixCount> mergeModes{};
  std::array<int, kMixCount> fades{};  // channel 1, channel 2, crossfader
  int masterLevel = 255;
  bool strobe = false;
  int strobeTime = 1;
  int strobeBeat = 0;  // 0 off, 1 every beat, 2 every 1/2 beat, 3 every 1/4 beat
  int chase = 0;       // the running chase, 1-based; 0 none
  int chaseStep = 0;   // the step it shows
  int scene = -1;      // the last recalled scene; -1 none
  bool outputsRunning = false;
  ResumeWindows windows{};
  bool operator==(const ResumeState&) const = default;
};

// What to leave alone because the command line asked for something else.
struct ResumeOverrides {
  std::array<bool, kSlotCount> slotRequested{};  // --slot names this slot
  bool autostart = false;  // -S or -C: the chase, scene and outputs are theirs
};

// The live state now; `windows` as the host reports them.
ResumeState CaptureResumeState(Engine& engine, const ResumeWindows& windows);

QJsonObject ResumeToJson(const ResumeState& state);
// Nothing, with `problem` set, when any field is missing, of the wrong type
// or out of range: a damaged section is ignored whole.
std::optional<ResumeState> ResumeFromJson(const QJsonObject& section, std::string& problem);

// Puts `state` back through engine commands (before the clock starts): the
// last scene is recalled, the mixer values set on top, the chase started at
// its step, and the outputs opened or closed.
void ApplyResumeState(Engine& engine, const ResumeState& state, const ResumeOverrides& overrides);

}  // namespace quor

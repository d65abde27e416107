// The "Edit Chase" dialog as a model: it edits one chase of the store in
// place (name, loop option, steps) and previews what it edits on the live
// system the way the player would. Opening stops any running chase and
// saves the scene fade and strobe settings; closing puts them back (the
// scene and crossfader left by the previews stay).
//
// The dialog binds its widgets to Rows(), controls() and the operations.
// UI thread only; while it is open the other show windows are disabled.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "show/chase_player.h"
#include "show/chase_store.h"
#include "show/scene_list.h"
#include "show/scene_store.h"
#include "show/show_host.h"
#include "show/step_actions.h"

namespace quor {

// A duration typed in seconds with a point or a comma as decimal mark, in
// whole milliseconds (truncated; digits after the third decimal are
// dropped). Leading spaces are skipped and reading stops at the first other
// character; no number reads as 0. Held to the 32-bit range.
int ParseDurationText(std::string_view text);
// "%.1f" seconds, as the step list and the duration box show a duration.
std::string FormatDuration(int durationMs);

// A step's length as typed: seconds as ParseDurationText reads them, or,
// when the number is followed by "beat" or "beats" (any case), a number of
// beats ("2 beats", "1 beat", "0.5 beats", "1/2 beat") in quarter beats,
// rounded and held to 1..kMaxStepBeatQuarters.
struct StepLength {
  int durationMs = 0;
  int32_t beatQuarters = 0;  // 0: a length in milliseconds
  bool operator==(const StepLength&) const = default;
};
StepLength ParseStepLength(std::string_view text);
// "2 beats", "1 beat", "0.75 beats" for beat steps, else FormatDuration.
std::string FormatStepLength(const ChaseStep& step);

// One row of the step list: "[scene name]", ">> Masterstrobe" or
// ">> Crossfade", and the duration.
struct ChaseStepRow {
  std::string step;
  std::string time;
  bool operator==(const ChaseStepRow&) const = default;
};

// What the step controls show. Only the controls of `enabledKind` are
// enabled (with the type list and duration box); -1 disables them all.
struct ChaseStepControls {
  int enabledKind = -1;
  int type = kStepScene;
  std::string durationText;
  int scene = 0;
  int sceneFade = 0;    // 0..27
  int strobe = 0;       // 0..255
  int crossfade = 128;  // 0..crossfadeMax
  int crossfadeMax = 255;
  bool autofade = false;
};

class ChaseEditor {
 public:
  ChaseEditor(ShowHost& engine, const SceneStore& scenes, ChaseStore& chases, ChasePlayer& player,
              SceneList& sceneList);

  // False when `chaseIndex` is not a chase.
  bool Open(int chaseIndex);
  // Returns the edited chase's index, for the chase list to select it.
  int Close();
  bool IsOpen() const { return open_; }
  int chaseIndex() const { return chase_; }
  // The step being edited (the selected row), -1 for none.
  int currentStep() const { return current_; }
  const ChaseStepControls& controls() const { return controls_; }
  const FadeStrobeState& savedState() const { return saved_; }
  std::string name() const;
  bool loop() const;
  std::vector<ChaseStepRow> Rows() const;

  // Selecting a row replays the steps before it (the last scene without
  // fade, the last crossfader position, the last strobe), loads the row's
  // controls and previews the step itself.
  void SelectRow(int row);
  void ClearSelection();

  // A new scene step after the selected row (at the top with none).
  // Refused (false) when the chase holds kMaxChaseSteps steps;
  // InsertRefusal says why.
  bool InsertStep();
  // The message (title "Error") an InsertStep would be refused with now.
  std::optional<std::string> InsertRefusal() const;
  bool MoveUp();
  bool MoveDown();
  bool DeleteStep();

  void SetName(std::string_view text);
  void SetLoop(bool checked);

  // Changes of the current step's controls.
  void SetType(int kind);
  void SetDurationText(std::string_view text);
  void SetScene(int index);
  void SetSceneFade(int position);
  void SetStrobe(int position);
  void SetCrossfade(int position);
  void SetAutofade(bool checked);

 private:
  const Chase& chase() const { return chases_.at(chase_); }
  const ChaseStep* CurrentStep() const;
  bool ControlLive(int kind) const;
  void EditCurrent(const std::function<void(ChaseStep&)>& edit);
  // Gives `step` the length typed in the duration box.
  void SetLength(ChaseStep& step, std::string_view text) const;
  void LoadControls(const ChaseStep& step);
  void ReplayBefore(int row);
  void Move(int to);

  ShowHost& engine_;
  const SceneStore& scenes_;
  ChaseStore& chases_;
  ChasePlayer& player_;
  SceneList& sceneList_;
  SceneSelectedFn selectScene_;
  bool open_ = false;
  int chase_ = -1;
  int current_ = -1;
  ChaseStepControls controls_;
  FadeStrobeState saved_;
};

}  // namespace quor

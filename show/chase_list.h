// The chase window's commands as operations: Add, Edit, Delete, Up, Down,
// Play, Stop, a double click on a chase, and the refresh after the chase
// editor closes. The window binds its list to Names()/selection() and its
// two push buttons to PlayPressed()/StopPressed().
//
// Threads: commands on the UI thread. OnPlayerStopped is the chase
// player's stop hook and may run on the clock thread; the button states
// are atomic.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "show/chase_editor.h"
#include "show/chase_player.h"
#include "show/chase_store.h"
#include "show/scene_store.h"
#include "show/show_host.h"

namespace quor {

inline constexpr const char* kNeedScenesMessage =
    "You need some scenes first, before you can create or edit a chase.";

// What a command asks of the window: an error box (title "Error") or the
// chase editor opened on a chase.
struct ChaseListResult {
  std::optional<std::string> error;
  int editorChase = -1;
};

class ChaseList {
 public:
  ChaseList(ShowHost& engine, const SceneStore& scenes, ChaseStore& chases, ChasePlayer& player, ChaseEditor& editor);

  std::vector<std::string> Names() const { return chases_.Names(); }
  int selection() const { return selection_.load(); }
  // The user moved the selection (no other effect).
  void Select(int index) { selection_ = chases_.Contains(index) ? index : -1; }
  bool PlayPressed() const { return playPressed_.load(); }
  bool StopPressed() const { return stopPressed_.load(); }

  // A new looping chase "New Chase %d" after the selection (at the top with
  // none), opened in the editor. Needs at least one scene and room for one
  // more chase (kMaxShowChases).
  ChaseListResult Add();
  // The selected chase in the editor; EditAt selects first (right click).
  ChaseListResult Edit();
  ChaseListResult EditAt(int index);
  bool Delete();
  bool MoveUp();
  bool MoveDown();

  // "Play" pressed: starts the selected chase; with none it pops up again.
  void Play();
  // Double click on a chase: "Starting Chase: %d" and StartAt.
  void PlayAt(int index);
  // A start from elsewhere (show mode, remote input, the command line): the
  // list selects the chase, "Play" is pressed and the chase starts. Each of
  // those sources prints its own console line (or none), so none is
  // printed here. `firstStep` is the step to begin with (a resumed chase).
  void StartAt(int index, int firstStep = 0);
  // "Stop" pressed.
  void Stop();
  // The editor closed on `editedChase`: the list is rebuilt and selects it.
  void Refresh(int editedChase);

  // The player stopped by itself or on request: "Play" up, "Stop" down.
  void OnPlayerStopped();

 private:
  bool Move(int to);

  ShowHost& engine_;
  const SceneStore& scenes_;
  ChaseStore& chases_;
  ChasePlayer& player_;
  ChaseEditor& editor_;
  std::atomic<int> selection_{-1};  // written on the UI thread, read from any
  std::atomic<bool> playPressed_{false};
  std::atomic<bool> stopPressed_{true};
};

}  // namespace quor

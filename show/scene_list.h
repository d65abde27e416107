// The scene window's commands as operations: Add, Replace, Delete, Up,
// Down, selecting a scene, the "Fadetime" slider and the "Fade Out" box.
// The window binds its widgets to these and to Names()/selection(); the
// list always shows the store's names in store order, so a list index is a
// store index. Every command first stops a running chase (working with
// scenes by hand takes over from the chase); show mode's fade controls
// have setters of their own that do not.
//
// Threads: commands on the UI thread. ShowSelection may come from the
// clock thread (a chase step selecting its scene); the selection is atomic.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "show/chase_player.h"
#include "show/chase_store.h"
#include "show/scene_store.h"
#include "show/show_host.h"

namespace quor {

inline constexpr const char* kSceneInUseMessage = "Cannot delete this scene, it is in use by one or more chasers.";

class SceneList {
 public:
  SceneList(ShowHost& engine, SceneStore& scenes, ChaseStore& chases, ChasePlayer& player);

  std::vector<std::string> Names() const { return scenes_.Names(); }
  // -1 when nothing is selected.
  int selection() const { return selection_.load(); }
  // Moves the highlight without recalling anything (any thread).
  void ShowSelection(int index) {
    if (selection_.exchange(index) != index) engine_.changes().Announce(Change::kSceneSelection);
  }

  // Stores the live state as a new scene after the selection (at the top
  // when nothing is selected) and selects it. An empty name does nothing,
  // and so does a store that holds kMaxShowScenes scenes (AddRefusal says
  // why). Returns whether a scene was added; the window then clears its
  // edit box.
  bool Add(std::string_view name);
  // The message (title "Error") an Add would be refused with now: the
  // store is full. Nothing when there is room.
  std::optional<std::string> AddRefusal() const;
  // Stores the live state into the selected scene, keeping its name when
  // `name` is empty. No recall.
  bool Replace(std::string_view name);
  // Deletes the selected scene and recalls the one that takes its place.
  // Returns the error message (title "Error") when a chase uses the scene.
  std::optional<std::string> Delete();
  bool MoveUp();
  bool MoveDown();
  // The user selected a scene in the list: it is recalled.
  void SelectByUser(int index);

  // "Fadetime" slider position 0..26 (fade step 30 - position) and the
  // "Fade Out" box, as the window shows them. The Set commands are the
  // scene window's and stop a running chase first.
  int FadeTimePosition() const;
  bool FadeOutChecked() const;
  void SetFadeTime(int position);
  void SetFadeOut(bool checked);
  // The same settings from show mode's "Control" group: only the fade
  // changes, a running chase keeps running (and puts back its saved fade
  // settings when it stops).
  void SetFadeTimeKeepingChase(int position);
  void SetFadeOutKeepingChase(bool checked);

 private:
  bool Move(int from, int to);

  ShowHost& engine_;
  SceneStore& scenes_;
  ChaseStore& chases_;
  ChasePlayer& player_;
  std::atomic<int> selection_{-1};
};

}  // namespace quor

// Everything of the scenes-and-chases subsystem for one live system: the
// scene and chase stores, the chase player, and the models of the scene
// window, the chase window and the chase editor, wired to each other. The
// Engine joins the player to its mix pass and the stores to its scene
// recall. Construct on the UI thread before the clock starts; the Show must
// outlive every mix pass (declare it before the engine's clock).
#pragma once

#include "show/chase_editor.h"
#include "show/chase_list.h"
#include "show/chase_player.h"
#include "show/chase_store.h"
#include "show/scene_list.h"
#include "show/scene_store.h"
#include "show/show_host.h"

namespace quor {

class Show {
 public:
  explicit Show(ShowHost& engine);
  Show(const Show&) = delete;
  Show& operator=(const Show&) = delete;

  SceneStore& scenes() { return scenes_; }
  ChaseStore& chases() { return chases_; }
  ChasePlayer& player() { return player_; }
  SceneList& sceneList() { return sceneList_; }
  ChaseEditor& editor() { return editor_; }
  ChaseList& chaseList() { return chaseList_; }

 private:
  SceneStore scenes_;
  ChaseStore chases_;
  ChasePlayer player_;
  SceneList sceneList_;
  ChaseEditor editor_;
  ChaseList chaseList_;
};

}  // namespace quor

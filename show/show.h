// Everything of the scenes-and-chases subsystem for one Engine: the scene
// and chase stores, the chase player, and the models of the scene window,
// the chase window and the chase editor, wired to each other. Attach()
// joins it to the engine's mix pass and message loop.
// Construct and attach on the UI thread before the clock starts; the Show
// must outlive every mix pass (declare it before the engine's clock).
#pragma once

#include "core/engine.h"
#include "show/chase_editor.h"
#include "show/chase_list.h"
#include "show/chase_player.h"
#include "show/chase_store.h"
#include "show/remote_control.h"
#include "show/scene_list.h"
#include "show/scene_store.h"

namespace quor {

class Show {
 public:
  explicit Show(Engine& engine);
  Show(const Show&) = delete;
  Show& operator=(const Show&) = delete;

  // Sets the engine's beginSceneRecall, advanceChase and pollRemoteInput
  // hooks.
  void Attach(EngineHooks& hooks);

  SceneStore& scenes() { return scenes_; }
  ChaseStore& chases() { return chases_; }
  ChasePlayer& player() { return player_; }
  SceneList& sceneList() { return sceneList_; }
  ChaseEditor& editor() { return editor_; }
  ChaseList& chaseList() { return chaseList_; }
  RemoteControl& remote() { return remote_; }

 private:
  Engine& engine_;
  SceneStore scenes_;
  ChaseStore chases_;
  ChasePlayer player_;
  SceneList sceneList_;
  ChaseEditor editor_;
  ChaseList chaseList_;
  RemoteControl remote_;
};

}  // namespace quor

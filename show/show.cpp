#include "show/show.h"

#include "show/scene_recall.h"

namespace quor {

Show::Show(Engine& engine)
    : engine_(engine),
      scenes_(engine.console()),
      chases_(engine.console()),
      player_(engine, chases_),
      sceneList_(engine, scenes_, chases_, player_),
      editor_(engine, scenes_, chases_, player_, sceneList_),
      chaseList_(engine, scenes_, chases_, player_, editor_),
      remote_(engine, *this) {
  player_.hooks().selectScene = [this](int index) { sceneList_.ShowSelection(index); };
  player_.hooks().stopped = [this] { chaseList_.OnPlayerStopped(); };
}

void Show::Attach(EngineHooks& hooks) {
  hooks.beginSceneRecall = [this](int index) { return BeginSceneRecall(engine_, scenes_, index); };
  hooks.advanceChase = [this] { player_.AdvanceChase(); };
  hooks.pollRemoteInput = [this] { remote_.PollRemoteInput(); };
}

}  // namespace quor

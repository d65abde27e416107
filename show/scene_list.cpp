#include "show/scene_list.h"

#include <algorithm>

#include "show/step_actions.h"

namespace quor {

SceneList::SceneList(ShowHost& engine, SceneStore& scenes, ChaseStore& chases, ChasePlayer& player)
    : engine_(engine), scenes_(scenes), chases_(chases), player_(player) {}

bool SceneList::Add(std::string_view name) {
  player_.StopChaseNow();
  if (name.empty() || AddRefusal()) return false;
  const int selected = selection_.load();
  const int position = scenes_.Contains(selected) ? selected + 1 : 0;
  Scene* scene = scenes_.InsertAt(position);
  if (!scene) return false;
  chases_.SceneInserted(position);
  engine_.StoreLiveScene(*scene, name.substr(0, kMaxEnteredNameLength));
  ShowSelection(position);
  return true;
}

std::optional<std::string> SceneList::AddRefusal() const {
  if (scenes_.HasRoomFor(1)) return std::nullopt;
  return std::string(kTooManyScenesMessage);
}

bool SceneList::Replace(std::string_view name) {
  player_.StopChaseNow();
  const int selected = selection_.load();
  if (!scenes_.Contains(selected)) return false;
  Scene& scene = scenes_.at(selected);
  engine_.StoreLiveScene(scene, name.empty() ? scene.Name() : std::string(name.substr(0, kMaxEnteredNameLength)));
  return true;
}

std::optional<std::string> SceneList::Delete() {
  player_.StopChaseNow();
  const int selected = selection_.load();
  if (!scenes_.Contains(selected)) return std::nullopt;
  if (chases_.SceneInUse(selected)) return std::string(kSceneInUseMessage);
  scenes_.RemoveAt(selected);
  chases_.SceneRemoved(selected);
  const int next = std::min(selected, scenes_.count() - 1);  // -1 when empty
  ShowSelection(next);
  if (next >= 0) engine_.RequestSceneRecall(next);
  return std::nullopt;
}

bool SceneList::Move(int from, int to) {
  player_.StopChaseNow();
  if (!scenes_.Contains(from) || !scenes_.Contains(to)) return false;
  scenes_.Swap(from, to);
  chases_.ScenesSwapped(from, to);
  ShowSelection(to);
  return true;
}

bool SceneList::MoveUp() {
  const int selected = selection_.load();
  return Move(selected, selected - 1);
}

bool SceneList::MoveDown() {
  const int selected = selection_.load();
  return Move(selected, selected + 1);
}

void SceneList::SelectByUser(int index) {
  player_.StopChaseNow();
  if (!scenes_.Contains(index)) return;
  engine_.console().Print("item: %d\n", index);
  ShowSelection(index);
  engine_.RequestSceneRecall(index);
}

int SceneList::FadeTimePosition() const {
  return std::clamp(quor::FadeTimePosition(engine_.liveSettings().sceneFadeStep.load()), 0, kMaxFadeTimePosition);
}

bool SceneList::FadeOutChecked() const { return engine_.liveSettings().sceneFadeEnabled.load() > 0; }

void SceneList::SetFadeTime(int position) {
  player_.StopChaseNow();
  SetFadeTimeKeepingChase(position);
}

void SceneList::SetFadeOut(bool checked) {
  player_.StopChaseNow();
  SetFadeOutKeepingChase(checked);
}

void SceneList::SetFadeTimeKeepingChase(int position) {
  engine_.liveSettings().sceneFadeStep.store(30 - std::clamp(position, 0, kMaxFadeTimePosition));
  engine_.changes().Announce(Change::kMaster);
}

void SceneList::SetFadeOutKeepingChase(bool checked) {
  engine_.liveSettings().sceneFadeEnabled.store(checked ? 1 : 0);
  engine_.changes().Announce(Change::kMaster);
}

}  // namespace quor

// Taking a scene from the live mixer and putting it back.
#include <algorithm>
#include <string>

#include "engine/engine.h"
#include "generators/generator_catalogue.h"

namespace quor {

void Engine::StoreLiveScene(Scene& scene, std::string_view name) {
  ExpectMainThread();
  const std::string copy(name);  // `name` may point into the record itself
  SetNameText(scene.name, copy);
  for (int s = 0; s < kSlotCount; ++s) {
    const size_t i = static_cast<size_t>(s);
    scene.types[i] = RequestedType(s);
    scene.speeds[i] = panel_.speed[i].load();
    scene.inverts[i] = panel_.invert[i].load() != 0 ? 1 : 0;
    EditGenerator(s, [&](Generator& g) { g.ExchangeSettings(scene.settings[i], SettingsDirection::kStore); });
  }
  for (int m = 0; m < kSceneMixCount; ++m) {
    scene.mergeModes[static_cast<size_t>(m)] = panel_.mergeMode[static_cast<size_t>(m)].load();
    scene.masterfades[static_cast<size_t>(m)] = panel_.masterFade[static_cast<size_t>(m)].load();
  }
}

void Engine::RecallScene(int sceneIndex) {
  ExpectMainThread();
  const SceneStore& store = show_->scenes();
  if (!store.Contains(sceneIndex)) return;
  const Scene& scene = store.at(sceneIndex);
  // Only the slot timers stop: their generators change now. The mix timer
  // keeps mixing the old pictures until the new ones are in place.
  for (std::atomic<int>& id : slotTimerId_) {
    if (const int old = id.exchange(0)) clock_.KillTimer(old, KillWait());
  }
  for (int s = 0; s < kSlotCount; ++s) {
    // Through the effect list, so an id the list does not know becomes
    // None / Blackout in the request and in the list alike.
    SelectEffect(s, EffectListPosition(scene.types[static_cast<size_t>(s)]));
  }
  RebindSlots();
  StartScene(scene);
  lastRecalledScene_.store(sceneIndex);
  recallCount_.fetch_add(1);
  // The recall set the panel from the scene.
  changes_.Announce(Change::kPanel);
}

}  // namespace quor

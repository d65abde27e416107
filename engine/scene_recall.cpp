#include "engine/scene_recall.h"

#include <algorithm>
#include <string>

#include "generators/generator_catalogue.h"

namespace quor {

void StoreScene(Engine& engine, Scene& scene, std::string_view name) {
  const std::string copy(name);  // `name` may point into the record itself
  SetNameText(scene.name, copy);
  MixerPanel& panel = engine.panel();
  for (int s = 0; s < kSlotCount; ++s) {
    const size_t i = static_cast<size_t>(s);
    scene.types[i] = engine.RequestedType(s);
    scene.speeds[i] = panel.speed[i].load();
    scene.inverts[i] = panel.invert[i].load() != 0 ? 1 : 0;
    engine.EditGenerator(s, [&](Generator& g) { g.ExchangeSettings(scene.settings[i], SettingsDirection::kStore); });
  }
  for (int m = 0; m < kSceneMixCount; ++m) {
    scene.mergeModes[static_cast<size_t>(m)] = panel.mergeMode[static_cast<size_t>(m)].load();
    scene.masterfades[static_cast<size_t>(m)] = panel.masterFade[static_cast<size_t>(m)].load();
  }
}

std::optional<SceneStart> BeginSceneRecall(Engine& engine, const SceneStore& store, int index) {
  if (!store.Contains(index)) return std::nullopt;
  const Scene& scene = store.at(index);
  engine.StopClock();
  SceneStart start;
  for (int s = 0; s < kSlotCount; ++s) {
    const size_t i = static_cast<size_t>(s);
    // Through the effect list, so an id the list does not know becomes
    // None / Blackout in the request and in the list alike.
    engine.SelectEffect(s, EffectListPosition(scene.types[i]));
    const int speed = std::clamp<int>(scene.speeds[i], kMinSlotSpeed, kMaxSlotSpeed);
    engine.panel().speed[i].store(speed);
    engine.SetInvert(s, scene.inverts[i] >= 1);
    start.blocks[i] = scene.settings[i];
    start.speeds[i] = speed;
  }
  for (int m = 0; m < kSceneMixCount; ++m) {
    const size_t i = static_cast<size_t>(m);
    const int mode = scene.mergeModes[i];
    engine.SetMergeMode(m, mode >= 0 && mode < kMixModeCount ? mode : kMixProgressive);
    engine.SetChannelFade(m, scene.masterfades[i]);
  }
  return start;
}

}  // namespace quor

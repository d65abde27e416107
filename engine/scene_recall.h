// Taking a scene from the live mixer and putting it back. StoreScene fills
// a record from the slots and the mixer panel; BeginSceneRecall is the
// first half of a recall (the engine's beginSceneRecall hook): it stops the
// clock, sets the slots' requested types and the panel from the record and
// hands back what the engine's StartScene needs after rebinding.
// UI thread only.
#pragma once

#include <optional>
#include <string_view>

#include "engine/engine.h"
#include "show/scene.h"
#include "show/scene_store.h"

namespace quor {

// `name` may be the record's own name.
void StoreScene(Engine& engine, Scene& scene, std::string_view name);

// Nothing (and nothing changed) when `index` is not a scene. Values from a
// damaged record are made safe: unknown types bind None / Blackout, speeds
// are held to 5..25, merge modes outside 0..9 become 0 and masterfades are
// held to 0..255.
std::optional<SceneStart> BeginSceneRecall(Engine& engine, const SceneStore& store, int index);

}  // namespace quor

// The SceneStore: the ordered array of Scene records. A list index in the
// scene window is a store index, and chase steps refer to scenes by it.
// Capacity starts at 25 records and grows by exactly one record when an
// addition finds the store full; it never shrinks. Growth and loads are
// reported on the console ("Scenes: %d Malloc %d"). It holds at most
// kMaxShowScenes scenes.
// UI thread only: nothing else reads the store (the chase player and remote
// input only ask for recalls by index).
#pragma once

#include "core/record_store.h"
#include "show/scene.h"
#include "show/show_limits.h"

namespace quor {

inline constexpr int kInitialSceneCapacity = 25;

class SceneStore : public RecordStore<Scene> {
 public:
  explicit SceneStore(Console& console) : RecordStore(console, "Scenes", kInitialSceneCapacity, kMaxShowScenes, Change::kScenes) {}

  using RecordStore::InsertAt;
  // Inserts a blank record at `position` (0..count). Returns nullptr and
  // changes nothing when the store is at its limit or memory runs out.
  Scene* InsertAt(int position) { return InsertAt(position, Scene{}); }
};

}  // namespace quor

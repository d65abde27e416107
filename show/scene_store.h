// The SceneStore: the ordered array of Scene records. A list index in the
// scene window is a store index, and chase steps refer to scenes by it.
// Capacity starts at 25 records and grows by exactly one record when an
// addition finds the store full; it never shrinks. Growth and loads are
// reported on the console ("Scenes: %d Malloc %d").
// UI thread only: nothing else reads the store (the chase player and remote
// input only ask for recalls by index).
#pragma once

#include <vector>

#include "core/change_feed.h"
#include "core/console.h"
#include "show/scene.h"

namespace quor {

inline constexpr int kInitialSceneCapacity = 25;

class SceneStore {
 public:
  explicit SceneStore(Console& console);

  int count() const { return static_cast<int>(scenes_.size()); }
  int capacity() const { return capacity_; }
  bool Contains(int index) const { return index >= 0 && index < count(); }
  // `index` must be valid.
  const Scene& at(int index) const;
  Scene& at(int index);
  std::vector<std::string> Names() const;

  // Inserts a blank record at `position` (0..count), growing by one record
  // when full. Returns nullptr and changes nothing when memory runs out.
  Scene* InsertAt(int position);
  void RemoveAt(int index);
  void Swap(int a, int b);

  // Project load: the store becomes exactly `scenes`, growing to their
  // number when it exceeds the capacity.
  bool ReplaceAll(std::vector<Scene> scenes);
  // Project import: `scenes` go after the existing ones.
  bool Append(std::vector<Scene> scenes);

  // Every change of the records is announced as kScenes on `feed` (none when
  // null).
  void AnnounceTo(ChangeFeed* feed) { feed_ = feed; }

 private:
  void Changed() {
    if (feed_ != nullptr) feed_->Announce(Change::kScenes);
  }
  bool GrowTo(int records);

  Console& console_;
  ChangeFeed* feed_ = nullptr;
  std::vector<Scene> scenes_;
  int capacity_ = kInitialSceneCapacity;
};

}  // namespace quor

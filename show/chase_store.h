// The ChaseStore: the ordered array of chases, each with its own step
// array. Capacities start at 5 chases and 5 steps per chase and grow by
// exactly one record when an addition finds them full ("Chases: %d Malloc
// %d", "Chasesteps: %d Malloc %d"). Scene steps refer to scenes by store
// index, so the scene store reports every insert, delete and swap here.
//
// Threads: the UI thread owns the store and is the only one that changes
// it; every change takes the store lock. The chase player reads chases from
// the clock thread while holding LockForPlayer(), so a change never
// overlaps a pass that is executing a step. UI-thread reads need no lock.
#pragma once

#include <functional>
#include <mutex>
#include <string_view>
#include <vector>

#include "core/change_feed.h"
#include "core/console.h"
#include "show/chase.h"

namespace quor {

inline constexpr int kInitialChaseCapacity = 5;

class ChaseStore {
 public:
  explicit ChaseStore(Console& console);

  int count() const { return static_cast<int>(chases_.size()); }
  int capacity() const { return capacity_; }
  bool Contains(int index) const { return index >= 0 && index < count(); }
  // `index` must be valid.
  const Chase& at(int index) const;
  std::vector<std::string> Names() const;

  // Inserts a new chase at `position` (0..count): the name, loop on, no
  // steps, room for 5. False (and nothing changed) when memory runs out.
  bool InsertChase(int position, std::string_view name);
  void RemoveChase(int index);
  void SwapChases(int a, int b);

  // Inserts `step` at `position` (0..stepCount) of chase `chase`.
  bool InsertStep(int chase, int position, const ChaseStep& step);
  void RemoveStep(int chase, int position);
  void SwapSteps(int chase, int a, int b);
  // Runs `edit` on one chase under the store lock (steps may be changed in
  // place; adding or removing steps goes through the operations above).
  void EditChase(int chase, const std::function<void(Chase&)>& edit);

  // Keeping scene steps on their scenes when the scene store changes.
  void SceneInserted(int position);  // values >= position move up by one
  void SceneRemoved(int index);      // values > index move down by one
  void ScenesSwapped(int a, int b);  // values a and b are exchanged
  bool SceneInUse(int index) const;

  // Project load and import. Import shifts the scene steps of the added
  // chases by `sceneOffset`, the number of scenes there were before.
  bool ReplaceAll(std::vector<Chase> chases);
  bool Append(std::vector<Chase> chases, int sceneOffset);

  // Held by the chase player while it reads a chase.
  std::unique_lock<std::mutex> LockForPlayer() const { return std::unique_lock(mutex_); }

  // Every change of the records is announced as kChases on `feed` (none when
  // null).
  void AnnounceTo(ChangeFeed* feed) { feed_ = feed; }

 private:
  void Changed() {
    if (feed_ != nullptr) feed_->Announce(Change::kChases);
  }
  bool GrowTo(int records);
  Chase& Mutable(int index);
  template <typename F>
  void ForEachSceneStep(F&& f);

  Console& console_;
  ChangeFeed* feed_ = nullptr;
  std::vector<Chase> chases_;
  int capacity_ = kInitialChaseCapacity;
  mutable std::mutex mutex_;
};

}  // namespace quor

// The ChaseStore: the ordered array of chases, each with its own step
// array. Capacities start at 5 chases and 5 steps per chase and grow by
// exactly one record when an addition finds them full ("Chases: %d Malloc
// %d", "Chasesteps: %d Malloc %d"), up to kMaxShowChases chases of at
// most kMaxChaseSteps steps. Scene steps refer to scenes by store
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

#include "core/record_store.h"
#include "show/chase.h"
#include "show/show_limits.h"

namespace quor {

inline constexpr int kInitialChaseCapacity = 5;

class ChaseStore : public RecordStore<Chase> {
 public:
  explicit ChaseStore(Console& console)
      : RecordStore(console, "Chases", kInitialChaseCapacity, kMaxShowChases, Change::kChases), console_(console) {}

  // Inserts a new chase at `position` (0..count): the name, loop on, no
  // steps, room for 5. False (and nothing changed) when the store holds
  // kMaxShowChases chases or memory runs out.
  bool InsertChase(int position, std::string_view name);
  void RemoveChase(int index) { RemoveAt(index); }
  void SwapChases(int a, int b) { Swap(a, b); }

  // Inserts `step` at `position` (0..stepCount) of chase `chase`. False
  // (and nothing changed) when the chase holds kMaxChaseSteps steps or
  // memory runs out.
  bool InsertStep(int chase, int position, const ChaseStep& step);
  void RemoveStep(int chase, int position);
  void SwapSteps(int chase, int a, int b);
  // Runs `edit` on a copy of one chase and puts the result in its place
  // under the store lock (steps may be changed in place; adding or removing
  // steps goes through the operations above). `edit` runs without the lock,
  // so it may use the chase player.
  void EditChase(int chase, const std::function<void(Chase&)>& edit);

  // Keeping scene steps on their scenes when the scene store changes.
  void SceneInserted(int position);  // values >= position move up by one
  void SceneRemoved(int index);      // values > index move down by one
  void ScenesSwapped(int a, int b);  // values a and b are exchanged
  bool SceneInUse(int index) const;

  // Project import: the added chases' scene steps move by `sceneOffset`,
  // the number of scenes there were before. Refused (false, nothing
  // changed) when the chases would pass kMaxShowChases or one of them has
  // more than kMaxChaseSteps steps.
  bool Append(std::vector<Chase> chases, int sceneOffset);

  // Held by the chase player while it reads a chase.
  std::unique_lock<std::mutex> LockForPlayer() const { return Lock(); }

 private:
  template <typename F>
  void ForEachSceneStep(F&& f);

  Console& console_;
};

}  // namespace quor

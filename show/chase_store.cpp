#include "show/chase_store.h"

#include "core/record_store.h"

#include <cassert>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <utility>

namespace quor {

ChaseStore::ChaseStore(Console& console) : console_(console) {
  chases_.reserve(static_cast<size_t>(capacity_));
}

const Chase& ChaseStore::at(int index) const {
  assert(Contains(index));
  return chases_[static_cast<size_t>(index)];
}

Chase& ChaseStore::Mutable(int index) {
  assert(Contains(index));
  return chases_[static_cast<size_t>(index)];
}

std::vector<std::string> ChaseStore::Names() const { return NamesOf(chases_); }

bool ChaseStore::GrowTo(int records) {
  if (!TryReserve(chases_, records)) return false;
  capacity_ = records;
  return true;
}

bool ChaseStore::InsertChase(int position, std::string_view name) {
  Changed();
  assert(position >= 0 && position <= count());
  console_.Print("Chases: %d Malloc %d\n", count(), capacity_);
  try {
    Chase chase;
    SetNameText(chase.name, name);
    chase.steps.reserve(kInitialStepCapacity);
    std::lock_guard lock(mutex_);
    if (count() >= capacity_) {
      if (!GrowTo(count() + 1)) return false;
      console_.Print("Realloc - Chases: %d Malloc %d\n", count(), capacity_);
    }
    chases_.insert(chases_.begin() + position, std::move(chase));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void ChaseStore::RemoveChase(int index) {
  Changed();
  assert(Contains(index));
  std::lock_guard lock(mutex_);
  chases_.erase(chases_.begin() + index);
}

void ChaseStore::SwapChases(int a, int b) {
  Changed();
  assert(Contains(a) && Contains(b));
  std::lock_guard lock(mutex_);
  std::swap(chases_[static_cast<size_t>(a)], chases_[static_cast<size_t>(b)]);
}

bool ChaseStore::InsertStep(int chaseIndex, int position, const ChaseStep& step) {
  Changed();
  Chase& chase = Mutable(chaseIndex);
  assert(position >= 0 && position <= chase.StepCount());
  console_.Print("Chasesteps: %d Malloc %d\n", chase.StepCount(), chase.stepCapacity);
  std::lock_guard lock(mutex_);
  try {
    if (chase.StepCount() >= chase.stepCapacity) {
      chase.steps.reserve(static_cast<size_t>(chase.StepCount()) + 1);
      chase.stepCapacity = chase.StepCount() + 1;
      console_.Print("Realloc - Chasesteps: %d Malloc %d\n", chase.StepCount(), chase.stepCapacity);
    }
    chase.steps.insert(chase.steps.begin() + position, step);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void ChaseStore::RemoveStep(int chaseIndex, int position) {
  Changed();
  Chase& chase = Mutable(chaseIndex);
  assert(position >= 0 && position < chase.StepCount());
  std::lock_guard lock(mutex_);
  chase.steps.erase(chase.steps.begin() + position);
}

void ChaseStore::SwapSteps(int chaseIndex, int a, int b) {
  Changed();
  Chase& chase = Mutable(chaseIndex);
  assert(a >= 0 && a < chase.StepCount() && b >= 0 && b < chase.StepCount());
  std::lock_guard lock(mutex_);
  std::swap(chase.steps[static_cast<size_t>(a)], chase.steps[static_cast<size_t>(b)]);
}

void ChaseStore::EditChase(int chaseIndex, const std::function<void(Chase&)>& edit) {
  Changed();
  Chase& chase = Mutable(chaseIndex);
  std::lock_guard lock(mutex_);
  const size_t steps = chase.steps.size();
  edit(chase);
  assert(chase.steps.size() == steps);
  (void)steps;
}

template <typename F>
void ChaseStore::ForEachSceneStep(F&& f) {
  std::lock_guard lock(mutex_);
  for (Chase& chase : chases_) {
    for (ChaseStep& step : chase.steps) {
      if (step.kind == kStepScene) f(step);
    }
  }
}

void ChaseStore::SceneInserted(int position) {
  ForEachSceneStep([position](ChaseStep& step) {
    if (step.value >= position && step.value < INT32_MAX) ++step.value;
  });
}

void ChaseStore::SceneRemoved(int index) {
  ForEachSceneStep([index](ChaseStep& step) {
    if (step.value > index) --step.value;
  });
}

void ChaseStore::ScenesSwapped(int a, int b) {
  ForEachSceneStep([a, b](ChaseStep& step) {
    if (step.value == a) {
      step.value = b;
    } else if (step.value == b) {
      step.value = a;
    }
  });
}

bool ChaseStore::SceneInUse(int index) const {
  for (const Chase& chase : chases_) {
    for (const ChaseStep& step : chase.steps) {
      if (step.kind == kStepScene && step.value == index) return true;
    }
  }
  return false;
}

bool ChaseStore::ReplaceAll(std::vector<Chase> chases) {
  Changed();
  const int n = static_cast<int>(chases.size());
  console_.Print("Chases: %d Malloc %d\n", n, capacity_);
  std::lock_guard lock(mutex_);
  // Grow first: if that fails the old chases are still there.
  if (n > capacity_) {
    if (!GrowTo(n)) return false;
    console_.Print("Realloc - Chases: %d Malloc %d\n", n, n);
  }
  chases_.clear();
  for (Chase& chase : chases) chases_.push_back(std::move(chase));
  return true;
}

bool ChaseStore::Append(std::vector<Chase> chases, int sceneOffset) {
  Changed();
  const int n = count() + static_cast<int>(chases.size());
  console_.Print("Chases: %d Malloc %d\n", n, capacity_);
  std::lock_guard lock(mutex_);
  if (n > capacity_) {
    if (!GrowTo(n)) return false;
    console_.Print("Realloc - Chases: %d Malloc %d\n", n, n);
  }
  for (Chase& chase : chases) {
    for (ChaseStep& step : chase.steps) {
      // Saturating: a damaged index must not overflow; it simply names no scene.
      if (step.kind == kStepScene && step.value >= 0 && step.value <= INT32_MAX - sceneOffset) step.value += sceneOffset;
    }
    chases_.push_back(std::move(chase));
  }
  return true;
}

}  // namespace quor

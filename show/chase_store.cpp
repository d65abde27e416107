#include "show/chase_store.h"

#include <cassert>
#include <cstdint>
#include <new>
#include <utility>

namespace quor {

bool ChaseStore::InsertChase(int position, std::string_view name) {
  try {
    Chase chase;
    SetNameText(chase.name, name);
    chase.steps.reserve(kInitialStepCapacity);
    return InsertAt(position, std::move(chase)) != nullptr;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool ChaseStore::InsertStep(int chaseIndex, int position, const ChaseStep& step) {
  const Chase& current = at(chaseIndex);
  assert(position >= 0 && position <= current.StepCount());
  if (current.StepCount() >= kMaxChaseSteps) return false;
  console_.Print("Chasesteps: %d Malloc %d\n", current.StepCount(), current.stepCapacity);
  bool inserted = true;
  Edit([&](std::vector<Chase>& chases) {
    Chase& chase = chases[static_cast<size_t>(chaseIndex)];
    try {
      if (chase.StepCount() >= chase.stepCapacity) {
        chase.steps.reserve(static_cast<size_t>(chase.StepCount()) + 1);
        chase.stepCapacity = chase.StepCount() + 1;
        console_.Print("Realloc - Chasesteps: %d Malloc %d\n", chase.StepCount(), chase.stepCapacity);
      }
      chase.steps.insert(chase.steps.begin() + position, step);
    } catch (const std::bad_alloc&) {
      inserted = false;
    }
  });
  return inserted;
}

void ChaseStore::RemoveStep(int chaseIndex, int position) {
  assert(position >= 0 && position < at(chaseIndex).StepCount());
  Edit([&](std::vector<Chase>& chases) {
    std::vector<ChaseStep>& steps = chases[static_cast<size_t>(chaseIndex)].steps;
    steps.erase(steps.begin() + position);
  });
}

void ChaseStore::SwapSteps(int chaseIndex, int a, int b) {
  assert(a >= 0 && a < at(chaseIndex).StepCount() && b >= 0 && b < at(chaseIndex).StepCount());
  Edit([&](std::vector<Chase>& chases) {
    std::vector<ChaseStep>& steps = chases[static_cast<size_t>(chaseIndex)].steps;
    std::swap(steps[static_cast<size_t>(a)], steps[static_cast<size_t>(b)]);
  });
}

void ChaseStore::EditChase(int chaseIndex, const std::function<void(Chase&)>& edit) {
  assert(Contains(chaseIndex));
  // The edit runs on a copy without the store lock: it may call into the
  // player, which takes its own lock before this one. Only the exchange of
  // the edited chase happens under the lock. The UI thread is the only
  // writer, so reading the record here without the lock is safe.
  Chase edited = at(chaseIndex);
  edit(edited);
  Edit([&](std::vector<Chase>& chases) {
    Chase& chase = chases[static_cast<size_t>(chaseIndex)];
    assert(edited.steps.size() == chase.steps.size());
    edited.stepCapacity = chase.stepCapacity;
    edited.steps.reserve(chase.steps.capacity());
    std::swap(chase, edited);
  });
}

template <typename F>
void ChaseStore::ForEachSceneStep(F&& f) {
  Edit([&](std::vector<Chase>& chases) {
    bool changed = false;
    for (Chase& chase : chases) {
      for (ChaseStep& step : chase.steps) {
        if (step.kind != kStepScene) continue;
        const int before = step.value;
        f(step);
        changed = changed || step.value != before;
      }
    }
    return changed;
  });
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
  for (const Chase& chase : records()) {
    for (const ChaseStep& step : chase.steps) {
      if (step.kind == kStepScene && step.value == index) return true;
    }
  }
  return false;
}

bool ChaseStore::Append(std::vector<Chase> chases, int sceneOffset) {
  for (const Chase& chase : chases) {
    if (chase.StepCount() > kMaxChaseSteps) return false;
  }
  for (Chase& chase : chases) {
    for (ChaseStep& step : chase.steps) {
      // Saturating: a damaged index must not overflow; it simply names no scene.
      if (step.kind == kStepScene && step.value >= 0 && step.value <= INT32_MAX - sceneOffset) step.value += sceneOffset;
    }
  }
  return RecordStore::Append(std::move(chases));
}

}  // namespace quor

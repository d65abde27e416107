#include "show/scene_store.h"

#include "core/record_store.h"

#include <cassert>
#include <new>
#include <stdexcept>

namespace quor {

SceneStore::SceneStore(Console& console) : console_(console) {
  scenes_.reserve(static_cast<size_t>(capacity_));
}

const Scene& SceneStore::at(int index) const {
  assert(Contains(index));
  return scenes_[static_cast<size_t>(index)];
}

Scene& SceneStore::at(int index) {
  assert(Contains(index));
  return scenes_[static_cast<size_t>(index)];
}

std::vector<std::string> SceneStore::Names() const { return NamesOf(scenes_); }

bool SceneStore::GrowTo(int records) {
  if (!TryReserve(scenes_, records)) return false;
  capacity_ = records;
  return true;
}

Scene* SceneStore::InsertAt(int position) {
  Changed();
  assert(position >= 0 && position <= count());
  console_.Print("Scenes: %d Malloc %d\n", count(), capacity_);
  if (count() >= capacity_) {
    if (!GrowTo(count() + 1)) return nullptr;
    console_.Print("Realloc - Scenes: %d Malloc %d\n", count(), capacity_);
  }
  try {
    auto it = scenes_.insert(scenes_.begin() + position, Scene{});
    return &*it;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void SceneStore::RemoveAt(int index) {
  Changed();
  assert(Contains(index));
  scenes_.erase(scenes_.begin() + index);
}

void SceneStore::Swap(int a, int b) {
  Changed();
  assert(Contains(a) && Contains(b));
  std::swap(scenes_[static_cast<size_t>(a)], scenes_[static_cast<size_t>(b)]);
}

bool SceneStore::ReplaceAll(std::vector<Scene> scenes) {
  Changed();
  const int n = static_cast<int>(scenes.size());
  console_.Print("Scenes: %d Malloc %d\n", n, capacity_);
  if (n > capacity_) {
    if (!GrowTo(n)) return false;
    console_.Print("Realloc - Scenes: %d Malloc %d\n", n, n);
  }
  scenes_ = std::move(scenes);
  if (scenes_.capacity() < static_cast<size_t>(capacity_)) GrowTo(capacity_);
  return true;
}

bool SceneStore::Append(std::vector<Scene> scenes) {
  Changed();
  const int n = count() + static_cast<int>(scenes.size());
  console_.Print("Scenes: %d Malloc %d\n", n, capacity_);
  if (n > capacity_) {
    if (!GrowTo(n)) return false;
    console_.Print("Realloc - Scenes: %d Malloc %d\n", n, n);
  }
  for (Scene& scene : scenes) scenes_.push_back(std::move(scene));
  return true;
}

}  // namespace quor

// Small helpers shared by the growable record stores (scenes, chases).
#pragma once

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace quor {

// Makes room for `records` entries; false (and nothing changed) when the
// memory cannot be had.
template <typename Record>
bool TryReserve(std::vector<Record>& store, int records) noexcept {
  try {
    store.reserve(static_cast<size_t>(records));
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}

// The Name() of every record, in store order.
template <typename Record>
std::vector<std::string> NamesOf(const std::vector<Record>& store) {
  std::vector<std::string> names;
  names.reserve(store.size());
  for (const Record& record : store) names.push_back(record.Name());
  return names;
}

}  // namespace quor

// The growable record store behind the scene and chase lists: records in
// list order, a capacity that starts small and grows by exactly what is
// needed (each growth reported on the console as "<Label>: n Malloc c" /
// "Realloc - <Label>: n Malloc c"), and all-or-nothing bulk loads: when the
// memory for a load cannot be had the old records stay. Every change is
// announced on the change feed, when one is set. A store holds at most
// its `maxRecords`: an insert or bulk load past it is refused and changes
// nothing.
//
// Threads: the owner's thread changes the store; a reader on another thread
// (the chase player) holds Lock() while it reads, and every change here
// takes the same lock.
#pragma once

#include <cassert>
#include <mutex>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <string>
#include <utility>
#include <vector>

#include "core/change_feed.h"
#include "core/console.h"

namespace quor {

template <typename Record>
class RecordStore {
 public:
  RecordStore(Console& console, const char* label, int initialCapacity, int maxRecords, Change group)
      : console_(console), label_(label), capacity_(initialCapacity), maxRecords_(maxRecords), group_(group) {
    records_.reserve(static_cast<size_t>(capacity_));
  }

  int count() const { return static_cast<int>(records_.size()); }
  int capacity() const { return capacity_; }
  bool Contains(int index) const { return index >= 0 && index < count(); }
  int maxRecords() const { return maxRecords_; }
  // Whether `more` records can still be added.
  bool HasRoomFor(int more) const { return more >= 0 && more <= maxRecords_ - count(); }
  // `index` must be valid.
  const Record& at(int index) const {
    assert(Contains(index));
    return records_[static_cast<size_t>(index)];
  }
  Record& at(int index) {
    assert(Contains(index));
    return records_[static_cast<size_t>(index)];
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    names.reserve(records_.size());
    for (const Record& record : records_) names.push_back(record.Name());
    return names;
  }
  const std::vector<Record>& records() const { return records_; }

  // Inserts `record` at `position` (0..count), growing by one record when
  // full. Returns nullptr and changes nothing when the store already holds
  // its most records or memory runs out.
  Record* InsertAt(int position, Record record) {
    assert(position >= 0 && position <= count());
    if (!HasRoomFor(1)) return nullptr;
    console_.Print("%s: %d Malloc %d\n", label_, count(), capacity_);
    std::lock_guard lock(mutex_);
    if (count() >= capacity_) {
      if (!GrowTo(count() + 1)) return nullptr;
      console_.Print("Realloc - %s: %d Malloc %d\n", label_, count(), capacity_);
    }
    try {
      Record* inserted = &*records_.insert(records_.begin() + position, std::move(record));
      Changed();
      return inserted;
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }
  void RemoveAt(int index) {
    assert(Contains(index));
    std::lock_guard lock(mutex_);
    records_.erase(records_.begin() + index);
    Changed();
  }
  void Swap(int a, int b) {
    assert(Contains(a) && Contains(b));
    std::lock_guard lock(mutex_);
    std::swap(records_[static_cast<size_t>(a)], records_[static_cast<size_t>(b)]);
    Changed();
  }
  // Project load: the store becomes exactly `records`.
  bool ReplaceAll(std::vector<Record> records) {
    if (records.size() > static_cast<size_t>(maxRecords_)) return false;
    std::lock_guard lock(mutex_);
    if (!MakeRoomFor(static_cast<int>(records.size()))) return false;
    records_.clear();
    for (Record& record : records) records_.push_back(std::move(record));
    Changed();
    return true;
  }
  // Project import: `records` go after the existing ones.
  bool Append(std::vector<Record> records) {
    if (records.size() > static_cast<size_t>(maxRecords_) || !HasRoomFor(static_cast<int>(records.size()))) {
      return false;
    }
    std::lock_guard lock(mutex_);
    if (!MakeRoomFor(count() + static_cast<int>(records.size()))) return false;
    for (Record& record : records) records_.push_back(std::move(record));
    Changed();
    return true;
  }
  // Runs `edit` on the records in place under the lock (the owner's own
  // operations on parts of a record). An `edit` that returns bool says
  // whether it changed anything; only then is the change announced.
  template <typename F>
  void Edit(F&& edit) {
    std::lock_guard lock(mutex_);
    if constexpr (std::is_same_v<std::invoke_result_t<F, std::vector<Record>&>, bool>) {
      if (edit(records_)) Changed();
    } else {
      edit(records_);
      Changed();
    }
  }

  // Held by a reader on another thread while it reads.
  std::unique_lock<std::mutex> Lock() const { return std::unique_lock(mutex_); }
  // Every change is announced as the store's group on `feed` (none: null).
  void AnnounceTo(ChangeFeed* feed) { feed_ = feed; }

 private:
  bool GrowTo(int records) {
    try {
      records_.reserve(static_cast<size_t>(records));
    } catch (const std::bad_alloc&) {
      return false;
    } catch (const std::length_error&) {
      return false;
    }
    capacity_ = records;
    return true;
  }
  // Grows first, so a failure leaves the old records in place.
  bool MakeRoomFor(int records) {
    console_.Print("%s: %d Malloc %d\n", label_, records, capacity_);
    if (records <= capacity_) return true;
    if (!GrowTo(records)) return false;
    console_.Print("Realloc - %s: %d Malloc %d\n", label_, records, records);
    return true;
  }
  void Changed() {
    if (feed_ != nullptr) feed_->Announce(group_);
  }

  Console& console_;
  const char* label_;
  std::vector<Record> records_;
  int capacity_;
  int maxRecords_;
  Change group_;
  ChangeFeed* feed_ = nullptr;
  mutable std::mutex mutex_;
};

}  // namespace quor

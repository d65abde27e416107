#include "core/change_feed.h"

#include <utility>

namespace quor {

bool ChangeBatch::Empty() const {
  for (bool c : changed) {
    if (c) return false;
  }
  return consoleLines.empty() && errors.empty() && dropped == 0;
}

void ChangeFeed::AddConsoleLine(std::string_view line) {
  {
    std::unique_lock lock(queueMutex_, std::try_to_lock);
    if (!lock.owns_lock() || lines_.size() >= kMaxQueued) {
      dropped_.fetch_add(1);
      return;
    }
    lines_.emplace_back(line);
  }
  Announce(Change::kConsole);
}

void ChangeFeed::ReportError(Failure error) {
  {
    std::lock_guard lock(queueMutex_);
    if (errors_.size() >= kMaxQueued) {
      dropped_.fetch_add(1);
      return;
    }
    errors_.push_back(std::move(error));
  }
  Announce(Change::kErrors);
}

ChangeBatch ChangeFeed::Drain() {
  ChangeBatch batch;
  for (size_t g = 0; g < counts_.size(); ++g) {
    const uint64_t now = counts_[g].load(std::memory_order_acquire);
    batch.changed[g] = now != seen_[g];
    seen_[g] = now;
  }
  {
    std::lock_guard lock(queueMutex_);
    batch.consoleLines.swap(lines_);
    batch.errors.swap(errors_);
  }
  batch.dropped = dropped_.exchange(0);
  return batch;
}

}  // namespace quor

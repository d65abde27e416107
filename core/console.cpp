#include "core/console.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "platform/console_stream.h"

namespace quor {

Console::Console() : drainThread_(std::this_thread::get_id()) {}

Console::~Console() { Flush(1000); }

void Console::Print(const char* format, ...) {
  char small[256];
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (length < 0) {
    va_end(copy);
    return;
  }
  if (static_cast<size_t>(length) < sizeof small) {
    va_end(copy);
    Write(std::string_view(small, static_cast<size_t>(length)));
    return;
  }
  std::vector<char> big(static_cast<size_t>(length) + 1);
  std::vsnprintf(big.data(), big.size(), format, copy);
  va_end(copy);
  Write(std::string_view(big.data(), static_cast<size_t>(length)));
}

void Console::Write(std::string_view text) {
  if (text.empty()) return;
  std::string line(text);  // allocated before the lock is taken
  {
    std::lock_guard lock(queueMutex_);
    if (queue_.size() >= kConsoleQueueLines || queuedBytes_ + line.size() > kConsoleQueueBytes) {
      ++dropped_;
    } else {
      queuedBytes_ += line.size();
      queue_.push_back(std::move(line));
    }
  }
  if (std::this_thread::get_id() == drainThread_.load()) Drain();
}

void Console::SetSink(Sink sink) {
  Drain();  // lines printed before the change go where they were meant to
  std::lock_guard lock(drainMutex_);
  sink_ = std::move(sink);
}

uint64_t Console::droppedLines() const {
  std::lock_guard lock(queueMutex_);
  return dropped_;
}

void Console::TakeQueueLocked() {
  uint64_t dropped = 0;
  {
    std::lock_guard lock(queueMutex_);
    if (queue_.empty() && dropped_ == droppedReported_) return;  // the usual turn of the message loop
    taken_.swap(queue_);
    queuedBytes_ = 0;
    dropped = dropped_ - droppedReported_;
    droppedReported_ = dropped_;
  }
  for (const std::string& line : taken_) pending_ += line;
  taken_.clear();  // keeps its block for the next swap
  if (dropped > 0) {
    char notice[128];
    std::snprintf(notice, sizeof notice, "Console: %llu lines dropped, the output was not being read.\n",
                  static_cast<unsigned long long>(dropped));
    pending_ += notice;
  }
}

bool Console::Drain() {
  std::lock_guard lock(drainMutex_);
  // Lines still refused by stdout come first; new ones are taken only after
  // them, so memory stays bounded by the queue.
  if (!pending_.empty() && !sink_ && !WritePendingToStdout(0)) return false;
  TakeQueueLocked();
  if (sink_) {
    if (!pending_.empty()) sink_(pending_);
    pending_.clear();
    return true;
  }
  return WritePendingToStdout(0);
}

void Console::Flush(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::lock_guard lock(drainMutex_);
  for (;;) {
    TakeQueueLocked();
    if (sink_) {
      if (!pending_.empty()) sink_(pending_);
      pending_.clear();
      return;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (!WritePendingToStdout(static_cast<int>(std::max<int64_t>(left.count(), 0)))) return;
    std::lock_guard queueLock(queueMutex_);
    if (queue_.empty() && dropped_ == droppedReported_) return;
  }
}

bool Console::WritePendingToStdout(int timeoutMs) {
  pending_.erase(0, WriteToStandardOutput(pending_, timeoutMs));
  return pending_.empty();
}

}  // namespace quor

#include "core/async_writer.h"

#include <algorithm>
#include <cstring>

namespace quor {

AsyncWriter::AsyncWriter(WriteFn write, AsyncWriterLimits limits)
    : write_(std::move(write)),
      limits_{std::max<size_t>(limits.records, 1), limits.bytes},
      slots_(std::make_unique<Record[]>(limits_.records)) {
  thread_ = std::thread([this] { WriterMain(); });
}

AsyncWriter::~AsyncWriter() { Finish(); }

bool AsyncWriter::Post(int64_t tag, std::span<const uint8_t> first, std::span<const uint8_t> second) {
  if (failed_.load()) return false;
  // Marked before finishing_ is looked at: a writer told to finish then
  // waits for this record or this Post sees finishing_ and drops it.
  inPost_.store(true);
  const auto leave = [this] {
    inPost_.store(false);
    if (finishing_.load()) inPost_.notify_all();
  };
  if (finishing_.load()) {
    dropped_.fetch_add(1);
    leave();
    return false;
  }
  const size_t size = first.size() + second.size();
  const uint64_t at = written_.load(std::memory_order_relaxed);  // only this thread advances it
  const uint64_t queued = at - read_.load(std::memory_order_acquire);
  if (queued >= limits_.records || queuedBytes_.load() + size > limits_.bytes) {
    dropped_.fetch_add(1);
    leave();
    return false;
  }
  // The slot is the producer's until written_ moves past it; a buffer that
  // held a record of this size before needs no memory.
  Record& record = slots_[at % limits_.records];
  record.tag = tag;
  record.bytes.resize(size);
  if (!first.empty()) std::memcpy(record.bytes.data(), first.data(), first.size());
  if (!second.empty()) std::memcpy(record.bytes.data() + first.size(), second.data(), second.size());
  queuedBytes_.fetch_add(size);
  written_.store(at + 1);
  // A writer between turns comes round by itself; one asleep for good, or a
  // queue filling up, needs a wake-up.
  if (asleep_.load()) WakeWriter();
  if (queued + 1 == (limits_.records + 1) / 2) wake_.notify_one();
  leave();
  return true;
}

void AsyncWriter::WakeWriter() {
  if (!asleep_.exchange(false)) return;
  signal_.fetch_add(1);
  signal_.notify_one();
}

void AsyncWriter::Finish() {
  {
    std::lock_guard lock(sleepMutex_);
    finishing_ = true;
  }
  wake_.notify_one();
  signal_.fetch_add(1);
  signal_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void AsyncWriter::WriterMain() {
  for (;;) {
    // Everything queued, in order.
    bool wroteAny = false;
    for (uint64_t at = read_.load(std::memory_order_relaxed); at != written_.load(std::memory_order_acquire); ++at) {
      Record& record = slots_[at % limits_.records];
      if (!failed_.load() && !write_(record.tag, record.bytes)) failed_.store(true);
      queuedBytes_.fetch_sub(record.bytes.size());
      read_.store(at + 1, std::memory_order_release);
      wroteAny = true;
    }
    if (finishing_.load()) {
      // A Post that began before it saw finishing_ may still be adding its
      // record; it wakes this thread when it is done.
      if (inPost_.load()) {
        inPost_.wait(true);
        continue;
      }
      if (read_.load(std::memory_order_relaxed) == written_.load()) return;
      continue;
    }
    if (wroteAny) {
      // Records are coming: look again after a turn, or sooner when the
      // queue fills up or the owner finishes.
      std::unique_lock lock(sleepMutex_);
      const auto halfFull = [this] {
        return written_.load() - read_.load(std::memory_order_relaxed) >= (limits_.records + 1) / 2;
      };
      wake_.wait_for(lock, kWriterTurn, [&] { return finishing_.load() || halfFull(); });
      continue;
    }
    // A whole turn brought nothing: sleep until a Post or Finish. The flag
    // is set before the queue is looked at, so a record posted meanwhile is
    // either seen here or its Post sees the flag and bumps the signal.
    const uint32_t seen = signal_.load();
    asleep_.store(true);
    if (written_.load() == read_.load(std::memory_order_relaxed) && !finishing_.load()) signal_.wait(seen);
    asleep_.store(false);
  }
}

}  // namespace quor

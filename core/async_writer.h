// A writer thread fed through a bounded queue, for file output that a tick
// produces: the producer (the clock thread) hands over records, copied into
// buffers the writer recycles, and never waits for the disk; a record that
// does not fit is dropped and counted. The writer runs `write` for each
// record in order; after the first failed write it discards the rest and
// failed() turns true.
//
// The queue is a ring of record slots handed between the two threads with
// atomics alone, so a Post takes no lock and normally makes no system call:
// the writer, once woken, looks for new records every kWriterTurn and only
// goes to sleep for good after a turn that found none. The producer wakes
// it (one notify) only then, or when the queue is half full.
//
// Threads: Post from one producer thread at a time; Finish and the
// destructor from the owner's thread, which then waits for the queued
// writes.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace quor {

struct AsyncWriterLimits {
  size_t records = 64;           // queued records at most
  size_t bytes = size_t{8} << 20;  // queued bytes at most
};

class AsyncWriter {
 public:
  // Writes one record (writer thread); false when writing failed.
  using WriteFn = std::function<bool(int64_t tag, std::span<const uint8_t> bytes)>;
  // How long records may wait for the writer while they keep coming.
  static constexpr std::chrono::milliseconds kWriterTurn{100};

  explicit AsyncWriter(WriteFn write, AsyncWriterLimits limits = {});
  ~AsyncWriter();  // Finish()
  AsyncWriter(const AsyncWriter&) = delete;
  AsyncWriter& operator=(const AsyncWriter&) = delete;

  // Queues `first` followed by `second` as one record. False when the queue
  // is full (the record is dropped and counted) or writing has failed.
  bool Post(int64_t tag, std::span<const uint8_t> first, std::span<const uint8_t> second = {});
  // Writes everything queued, then stops the thread. Later Posts drop.
  void Finish();

  uint64_t dropped() const { return dropped_.load(); }
  bool failed() const { return failed_.load(); }

 private:
  struct Record {
    int64_t tag = 0;
    std::vector<uint8_t> bytes;  // its capacity is kept for the next record in the slot
  };
  void WriterMain();
  void WakeWriter();

  const WriteFn write_;
  const AsyncWriterLimits limits_;
  // Slot i % size holds record i. Records [read_, written_) are queued: the
  // producer fills slot written_ and then advances it, the writer empties
  // slot read_ and then advances it.
  std::unique_ptr<Record[]> slots_;
  std::atomic<uint64_t> written_{0};
  std::atomic<uint64_t> read_{0};
  std::atomic<size_t> queuedBytes_{0};
  std::atomic<bool> finishing_{false};
  std::atomic<bool> inPost_{false};  // a Post is between its first check and its end
  // Set by the writer before it sleeps with no time limit on signal_; the
  // producer then changes signal_ and wakes it.
  std::atomic<bool> asleep_{false};
  std::atomic<uint32_t> signal_{0};
  std::atomic<uint64_t> dropped_{0};
  std::atomic<bool> failed_{false};
  std::mutex sleepMutex_;  // only for the condition variable; never held by Post
  std::condition_variable wake_;
  std::thread thread_;
};

}  // namespace quor

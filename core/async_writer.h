// A writer thread fed through a bounded queue, for file output that a tick
// produces: the producer (the clock thread) hands over records, copied into
// buffers the writer recycles, and never waits for the disk; a record that
// does not fit is dropped and counted. The writer runs `write` for each
// record in order; after the first failed write it discards the rest and
// failed() turns true.
//
// Threads: Post from one producer thread at a time (it holds the queue lock
// only to move a buffer in or out); Finish and the destructor from the
// owner's thread, which then waits for the queued writes.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
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
    std::vector<uint8_t> bytes;
  };
  void WriterMain();

  const WriteFn write_;
  const AsyncWriterLimits limits_;
  std::mutex mutex_;  // never held across a write
  std::condition_variable wake_;
  std::deque<Record> queue_;
  std::vector<Record> spare_;  // written records whose buffers are reused
  size_t queuedBytes_ = 0;
  bool finishing_ = false;
  std::atomic<uint64_t> dropped_{0};
  std::atomic<bool> failed_{false};
  std::thread thread_;
};

}  // namespace quor

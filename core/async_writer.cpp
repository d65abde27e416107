#include "core/async_writer.h"

#include <cstring>

namespace quor {

AsyncWriter::AsyncWriter(WriteFn write, AsyncWriterLimits limits) : write_(std::move(write)), limits_(limits) {
  thread_ = std::thread([this] { WriterMain(); });
}

AsyncWriter::~AsyncWriter() { Finish(); }

bool AsyncWriter::Post(int64_t tag, std::span<const uint8_t> first, std::span<const uint8_t> second) {
  if (failed_.load()) return false;
  const size_t size = first.size() + second.size();
  Record record;
  {
    std::lock_guard lock(mutex_);
    if (finishing_ || queue_.size() >= limits_.records || queuedBytes_ + size > limits_.bytes) {
      dropped_.fetch_add(1);
      return false;
    }
    queuedBytes_ += size;
    if (!spare_.empty()) {
      record = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  // Filled outside the lock; a recycled buffer of this size needs no memory.
  record.tag = tag;
  record.bytes.resize(size);
  if (!first.empty()) std::memcpy(record.bytes.data(), first.data(), first.size());
  if (!second.empty()) std::memcpy(record.bytes.data() + first.size(), second.data(), second.size());
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(record));
  }
  wake_.notify_one();
  return true;
}

void AsyncWriter::Finish() {
  {
    std::lock_guard lock(mutex_);
    finishing_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void AsyncWriter::WriterMain() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return finishing_ || !queue_.empty(); });
    if (queue_.empty()) return;  // finishing, and everything is written
    Record record = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    if (!failed_.load() && !write_(record.tag, record.bytes)) failed_.store(true);
    lock.lock();
    queuedBytes_ -= record.bytes.size();
    if (spare_.size() < limits_.records) spare_.push_back(std::move(record));
  }
}

}  // namespace quor

// Diagnostic console: plain lines such as "Effect[0]: 7\n" or "FPS: 25.0\n".
// Any thread may print and printing never blocks: lines go into a bounded
// queue that one thread, the drain thread (the one that created the console,
// normally the thread running the message loop), empties onto standard
// output or the installed sink (tests capture the lines that way). Lines
// printed on the drain thread are written at once, after those queued
// before them; others wait for the next Drain. A full queue drops lines and
// counts them, and the drain reports the count in one line.
//
// Standard output is written only as far as it accepts bytes without
// waiting (a terminal on hold or a pipe nobody reads keeps the rest queued),
// so neither the clock thread nor the drain thread ever stalls on it.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace quor {

inline constexpr size_t kConsoleQueueLines = 1024;
inline constexpr size_t kConsoleQueueBytes = 256 * 1024;

class Console {
 public:
  using Sink = std::function<void(std::string_view)>;

  Console();
  // Writes what is still queued, waiting at most about a second for a
  // standard output that does not take it.
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // printf-style; the text is written exactly as formatted (callers add "\n").
  void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Any thread, never blocks.
  void Write(std::string_view text);
  // Replaces the destination; an empty sink restores standard output.
  void SetSink(Sink sink);
  // Writes the queued lines (any thread but the clock thread; the message
  // loop calls it after every message). Returns false while lines remain
  // because standard output does not take them.
  bool Drain();
  // Drains, waiting up to `timeoutMs` for standard output to take the rest.
  void Flush(int timeoutMs);
  // Makes the calling thread the one whose lines are written at once.
  void MakeDrainThread() { drainThread_.store(std::this_thread::get_id()); }

  // Lines dropped because the queue was full (any thread).
  uint64_t droppedLines() const;

 private:
  // Takes the queue (and the dropped-lines report) into pending_.
  void TakeQueueLocked();
  bool WritePendingToStdout(int timeoutMs);

  mutable std::mutex queueMutex_;  // held only to move a line in or out
  std::deque<std::string> queue_;
  size_t queuedBytes_ = 0;
  uint64_t dropped_ = 0;
  uint64_t droppedReported_ = 0;

  std::mutex drainMutex_;  // serialises drains; never taken by the clock thread
  Sink sink_;
  std::string pending_;  // taken from the queue, not yet accepted by stdout
  std::deque<std::string> taken_;  // swapped with the queue, so a drain allocates nothing
  std::atomic<std::thread::id> drainThread_;
};

}  // namespace quor

// Waiting for input without polling: a thread sleeps until a descriptor
// (a socket, a serial line) has something to read or hung up, until another
// thread interrupts the wait, or until a time limit. Each input that reads on
// a thread of its own (remote DMX, and the like) waits through one of these,
// so it uses no processor time while nothing arrives and can still be
// stopped at once.
//
// Threads: Wait on one thread at a time; Interrupt from any thread.
#pragma once

#include <memory>

#include "platform/failure.h"

namespace quor {

enum class WaitResult {
  kReadable,     // something can be read
  kHangUp,       // the other side went away or the descriptor failed (data may still be waiting)
  kInterrupted,  // another thread called Interrupt
  kTimedOut,
  kFailed,       // the wait itself failed; waiting again would fail the same way
};

// A time limit that never comes.
inline constexpr int kWaitForever = -1;

class InterruptibleWait {
 public:
  // The failure when the system has no means of interruption left to give
  // (too many open descriptors).
  static Result<std::unique_ptr<InterruptibleWait>> Create();
  ~InterruptibleWait();
  InterruptibleWait(const InterruptibleWait&) = delete;
  InterruptibleWait& operator=(const InterruptibleWait&) = delete;

  // Waits until `descriptor` can be read or hung up, Interrupt was called or
  // `timeoutMs` passed (kWaitForever: no limit). With a descriptor of -1 it
  // waits only for an interrupt or the time. A pending interrupt ends the
  // wait at once and is used up by it.
  WaitResult Wait(int descriptor, int timeoutMs);
  // Ends the wait under way, or else the next one. Interrupts that come
  // before a wait ends it count as one. Never blocks.
  void Interrupt();

 private:
  explicit InterruptibleWait(int eventFd) : eventFd_(eventFd) {}
  int eventFd_;
};

}  // namespace quor

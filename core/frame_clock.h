// The frame clock: periodic timers served one tick at a time, in deadline
// order, by a single clock thread (or, in manual mode, by whoever calls
// Advance, so tests step time deterministically without sleeping).
// Deadlines are absolute; a clock that runs late skips ahead instead of
// piling up ticks.
//
// Threads: Start/Kill/Pause from any thread except inside a tick handler,
// where Kill and Start are allowed too (Kill then does not wait for itself).
#pragma once

#include <atomic>
#include <cassert>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quor {

class FrameClock {
 public:
  enum class Mode { kThread, kManual };
  using TickHandler = std::function<void(int timerId)>;

  FrameClock(Mode mode, TickHandler handler);
  ~FrameClock();
  FrameClock(const FrameClock&) = delete;
  FrameClock& operator=(const FrameClock&) = delete;

  Mode mode() const { return mode_; }

  // kOnTime ticks run at their deadline. kFlexible ticks (thread mode
  // only; the manual clock keeps every deadline) save wake-ups: one due at
  // most kJoinWindowUs before an on-time tick waits for it and runs in its
  // wake-up, just before it and still in deadline order; with no such tick
  // it may run up to kEarlyWindowUs early, in the same wake-up as a tick
  // that fell due just before it. So staggered timers whose work is read
  // only by the next on-time tick (slot renders before the mix pass) cost
  // no wake-up of their own. A tick never runs early past an on-time tick
  // due before it.
  enum class Timing { kOnTime, kFlexible };
  static constexpr int64_t kJoinWindowUs = 10000;
  static constexpr int64_t kEarlyWindowUs = 7000;
  // Starts a periodic timer whose first tick is one period from now and
  // returns its id (ids are never reused). Periods below 1 ms become 1 ms.
  int StartTimer(int periodMs, Timing timing = Timing::kOnTime);
  // The same with the first tick due at `firstDueUs` (NowMicros' scale); a
  // time already past makes the first tick due at once.
  int StartTimerAt(int periodMs, int64_t firstDueUs, Timing timing = Timing::kOnTime);
  // kForTick: after Kill returns no tick of `id` runs any more, and no tick
  // of any timer is in progress (unless called from a tick handler).
  // kNo: only no new tick starts; for callers that hold a lock a tick in
  // progress may be waiting for (its handler must then find its timer gone).
  enum class Wait { kForTick, kNo };
  void KillTimer(int id, Wait wait = Wait::kForTick);
  void KillAll(Wait wait = Wait::kForTick);
  // A short gap between timer starts so their ticks are staggered: sleeps in
  // thread mode, moves virtual time on (without ticking) in manual mode.
  void Pause(int ms);
  // Manual mode: moves virtual time forward by `ms`, running every tick that
  // falls due, in deadline order, on the calling thread.
  void Advance(int ms);

  int64_t NowMicros() const;
  int PeriodOf(int id) const;  // 0 when the timer is not active
  // When the next tick of `id` is due (NowMicros' scale); 0 when the timer
  // is not active.
  int64_t NextDueMicros(int id) const;
  int ActiveTimerCount() const;
  bool OnClockThread() const { return std::this_thread::get_id() == tickThread_.load(); }
  // Whether the calling thread may run what only a tick runs: the thread
  // serving the ticks may (the clock thread, or the caller of Advance while
  // it runs), and so may any thread while the clock is idle (no timer in
  // thread mode, no Advance under way in manual mode): the thread that then
  // drives a pass by hand stands in for the clock. Takes the clock's lock.
  bool MayRunTick() const;
  // Debug builds stop at a tick-only entry reached from another thread
  // while the clock runs; release builds check nothing.
  void ExpectClockThread() const { assert(MayRunTick() && "a clock-thread-only entry was called elsewhere"); }

 private:
  struct Timer {
    int id;
    int64_t periodUs;
    int64_t deadlineUs;
    uint64_t order;  // start order breaks deadline ties
    Timing timing;
  };

  Timer* EarliestLocked();
  const Timer* EarliestOnTimeLocked() const;
  void ScheduleNextLocked(Timer& timer, int64_t nowUs);
  void RunTick(std::unique_lock<std::mutex>& lock, int id);
  void ThreadMain();

  const Mode mode_;
  const TickHandler handler_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::vector<Timer> timers_;
  int nextId_ = 1;
  uint64_t nextOrder_ = 0;
  bool tickRunning_ = false;
  bool quit_ = false;
  int64_t manualNowUs_ = 0;
  std::atomic<std::thread::id> tickThread_{};
  std::thread thread_;
};

}  // namespace quor

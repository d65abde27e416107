#include "core/frame_clock.h"

#include <algorithm>
#include <chrono>

namespace quor {
namespace {

int64_t SteadyMicros() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

FrameClock::FrameClock(Mode mode, TickHandler handler) : mode_(mode), handler_(std::move(handler)) {
  if (mode_ == Mode::kThread) thread_ = std::thread([this] { ThreadMain(); });
}

FrameClock::~FrameClock() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    timers_.clear();
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

int64_t FrameClock::NowMicros() const {
  if (mode_ == Mode::kManual) {
    std::lock_guard lock(mutex_);
    return manualNowUs_;
  }
  return SteadyMicros();
}

int FrameClock::StartTimer(int periodMs, Timing timing) {
  periodMs = std::max(periodMs, 1);
  return StartTimerAt(periodMs, NowMicros() + int64_t{periodMs} * 1000, timing);
}

int FrameClock::StartTimerAt(int periodMs, int64_t firstDueUs, Timing timing) {
  periodMs = std::max(periodMs, 1);
  int id;
  {
    std::lock_guard lock(mutex_);
    id = nextId_++;
    timers_.push_back(Timer{id, int64_t{periodMs} * 1000, firstDueUs, nextOrder_++, timing});
  }
  wake_.notify_all();
  return id;
}

void FrameClock::KillTimer(int id, Wait wait) {
  std::unique_lock lock(mutex_);
  std::erase_if(timers_, [id](const Timer& t) { return t.id == id; });
  if (wait == Wait::kForTick && !OnClockThread()) idle_.wait(lock, [this] { return !tickRunning_; });
  wake_.notify_all();
}

void FrameClock::KillAll(Wait wait) {
  std::unique_lock lock(mutex_);
  timers_.clear();
  if (wait == Wait::kForTick && !OnClockThread()) idle_.wait(lock, [this] { return !tickRunning_; });
  wake_.notify_all();
}

void FrameClock::Pause(int ms) {
  if (ms <= 0) return;
  if (mode_ == Mode::kManual) {
    std::lock_guard lock(mutex_);
    manualNowUs_ += int64_t{ms} * 1000;
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool FrameClock::MayRunTick() const {
  if (OnClockThread()) return true;
  std::lock_guard lock(mutex_);
  if (mode_ == Mode::kManual) return tickThread_.load() == std::thread::id{};
  return timers_.empty();
}

int FrameClock::PeriodOf(int id) const {
  std::lock_guard lock(mutex_);
  for (const Timer& t : timers_) {
    if (t.id == id) return static_cast<int>(t.periodUs / 1000);
  }
  return 0;
}

int64_t FrameClock::NextDueMicros(int id) const {
  std::lock_guard lock(mutex_);
  for (const Timer& t : timers_) {
    if (t.id == id) return t.deadlineUs;
  }
  return 0;
}

int FrameClock::ActiveTimerCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(timers_.size());
}

FrameClock::Timer* FrameClock::EarliestLocked() {
  Timer* best = nullptr;
  for (Timer& t : timers_) {
    if (!best || t.deadlineUs < best->deadlineUs || (t.deadlineUs == best->deadlineUs && t.order < best->order)) {
      best = &t;
    }
  }
  return best;
}

const FrameClock::Timer* FrameClock::EarliestOnTimeLocked() const {
  const Timer* best = nullptr;
  for (const Timer& t : timers_) {
    if (t.timing == Timing::kOnTime && (!best || t.deadlineUs < best->deadlineUs)) best = &t;
  }
  return best;
}

void FrameClock::ScheduleNextLocked(Timer& timer, int64_t nowUs) {
  timer.deadlineUs += timer.periodUs;
  // Running late by a whole period or more: skip the missed ticks.
  if (timer.deadlineUs <= nowUs) timer.deadlineUs = nowUs + timer.periodUs;
}

void FrameClock::RunTick(std::unique_lock<std::mutex>& lock, int id) {
  tickRunning_ = true;
  lock.unlock();
  handler_(id);
  lock.lock();
  tickRunning_ = false;
  idle_.notify_all();
}

void FrameClock::Advance(int ms) {
  std::unique_lock lock(mutex_);
  if (mode_ != Mode::kManual || ms < 0) return;
  tickThread_.store(std::this_thread::get_id());
  const int64_t target = manualNowUs_ + int64_t{ms} * 1000;
  for (;;) {
    Timer* next = EarliestLocked();
    if (!next || next->deadlineUs > target) break;
    manualNowUs_ = std::max(manualNowUs_, next->deadlineUs);
    int id = next->id;
    ScheduleNextLocked(*next, manualNowUs_);
    RunTick(lock, id);
  }
  manualNowUs_ = target;
  tickThread_.store(std::thread::id{});
}

void FrameClock::ThreadMain() {
  tickThread_.store(std::this_thread::get_id());
  std::unique_lock lock(mutex_);
  // Flexible ticks that fall due before this run with the wake-up that
  // opened it.
  int64_t earlyUntilUs = 0;
  while (!quit_) {
    Timer* next = EarliestLocked();
    if (!next) {
      wake_.wait(lock);
      continue;
    }
    const int64_t now = SteadyMicros();
    int64_t runAtUs = next->deadlineUs;
    if (next->timing == Timing::kFlexible) {
      // `next` is the earliest, so an on-time tick is never due before it.
      const Timer* host = EarliestOnTimeLocked();
      if (host && host->deadlineUs - next->deadlineUs <= kJoinWindowUs) {
        runAtUs = host->deadlineUs;
      } else if (next->deadlineUs <= earlyUntilUs) {
        runAtUs = now;
      }
    }
    if (now < runAtUs) {
      auto deadline = std::chrono::steady_clock::time_point(std::chrono::microseconds(runAtUs));
      wake_.wait_until(lock, deadline);
      continue;  // timers may have changed meanwhile
    }
    if (now >= next->deadlineUs) earlyUntilUs = next->deadlineUs + kEarlyWindowUs;
    int id = next->id;
    ScheduleNextLocked(*next, now);
    RunTick(lock, id);
  }
}

}  // namespace quor

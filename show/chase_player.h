// The chase player. It has no thread or timer of its own: AdvanceChase runs
// as the last stage of every mix pass and executes the steps that are due.
// Starting and stopping are requests carried out by the next pass.
//
// Threads: StartChase and RequestChaseStop from any thread (UI, or remote
// input inside the mix pass); they only publish one command word, so the
// pass never sees a new chase number with the previous chase's step index:
// the player itself sets chase, step and due time together. AdvanceChase
// runs on the clock thread (or any thread while the clock is stopped).
// StopChaseNow is for UI commands that must not race a pending stop.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "core/beat_divider.h"
#include "show/chase_store.h"
#include "show/show_host.h"
#include "show/step_actions.h"

namespace quor {

struct ChasePlayerHooks {
  // A scene step selected this scene (clock thread; must not block).
  SceneSelectedFn selectScene;
  // The player stopped: "Play" released, "Stop" pressed (clock or UI thread;
  // must not block).
  std::function<void()> stopped;
};

class ChasePlayer {
 public:
  // RunningChase values besides a 1-based chase number.
  static constexpr int kIdle = 0;
  static constexpr int kStopRequested = -1;

  ChasePlayer(ShowHost& engine, ChaseStore& chases);
  ChasePlayer(const ChasePlayer&) = delete;
  ChasePlayer& operator=(const ChasePlayer&) = delete;

  const ChasePlayerHooks& hooks() const { return hooks_; }
  // Replaces the hooks; refused (false) while the clock runs, because the
  // mix pass calls them without a lock.
  bool SetHooks(ChasePlayerHooks hooks);

  // `number` is 1-based (store index + 1). Step `firstStep` (0 for the
  // first; one past the chase's end means the first) runs in the next mix
  // pass. Starting a chase while another runs switches to it and keeps the
  // settings saved when the first one started.
  void StartChase(int number, int firstStep = 0);
  void RequestChaseStop();
  // UI thread: drops any pending start and performs the stop now (putting
  // back the saved fade and strobe settings), so a command that follows can
  // change those settings or the chase store without a later pass undoing
  // it.
  void StopChaseNow();
  // The end of every mix pass.
  void AdvanceChase();

  // The player's state as the last pass left it (any thread).
  int RunningChase() const { return runningChase_.load(); }
  int StepIndex() const { return stepIndex_.load(); }
  int LastRunningChase() const { return lastRunningChase_.load(); }
  int64_t NextStepDueMs() const { return nextStepDueMs_.load(); }
  bool Running() const { return lastRunningChase_.load() != -1; }
  // What the next pass will do: > 0 start that chase, < 0 stop, 0 nothing.
  int PendingCommand() const { return command_.load(); }
  // Whether a chase runs or is about to: what "Play" shows.
  bool PlayingOrStarting() const {
    const int pending = PendingCommand();
    return pending > 0 || (pending == kNoCommand && RunningChase() > 0);
  }

 private:
  static constexpr int kNoCommand = 0;
  int64_t NowMs() const;
  void PerformStopLocked();
  // Sets when the step just executed ends.
  void ScheduleNext(const ChaseStep& step, int64_t nowMs, int64_t quarter);

  ShowHost& engine_;
  ChaseStore& chases_;
  ChasePlayerHooks hooks_;
  // Requests: kNoCommand, a chase number to start, or kStopRequested.
  std::atomic<int> command_{kNoCommand};
  std::atomic<int> startStep_{0};  // published before command_
  // Written only while mutex_ is held (by the pass or StopChaseNow).
  std::mutex mutex_;
  std::atomic<int> runningChase_{kStopRequested};
  std::atomic<int> stepIndex_{0};
  std::atomic<int> lastRunningChase_{-1};
  std::atomic<int64_t> nextStepDueMs_{0};
  FadeStrobeState saved_;
  // Beat steps, pass only (under mutex_): whether the step that plays waits
  // for the quarter beat dueQuarter_, and the quarter beats of the tempo.
  bool onBeats_ = false;
  int64_t dueQuarter_ = 0;
  BeatDivider quarters_;
};

static_assert(std::atomic<int64_t>::is_always_lock_free);

}  // namespace quor

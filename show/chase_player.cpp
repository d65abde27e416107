#include "show/chase_player.h"

#include <algorithm>

namespace quor {

ChasePlayer::ChasePlayer(ShowHost& engine, ChaseStore& chases) : engine_(engine), chases_(chases) {}

bool ChasePlayer::SetHooks(ChasePlayerHooks hooks) {
  if (engine_.ClockRunning()) return false;
  hooks_ = std::move(hooks);
  return true;
}

int64_t ChasePlayer::NowMs() const { return engine_.clock().NowMicros() / 1000; }

void ChasePlayer::ScheduleNext(const ChaseStep& step, int64_t nowMs, int64_t quarter) {
  // Without a tempo a beat step lasts the milliseconds it was last measured at.
  nextStepDueMs_.store(nowMs + step.duration);
  const bool onBeats = step.beatQuarters > 0 && engine_.Bpm() > 0;
  if (onBeats) {
    // Beat steps follow each other on the grid of quarter beats. A chase
    // that starts, a step after one in milliseconds and a pass more than a
    // beat late start the grid again, from the last whole beat (or the last
    // multiple of a shorter step), so steps still change on the beat.
    int64_t base = dueQuarter_;
    if (!onBeats_ || quarter - dueQuarter_ >= 4) {
      const int64_t grid = std::min<int64_t>(step.beatQuarters, 4);
      base = quarter - quarter % grid;
    }
    dueQuarter_ = base + step.beatQuarters;
  }
  onBeats_ = onBeats;
}

void ChasePlayer::StartChase(int number, int firstStep) {
  if (number <= 0) return;
  startStep_.store(firstStep > 0 ? firstStep : 0);
  command_.store(number);
}

void ChasePlayer::RequestChaseStop() { command_.store(kStopRequested); }

void ChasePlayer::StopChaseNow() {
  std::lock_guard lock(mutex_);
  command_.store(kNoCommand);
  if (lastRunningChase_.load() != -1) {
    PerformStopLocked();
  } else {
    runningChase_.store(kStopRequested);
  }
}

void ChasePlayer::PerformStopLocked() {
  RestoreFadeStrobe(engine_.liveSettings(), saved_);
  engine_.changes().Announce(Change::kMaster);
  engine_.console().Print("Chase stopped.\n");
  runningChase_.store(kIdle);
  lastRunningChase_.store(-1);
  engine_.changes().Announce(Change::kChasePlayer);
  if (hooks_.stopped) hooks_.stopped();
}

void ChasePlayer::AdvanceChase() {
  engine_.clock().ExpectClockThread();
  std::lock_guard lock(mutex_);
  const int64_t now = NowMs();
  // Every pass, so no beat goes unseen.
  const int64_t quarter = quarters_.Position(engine_.BeatCount(), engine_.BeatPhase(), 4);
  const int command = command_.exchange(kNoCommand);
  if (command > 0) {
    // Chase, step and due time change together, seen by no other pass.
    stepIndex_.store(startStep_.exchange(0));  // held to the chase below
    nextStepDueMs_.store(now);
    onBeats_ = false;
    runningChase_.store(command);
    engine_.changes().Announce(Change::kChasePlayer);
  } else if (command == kStopRequested) {
    runningChase_.store(kStopRequested);
  }

  const int running = runningChase_.load();
  if (running <= 0) {
    if (running == kStopRequested && lastRunningChase_.load() != -1) PerformStopLocked();
    return;
  }
  // The settings are saved when a chase starts from idle; switching straight
  // to another chase keeps them, so the final stop returns to the settings
  // from before the first chase.
  if (lastRunningChase_.load() == -1) saved_ = CaptureFadeStrobe(engine_.liveSettings());
  lastRunningChase_.store(running);

  auto storeLock = chases_.LockForPlayer();
  const int index = running - 1;
  if (!chases_.Contains(index) || chases_.at(index).steps.empty() ||
      chases_.at(index).TotalDurationMs() <= kMinimumChaseLengthMs) {
    runningChase_.store(kStopRequested);
    PerformStopLocked();
    return;
  }
  const Chase& chase = chases_.at(index);
  // A beat step waits for its quarter beat while a tempo is known, else
  // for its milliseconds.
  const auto due = [&] {
    return onBeats_ && engine_.Bpm() > 0 ? quarter >= dueQuarter_ : now >= nextStepDueMs_.load();
  };
  while (due()) {
    int step = stepIndex_.load();
    if (step == -1) {
      stepIndex_.store(0);
      runningChase_.store(kStopRequested);
      nextStepDueMs_.store(now + 1000);
      onBeats_ = false;
      engine_.console().Print("Chase ended.\n");
      PerformStopLocked();
      return;
    }
    if (step < 0 || step >= chase.StepCount()) step = 0;  // steps were removed meanwhile
    const ChaseStep& current = chase.steps[static_cast<size_t>(step)];
    ExecuteStep(engine_, hooks_.selectScene, current);
    engine_.changes().Announce(Change::kChasePlayer);
    engine_.changes().Announce(Change::kMaster);
    ScheduleNext(current, now, quarter);
    ++step;
    if (step >= chase.StepCount()) step = chase.Loops() ? 0 : -1;
    stepIndex_.store(step);
    engine_.console().Print("Next Chase Step: %d\n", step);
  }
}

}  // namespace quor

#include "app/headless_host.h"

#include <chrono>
#include <cstdio>

#include "platform/service_notify.h"

namespace quor {
namespace {

// Requests from other threads (scene recalls, chases, the outputs) wake
// the loop at once; the turn only bounds how late console lines and errors
// of other threads, a stop signal and the time limit are noticed. Every
// turn costs a wake-up of an otherwise idle thread, so it is not short.
constexpr auto kLoopTurn = std::chrono::milliseconds(100);
// How often the service manager hears that frames still flow; well inside
// the unit's WatchdogSec.
constexpr auto kAlivePeriod = std::chrono::seconds(1);

// Without windows the errors go to standard error.
void PrintErrors(ChangeFeed& changes) {
  for (const Failure& error : changes.Drain().errors) std::fprintf(stderr, "Error: %s\n", error.message.c_str());
}

}  // namespace

HeadlessHost::HeadlessHost(Engine& engine, std::vector<std::string> args)
    : engine_(engine), lifecycle_(engine, std::move(args), LifecycleOptions{.wakeMainThread = [this] { Wake(); }}) {}

void HeadlessHost::Wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  wake_.notify_one();
}

void HeadlessHost::RequestStop() {
  stop_ = true;
  Wake();
}

int HeadlessHost::Run() {
  const std::optional<int> exitCode = lifecycle_.Start();
  PrintErrors(engine_.changes());
  if (exitCode) return *exitCode;
  NotifyServiceReady();
  // The watchdog hears from the loop only while mix passes are counted, so
  // a stalled frame clock gets the service restarted.
  int64_t passesAtLastAlive = engine_.mixPassTiming().passes.load();
  auto lastAlive = std::chrono::steady_clock::now();
  while (!stop_.load() && !StopSignalReceived() && !lifecycle_.ShouldEnd()) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait_for(lock, kLoopTurn, [this] { return woken_; });
      woken_ = false;
    }
    engine_.PostMessageWork();
    PrintErrors(engine_.changes());
    lifecycle_.KeepResumeState();
    const auto now = std::chrono::steady_clock::now();
    if (now - lastAlive >= kAlivePeriod) {
      const int64_t passes = engine_.mixPassTiming().passes.load();
      if (passes != passesAtLastAlive) NotifyServiceAlive();
      passesAtLastAlive = passes;
      lastAlive = now;
    }
  }
  NotifyServiceStopping();
  const int finished = lifecycle_.Finish();
  PrintErrors(engine_.changes());
  return finished;
}

}  // namespace quor

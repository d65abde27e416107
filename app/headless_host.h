// Runs Quor without any window: the shared start-up (engine/lifecycle.h),
// then a small message loop that does the engine's post-message work until
// SIGINT/SIGTERM, the time limit or a shutdown request, then the shared
// orderly shutdown that writes autosave.dat.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/lifecycle.h"
#include "platform/stop_signals.h"

namespace quor {

class HeadlessHost {
 public:
  HeadlessHost(Engine& engine, std::vector<std::string> args);
  // Returns the process exit code.
  int Run();
  // Any thread: ends the loop at its next turn.
  void RequestStop();

 private:
  void Wake();

  Engine& engine_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool woken_ = false;
  std::atomic<bool> stop_{false};
  Lifecycle lifecycle_;  // after what its wake-up uses
};

}  // namespace quor

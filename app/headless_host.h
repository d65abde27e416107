// Runs an Engine without any window: its own small message loop performs the
// engine's post-message work until SIGINT/SIGTERM, the time limit or a
// shutdown request, then shuts down in order.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "core/command_line.h"
#include "core/engine.h"

namespace quor {

class HeadlessHost {
 public:
  HeadlessHost(Engine& engine, const CommandLine& commandLine);
  // Returns the process exit code.
  int Run();
  // Any thread: ends the loop at its next turn.
  void RequestStop();

 private:
  void Wake();

  Engine& engine_;
  const CommandLine& commandLine_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool woken_ = false;
  std::atomic<bool> stop_{false};
};

// Installs SIGINT/SIGTERM handlers that make the running host stop.
void InstallStopSignals();
bool StopSignalReceived();

}  // namespace quor

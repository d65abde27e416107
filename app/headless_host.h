// Runs Quor without any window: the start-up order (serial ports, program
// folder, sound input, command line, project or autosave load, autostart,
// frame clock), a small message loop that does the engine's post-message
// work until SIGINT/SIGTERM, the time limit or a shutdown request, and the
// orderly shutdown that writes autosave.dat.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/program_paths.h"
#include "core/command_line.h"
#include "core/engine.h"

namespace quor {

class HeadlessHost {
 public:
  HeadlessHost(Engine& engine, std::vector<std::string> args);
  // Returns the process exit code.
  int Run();
  // The start-up alone, up to and including the frame clock: -1 when the
  // program runs, else the exit code. The windowed host runs its own loop
  // between Start and Finish.
  int Start();
  // The orderly shutdown with autosave (once) and the snapshot; returns the
  // exit code.
  int Finish();
  const CommandLine& commandLine() const { return commandLine_; }
  // Failed autostart or load messages go here instead of standard error.
  std::function<void(const std::vector<std::string>&)> reportErrors;
  // Any thread: ends the loop at its next turn.
  void RequestStop();

 private:
  void Wake();
  void Autostart();
  void ShutdownWithAutosave();

  Engine& engine_;
  std::vector<std::string> args_;
  CommandLine commandLine_;
  ProgramPaths paths_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool woken_ = false;
  std::atomic<bool> stop_{false};
  bool finished_ = false;
};

// Installs SIGINT/SIGTERM handlers that make the running host stop.
void InstallStopSignals();
bool StopSignalReceived();

}  // namespace quor

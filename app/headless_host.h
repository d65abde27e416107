// Runs Quor without any window: the start-up order (serial ports, program
// folder, sound input, command line, project or autosave load, autostart,
// frame clock), a small message loop that does the engine's post-message
// work until SIGINT/SIGTERM, the time limit or a shutdown request, and the
// orderly shutdown that writes autosave.dat.
#pragma once

#include <atomic>
#include <condition_variable>
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
  // Any thread: ends the loop at its next turn.
  void RequestStop();

 private:
  void Wake();
  void Autostart();
  void ShutdownWithAutosave();
  int ScanArtNetOnly();

  Engine& engine_;
  std::vector<std::string> args_;
  CommandLine commandLine_;
  ProgramPaths paths_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool woken_ = false;
  std::atomic<bool> stop_{false};
};

// Installs SIGINT/SIGTERM handlers that make the running host stop.
void InstallStopSignals();
bool StopSignalReceived();

}  // namespace quor

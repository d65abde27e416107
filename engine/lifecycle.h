// The one start-up and shut-down path of Quor, shared by every host: the
// serial port listing, the command line, the program and config folders,
// the sound input, the project or autosave load, the matrix size and slot
// requests of the command line, the autostart switches and the clock start;
// at the end the orderly stop that writes autosave.dat and the snapshot.
// A host runs Start(), its own message loop (calling the engine's
// PostMessageWork and asking ShouldEnd()), then Finish(). Failures (a
// refused project, a failed autostart or autosave) go to the engine's
// change feed as errors; the host shows them when it drains the feed.
// UI thread only.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/command_line.h"
#include "engine/engine.h"
#include "engine/program_paths.h"
#include "engine/project_file.h"

namespace quor {

// What a host gives the shared start-up.
struct LifecycleOptions {
  // Any thread: makes the host's loop run the engine's post-message work
  // soon (a scene recall requested from the clock thread, a remote
  // command from the input thread). Installed as the engine's wakeMainThread hook from Start until
  // Finish.
  std::function<void()> wakeMainThread{};
  // The desktop the show mode window must stay on; none when headless.
  std::optional<ScreenEdges> desktop{};
};

class Lifecycle {
 public:
  // `args` are the arguments after the program name.
  Lifecycle(Engine& engine, std::vector<std::string> args, LifecycleOptions options = {});
  ~Lifecycle();
  Lifecycle(const Lifecycle&) = delete;
  Lifecycle& operator=(const Lifecycle&) = delete;

  // Everything up to the running clock. Returns the exit code when the
  // program must end at once (a bad command line), nothing when it runs.
  std::optional<int> Start();
  // The --seconds limit has passed or a shutdown was requested.
  bool ShouldEnd() const;
  // Writes autosave.dat now. The first save of a run keeps the previous
  // file as autosave.dat.bak, so that backup is always the show from before
  // this run. The windowed host saves when the window is about to close, so
  // a failure can be shown while the user can still save elsewhere.
  ProjectFileResult SaveAutosave();
  // Stops rendering, writes the autosave, shuts the engine down and writes
  // the --snapshot picture. Returns the exit code: 1 when the autosave or
  // the snapshot could not be written.
  int Finish();

  const CommandLine& commandLine() const { return commandLine_; }
  const ProgramPaths& paths() const { return paths_; }

 private:
  void LoadStartProject();
  void ApplySlotRequests();
  // Opens the OSC input when the command line asked for it.
  void OpenOscInput();
  void Autostart();
  // --scan-artnet: one scan, the nodes on standard output; the exit code.
  int ScanArtNetOnly();
  void ReportErrors(const std::vector<Failure>& errors);

  Engine& engine_;
  std::vector<std::string> args_;
  LifecycleOptions options_;
  bool backupKept_ = false;  // an autosave of this run has kept the backup
  CommandLine commandLine_;
  ProgramPaths paths_;
  std::chrono::steady_clock::time_point started_{};
  bool finished_ = false;
};

}  // namespace quor

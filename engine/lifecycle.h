// The one start-up and shut-down path of Quor, shared by every host: the
// serial port listing, the command line, the program and config folders,
// the sound input, the project or autosave load, the matrix size and slot
// requests of the command line, the autostart switches and the clock start;
// at the end the orderly stop that writes autosave.dat and the snapshot.
// A host runs Start(), its own message loop (calling the engine's
// PostMessageWork and asking ShouldEnd()), then Finish(). Failures (a
// refused project, a failed autostart or autosave) go to the engine's
// change feed as errors; the host shows them when it drains the feed.
// What the show was doing (the live mixer, the chase or scene, the outputs,
// the open windows) is kept in the project's side file while it runs and
// brought back by the next start of the same project; a first start (no
// project, no autosave) plays the bundled demo show with a hint.
// UI thread only.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/command_line.h"
#include "engine/control_inputs.h"
#include "engine/engine.h"
#include "engine/program_paths.h"
#include "engine/project_file.h"
#include "engine/resume_state.h"

namespace quor {

// Printed, and shown by a windowed host, on a first start.
inline constexpr const char* kFirstStartHint =
    "Welcome to Quor! This is the demo show. Set your matrix size in Setup > Matrix Size, then add your LEDs in "
    "Setup > Output Devices.";

// How often at most the resume state is written while it changes.
inline constexpr std::chrono::milliseconds kResumeKeepInterval{1000};

// What a host gives the shared start-up.
struct LifecycleOptions {
  // Any thread: makes the host's loop run the engine's post-message work
  // soon (a scene recall requested from the clock thread, a remote
  // command from the input thread). Installed as the engine's wakeMainThread hook from Start until
  // Finish.
  std::function<void()> wakeMainThread{};
  // The desktop the show mode window must stay on; none when headless.
  std::optional<ScreenEdges> desktop{};
  // The windows open now, for the resume state; nothing once the host's
  // window has closed (the last report is kept). Empty when headless.
  std::function<std::optional<ResumeWindows>()> openWindows{};
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

  // Each turn of the host's loop: at most once per kResumeKeepInterval,
  // writes the resume state to the side file when it changed (temporary
  // file, then rename), so a power cut loses at most that much.
  void KeepResumeState();
  // The windows the resumed project had open, for the host to open again
  // (after Start; nothing when no resume state was applied).
  std::optional<ResumeWindows> windowsToReopen() const;
  // The show now belongs to the project file `path` (File > Open loaded it
  // or File > Save wrote it): the resume state goes beside that file from
  // the next keep on. An empty path (File > New) and the bundled demo keep
  // it beside the autosave.
  void FollowProject(const std::string& path);
  // The show was opened or made new (after FollowProject): the OSC and MIDI
  // inputs take the settings kept in its side file. A project without kept
  // settings leaves them as they are; a damaged section is reported (as an
  // error on the change feed) and changes nothing. The installation
  // settings (sync, power) are read from that side file too, off where it
  // has none; a Save As takes them along with the control settings.
  void FollowControlSettings();
  // Where the control surfaces' settings are kept: the side file of the
  // project, or the one beside the autosave (empty before Start).
  const std::string& controlSettingsPath() const { return resumePath_; }
  // This start found neither a project nor an autosave and plays the demo.
  bool firstStart() const { return firstStart_; }
  // Where the resume state is written (a side file; empty before Start).
  const std::string& resumePath() const { return resumePath_; }

  // The web remote's settings in use: the config folder's, with the
  // command line's address and port over them.
  const WebSettings& webSettings() const { return webSettings_; }
  // Opens (or closes, when not enabled) the web remote with `settings`
  // (the Setup dialog's); the environment's PIN still comes first. True
  // when it listens.
  bool ApplyWebSettings(const WebSettings& settings);

  const CommandLine& commandLine() const { return commandLine_; }
  const ProgramPaths& paths() const { return paths_; }
  // The project file named on the command line when Start loaded it; empty
  // when none was named or it could not be loaded (the autosave is no
  // project file of the user's).
  const std::string& loadedProjectPath() const { return loadedProjectPath_; }

 private:
  void LoadStartProject();
  void ApplySlotRequests();
  // Opens the OSC and MIDI inputs as the side file keeps them, OSC as the
  // command line overrides it.
  void OpenControlInputs();
  // Reads the kept control settings of the side file at `sidePath`; a
  // damaged section is reported and gives nothing.
  std::optional<ControlSettings> ReadKeptControls(const std::string& sidePath);
  // After a Save As: the settings kept beside the old file go beside the new.
  void CarryControlSettings();
  void OpenWebRemote();
  void Autostart();
  // --scan-artnet: one scan, the nodes on standard output; the exit code.
  int ScanArtNetOnly();
  void ReportErrors(const std::vector<Failure>& errors);
  // Reads the resume section of `projectPath`'s side file into resume_.
  void ReadResumeState(const std::string& projectPath);
  void ApplyResume();
  ResumeState CaptureNow();
  // Writes `state` to `sidePath`; the first failure of a row goes to the console.
  bool WriteResume(const std::string& sidePath, const ResumeState& state);

  Engine& engine_;
  std::vector<std::string> args_;
  LifecycleOptions options_;
  bool backupKept_ = false;  // an autosave of this run has kept the backup
  CommandLine commandLine_;
  ProgramPaths paths_;
  std::chrono::steady_clock::time_point started_{};
  bool finished_ = false;
  std::string loadedProjectPath_;
  bool firstStart_ = false;
  std::optional<ResumeState> resume_;  // read at start-up
  std::string resumePath_;
  std::optional<ResumeState> kept_;  // what the side file holds
  ResumeWindows windows_{};          // the last windows the host reported
  std::chrono::steady_clock::time_point lastKeep_{};
  bool keepFailed_ = false;
  // The side file a project change left, until the change is known to be a
  // save (its settings then go along) or an open (they stay behind).
  std::string carryControlsFrom_;
  WebSettings webSettings_;
};

}  // namespace quor

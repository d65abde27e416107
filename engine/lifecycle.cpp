#include "engine/lifecycle.h"

#include <cstdio>

#include "engine/project_file.h"
#include "files/frame_snapshot.h"
#include "files/safe_file.h"
#include "generators/generator_catalogue.h"
#include "input/artnet_discovery.h"
#include "input/remote_control.h"
#include "output/serial_port.h"

namespace quor {
namespace {

constexpr int kSnapshotLongSide = 320;

}  // namespace

Lifecycle::Lifecycle(Engine& engine, std::vector<std::string> args, LifecycleOptions options)
    : engine_(engine), args_(std::move(args)), options_(std::move(options)) {}

Lifecycle::~Lifecycle() {
  // The wake-up may name the host's window, which may go before the
  // engine. (Refused while the clock runs; Finish has stopped it by then.)
  // The remote input's thread calls it too: the input closes first, which
  // Finish has done already unless it never ran.
  if (options_.wakeMainThread) {
    engine_.remote().CloseRemoteInput();
    engine_.osc().Close();
    engine_.EditHooks([](EngineHooks& hooks) { hooks.wakeMainThread = nullptr; });
  }
}

void Lifecycle::ReportErrors(const std::vector<Failure>& errors) {
  for (const Failure& error : errors) engine_.changes().ReportError(error);
}

std::optional<int> Lifecycle::Start() {
  Console& console = engine_.console();

  std::string ports = "Found Serialports: ";
  for (const std::string& port : ListSerialPorts()) ports += port + " ";
  console.Print("%s\n", ports.c_str());

  console.Write("Parsing command line ...\n");
  commandLine_ = ParseCommandLine(args_, console);
  for (const std::string& unknown : commandLine_.unknown) {
    std::fprintf(stderr, "quor: ignoring unknown option %s\n", unknown.c_str());
  }
  if (!commandLine_.errors.empty()) {
    for (const std::string& error : commandLine_.errors) std::fprintf(stderr, "quor: %s\n", error.c_str());
    std::fputs(UsageText().c_str(), stderr);
    finished_ = true;  // nothing was started, so nothing is saved
    return 2;
  }
  if (commandLine_.scanArtNet) {
    finished_ = true;  // the project is neither loaded nor saved
    return ScanArtNetOnly();
  }

  paths_ = ResolveProgramPaths(commandLine_.configDir);
  console.Print("Binarypath: %s\n", paths_.programFolder.c_str());
  std::optional<Failure> unusable =
      commandLine_.configDir.empty() ? std::nullopt : CheckFolderUsable(paths_.configFolder);
  // The exit autosave writes its backup and temporaries beside
  // autosave.dat, under longer names: all of them must fit.
  if (!unusable) unusable = CheckNamesFit(paths_.autosavePath + kProjectBackupSuffix);
  if (unusable && commandLine_.configDir.empty()) {
    std::fprintf(stderr, "quor: cannot save autosave.dat in %s: %s\n", paths_.configFolder.c_str(),
                 unusable->message.c_str());
  } else if (unusable) {
    std::fprintf(stderr, "quor: cannot use --config-dir %s: %s\n", paths_.configFolder.c_str(),
                 unusable->message.c_str());
    finished_ = true;  // nothing was started, so nothing is saved
    return 1;
  }
  RemoveStaleTemporaries(paths_.configFolder);
  if (options_.wakeMainThread) {
    engine_.EditHooks([this](EngineHooks& hooks) { hooks.wakeMainThread = options_.wakeMainThread; });
  }
  // Without an input device the spectrum simply stays silent.
  if (const std::optional<Failure> failed = engine_.audio().Start()) console.Print("%s\n", failed->message.c_str());
  if (commandLine_.limitTo20Fps) engine_.SetOutputFps(20);

  LoadStartProject();
  if (commandLine_.matrixWidth > 0 &&
      (commandLine_.matrixWidth != engine_.width() || commandLine_.matrixHeight != engine_.height())) {
    engine_.ResizeMatrix(commandLine_.matrixWidth, commandLine_.matrixHeight);
  }
  ApplySlotRequests();
  engine_.RebindSlots();
  OpenOscInput();
  Autostart();
  engine_.StartClock();
  started_ = std::chrono::steady_clock::now();
  return std::nullopt;
}

void Lifecycle::LoadStartProject() {
  const std::string loadPath = commandLine_.loadPath.empty() ? paths_.autosavePath : commandLine_.loadPath;
  engine_.console().Print("Try to load file: %s\n", loadPath.c_str());
  // An installation driven by a console opens its remote input here, also
  // with no window.
  ProjectLoadHooks hooks;
  hooks.closeRemoteInput = [this] { engine_.remote().CloseRemoteInput(); };
  hooks.openRemoteInput = [this] { return engine_.remote().OpenRemoteInput(); };
  hooks.desktop = options_.desktop;
  const ProjectFileResult loaded = LoadProject(engine_, loadPath, hooks);
  ReportErrors(loaded.errors);
  if (loaded.status != ProjectFileStatus::kDone && (loadPath != paths_.autosavePath || !loaded.messages.empty())) {
    engine_.console().Print("Could not load %s: %s\n", loadPath.c_str(), loaded.reason.c_str());
  }
  if (loaded.status == ProjectFileStatus::kRefused && loadPath == paths_.autosavePath) {
    // The exit autosave would replace it: keep the refused file for a look.
    const std::string kept = paths_.autosavePath + ".bad";
    if (std::rename(loadPath.c_str(), kept.c_str()) == 0) {
      engine_.console().Print("Kept the unreadable autosave as %s\n", kept.c_str());
    }
  }
}

void Lifecycle::OpenOscInput() {
  if (!commandLine_.osc.enabled) {
    if (commandLine_.osc.feedback) engine_.console().Write("OSC feedback needs --osc=PORT as well; OSC stays off\n");
    return;
  }
  engine_.oscSettings() = commandLine_.osc;
  if (engine_.osc().Open()) engine_.console().Print("OSC input listening on UDP port %d\n", engine_.osc().LocalPort());
}

void Lifecycle::ApplySlotRequests() {
  for (const SlotRequest& request : commandLine_.slotRequests) {
    if (!engine_.registry().IsRegistered(request.type)) {
      engine_.console().Print("Generator type %d is not available; slot %d stays None / Blackout\n", request.type,
                              request.slot);
    }
    engine_.SelectEffect(request.slot, EffectListPosition(request.type));
  }
}

void Lifecycle::Autostart() {
  Show& show = engine_.show();
  const int chase = commandLine_.autostartChase;
  const int scene = commandLine_.autostartScene;
  bool started = false;
  // The list windows show what was started, so a later "Play" plays the
  // same chase.
  if (chase > 0 && chase <= show.chases().count()) {
    show.chaseList().StartAt(chase - 1);
    started = true;
  } else if (scene > 0 && scene <= show.scenes().count()) {
    show.sceneList().ShowSelection(scene - 1);
    engine_.RequestSceneRecall(scene - 1);
    started = true;
  }
  if (started && engine_.flags().outputState.load() != kOutputRunning) {
    engine_.console().Write("Try to autostart output ...\n");
    engine_.OpenOutputs();
  }
}

bool Lifecycle::ShouldEnd() const {
  if (engine_.flags().shutdownRequested.load()) return true;
  return commandLine_.seconds >= 0 &&
         std::chrono::steady_clock::now() - started_ >= std::chrono::seconds(commandLine_.seconds);
}

int Lifecycle::ScanArtNetOnly() {
  // A list of its own: the scan reports every node, known or not, and the
  // project is left alone.
  OutputDeviceList found(engine_.console());
  const std::optional<ArtNetScanResult> result = RunArtNetScan(found, engine_.console());
  if (!result) {
    std::fputs("quor: cannot open a UDP socket for the Art-Net scan\n", stderr);
    return 1;
  }
  std::fputs(ArtNetScanListing(*result).c_str(), stdout);
  std::fflush(stdout);
  return 0;
}

ProjectFileResult Lifecycle::SaveAutosave() {
  ProjectFileResult saved = backupKept_ ? SaveProject(engine_, paths_.autosavePath)
                                        : SaveProjectKeepingBackup(engine_, paths_.autosavePath);
  if (saved.status == ProjectFileStatus::kDone) backupKept_ = true;
  return saved;
}

int Lifecycle::Finish() {
  if (finished_) return 0;
  finished_ = true;
  engine_.StopRendering();
  engine_.remote().CloseRemoteInput();
  engine_.osc().Close();
  if (options_.wakeMainThread) engine_.EditHooks([](EngineHooks& hooks) { hooks.wakeMainThread = nullptr; });
  const ProjectFileResult saved = SaveAutosave();
  ReportErrors(saved.errors);
  engine_.Shutdown();
  int exitCode = saved.status == ProjectFileStatus::kDone ? 0 : 1;
  if (!commandLine_.snapshotPath.empty()) {
    std::vector<uint8_t> frame = engine_.CopyFrame(FrameIndex::kOutput);
    if (const std::optional<Failure> failed = WriteFrameSnapshot(
            commandLine_.snapshotPath, {frame.data(), engine_.width(), engine_.height()}, kSnapshotLongSide)) {
      std::fprintf(stderr, "quor: cannot write snapshot %s: %s\n", commandLine_.snapshotPath.c_str(),
                   failed->message.c_str());
      exitCode = 1;
    }
  }
  engine_.console().Write("shutdown\n");
  return exitCode;
}

}  // namespace quor

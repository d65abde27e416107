#include "engine/lifecycle.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "engine/project_file.h"
#include "engine/web_remote.h"
#include "files/frame_snapshot.h"
#include "files/safe_file.h"
#include "engine/installation.h"
#include "files/side_file.h"
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
  // The remote, OSC and MIDI inputs' threads call it too: they close first, which
  // Finish has done already unless it never ran.
  if (options_.wakeMainThread) {
    engine_.remote().CloseRemoteInput();
    engine_.osc().Close();
    engine_.midi().Close();
    engine_.web().Close();
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
  LoadInstallation(engine_, resumePath_, commandLine_);  // before Autostart opens the outputs
  if (commandLine_.matrixWidth > 0 &&
      (commandLine_.matrixWidth != engine_.width() || commandLine_.matrixHeight != engine_.height())) {
    engine_.ResizeMatrix(commandLine_.matrixWidth, commandLine_.matrixHeight);
  }
  ApplySlotRequests();
  engine_.RebindSlots();
  OpenControlInputs();
  OpenWebRemote();
  Autostart();
  engine_.StartClock();
  // With the clock running, so the slots restart at their kept speeds.
  ApplyResume();
  started_ = std::chrono::steady_clock::now();
  lastKeep_ = started_;
  return std::nullopt;
}

void Lifecycle::LoadStartProject() {
  std::string loadPath = commandLine_.loadPath.empty() ? paths_.autosavePath : commandLine_.loadPath;
  std::error_code error;
  if (commandLine_.loadPath.empty() && !std::filesystem::exists(paths_.autosavePath, error) &&
      !paths_.demoShowPath.empty()) {
    // A first start: the demo rather than an empty black mixer. Its
    // picture scene names its image relative to the demo's folder, so that
    // becomes the working folder; the paths in use are made absolute first.
    firstStart_ = true;
    loadPath = paths_.demoShowPath;
    for (std::string* path : {&paths_.configFolder, &paths_.autosavePath, &commandLine_.snapshotPath}) {
      if (!path->empty()) *path = std::filesystem::absolute(*path, error).string();
    }
    std::filesystem::current_path(paths_.demoRoot, error);
    engine_.console().Print("%s\n", kFirstStartHint);
  }
  engine_.console().Print("Try to load file: %s\n", loadPath.c_str());
  // An installation driven by a console opens its remote input here, also
  // with no window.
  ProjectLoadHooks hooks;
  hooks.closeRemoteInput = [this] { engine_.remote().CloseRemoteInput(); };
  hooks.openRemoteInput = [this] { return engine_.remote().OpenRemoteInput(); };
  hooks.desktop = options_.desktop;
  const ProjectFileResult loaded = LoadProject(engine_, loadPath, hooks);
  ReportErrors(loaded.errors);
  if (loaded.status == ProjectFileStatus::kDone && loadPath != paths_.autosavePath) loadedProjectPath_ = loadPath;
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
  // The bundled demo is never written beside (tools/run starts it by
  // name too); its run is kept beside the autosave the exit writes.
  const bool demo = firstStart_ || (!paths_.demoShowPath.empty() &&
                                    std::filesystem::equivalent(loadPath, paths_.demoShowPath, error));
  const bool loadedOwnFile = loaded.status == ProjectFileStatus::kDone && !demo;
  resumePath_ = SideFilePath(loadedOwnFile ? loadPath : paths_.autosavePath);
  if (loadedOwnFile) ReadResumeState(loadPath);
}

void Lifecycle::ReadResumeState(const std::string& projectPath) {
  const std::string sidePath = SideFilePath(projectPath);
  const SideFileRead read = ReadSideFile(sidePath);
  std::string problem = read.problem;
  if (problem.empty() && read.sections.contains(kResumeSection)) {
    resume_ = ResumeFromJson(SideSection(read, kResumeSection), problem);
  }
  if (!problem.empty()) {
    engine_.console().Print("Ignoring the resume state in %s: %s\n", sidePath.c_str(), problem.c_str());
  }
  if (resume_) windows_ = resume_->windows;
}

void Lifecycle::ApplyResume() {
  if (resume_) {
    ResumeOverrides overrides;
    for (const SlotRequest& request : commandLine_.slotRequests) {
      overrides.slotRequested[static_cast<size_t>(request.slot)] = true;
    }
    Show& show = engine_.show();
    overrides.autostart = (commandLine_.autostartChase > 0 && commandLine_.autostartChase <= show.chases().count()) ||
                          (commandLine_.autostartScene > 0 && commandLine_.autostartScene <= show.scenes().count());
    engine_.console().Print("Resuming the show as it was left\n");
    ApplyResumeState(engine_, *resume_, overrides);
    kept_ = resume_;
  } else if (firstStart_ && commandLine_.autostartChase == 0 && commandLine_.autostartScene == 0 &&
             engine_.show().chases().count() > 0) {
    engine_.show().chaseList().StartAt(0);  // the demo plays
  }
}

std::optional<ResumeWindows> Lifecycle::windowsToReopen() const {
  if (!resume_) return std::nullopt;
  return resume_->windows;
}

ResumeState Lifecycle::CaptureNow() {
  if (options_.openWindows) {
    if (const std::optional<ResumeWindows> open = options_.openWindows()) windows_ = *open;
  }
  return CaptureResumeState(engine_, windows_);
}

bool Lifecycle::WriteResume(const std::string& sidePath, const ResumeState& state) {
  const std::optional<Failure> failed = WriteSideSection(sidePath, kResumeSection, ResumeToJson(state));
  if (failed && !keepFailed_) {
    engine_.console().Print("Cannot keep the show's state in %s: %s\n", sidePath.c_str(), failed->message.c_str());
  }
  keepFailed_ = failed.has_value();
  return !failed;
}

void Lifecycle::FollowProject(const std::string& path) {
  if (finished_) return;
  // An untitled show (File > New) and the bundled demo keep their state
  // beside the autosave, never in the program's own folder.
  std::error_code error;
  const bool demo = !path.empty() && !paths_.demoShowPath.empty() &&
                    std::filesystem::equivalent(path, paths_.demoShowPath, error);
  const std::string next = SideFilePath(path.empty() || demo ? paths_.autosavePath : path);
  if (next == resumePath_) return;
  // A Save As takes the kept control settings along; an open or new calls
  // FollowControlSettings before the next keep, which drops the carry.
  carryControlsFrom_ = resumePath_;
  resumePath_ = next;
  kept_.reset();  // that file has not had this state yet
}

void Lifecycle::KeepResumeState() {
  if (finished_ || resumePath_.empty()) return;
  if (!carryControlsFrom_.empty()) CarryControlSettings();
  const auto now = std::chrono::steady_clock::now();
  if (now - lastKeep_ < kResumeKeepInterval) return;
  lastKeep_ = now;
  const ResumeState state = CaptureNow();
  if (kept_ == state) return;
  if (WriteResume(resumePath_, state)) kept_ = state;
}

std::optional<ControlSettings> Lifecycle::ReadKeptControls(const std::string& sidePath) {
  const ControlSettingsRead read = ReadControlSettings(sidePath);
  if (!read.problem.empty()) engine_.changes().ReportError(Failure{sidePath, 0, read.problem});
  return read.settings;
}

void Lifecycle::OpenControlInputs() {
  ControlSettings settings = CurrentControlSettings(engine_);
  if (const std::optional<ControlSettings> kept = ReadKeptControls(resumePath_)) settings = *kept;
  // The command line wins over the kept settings for this run.
  const OscSettings& asked = commandLine_.osc;
  if (asked.enabled) {
    settings.osc.enabled = true;
    settings.osc.listenAddress = asked.listenAddress;
    settings.osc.port = asked.port;
  }
  if (asked.feedback) settings.osc.feedback = asked.feedback;
  if (asked.feedback && !settings.osc.enabled) {
    engine_.console().Write("OSC feedback needs --osc=PORT as well; OSC stays off\n");
  }
  ApplyControlSettings(engine_, settings);
}

void Lifecycle::FollowControlSettings() {
  if (finished_ || resumePath_.empty()) return;
  carryControlsFrom_.clear();  // an open or new: the old file's settings stay there
  if (const std::optional<ControlSettings> kept = ReadKeptControls(resumePath_)) {
    ApplyControlSettings(engine_, *kept);
  }
  // Sync and power belong to the show as well; a show without them has
  // them off.
  LoadInstallation(engine_, resumePath_, commandLine_);
}

void Lifecycle::CarryControlSettings() {
  const std::string from = std::exchange(carryControlsFrom_, std::string());
  // The installation sections go along as the old file holds them.
  const SideFileRead old = ReadSideFile(from);
  for (const char* section : {kSyncSection, kPowerSection}) {
    if (!old.sections.contains(QLatin1String(section))) continue;
    if (const std::optional<Failure> failed = WriteSideSection(resumePath_, section, SideSection(old, section))) {
      engine_.console().Print("Cannot keep the installation settings in %s: %s\n", resumePath_.c_str(),
                              failed->message.c_str());
    }
  }
  const ControlSettingsRead read = ReadControlSettings(from);
  if (!read.settings) return;
  if (const std::optional<Failure> failed = WriteControlSettings(resumePath_, *read.settings)) {
    engine_.console().Print("Cannot keep the control settings in %s: %s\n", resumePath_.c_str(),
                            failed->message.c_str());
  }
}

void Lifecycle::OpenWebRemote() {
  webSettings_ = ReadWebSettings(paths_.configFolder);
  if (commandLine_.web.enabled) {
    webSettings_.enabled = true;
    webSettings_.address = commandLine_.web.address;
    webSettings_.port = commandLine_.web.port;
  }
  ApplyWebSettings(webSettings_);
}

bool Lifecycle::ApplyWebSettings(const WebSettings& settings) {
  webSettings_ = settings;
  if (!settings.enabled) {
    engine_.web().Close();
    return false;
  }
  if (paths_.webPageFolder.empty()) {
    engine_.console().Write("Web remote not started: its page files (share/web) are missing; reinstall Quor\n");
    engine_.web().Close();
    return false;
  }
  return engine_.web().Open(settings, paths_.webPageFolder, qEnvironmentVariable(kWebPinVariable));
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
  if (!resumePath_.empty()) {
    // Before the generators go, with their settings. The exit autosave is
    // the same show, so its side file gets the state too.
    const ResumeState state = CaptureNow();
    if (kept_ != state) WriteResume(resumePath_, state);
    const std::string autosaveSide = SideFilePath(paths_.autosavePath);
    if (resumePath_ != autosaveSide) WriteResume(autosaveSide, state);
  }
  engine_.StopRendering();
  engine_.remote().CloseRemoteInput();
  engine_.osc().Close();
  // The MIDI input's thread sets controls too, which may wake the host.
  engine_.midi().Close();
  engine_.web().Close();
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

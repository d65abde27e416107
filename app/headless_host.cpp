#include "app/headless_host.h"

#include <chrono>
#include <csignal>
#include <cstdio>

#include "files/frame_snapshot.h"
#include "files/project_file.h"
#include "output/serial_port.h"
#include "show/show.h"

namespace quor {
namespace {

volatile std::sig_atomic_t g_stopSignal = 0;  // written only by the signal handler

void OnStopSignal(int) { g_stopSignal = 1; }

constexpr auto kLoopTurn = std::chrono::milliseconds(20);
constexpr int kSnapshotLongSide = 320;

void ReportErrors(const std::vector<std::string>& messages) {
  for (const std::string& message : messages) std::fprintf(stderr, "Error: %s\n", message.c_str());
}

}  // namespace

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool StopSignalReceived() { return g_stopSignal != 0; }

HeadlessHost::HeadlessHost(Engine& engine, std::vector<std::string> args) : engine_(engine), args_(std::move(args)) {
  engine_.hooks().wakeMainThread = [this] { Wake(); };
}

void HeadlessHost::Wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  wake_.notify_one();
}

void HeadlessHost::RequestStop() {
  stop_.store(true);
  Wake();
}

int HeadlessHost::Run() {
  if (const int failed = Start(); failed >= 0) return failed;
  const auto started = std::chrono::steady_clock::now();
  const auto limit = std::chrono::seconds(commandLine_.seconds);
  while (!stop_.load() && !StopSignalReceived() && engine_.flags().shutdownRequested.load() == 0) {
    if (commandLine_.seconds >= 0 && std::chrono::steady_clock::now() - started >= limit) break;
    {
      std::unique_lock lock(mutex_);
      wake_.wait_for(lock, kLoopTurn, [this] { return woken_; });
      woken_ = false;
    }
    engine_.PostMessageWork();
  }
  return Finish();
}

int HeadlessHost::Start() {
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
    finished_ = true;  // nothing started, nothing to save
    return 2;
  }

  paths_ = ResolveProgramPaths(commandLine_.configDir);
  console.Print("Binarypath: %s\n", paths_.programFolder.c_str());
  // Without an input device the spectrum simply stays silent.
  engine_.audio().Start();
  if (commandLine_.limitTo20Fps) engine_.settings().outputFps.store(20);

  const std::string loadPath = commandLine_.loadPath.empty() ? paths_.autosavePath : commandLine_.loadPath;
  console.Print("Try to load file: %s\n", loadPath.c_str());
  const ProjectFileResult loaded = LoadProject(engine_, loadPath);
  if (reportErrors) {
    reportErrors(loaded.messages);
  } else {
    ReportErrors(loaded.messages);
  }
  if (loaded.status == ProjectFileStatus::kRefused && loadPath == paths_.autosavePath) {
    // The exit autosave would replace it: keep the refused file for a look.
    const std::string kept = paths_.autosavePath + ".bad";
    if (std::rename(loadPath.c_str(), kept.c_str()) == 0) console.Print("Kept the unreadable autosave as %s\n", kept.c_str());
  }

  if (commandLine_.matrixWidth > 0 &&
      (commandLine_.matrixWidth != engine_.width() || commandLine_.matrixHeight != engine_.height())) {
    engine_.ResizeMatrix(commandLine_.matrixWidth, commandLine_.matrixHeight, engine_.settings().previewAspect.load());
    engine_.StopClock();  // the resize restarts it; start-up starts it below
  }
  for (const SlotRequest& request : commandLine_.slotRequests) {
    if (!engine_.registry().IsRegistered(request.type)) {
      console.Print("Generator type %d is not available; slot %d stays None / Blackout\n", request.type,
                    request.slot);
    }
    engine_.RequestType(request.slot, request.type);
    engine_.panel().effectListPosition[static_cast<size_t>(request.slot)].store(EffectListPosition(request.type));
  }
  engine_.RebindSlots();
  Autostart();
  engine_.StartClock();
  return -1;
}

int HeadlessHost::Finish() {
  if (finished_) return 0;
  finished_ = true;
  Console& console = engine_.console();
  ShutdownWithAutosave();
  int exitCode = 0;
  if (!commandLine_.snapshotPath.empty()) {
    std::vector<uint8_t> frame = engine_.CopyFrame(FrameIndex::kOutput);
    std::string error;
    if (!WriteFrameSnapshot(commandLine_.snapshotPath, frame.data(), engine_.width(), engine_.height(),
                            kSnapshotLongSide, &error)) {
      std::fprintf(stderr, "quor: cannot write snapshot %s: %s\n", commandLine_.snapshotPath.c_str(), error.c_str());
      exitCode = 1;
    }
  }
  console.Write("shutdown\n");
  return exitCode;
}

void HeadlessHost::Autostart() {
  Show& show = engine_.show();
  const int chase = commandLine_.autostartChase;
  const int scene = commandLine_.autostartScene;
  bool started = false;
  if (chase > 0 && chase <= show.chases().count()) {
    show.player().StartChase(chase);
    started = true;
  } else if (scene > 0 && scene <= show.scenes().count()) {
    engine_.RequestSceneRecall(scene - 1);
    started = true;
  }
  if (started && engine_.flags().outputState.load() != kOutputRunning) {
    engine_.console().Write("Try to autostart output ...\n");
    if (!engine_.outputs().OpenOutputs()) {
      if (reportErrors) {
        reportErrors({kOpenOutputsFailedMessage});
      } else {
        ReportErrors({kOpenOutputsFailedMessage});
      }
    }
  }
}

void HeadlessHost::ShutdownWithAutosave() {
  engine_.StopRendering();
  ProjectFileResult saved = SaveProject(engine_, paths_.autosavePath);
  ReportErrors(saved.messages);
  engine_.Shutdown();
}

}  // namespace quor

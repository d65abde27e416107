#include "app/headless_host.h"

#include <chrono>
#include <csignal>
#include <cstdio>

#include "files/frame_snapshot.h"

namespace quor {
namespace {

volatile std::sig_atomic_t g_stopSignal = 0;  // written only by the signal handler

void OnStopSignal(int) { g_stopSignal = 1; }

constexpr auto kLoopTurn = std::chrono::milliseconds(20);
constexpr int kSnapshotLongSide = 320;

}  // namespace

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool StopSignalReceived() { return g_stopSignal != 0; }

HeadlessHost::HeadlessHost(Engine& engine, const CommandLine& commandLine)
    : engine_(engine), commandLine_(commandLine) {
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
  Console& console = engine_.console();
  // Without an input device the spectrum simply stays silent.
  engine_.audio().Start();
  if (commandLine_.limitTo20Fps) engine_.settings().outputFps.store(20);
  if (commandLine_.matrixWidth > 0 &&
      !engine_.ResizeMatrix(commandLine_.matrixWidth, commandLine_.matrixHeight, engine_.settings().previewAspect.load())) {
    std::fprintf(stderr, "quor: cannot use a %d x %d matrix\n", commandLine_.matrixWidth, commandLine_.matrixHeight);
    return 1;
  }
  engine_.StopClock();  // the resize restarts it; start-up starts it below
  for (const SlotRequest& request : commandLine_.slotRequests) {
    if (request.type > kMaxGeneratorType || !engine_.registry().IsRegistered(request.type)) {
      console.Print("Generator type %d is not available; slot %d stays None / Blackout\n", request.type,
                    request.slot);
    }
    engine_.RequestType(request.slot, request.type);
    engine_.panel().effectListPosition[static_cast<size_t>(request.slot)].store(EffectListPosition(request.type));
  }
  engine_.RebindSlots();
  engine_.StartClock();

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

  engine_.Shutdown();
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

}  // namespace quor

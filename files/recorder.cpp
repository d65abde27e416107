#include "files/recorder.h"

#include <span>
#include <utility>

#include "core/rgb_frame.h"

namespace quor {

Recorder::Recorder(RecorderHost& engine) : engine_(engine) {}

// No tick can reach the recorder any more (see the header), so the file is
// completed without the tick lock.
Recorder::~Recorder() {
  if (sink_ != nullptr) sink_->Close();
}

Recorder::StartResult Recorder::Start(const std::string& path, int width, int height) {
  if (Recording()) return StartResult::kAlreadyRecording;
  std::unique_ptr<FileRecordingSink> sink = FileRecordingSink::Create(path);
  if (sink == nullptr) return StartResult::kCannotCreate;
  return StartInto(std::move(sink), path, width, height);
}

Recorder::StartResult Recorder::StartInto(std::unique_ptr<RecordingSink> sink, const std::string& name, int width,
                                          int height) {
  if (Recording()) return StartResult::kAlreadyRecording;
  if (sink == nullptr || !IsValidMatrixSize(width, height)) return StartResult::kCannotCreate;
  // A recording that ended by a fault leaves its name for the window until
  // the next Stop or Start.
  Stop();

  const RecordingHeader header{static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                               static_cast<uint32_t>(engine_.settings().outputFps.load())};
  if (!sink->Write(EncodeRecordingHeader(header))) {
    sink->Close();
    engine_.console().Print("Recorder: cannot write to %s\n", name.c_str());
    engine_.changes().ReportError({name, 0, "cannot write the recording header"});
    return StartResult::kWriteFailed;
  }
  engine_.WithTickLock([&] {
    sink_ = std::move(sink);
    sinkName_ = name;
    width_ = width;
    height_ = height;
  });
  fileName_ = name;
  engine_.flags().recorderActive.store(1);
  engine_.changes().Announce(Change::kRecorder);
  return StartResult::kStarted;
}

void Recorder::Stop() {
  if (engine_.flags().recorderActive.exchange(0) == 1) engine_.changes().Announce(Change::kRecorder);
  // A mix pass that saw the flag still set finishes before the file is taken.
  std::unique_ptr<RecordingSink> sink;
  std::string name;
  engine_.WithTickLock([&] {
    sink = std::move(sink_);
    name = std::move(sinkName_);
    sinkName_.clear();
  });
  fileName_.clear();
  if (sink != nullptr && !sink->Close()) {
    engine_.console().Print("Recorder: completing %s failed, the recording may be incomplete.\n", name.c_str());
    engine_.changes().ReportError({name, 0, "completing the recording failed; it may be incomplete"});
  }
}

bool Recorder::Recording() const { return engine_.flags().recorderActive.load() == 1; }

void Recorder::RecordFrame(const uint8_t* frame, int width, int height) {
  if (sink_ == nullptr) return;
  if (width != width_ || height != height_) {
    // Every frame of a recording has the header's size; a frame of another
    // size would make the rest of the file unreadable.
    AbortLocked("the matrix size changed");
    return;
  }
  const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
  if (!sink_->Write(kFrameMarker) || !sink_->Write(std::span<const uint8_t>(frame, bytes))) {
    AbortLocked("writing failed");
  }
}

void Recorder::AbortLocked(const char* reason) {
  engine_.flags().recorderActive.store(0);
  engine_.changes().Announce(Change::kRecorder);
  engine_.console().Print("Recorder: %s, recording into %s stopped.\n", reason, sinkName_.c_str());
  sink_->Close();
  sink_.reset();
}

}  // namespace quor

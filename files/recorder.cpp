#include "files/recorder.h"

#include <cstring>
#include <span>
#include <utility>

#include "core/rgb_frame.h"

namespace quor {

Recorder::Recorder(RecorderHost& engine) : engine_(engine) {}

// No tick can reach the recorder any more (see the header), so the file is
// completed without the tick lock.
Recorder::~Recorder() {
  writer_.reset();  // writes what is queued
  if (sink_ != nullptr) sink_->Close();
}

namespace {

// Frames the writer may hold before new ones are dropped.
constexpr AsyncWriterLimits kRecorderQueue{32, size_t{4} << 20};

}  // namespace

Recorder::StartResult Recorder::Start(const std::string& path, int width, int height) {
  if (Recording()) return StartResult::kAlreadyRecording;
  Result<std::unique_ptr<FileRecordingSink>> sink = FileRecordingSink::Create(path);
  if (!sink) {
    const std::string& reason = sink.failure().message;
    engine_.console().Print("Recorder: cannot record into %s: %s\n", path.c_str(), reason.c_str());
    engine_.changes().ReportError(
        {path, 0, "Cannot record into " + path + ": " + reason + ". Choose another file."});
    return StartResult::kCannotCreate;
  }
  return StartInto(std::move(*sink), path, width, height);
}

Recorder::StartResult Recorder::StartInto(std::unique_ptr<RecordingSink> sink, const std::string& name, int width,
                                          int height) {
  if (Recording()) return StartResult::kAlreadyRecording;
  if (sink == nullptr || !IsValidMatrixSize(width, height)) return StartResult::kCannotCreate;
  // A recording that ended by a fault leaves its name for the window until
  // the next Stop or Start.
  Stop();

  const RecordingHeader header{static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                               static_cast<uint32_t>(engine_.liveSettings().outputFps.load())};
  if (!sink->Write(EncodeRecordingHeader(header))) {
    sink->Close();
    engine_.console().Print("Recorder: cannot write to %s\n", name.c_str());
    engine_.changes().ReportError({name, 0, "cannot write the recording header"});
    return StartResult::kWriteFailed;
  }
  RecordingSink* target = sink.get();
  auto writer = std::make_unique<AsyncWriter>(
      [target](int64_t, std::span<const uint8_t> bytes) { return target->Write(bytes); }, kRecorderQueue);
  dropped_ = 0;
  engine_.WithTickLock([&] {
    sink_ = std::move(sink);
    writer_ = std::move(writer);
    aborted_ = false;
    sinkName_ = name;
    width_ = width;
    height_ = height;
  });
  fileName_ = name;
  engine_.liveFlags().recorderActive.store(true);
  engine_.changes().Announce(Change::kRecorder);
  return StartResult::kStarted;
}

void Recorder::Stop() {
  if (engine_.liveFlags().recorderActive.exchange(false)) engine_.changes().Announce(Change::kRecorder);
  // A mix pass that saw the flag still set finishes before the file is taken.
  std::unique_ptr<RecordingSink> sink;
  std::unique_ptr<AsyncWriter> writer;
  std::string name;
  bool aborted = false;
  engine_.WithTickLock([&] {
    sink = std::move(sink_);
    writer = std::move(writer_);
    aborted = aborted_;
    name = std::move(sinkName_);
    sinkName_.clear();
  });
  fileName_.clear();
  if (writer != nullptr) {
    writer->Finish();  // the queued frames reach the file before it is closed
    dropped_ = writer->dropped();
    if (dropped_ > 0) {
      engine_.console().Print("Recorder: %llu frames could not be written in time and are missing from %s.\n",
                              static_cast<unsigned long long>(dropped_), name.c_str());
    }
    if (writer->failed() && !aborted) engine_.console().Print("Recorder: writing %s failed.\n", name.c_str());
  }
  if (sink != nullptr && !sink->Close()) {
    engine_.console().Print("Recorder: completing %s failed, the recording may be incomplete.\n", name.c_str());
    engine_.changes().ReportError({name, 0, "completing the recording failed; it may be incomplete"});
  }
}

void Recorder::ReportFault() {
  if (!faultPending_.load()) return;
  std::string reason;
  std::string name;
  engine_.WithTickLock([&] {
    reason = std::move(faultReason_);
    name = sinkName_;
    faultPending_.store(false);
  });
  engine_.changes().ReportError({name, 0, reason});
}

bool Recorder::Recording() const { return engine_.liveFlags().recorderActive.load(); }

void Recorder::RecordFrame(FrameView frame) {
  engine_.clock().ExpectClockThread();
  if (writer_ == nullptr || aborted_) return;
  if (frame.width != width_ || frame.height != height_) {
    // Every frame of a recording has the header's size; a frame of another
    // size would make the rest of the file unreadable.
    AbortLocked("the matrix size changed", "Record again to record the new size.");
    return;
  }
  if (writer_->failed()) {
    const int error = sink_->error();
    const std::string reason = error != 0 ? std::string("writing failed (") + std::strerror(error) + ")" : "writing failed";
    AbortLocked(reason.c_str(), "Free some space or choose another file, then record again.");
    return;
  }
  // Marker and frame travel as one record: a dropped frame leaves no marker
  // without its pixels behind.
  writer_->Post(0, kFrameMarker, std::span<const uint8_t>(frame.pixels, frame.ByteSize()));
}

void Recorder::AbortLocked(const char* reason, const char* advice) {
  engine_.liveFlags().recorderActive.store(false);
  aborted_ = true;
  if (!faultPending_.load()) {
    faultReason_ = std::string("Recording into ") + sinkName_ + " stopped: " + reason + ". " + advice;
    faultPending_.store(true);
  }
  engine_.changes().Announce(Change::kRecorder);
  engine_.console().Print("Recorder: %s, recording into %s stopped.\n", reason, sinkName_.c_str());
}

}  // namespace quor

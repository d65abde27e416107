// The file recorder: while it runs, the mix pass appends every OutputFrame
// to a recording file (files/recording_file.h) as "QX", 0 and the frame.
//
// Threads: Start, Stop and the accessors run on the UI thread; RecordFrame
// runs on the clock thread inside the mix pass (called only while
// flags().recorderActive is set). RecordFrame only queues the frame: a writer
// thread (core/async_writer.h) writes it, and a frame that finds the queue
// full is dropped; Stop reports how many in one console line. The file and
// its writer are handed over and taken back only under the host's tick
// lock, and completed and closed on the UI thread. The Recorder must
// outlive every mix pass that can call it (stop it before the engine's
// clock goes away).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/async_writer.h"
#include "core/change_feed.h"
#include "core/console.h"
#include "core/frame_clock.h"
#include "core/live_state.h"
#include "core/rgb_frame.h"
#include "files/recording_file.h"

namespace quor {

// What the recorder needs from the live system (the Engine implements it).
class RecorderHost {
 public:
  virtual Console& console() = 0;
  virtual EngineSettings& liveSettings() = 0;
  virtual RuntimeFlags& liveFlags() = 0;
  virtual ChangeFeed& changes() = 0;
  virtual FrameClock& clock() = 0;
  // Runs `work` while no tick runs (UI thread only).
  virtual void WithTickLock(const std::function<void()>& work) = 0;

 protected:
  ~RecorderHost() = default;
};

class Recorder {
 public:
  enum class StartResult {
    kStarted,
    kAlreadyRecording,  // "Record" pressed while recording: nothing changes
    kCannotCreate,      // the file cannot be created (or the size is no matrix size)
    kWriteFailed,       // the header could not be written; the recorder stays idle
  };

  explicit Recorder(RecorderHost& engine);
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Creates or truncates `path`, writes the header (size as given, the
  // current OutputFps) and sets recorderActive. A name that cannot be
  // recorded into (no regular file, in use, not writable) is reported once
  // on the console and to the change feed.
  StartResult Start(const std::string& path, int width, int height);
  // The same into any sink; `name` is what fileName() shows.
  StartResult StartInto(std::unique_ptr<RecordingSink> sink, const std::string& name, int width, int height);
  // Clears recorderActive, then the file is completed and closed and the name
  // cleared. Does nothing more when not recording; safe to call any time.
  void Stop();

  // Clock thread, mix pass. Queues one frame; a failed write (noticed at
  // the next frame) or a frame of another size than the recording's stops
  // the recording with a console line, leaving the file with every frame
  // written until then.
  void RecordFrame(FrameView frame);
  // UI thread: when the mix pass ended the recording by a fault since the
  // last call, reports it once to the change feed as an error naming the
  // file, the reason and what to do (the console line came at the fault).
  void ReportFault();
  // Frames the writer could not take in time during the current or last
  // recording.
  uint64_t droppedFrames() const { return dropped_; }

  bool Recording() const;
  // The file being recorded ("" when idle), for the window's "File" field.
  const std::string& fileName() const { return fileName_; }

 private:
  // Mix pass: ends the recording after a fault, keeping what was written;
  // the file is closed by the next Stop or Start.
  void AbortLocked(const char* reason, const char* advice);

  RecorderHost& engine_;
  // Guarded by the engine's tick lock.
  std::unique_ptr<RecordingSink> sink_;
  std::unique_ptr<AsyncWriter> writer_;
  bool aborted_ = false;
  // Set by the mix pass at a fault, taken by ReportFault.
  std::atomic<bool> faultPending_{false};
  std::string faultReason_;  // written before faultPending_ is set
  std::string sinkName_;
  uint64_t dropped_ = 0;  // UI thread
  int width_ = 0;
  int height_ = 0;
  // UI thread only.
  std::string fileName_;
};

}  // namespace quor

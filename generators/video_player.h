// Video Player (type 19): plays a video file, or every video of a folder in
// name order, into its slot: looping, ping-pong (forward, then backward) or
// once and then black, placed like the Image Viewer places images.
//
// Time: every Render advances the play position by the time since the last
// Render (a pause of the clock counts as at most kMaxRenderStepUs) times the
// speed factor, and shows the newest frame whose start lies at or before
// the position. A 25 fps clip thus plays at its own pace whatever the
// slot's speed; a slower slot shows fewer of its frames.
//
// Threads: Render runs on the clock thread; Create, Destroy,
// ExchangeSettings and the setters on the UI thread (through
// Engine::EditGenerator). Demuxing, decoding and scaling run on a worker
// thread owned by the playback; it keeps up to kVideoQueueFrames scaled
// frames ready in a lock-free single-producer ring. Render never waits: with
// no frame due it keeps the last one. A playback is stopped and joined only
// under the busy protocol, so no Render uses it while it goes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/busy_status.h"
#include "core/generator.h"
#include "generators/video_decoder.h"

namespace quor {

// Settings block: bytes 0..254 the file or folder path (zero-terminated),
// byte 255 the mode, byte 256 the placement, byte 257 the speed factor as a
// signed step from the clip's own pace (0); the rest zero.
inline constexpr int kVideoPlayerPathBytes = 255;
inline constexpr int kVideoPlayerModeOffset = 255;
inline constexpr int kVideoPlayerPlacementOffset = 256;
inline constexpr int kVideoPlayerSpeedOffset = 257;
inline constexpr int kVideoPlayerSettingsBytes = 258;

enum class VideoMode : int {
  kLoop = 0,      // the clip (the folder's list) from the start again
  kPingPong = 1,  // each clip forward, then backward, without repeating the turning frames
  kOnce = 2,      // the clip (the folder's list) once, then black
};

// The speed factors the dialog offers, in thousandths; step 0 is the clip's
// own pace.
inline constexpr int kVideoSpeedPermille[] = {250, 500, 750, 1000, 1250, 1500, 2000, 3000, 4000};
inline constexpr int kVideoSpeedFirstStep = -3;
inline constexpr int kVideoSpeedLastStep = 5;
// Scaled frames the worker keeps ready.
inline constexpr int kVideoQueueFrames = 16;
// The longest time one Render advances the position by.
inline constexpr int64_t kMaxRenderStepUs = 250000;
// Frames a ping-pong keeps for the way back, at most this many bytes.
inline constexpr size_t kMaxPingPongBytes = size_t{64} << 20;

class VideoPlayback;

class VideoPlayerGenerator final : public Generator {
 public:
  explicit VideoPlayerGenerator(GeneratorContext& context);
  ~VideoPlayerGenerator() override;

  bool Create(int width, int height) override;
  void Render(const Canvas& canvas) override;
  void Destroy() override;
  // Loading stops the playback, repairs out-of-range values and starts the
  // stored path from its beginning.
  void ExchangeSettings(SettingsBlock& block, SettingsDirection direction) override;

  // "Load": the file or folder to play, from its beginning. A path the block
  // cannot hold (255 bytes or more) is refused with false.
  bool LoadPath(const std::string& path);
  const std::string& path() const { return path_; }
  // Whether "Load" chooses a folder; follows the path on a settings load.
  void SetChoosesFolder(bool on) { choosesFolder_ = on; }
  bool choosesFolder() const { return choosesFolder_; }
  // Mode and placement start the playback again from the beginning.
  void SetMode(int mode);
  int mode() const { return mode_; }
  void SetPlacement(int placement);
  int placement() const { return placement_; }
  // The speed factor's step (kVideoSpeedFirstStep..kVideoSpeedLastStep); acts at the next Render.
  void SetSpeedStep(int step);
  int speedStep() const { return speedStep_.load(std::memory_order_relaxed); }

  int status() const { return status_.Get(); }
  // Microseconds of a steady clock; replaceable for tests and benchmarks.
  void SetClock(std::function<int64_t()> clock) { clock_ = std::move(clock); }
  // Waits (UI thread, tests and benchmarks) until the worker has filled its
  // queue or has nothing more to give; false after `timeoutMs`.
  bool WaitForWorker(int timeoutMs);
  // Frames the playback skipped as damaged, and the clips it refused.
  int64_t skippedFrames() const;
  int refusedClips() const;

 private:
  void Stop();   // UI thread: no Render runs afterwards until Start
  void Start();  // UI thread: a new playback of path_ (nothing with an empty path)

  GeneratorContext& context_;
  BusyStatus status_;
  std::function<int64_t()> clock_;
  std::string path_;
  bool choosesFolder_ = false;
  int mode_ = 0;
  int placement_ = 0;
  std::atomic<int> speedStep_{0};
  int width_ = 0;
  int height_ = 0;

  // Render's side (and the UI thread's while no Render runs).
  std::unique_ptr<VideoPlayback> playback_;
  std::vector<uint8_t> shown_;  // the picture on the matrix
  int64_t positionUs_ = 0;
  int64_t lastClockUs_ = 0;
  bool started_ = false;
};

std::unique_ptr<Generator> CreateVideoPlayerGenerator(GeneratorContext& context);

struct SettingsDialogTable;
// The settings dialog, described in generators/video_player_dialog.cpp.
extern const SettingsDialogTable kVideoPlayerDialog;

}  // namespace quor

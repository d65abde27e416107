#include "generators/video_player.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <span>
#include <thread>

#include "core/console.h"
#include "platform/file_system.h"

namespace quor {

static_assert(kVideoPlayerSettingsBytes <= kSettingsBlockSize);
static_assert(std::size(kVideoSpeedPermille) == kVideoSpeedLastStep - kVideoSpeedFirstStep + 1);
static_assert(kVideoSpeedPermille[-kVideoSpeedFirstStep] == 1000, "step 0 is the clip's own pace");

namespace {

int64_t SteadyMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// A worker that cannot keep up still shows every this many frames, so a
// slow decoder gives a slow picture rather than a frozen one.
constexpr int kMostLateFramesInRow = 12;

}  // namespace

// One run of the playlist of a path, with its worker thread. Built and
// destroyed on the UI thread while no Render runs; Take on the clock thread.
class VideoPlayback {
 public:
  struct Options {
    std::string path;
    VideoTarget target;
    VideoMode mode = VideoMode::kLoop;
  };

  VideoPlayback(Console& console, Options options) : console_(console), options_(std::move(options)) {
    const size_t frameBytes = static_cast<size_t>(options_.target.width) * options_.target.height * 3;
    for (Slot& slot : slots_) slot.pixels.assign(frameBytes, 0);
    thread_ = std::thread(&VideoPlayback::Main, this);
  }

  ~VideoPlayback() {
    stop_.store(true, std::memory_order_release);
    wakeups_.fetch_add(1, std::memory_order_release);
    wakeups_.notify_all();
    thread_.join();
  }

  // Clock thread, never waits: copies the newest frame due at `positionUs`
  // into `shown` and frees the slots up to it. False when none was due.
  bool Take(int64_t positionUs, std::span<uint8_t> shown) {
    position_.store(positionUs, std::memory_order_release);
    uint64_t head = head_.load(std::memory_order_relaxed);
    const uint64_t tail = tail_.load(std::memory_order_acquire);
    const Slot* due = nullptr;
    while (head < tail && slots_[head % kVideoQueueFrames].startUs <= positionUs) {
      due = &slots_[head % kVideoQueueFrames];
      ++head;
    }
    if (due == nullptr) return false;
    if (due->black || due->pixels.size() != shown.size()) {
      std::ranges::fill(shown, uint8_t{0});
    } else {
      std::memcpy(shown.data(), due->pixels.data(), shown.size());
    }
    head_.store(head, std::memory_order_release);
    wakeups_.fetch_add(1, std::memory_order_release);
    wakeups_.notify_one();
    return true;
  }

  bool QueueFullOrIdle() const {
    return idle_.load(std::memory_order_acquire) ||
           tail_.load(std::memory_order_acquire) - head_.load(std::memory_order_acquire) >= kVideoQueueFrames;
  }
  int64_t skipped() const { return skipped_.load(std::memory_order_relaxed); }
  int refused() const { return refused_.load(std::memory_order_relaxed); }

 private:
  struct Slot {
    std::vector<uint8_t> pixels;
    int64_t startUs = 0;
    bool black = false;
  };
  struct Cached {
    std::vector<uint8_t> pixels;
    int64_t durationUs = 0;
  };

  bool stopping() const { return stop_.load(std::memory_order_acquire); }

  void Main() {
    std::vector<std::string> files = Playlist();
    if (files.empty()) {
      if (!stopping()) console_.Print("Video Player: there is no video file in the folder %s\n", options_.path.c_str());
      EmitBlack();
    }
    while (!files.empty() && !stopping()) {
      // A clip refused once is left out of the later rounds (one message each).
      std::vector<std::string> playable;
      for (const std::string& file : files) {
        if (stopping()) break;
        if (PlayClip(file, files.size() == 1)) playable.push_back(file);
      }
      if (stopping()) break;
      files = std::move(playable);
      if (files.empty()) {
        console_.Print("Video Player: nothing in %s can be played\n", options_.path.c_str());
        EmitBlack();
        break;
      }
      if (options_.mode == VideoMode::kOnce) {
        EmitBlack();
        break;
      }
    }
    idle_.store(true, std::memory_order_release);
  }

  // The path itself, or the video files of the folder it names, by name.
  std::vector<std::string> Playlist() const {
    const Result<FileStatus> status = StatPath(options_.path);
    if (!status || status->kind != FileKind::kFolder) return {options_.path};
    std::vector<std::string> files;
    const Result<std::vector<std::string>> names = ListFolder(options_.path);
    if (!names) return files;
    for (const std::string& name : *names) {
      if (name == "." || name == ".." || !IsVideoFileName(name)) continue;
      std::string file = options_.path + "/" + name;
      const Result<FileStatus> entry = StatPath(file);
      if (entry && entry->kind == FileKind::kRegular) {
        files.push_back(std::move(file));
      } else {
        console_.Print("Video Player: skipping %s: it is not a regular file\n", file.c_str());
      }
    }
    std::ranges::sort(files);
    return files;
  }

  // Plays one clip (a ping-pong of the only clip for good); false when it
  // showed no frame.
  bool PlayClip(const std::string& file, bool onlyClip) {
    VideoDecoder decoder;
    const std::string error = decoder.Open(file, &stop_);
    if (!error.empty()) {
      if (!stopping()) {
        console_.Print("Video Player: cannot play %s: %s\n", file.c_str(), error.c_str());
        refused_.fetch_add(1, std::memory_order_relaxed);
      }
      return false;
    }
    const VideoTarget& target = options_.target;
    const size_t frameBytes = static_cast<size_t>(target.width) * target.height * 3;
    const bool pingPong = options_.mode == VideoMode::kPingPong;
    bool keepFrames = pingPong;
    std::vector<Cached> kept;
    int64_t frames = 0;
    VideoFrameTiming timing;
    while (!stopping() && decoder.Next(timing)) {
      ++frames;
      if (keepFrames && (kept.size() + 1) * frameBytes > kMaxPingPongBytes) {
        console_.Print("Video Player: %s is too long to play backward; it plays forward only\n", file.c_str());
        keepFrames = false;
        kept.clear();
        kept.shrink_to_fit();
      }
      if (keepFrames) {
        kept.push_back({std::vector<uint8_t>(frameBytes), timing.durationUs});
        decoder.Convert(target, kept.back().pixels);
        const std::vector<uint8_t>& pixels = kept.back().pixels;
        if (!Emit(timing.durationUs, false, [&](std::span<uint8_t> out) { std::ranges::copy(pixels, out.begin()); }))
          break;
      } else if (!Emit(timing.durationUs, false, [&](std::span<uint8_t> out) { decoder.Convert(target, out); })) {
        break;
      }
    }
    skipped_.fetch_add(decoder.skipped(), std::memory_order_relaxed);
    if (stopping()) return frames > 0;
    if (!decoder.error().empty()) {
      console_.Print("Video Player: %s: %s after %lld frames\n", file.c_str(), decoder.error().c_str(),
                     static_cast<long long>(frames));
    }
    if (frames == 0) {
      if (decoder.error().empty()) console_.Print("Video Player: cannot play %s: it holds no picture\n", file.c_str());
      refused_.fetch_add(1, std::memory_order_relaxed);
      return false;
    }
    // Ping-pong: back to the second frame, then (the only clip) forward again.
    const auto count = static_cast<int64_t>(kept.size());
    while (keepFrames && count > 1 && !stopping()) {
      for (int64_t i = count - 2; i >= 1 && !stopping(); --i) EmitKept(kept[static_cast<size_t>(i)]);
      if (!onlyClip) break;
      for (int64_t i = 0; i < count && !stopping(); ++i) EmitKept(kept[static_cast<size_t>(i)]);
    }
    return true;
  }

  void EmitKept(const Cached& frame) {
    Emit(frame.durationUs, false, [&](std::span<uint8_t> out) { std::ranges::copy(frame.pixels, out.begin()); });
  }

  void EmitBlack() {
    Emit(0, true, [](std::span<uint8_t> out) { std::ranges::fill(out, uint8_t{0}); });
  }

  // Queues the next frame of the play order (it starts where the previous
  // one ended) once a slot is free; a frame already over when it comes is
  // left out (`fill` is not even called) unless `always`. False when
  // stopped.
  template <class Fill>
  bool Emit(int64_t durationUs, bool always, Fill&& fill) {
    const int64_t start = timeUs_;
    timeUs_ += durationUs;
    if (!always && start + durationUs <= position_.load(std::memory_order_acquire) &&
        lateInRow_ < kMostLateFramesInRow) {
      ++lateInRow_;
      return !stopping();
    }
    lateInRow_ = 0;
    const uint64_t tail = tail_.load(std::memory_order_relaxed);
    for (;;) {
      const uint32_t seen = wakeups_.load(std::memory_order_acquire);
      if (stopping()) return false;
      if (tail - head_.load(std::memory_order_acquire) < kVideoQueueFrames) break;
      wakeups_.wait(seen, std::memory_order_acquire);
    }
    Slot& slot = slots_[tail % kVideoQueueFrames];
    fill(std::span<uint8_t>(slot.pixels));
    slot.startUs = start;
    slot.black = always;
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }

  Console& console_;
  const Options options_;
  std::array<Slot, kVideoQueueFrames> slots_;
  // Slots [head, tail) hold frames; the worker writes only at tail, Take reads only below tail.
  std::atomic<uint64_t> head_{0};
  std::atomic<uint64_t> tail_{0};
  std::atomic<uint32_t> wakeups_{0};  // bumped when a slot frees up or the worker must stop
  std::atomic<int64_t> position_{0};  // the play position Render reached last
  std::atomic<bool> stop_{false};
  std::atomic<bool> idle_{false};  // the worker has nothing more to give
  std::atomic<int64_t> skipped_{0};
  std::atomic<int> refused_{0};
  int64_t timeUs_ = 0;  // worker only: where the next frame starts
  int lateInRow_ = 0;   // worker only
  std::thread thread_;
};

static_assert(std::atomic<int64_t>::is_always_lock_free && std::atomic<uint64_t>::is_always_lock_free);

VideoPlayerGenerator::VideoPlayerGenerator(GeneratorContext& context)
    : context_(context), clock_(&SteadyMicroseconds) {}

VideoPlayerGenerator::~VideoPlayerGenerator() { playback_.reset(); }

bool VideoPlayerGenerator::Create(int width, int height) {
  Stop();
  width_ = width;
  height_ = height;
  path_.clear();
  choosesFolder_ = false;
  mode_ = 0;
  placement_ = 0;
  speedStep_.store(0, std::memory_order_relaxed);
  shown_.assign(static_cast<size_t>(width) * height * 3, 0);
  Start();
  return true;
}

void VideoPlayerGenerator::Destroy() { Stop(); }

void VideoPlayerGenerator::Stop() {
  status_.WaitAndEnter(BusyStatus::kDestroyed, context_.console);
  playback_.reset();  // stops and joins the worker
}

void VideoPlayerGenerator::Start() {
  positionUs_ = 0;
  started_ = false;
  std::ranges::fill(shown_, uint8_t{0});
  if (!path_.empty() && width_ > 0 && height_ > 0) {
    playback_ = std::make_unique<VideoPlayback>(
        context_.console, VideoPlayback::Options{path_,
                                                 {width_, height_, static_cast<VideoPlacement>(placement_)},
                                                 static_cast<VideoMode>(mode_)});
  }
  status_.SetReady();
}

void VideoPlayerGenerator::Render(const Canvas& canvas) {
  if (!status_.TryBeginRender()) return;
  if (playback_) {
    const int64_t now = clock_();
    if (started_) {
      const int64_t step = std::clamp<int64_t>(now - lastClockUs_, 0, kMaxRenderStepUs);
      const int permille = kVideoSpeedPermille[speedStep() - kVideoSpeedFirstStep];
      positionUs_ += step * permille / 1000;
    }
    started_ = true;
    lastClockUs_ = now;
    playback_->Take(positionUs_, shown_);
  }
  const size_t bytes = static_cast<size_t>(canvas.width) * canvas.height * 3;
  if (bytes == shown_.size()) {
    std::memcpy(canvas.pixels, shown_.data(), bytes);
  } else {
    std::memset(canvas.pixels, 0, bytes);
  }
  status_.EndRender();
}

bool VideoPlayerGenerator::LoadPath(const std::string& path) {
  if (path.size() >= static_cast<size_t>(kVideoPlayerPathBytes) || path.find('\0') != std::string::npos) {
    context_.console.Print("Video Player: the path is too long: %s\n", path.c_str());
    return false;
  }
  Stop();
  path_ = path;
  Start();
  return true;
}

void VideoPlayerGenerator::SetMode(int mode) {
  mode = std::clamp(mode, 0, 2);
  if (mode == mode_) return;
  Stop();
  mode_ = mode;
  Start();
}

void VideoPlayerGenerator::SetPlacement(int placement) {
  placement = std::clamp(placement, 0, 2);
  if (placement == placement_) return;
  Stop();
  placement_ = placement;
  Start();
}

void VideoPlayerGenerator::SetSpeedStep(int step) {
  speedStep_.store(std::clamp(step, kVideoSpeedFirstStep, kVideoSpeedLastStep), std::memory_order_relaxed);
}

bool VideoPlayerGenerator::WaitForWorker(int timeoutMs) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (playback_ && !playback_->QueueFullOrIdle()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

int64_t VideoPlayerGenerator::skippedFrames() const { return playback_ ? playback_->skipped() : 0; }
int VideoPlayerGenerator::refusedClips() const { return playback_ ? playback_->refused() : 0; }

void VideoPlayerGenerator::ExchangeSettings(SettingsBlock& block, SettingsDirection direction) {
  if (direction == SettingsDirection::kStore) {
    std::fill_n(block.begin(), kVideoPlayerSettingsBytes, uint8_t{0});
    std::memcpy(block.data(), path_.data(), std::min(path_.size(), size_t{kVideoPlayerPathBytes - 1}));
    block[kVideoPlayerModeOffset] = static_cast<uint8_t>(mode_);
    block[kVideoPlayerPlacementOffset] = static_cast<uint8_t>(placement_);
    block[kVideoPlayerSpeedOffset] = static_cast<uint8_t>(static_cast<int8_t>(speedStep()));
    return;
  }
  Stop();
  const auto* text = reinterpret_cast<const char*>(block.data());
  path_.assign(text, strnlen(text, kVideoPlayerPathBytes - 1));
  // Damaged values fall back to the defaults.
  mode_ = block[kVideoPlayerModeOffset] <= 2 ? block[kVideoPlayerModeOffset] : 0;
  placement_ = block[kVideoPlayerPlacementOffset] <= 2 ? block[kVideoPlayerPlacementOffset] : 0;
  const int step = static_cast<int8_t>(block[kVideoPlayerSpeedOffset]);
  speedStep_.store(step >= kVideoSpeedFirstStep && step <= kVideoSpeedLastStep ? step : 0,
                   std::memory_order_relaxed);
  choosesFolder_ = false;
  if (!path_.empty()) {
    const Result<FileStatus> status = StatPath(path_);
    choosesFolder_ = status && status->kind == FileKind::kFolder;
  }
  Start();
}

std::unique_ptr<Generator> CreateVideoPlayerGenerator(GeneratorContext& context) {
  return std::make_unique<VideoPlayerGenerator>(context);
}

}  // namespace quor

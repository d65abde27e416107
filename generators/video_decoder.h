// Video decoding for the Video Player, meant to run off the clock thread:
// a video file (or bytes in memory) is demuxed and decoded through FFmpeg's
// libraries, frame by frame, and each frame is scaled into a matrix-sized
// RGB picture with the chosen placement. Audio and other streams are
// ignored. Streams above 8K, with absurd frame counts or in damaged files are
// refused with an error text; damaged frames inside a good stream are
// skipped. Any thread; one decoder is used by one thread at a time.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quor {

// Largest picture taken: 8K in either orientation.
inline constexpr int kMaxVideoSide = 7680;
inline constexpr int64_t kMaxVideoPixels = int64_t{7680} * 4320;
// More frames than this (a day at 120 frames per second) is no clip.
inline constexpr int64_t kMaxVideoFrames = int64_t{24} * 3600 * 120;
// A file whose stream yields no good frame after this many packets in a row
// is given up as damaged.
inline constexpr int kMaxBadPacketsInRow = 200;

// How the clip lands on the matrix, as the Image Viewer places images.
enum class VideoPlacement : int {
  kKeepAspect = 0,  // the whole picture fits, centred, black bands around
  kStretch = 1,     // the picture fills the matrix, aspect ratio lost
  kZoom = 2,        // the matrix is filled, centred, the picture cropped
};

// The picture every decoded frame is scaled into.
struct VideoTarget {
  int width = 0;
  int height = 0;
  VideoPlacement placement = VideoPlacement::kKeepAspect;
};

struct VideoInfo {
  int width = 0;
  int height = 0;
  double framesPerSecond = 0;  // the stream's average rate; 0 when unknown
  int64_t frameCount = 0;      // as the container states it; 0 when unknown
  std::string codec;
};

// One decoded frame in play order: when it starts relative to the clip's
// first frame and how long it stays (both microseconds).
struct VideoFrameTiming {
  int64_t startUs = 0;
  int64_t durationUs = 0;
};

// True for names ending (in any case) in a video file extension.
bool IsVideoFileName(std::string_view name);

class VideoDecoder {
 public:
  VideoDecoder();
  ~VideoDecoder();
  VideoDecoder(const VideoDecoder&) = delete;
  VideoDecoder& operator=(const VideoDecoder&) = delete;

  // Opens a regular file (anything else, a FIFO for one, is refused without
  // being opened). `stop`, when given, aborts slow reads once it is set.
  // Returns "" or why the file cannot be played.
  std::string Open(const std::string& path, const std::atomic<bool>* stop = nullptr);
  // Opens a clip held in memory; `bytes` must outlive the decoder.
  std::string OpenBytes(std::span<const uint8_t> bytes);
  const VideoInfo& info() const { return info_; }

  // Decodes the next good frame. False at the end of the stream or when the
  // stream turns out damaged beyond use (error() then says why).
  bool Next(VideoFrameTiming& timing);
  // Scales the frame Next returned last into `target` (width * height * 3
  // bytes, R, G, B, row by row).
  void Convert(const VideoTarget& target, std::span<uint8_t> pixels);
  // Frames or packets skipped as damaged so far.
  int64_t skipped() const { return skipped_; }
  const std::string& error() const { return error_; }

 private:
  struct Impl;
  int OpenInput(const char* url);  // the demuxer, kept to the clip itself
  std::string Prepare();
  bool DecodeOne();  // into the lookahead frame; false at the end
  std::unique_ptr<Impl> impl_;
  VideoInfo info_;
  int64_t skipped_ = 0;
  int64_t decoded_ = 0;
  std::string error_;
};

// Opens the file and decodes its first frame: "" when it can be played,
// else why not. For the dialog's check before anything changes.
std::string ProbeVideoFile(const std::string& path);
// The same over bytes in memory (the fuzz target's entry point): opens,
// decodes up to `maxFrames` frames and scales them to 16 x 8.
std::string ProbeVideoBytes(std::span<const uint8_t> bytes, int maxFrames);

}  // namespace quor

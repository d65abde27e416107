#include "generators/video_decoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include "platform/file_system.h"

namespace quor {

namespace {

constexpr int64_t kMicroseconds = 1000000;
// Used when a frame's duration cannot be told from the stream.
constexpr int64_t kFallbackDurationUs = 40000;
// A gap between two frames longer than this is a damaged time stamp.
constexpr int64_t kLongestFrameUs = 10 * kMicroseconds;
constexpr int kMemoryBufferBytes = 32 * 1024;

// FFmpeg writes its own diagnostics to standard error; the player reports
// failures itself, one line each.
void SilenceLibraryLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

std::string AvErrorText(int code) {
  std::array<char, AV_ERROR_MAX_STRING_SIZE> text{};
  av_strerror(code, text.data(), text.size());
  return text.data();
}

struct MemoryReader {
  std::span<const uint8_t> bytes;
  size_t position = 0;
};

int ReadMemory(void* opaque, uint8_t* buffer, int size) {
  auto* reader = static_cast<MemoryReader*>(opaque);
  const size_t left = reader->bytes.size() - reader->position;
  if (left == 0) return AVERROR_EOF;
  const size_t n = std::min(left, static_cast<size_t>(size));
  std::memcpy(buffer, reader->bytes.data() + reader->position, n);
  reader->position += n;
  return static_cast<int>(n);
}

int64_t SeekMemory(void* opaque, int64_t offset, int whence) {
  auto* reader = static_cast<MemoryReader*>(opaque);
  const auto size = static_cast<int64_t>(reader->bytes.size());
  if ((whence & AVSEEK_SIZE) != 0) return size;
  int64_t base = 0;
  switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = static_cast<int64_t>(reader->position); break;
    case SEEK_END: base = size; break;
    default: return -1;
  }
  if (offset > size || offset < -size) return -1;
  const int64_t target = base + offset;
  if (target < 0 || target > size) return -1;
  reader->position = static_cast<size_t>(target);
  return target;
}

int InterruptWhenStopped(void* opaque) {
  const auto* stop = static_cast<const std::atomic<bool>*>(opaque);
  return stop != nullptr && stop->load(std::memory_order_relaxed) ? 1 : 0;
}

// Demuxers of playlists and references (HLS, concat and the like) open
// further files or URLs; a clip may open nothing but itself.
int OpenOnlyTheClip(AVFormatContext* format, AVIOContext** pb, const char* url, int flags, AVDictionary** options) {
  const auto* clip = static_cast<const std::string*>(format->opaque);
  if (clip == nullptr || clip->empty() || url == nullptr || *clip != url) return AVERROR(EPERM);
  return avio_open2(pb, url, flags, &format->interrupt_callback, options);
}

bool SizeAllowed(int width, int height) {
  return width > 0 && height > 0 && width <= kMaxVideoSide && height <= kMaxVideoSide &&
         int64_t{width} * height <= kMaxVideoPixels;
}

}  // namespace

struct VideoDecoder::Impl {
  ~Impl() {
    sws_freeContext(scaler);
    av_frame_free(&current);
    av_frame_free(&ahead);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    if (io != nullptr) {
      av_freep(&io->buffer);
      avio_context_free(&io);
    }
  }

  AVFormatContext* format = nullptr;
  AVIOContext* io = nullptr;
  MemoryReader memory;
  std::string clipUrl;  // the one URL the demuxer may open ("" for bytes in memory)
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* current = nullptr;  // the frame Next returned last
  AVFrame* ahead = nullptr;    // the one after it, decoded to learn its duration
  bool haveCurrent = false;
  bool haveAhead = false;
  bool started = false;
  bool flushing = false;  // the demuxer ran out; the decoder gives what it holds
  int stream = -1;
  AVRational timeBase{1, 1};
  int64_t nominalUs = kFallbackDurationUs;
  int64_t playedUs = 0;
  int64_t lastDurationUs = 0;
  SwsContext* scaler = nullptr;
  std::vector<uint8_t> scaled;
};

VideoDecoder::VideoDecoder() = default;
VideoDecoder::~VideoDecoder() = default;

bool IsVideoFileName(std::string_view name) {
  static constexpr std::string_view kExtensions[] = {".mp4", ".m4v", ".mkv", ".webm", ".avi", ".mov", ".mpg",
                                                     ".mpeg", ".ts", ".ogv", ".wmv", ".flv", ".nut"};
  std::string lower(name);
  std::ranges::transform(lower, lower.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
  return std::ranges::any_of(kExtensions, [&](std::string_view e) { return lower.ends_with(e); });
}

std::string VideoDecoder::Open(const std::string& path, const std::atomic<bool>* stop) {
  SilenceLibraryLog();
  impl_ = std::make_unique<Impl>();
  info_ = {};
  // Checked by name before opening: opening a FIFO or a device would block.
  const Result<FileStatus> status = StatPath(path);
  if (!status) return "the file cannot be read";
  if (status->kind != FileKind::kRegular) return "it is not a regular file";
  if (status->size == 0) return "the file is empty";
  impl_->format = avformat_alloc_context();
  if (impl_->format == nullptr) return "out of memory";
  impl_->format->interrupt_callback = {&InterruptWhenStopped, const_cast<std::atomic<bool>*>(stop)};
  impl_->clipUrl = "file:" + path;
  const int opened = OpenInput(impl_->clipUrl.c_str());
  if (opened < 0) return "not a video file (" + AvErrorText(opened) + ")";
  return Prepare();
}

std::string VideoDecoder::OpenBytes(std::span<const uint8_t> bytes) {
  SilenceLibraryLog();
  impl_ = std::make_unique<Impl>();
  info_ = {};
  if (bytes.empty()) return "the file is empty";
  impl_->memory = {bytes, 0};
  auto* buffer = static_cast<uint8_t*>(av_malloc(kMemoryBufferBytes));
  if (buffer == nullptr) return "out of memory";
  impl_->io = avio_alloc_context(buffer, kMemoryBufferBytes, 0, &impl_->memory, &ReadMemory, nullptr, &SeekMemory);
  if (impl_->io == nullptr) {
    av_free(buffer);
    return "out of memory";
  }
  impl_->format = avformat_alloc_context();
  if (impl_->format == nullptr) return "out of memory";
  impl_->format->pb = impl_->io;
  impl_->format->flags |= AVFMT_FLAG_CUSTOM_IO;
  const int opened = OpenInput(nullptr);
  if (opened < 0) return "not a video file (" + AvErrorText(opened) + ")";
  return Prepare();
}

int VideoDecoder::OpenInput(const char* url) {
  AVFormatContext* format = impl_->format;
  format->opaque = &impl_->clipUrl;
  format->io_open = &OpenOnlyTheClip;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  const int opened = avformat_open_input(&impl_->format, url, nullptr, &options);
  av_dict_free(&options);
  return opened;
}

std::string VideoDecoder::Prepare() {
  Impl& d = *impl_;
  if (avformat_find_stream_info(d.format, nullptr) < 0) return "the file is damaged (no stream information)";
  d.stream = av_find_best_stream(d.format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (d.stream < 0) return "the file holds no video stream";
  // Audio, subtitles and other video streams are not even read.
  for (unsigned i = 0; i < d.format->nb_streams; ++i) {
    if (static_cast<int>(i) != d.stream) d.format->streams[i]->discard = AVDISCARD_ALL;
  }
  const AVStream* stream = d.format->streams[d.stream];
  const AVCodecParameters* parameters = stream->codecpar;
  info_.width = parameters->width;
  info_.height = parameters->height;
  info_.frameCount = std::max<int64_t>(0, stream->nb_frames);
  if (stream->avg_frame_rate.num > 0 && stream->avg_frame_rate.den > 0) {
    info_.framesPerSecond = av_q2d(stream->avg_frame_rate);
  }
  if (!SizeAllowed(info_.width, info_.height)) {
    return "the picture size " + std::to_string(info_.width) + " x " + std::to_string(info_.height) +
           " is not supported (at most 7680 x 4320)";
  }
  if (info_.frameCount > kMaxVideoFrames) {
    return "the stream claims " + std::to_string(info_.frameCount) + " frames, more than a clip can hold";
  }
  if (info_.framesPerSecond > 0 && d.format->duration > 0) {
    const double estimate = static_cast<double>(d.format->duration) / AV_TIME_BASE * info_.framesPerSecond;
    if (estimate > static_cast<double>(kMaxVideoFrames)) return "the stream is too long for a clip";
  }
  if (info_.framesPerSecond >= 1.0 && info_.framesPerSecond <= 1000.0) {
    d.nominalUs = std::llround(kMicroseconds / info_.framesPerSecond);
  }
  const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
  if (decoder == nullptr) return "no decoder for its video format";
  info_.codec = decoder->name;
  d.codec = avcodec_alloc_context3(decoder);
  if (d.codec == nullptr || avcodec_parameters_to_context(d.codec, parameters) < 0) return "out of memory";
  d.codec->thread_count = 1;  // one worker thread per player; the machine has few cores
  d.timeBase = stream->time_base;
  if (avcodec_open2(d.codec, decoder, nullptr) < 0) return "the decoder does not accept the stream";
  d.packet = av_packet_alloc();
  d.current = av_frame_alloc();
  d.ahead = av_frame_alloc();
  if (d.packet == nullptr || d.current == nullptr || d.ahead == nullptr) return "out of memory";
  return {};
}

bool VideoDecoder::DecodeOne() {
  Impl& d = *impl_;
  int badInRow = 0;
  for (;;) {
    const int received = avcodec_receive_frame(d.codec, d.ahead);
    if (received == 0) {
      const bool damaged = (d.ahead->flags & AV_FRAME_FLAG_CORRUPT) != 0 || d.ahead->decode_error_flags != 0 ||
                           !SizeAllowed(d.ahead->width, d.ahead->height);
      if (damaged) {
        ++skipped_;
        av_frame_unref(d.ahead);
        if (++badInRow > kMaxBadPacketsInRow) {
          error_ = "the stream is damaged";
          return false;
        }
        continue;
      }
      if (++decoded_ > kMaxVideoFrames) {
        error_ = "the stream holds more frames than a clip can";
        av_frame_unref(d.ahead);
        return false;
      }
      return true;
    }
    if (received == AVERROR_EOF) return false;
    if (received != AVERROR(EAGAIN)) {
      // A frame the decoder could not finish: skip it and go on.
      ++skipped_;
      if (++badInRow > kMaxBadPacketsInRow) {
        error_ = "the stream is damaged";
        return false;
      }
      continue;
    }
    if (d.flushing) return false;
    const int read = av_read_frame(d.format, d.packet);
    if (read == AVERROR_EXIT) {
      error_ = "stopped";
      return false;
    }
    if (read < 0) {
      // The end of the file, or a read error: what the decoder holds still comes out.
      d.flushing = true;
      avcodec_send_packet(d.codec, nullptr);
      continue;
    }
    if (d.packet->stream_index != d.stream) {
      av_packet_unref(d.packet);
      continue;
    }
    const int sent = avcodec_send_packet(d.codec, d.packet);
    av_packet_unref(d.packet);
    if (sent < 0 && sent != AVERROR(EAGAIN)) ++skipped_;
    if (++badInRow > kMaxBadPacketsInRow) {
      error_ = "the stream is damaged (no picture in " + std::to_string(kMaxBadPacketsInRow) + " packets)";
      return false;
    }
  }
}

bool VideoDecoder::Next(VideoFrameTiming& timing) {
  if (!impl_ || impl_->codec == nullptr) return false;
  Impl& d = *impl_;
  if (!d.started) {
    d.started = true;
    d.haveAhead = DecodeOne();
  }
  if (!d.haveAhead) {
    d.haveCurrent = false;
    return false;
  }
  std::swap(d.current, d.ahead);
  av_frame_unref(d.ahead);
  d.haveCurrent = true;
  d.haveAhead = DecodeOne();
  // The duration is the distance to the next frame's time stamp; where the
  // stamps are missing or damaged, the stream's nominal frame period.
  int64_t duration = 0;
  const int64_t pts = d.current->best_effort_timestamp;
  if (d.haveAhead && pts != AV_NOPTS_VALUE && d.ahead->best_effort_timestamp != AV_NOPTS_VALUE) {
    duration = av_rescale_q(d.ahead->best_effort_timestamp - pts, d.timeBase, AVRational{1, kMicroseconds});
  }
  if (duration <= 0 || duration > kLongestFrameUs) {
    duration = d.lastDurationUs > 0 && !d.haveAhead ? d.lastDurationUs : d.nominalUs;
  }
  d.lastDurationUs = duration;
  timing = {d.playedUs, duration};
  d.playedUs += duration;
  return true;
}

void VideoDecoder::Convert(const VideoTarget& target, std::span<uint8_t> pixels) {
  std::ranges::fill(pixels, uint8_t{0});
  if (!impl_ || !impl_->haveCurrent || target.width <= 0 || target.height <= 0) return;
  if (pixels.size() < static_cast<size_t>(target.width) * target.height * 3) return;
  Impl& d = *impl_;
  const AVFrame* frame = d.current;
  const int vw = frame->width;
  const int vh = frame->height;
  const int tw = target.width;
  const int th = target.height;
  // The scaled picture's size, and where the target's top-left lies in it
  // (negative: the picture starts inside the target).
  int dw = tw;
  int dh = th;
  if (target.placement != VideoPlacement::kStretch) {
    const double sx = static_cast<double>(vw) / tw;
    const double sy = static_cast<double>(vh) / th;
    const double s = target.placement == VideoPlacement::kZoom ? std::min(sx, sy) : std::max(sx, sy);
    dw = std::max(1, static_cast<int>(std::lround(vw / s)));
    dh = std::max(1, static_cast<int>(std::lround(vh / s)));
    if (target.placement == VideoPlacement::kZoom) {
      dw = std::max(dw, tw);
      dh = std::max(dh, th);
    } else {
      dw = std::min(dw, tw);
      dh = std::min(dh, th);
    }
  }
  d.scaler = sws_getCachedContext(d.scaler, vw, vh, static_cast<AVPixelFormat>(frame->format), dw, dh,
                                  AV_PIX_FMT_RGB24, SWS_AREA | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
                                  nullptr, nullptr);
  if (d.scaler == nullptr) return;  // a pixel format without a conversion shows black
  const int stride = FFALIGN(dw * 3, 32);
  d.scaled.resize(static_cast<size_t>(stride) * dh + 64);
  uint8_t* planes[4] = {d.scaled.data(), nullptr, nullptr, nullptr};
  int strides[4] = {stride, 0, 0, 0};
  if (sws_scale(d.scaler, frame->data, frame->linesize, 0, vh, planes, strides) <= 0) return;
  // Copy the overlap of the scaled picture (centred) and the target.
  const int ox = (tw - dw) / 2;
  const int oy = (th - dh) / 2;
  for (int y = 0; y < th; ++y) {
    const int sy = y - oy;
    if (sy < 0 || sy >= dh) continue;
    const int x0 = std::max(0, ox);
    const int x1 = std::min(tw, ox + dw);
    if (x1 <= x0) continue;
    std::memcpy(pixels.data() + (static_cast<size_t>(y) * tw + x0) * 3,
                d.scaled.data() + static_cast<size_t>(sy) * stride + static_cast<size_t>(x0 - ox) * 3,
                static_cast<size_t>(x1 - x0) * 3);
  }
}

std::string ProbeVideoFile(const std::string& path) {
  VideoDecoder decoder;
  std::string error = decoder.Open(path);
  if (!error.empty()) return error;
  VideoFrameTiming timing;
  if (!decoder.Next(timing)) return decoder.error().empty() ? "the file holds no picture" : decoder.error();
  return {};
}

std::string ProbeVideoBytes(std::span<const uint8_t> bytes, int maxFrames) {
  VideoDecoder decoder;
  std::string error = decoder.OpenBytes(bytes);
  if (!error.empty()) return error;
  std::vector<uint8_t> pixels(16 * 8 * 3);
  VideoFrameTiming timing;
  int frames = 0;
  for (VideoPlacement placement : {VideoPlacement::kKeepAspect, VideoPlacement::kStretch, VideoPlacement::kZoom}) {
    if (frames >= maxFrames || !decoder.Next(timing)) break;
    decoder.Convert({16, 8, placement}, pixels);
    ++frames;
  }
  while (frames < maxFrames && decoder.Next(timing)) ++frames;
  if (frames == 0) return decoder.error().empty() ? "the file holds no picture" : decoder.error();
  return {};
}

}  // namespace quor

// The Video Player at 128x128: the worker's cost per frame of a 1920x1080
// H.264 clip (demux, decode, scale to the matrix), and the clock thread's
// share, Render (take the due frame from the queue, copy it out). The clip
// is made once per run by the ffmpeg program in a temporary folder.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "generators/video_decoder.h"
#include "generators/video_player.h"

namespace quor {
namespace {

constexpr int kSide = 128;

// The path of the clip, or "" when ffmpeg could not make it.
const std::string& HdClip() {
  static const std::string path = [] {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "quor_bench_video";
    std::filesystem::create_directories(dir);
    const std::string clip = (dir / "hd.mp4").string();
    if (std::filesystem::exists(clip)) return clip;
    const std::string command =
        "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i testsrc2=s=1920x1080:r=25 -frames:v 100 "
        "-c:v libx264 -preset veryfast -pix_fmt yuv420p '" + clip + "'";
    return std::system(command.c_str()) == 0 ? clip : std::string();
  }();
  return path;
}

void Decode(benchmark::State& state) {
  if (HdClip().empty()) {
    state.SkipWithError("ffmpeg is missing: run tools/deps --test");
    return;
  }
  auto decoder = std::make_unique<VideoDecoder>();
  if (!decoder->Open(HdClip()).empty()) {
    state.SkipWithError("the clip cannot be opened");
    return;
  }
  std::vector<uint8_t> frame(kSide * kSide * 3);
  VideoFrameTiming timing;
  for (auto _ : state) {
    if (!decoder->Next(timing)) {
      state.PauseTiming();
      decoder = std::make_unique<VideoDecoder>();
      decoder->Open(HdClip());
      decoder->Next(timing);
      state.ResumeTiming();
    }
    decoder->Convert({kSide, kSide, VideoPlacement::kKeepAspect}, frame);
    benchmark::DoNotOptimize(frame.data());
  }
  bench::SetCaseSize(state, kSide * kSide, 1920.0 * 1080 * 1.5, static_cast<double>(frame.size()));
}

void Render(benchmark::State& state) {
  if (HdClip().empty()) {
    state.SkipWithError("ffmpeg is missing: run tools/deps --test");
    return;
  }
  bench::GeneratorBench bench;
  VideoPlayerGenerator player(bench.context);
  player.Create(kSide, kSide);
  int64_t now = 0;
  player.SetClock([&now] { return now; });
  player.LoadPath(HdClip());
  player.WaitForWorker(20000);
  std::vector<uint8_t> frame(kSide * kSide * 3);
  for (auto _ : state) {
    now += 40000;
    player.Render({frame.data(), kSide, kSide});
    benchmark::DoNotOptimize(frame.data());
  }
  player.Destroy();
  bench::SetCaseSize(state, kSide * kSide, static_cast<double>(frame.size()), static_cast<double>(frame.size()));
}

const bool kRegistered = [] {
  benchmark::RegisterBenchmark("Generators/VideoPlayer/Decode1920x1080H264/128x128", Decode)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("Generators/VideoPlayer/Render/128x128", Render);
  return true;
}();

}  // namespace
}  // namespace quor

// The File Player drawing a 32 x 16 recording onto a 128 x 128 matrix (the
// scaled path, each target pixel from one source pixel), with and without
// smoothing, from memory and from a file: one frame read plus the scaling
// per Render. The recording holds 50 frames, so every 51st Render is the
// blank one at the loop.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "core/console.h"
#include "files/recording_file.h"
#include "generators/file_player.h"

namespace quor {
namespace {

constexpr int kSide = 128;
constexpr int kFileWidth = 32;
constexpr int kFileHeight = 16;
constexpr int kFrames = 50;

const std::vector<uint8_t>& RecordingBytes() {
  static const std::vector<uint8_t> bytes = [] {
    const auto header = EncodeRecordingHeader({kFileWidth, kFileHeight, 25});
    std::vector<uint8_t> out(header.begin(), header.end());
    for (int f = 0; f < kFrames; ++f) {
      out.insert(out.end(), kFrameMarker.begin(), kFrameMarker.end());
      const std::vector<uint8_t> frame = bench::TestFrame(kFileWidth, kFileHeight, static_cast<uint32_t>(f + 1));
      out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
  }();
  return bytes;
}

void RenderCase(benchmark::State& state, bool smooth, bool fromFile) {
  Console console;
  const std::string path = (std::filesystem::temp_directory_path() / "quor_bench_file_player.qrr").string();
  RecordingOpener opener = [](const std::string&) -> std::unique_ptr<RecordingSource> {
    return std::make_unique<MemoryRecordingSource>(RecordingBytes());
  };
  if (fromFile) {
    const std::vector<uint8_t>& bytes = RecordingBytes();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    opener = &OpenRecordingFile;
  }
  FilePlayerGenerator player(console, opener);
  player.Create(kSide, kSide);
  if (player.Load(path) != RecordingOpenResult::kOpened) {
    state.SkipWithError("recording did not open");
    return;
  }
  player.SetSmoothResize(smooth);
  std::vector<uint8_t> frame = bench::TestFrame(kSide, kSide, 3);
  for (auto _ : state) {
    player.Render({frame.data(), kSide, kSide});
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  bench::SetCaseSize(state, kSide * kSide, kFileWidth * kFileHeight * 3 + kFrameMarkerSize,
                     static_cast<double>(frame.size()));
  player.Destroy();
  if (fromFile) std::filesystem::remove(path);
}

const bool kRegistered = [] {
  benchmark::RegisterBenchmark("Generators/FilePlayer/Scaled32x16/128x128", RenderCase, false, false);
  benchmark::RegisterBenchmark("Generators/FilePlayer/Scaled32x16Smooth/128x128", RenderCase, true, false);
  benchmark::RegisterBenchmark("Generators/FilePlayer/Scaled32x16FromFile/128x128", RenderCase, false, true);
  return true;
}();

}  // namespace
}  // namespace quor

// What the clock thread pays for output it hands off: a console line into
// the queue, a recorder frame into the writer's queue (flat out, and one at
// a time to a writer that keeps up), and a File Player
// render of a recording whose only frame is followed by 16 MiB without a
// frame marker (searched once when it opens, never again per render).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "core/async_writer.h"
#include "core/console.h"
#include "files/recording_file.h"
#include "generators/file_player.h"

namespace quor {
namespace {

void ConsoleLineQueued(benchmark::State& state) {
  Console console;
  console.SetSink([](std::string_view) {});
  std::thread([&console] { console.MakeDrainThread(); }).join();  // this thread only queues
  int lines = 0;
  for (auto _ : state) {
    console.Print("Next Chase Step: %d\n", lines);
    if (++lines % 512 == 0) {
      state.PauseTiming();
      console.Drain();
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void RecorderFramePosted(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  const std::vector<uint8_t> frame = bench::TestFrame(side, side, 1);
  AsyncWriter writer([](int64_t, std::span<const uint8_t> bytes) {
    benchmark::DoNotOptimize(bytes.data());
    return true;
  });
  for (auto _ : state) writer.Post(0, kFrameMarker, frame);
  writer.Finish();
  state.counters["dropped"] = static_cast<double>(writer.dropped());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(frame.size()));
}

// One frame per pass with a writer that keeps up: the poster's own time
// for each hand-off (a millisecond apart, untimed, so the writer is idle
// again before the next frame as between mix passes).
void RecorderFrameAtPace(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  const std::vector<uint8_t> frame = bench::TestFrame(side, side, 1);
  AsyncWriter writer([](int64_t, std::span<const uint8_t> bytes) {
    benchmark::DoNotOptimize(bytes.data());
    return true;
  });
  for (auto _ : state) {
    writer.Post(0, kFrameMarker, frame);
    state.PauseTiming();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    state.ResumeTiming();
  }
  writer.Finish();
  state.counters["dropped"] = static_cast<double>(writer.dropped());
}

const std::vector<uint8_t>& FrameThenJunk() {
  static const std::vector<uint8_t> bytes = [] {
    const auto header = EncodeRecordingHeader({32, 16, 25});
    const std::vector<uint8_t> frame = bench::TestFrame(32, 16, 2);
    std::vector<uint8_t> out(header.size() + kFrameMarker.size() + frame.size() + (size_t{16} << 20), 'Q');
    std::copy(header.begin(), header.end(), out.begin());
    std::copy(kFrameMarker.begin(), kFrameMarker.end(), out.begin() + header.size());
    std::copy(frame.begin(), frame.end(), out.begin() + header.size() + kFrameMarker.size());
    return out;
  }();
  return bytes;
}

void FilePlayerAfterJunk(benchmark::State& state, FilePlayerReading reading) {
  Console console;
  const std::string path = (std::filesystem::temp_directory_path() / "quor_bench_junk.qrr").string();
  const std::vector<uint8_t>& bytes = FrameThenJunk();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  FilePlayerGenerator player(console, &OpenRecordingFile, reading);
  player.Create(32, 16);
  if (player.Load(path) != RecordingOpenResult::kOpened) {
    state.SkipWithError("recording did not open");
    return;
  }
  std::vector<uint8_t> frame(32 * 16 * 3, 0);
  for (auto _ : state) {
    player.Render({frame.data(), 32, 16});
    benchmark::DoNotOptimize(frame.data());
  }
  player.Destroy();
  std::filesystem::remove(path);
}

const bool kRegistered = [] {
  benchmark::RegisterBenchmark("ClockIo/ConsoleLineQueued", ConsoleLineQueued);
  benchmark::RegisterBenchmark("ClockIo/RecorderFramePosted", RecorderFramePosted)->Arg(32)->Arg(128);
  benchmark::RegisterBenchmark("ClockIo/RecorderFrameAtPace", RecorderFrameAtPace)->Arg(128)->Iterations(400);
  benchmark::RegisterBenchmark("ClockIo/FilePlayerAfter16MiBJunk/InRender", FilePlayerAfterJunk,
                               FilePlayerReading::kInRender);
  benchmark::RegisterBenchmark("ClockIo/FilePlayerAfter16MiBJunk/Ahead", FilePlayerAfterJunk,
                               FilePlayerReading::kAhead);
  return true;
}();

}  // namespace
}  // namespace quor

#include "bench/bench_support.h"

#include <QGuiApplication>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>

namespace quor::bench {

void SetCaseSize(benchmark::State& state, double pixels, double bytesRead, double bytesWritten) {
  // Plain counters: reported as set, per iteration.
  state.counters[kPixelsCounter] = pixels;
  state.counters[kFloorBytesCounter] = static_cast<double>(FloorCopyBytes(bytesRead, bytesWritten));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(bytesRead + bytesWritten));
}

size_t FloorCopyBytes(double bytesRead, double bytesWritten) {
  return static_cast<size_t>(std::llround((bytesRead + bytesWritten) / 2.0));
}

double MeasureMemcpyNs(size_t bytes) {
  if (bytes == 0) return 0.0;
  std::vector<uint8_t> source(bytes, 0x5A);
  std::vector<uint8_t> destination(bytes);
  using Clock = std::chrono::steady_clock;
  // Enough copies per batch for about 100 us, so the clock's resolution does
  // not matter; the best of many batches filters out interruptions.
  const int copiesPerBatch = std::max(1, static_cast<int>(100000 / (bytes / 16 + 1)));
  double best = 1e300;
  for (int batch = 0; batch < 200; ++batch) {
    const auto start = Clock::now();
    for (int i = 0; i < copiesPerBatch; ++i) {
      std::memcpy(destination.data(), source.data(), bytes);
      benchmark::DoNotOptimize(destination.data());
      benchmark::ClobberMemory();
    }
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    best = std::min(best, ns / copiesPerBatch);
  }
  return best;
}

void EnsureGuiApplication() {
  if (QGuiApplication::instance() != nullptr) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "quor_bench";
  static char* argv[] = {name, nullptr};
  static auto app = std::make_unique<QGuiApplication>(argc, argv);
}

std::vector<uint8_t> TestFrame(int width, int height, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<uint8_t> frame(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  for (size_t i = 0; i < frame.size(); i += 3) {
    const bool black = byte(rng) < 85;
    for (size_t c = 0; c < 3; ++c) frame[i + c] = black ? 0 : static_cast<uint8_t>(byte(rng));
  }
  return frame;
}

}  // namespace quor::bench

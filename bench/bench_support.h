// Helpers shared by the benchmark files. Every case declares how many pixels
// one iteration handles and how many bytes it must read and write; the
// summary printed by bench_main.cpp turns that into ns per pixel and a ratio
// to the memory floor of the case.
//
// Memory floor: the time of one memcpy whose own traffic equals the case's,
// that is a copy of (bytesRead + bytesWritten) / 2 bytes (it reads and writes
// that many), measured in the same run on buffers that stay in cache just as
// the case's frames do. A ratio of 1 means the case is as fast as moving its
// bytes can be.
#pragma once

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/audio_analyzer.h"
#include "core/console.h"
#include "core/generator.h"
#include "core/random_source.h"
#include "generators/color.h"

namespace quor::bench {

// Counter names the summary reads.
inline constexpr const char* kPixelsCounter = "pixels";
inline constexpr const char* kFloorBytesCounter = "floor_bytes";

// Call once per case, before or after its timing loop.
void SetCaseSize(benchmark::State& state, double pixels, double bytesRead, double bytesWritten);

// Bytes copied by the floor memcpy of a case with this traffic.
size_t FloorCopyBytes(double bytesRead, double bytesWritten);

// Best observed time in ns of one memcpy of `bytes` between two buffers.
double MeasureMemcpyNs(size_t bytes);

// Starts an offscreen QGuiApplication once: text rendering needs one and the
// benchmark runner has none.
void EnsureGuiApplication();

// Deterministic picture-like bytes: about a third black pixels, the rest
// random, so per-pixel tests in the code under test go both ways.
std::vector<uint8_t> TestFrame(int width, int height, uint32_t seed);

// What the engine hands a generator, standing alone: a fixed seed and
// PixelStep 1.
struct GeneratorBench {
  Console console;
  RandomSource random{1};
  ColorWheel sharedWheel;
  std::atomic<int> pixelStep{1};
  AudioAnalyzer audio;
  GeneratorContext context{console, random, sharedWheel, pixelStep, audio};
};

}  // namespace quor::bench

// Render of the four media generators at 128x128: Scrolling Text (font
// raster and copy, plain and with both post effects), Image Viewer (an
// animated image scaled from 400x300 on every frame, nearest and block
// averaged), Spectrum Analyzer (bars and filled lines) and Screen Capture
// (the tick's share: copying the last finished capture; the X round trip and
// the averaging run on the capture thread, measured as AreaAverage from a
// 1920x1080 picture).
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "audio/audio_analyzer.h"
#include "bench/bench_support.h"
#include "generators/image_viewer.h"
#include "generators/screen_capture.h"
#include "generators/scrolling_text.h"
#include "generators/spectrum_analyzer.h"

namespace quor {
namespace {

constexpr int kSide = 128;

void ScrollingText(benchmark::State& state, bool effects) {
  bench::EnsureGuiApplication();
  bench::GeneratorBench bench;
  ScrollingTextGenerator text(bench.context);
  text.Create(kSide, kSide);
  text.SetText("Quor! $LTIME");
  if (effects) {
    text.SetSineWave(true, 4, 20);
    text.SetPerspective(true, 20, 30);
  }
  std::vector<uint8_t> frame(kSide * kSide * 3);
  for (auto _ : state) {
    text.Render({frame.data(), kSide, kSide});
    benchmark::DoNotOptimize(frame.data());
  }
  bench::SetCaseSize(state, kSide * kSide, 0, static_cast<double>(frame.size()));
}

void ImageScaling(benchmark::State& state, int smooth) {
  const int w = 400, h = 300;
  const std::vector<uint8_t> image = bench::TestFrame(w, h, 5);
  ImagePlacement place;
  place.smooth = smooth;
  std::vector<uint8_t> frame(kSide * kSide * 3);
  for (auto _ : state) {
    ScaleImageFrame({image.data(), w, h}, place, {frame.data(), kSide, kSide});
    benchmark::DoNotOptimize(frame.data());
  }
  bench::SetCaseSize(state, kSide * kSide, static_cast<double>(image.size()), static_cast<double>(frame.size()));
}

void Spectrum(benchmark::State& state, bool lines) {
  bench::GeneratorBench bench;
  SpectrumAnalyzerGenerator spectrum(bench.context);
  spectrum.Create(kSide, kSide);
  spectrum.SetLineMode(lines);
  spectrum.SetLineFill(lines);
  std::vector<int16_t> bins(kSpectrumBins);
  for (int i = 0; i < kSpectrumBins; ++i) bins[static_cast<size_t>(i)] = static_cast<int16_t>((i * 7919) % 900);
  std::vector<uint8_t> frame(kSide * kSide * 3);
  for (auto _ : state) {
    spectrum.RenderSpectrum(bins.data(), {frame.data(), kSide, kSide});
    benchmark::DoNotOptimize(frame.data());
  }
  bench::SetCaseSize(state, kSide * kSide, 0, static_cast<double>(frame.size()));
}

void CaptureTick(benchmark::State& state) {
  bench::GeneratorBench bench;
  ScreenCaptureGenerator capture(bench.context);
  capture.SetDisplayName(":65000");  // no server: the tick's copy alone
  capture.Create(kSide, kSide);
  std::vector<uint8_t> frame(kSide * kSide * 3);
  for (auto _ : state) {
    capture.Render({frame.data(), kSide, kSide});
    benchmark::DoNotOptimize(frame.data());
  }
  capture.Destroy();
  bench::SetCaseSize(state, kSide * kSide, static_cast<double>(frame.size()), static_cast<double>(frame.size()));
}

void CaptureAverage(benchmark::State& state) {
  const int w = 1920, h = 1080;
  const std::vector<uint8_t> screen = bench::TestFrame(w, h, 9);
  const int rgb[3] = {0, 1, 2};
  std::vector<uint8_t> frame(kSide * kSide * 3);
  for (auto _ : state) {
    AreaAverage(w, h, screen.data(), static_cast<size_t>(w) * 3, 3, rgb, {frame.data(), kSide, kSide});
    benchmark::DoNotOptimize(frame.data());
  }
  bench::SetCaseSize(state, kSide * kSide, static_cast<double>(screen.size()), static_cast<double>(frame.size()));
}

const bool kRegistered = [] {
  benchmark::RegisterBenchmark("Generators/ScrollingText/Plain/128x128", ScrollingText, false);
  benchmark::RegisterBenchmark("Generators/ScrollingText/WavePerspective/128x128", ScrollingText, true);
  benchmark::RegisterBenchmark("Generators/ImageViewer/Nearest400x300/128x128", ImageScaling, 0);
  benchmark::RegisterBenchmark("Generators/ImageViewer/Smooth400x300/128x128", ImageScaling, 1);
  benchmark::RegisterBenchmark("Generators/Spectrum/Bars/128x128", Spectrum, false);
  benchmark::RegisterBenchmark("Generators/Spectrum/LineFill/128x128", Spectrum, true);
  benchmark::RegisterBenchmark("Generators/ScreenCapture/Tick/128x128", CaptureTick);
  benchmark::RegisterBenchmark("Generators/ScreenCapture/Average1920x1080/128x128", CaptureAverage);
  return true;
}();

}  // namespace
}  // namespace quor

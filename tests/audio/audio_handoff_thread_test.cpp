// The block hand-over under real threads: a capture thread offering blocks
// while two readers ask for spectra and trigger levels. Every spectrum must
// come from one whole block (a torn block would mix the two patterns).
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "audio/audio_analyzer.h"

namespace quor {
namespace {

using Spectrum = std::array<int16_t, kSpectrumBins>;
using Block = std::array<int16_t, kAudioChannels * kAudioBlockFrames>;

TEST(AudioAnalyzerThreads, EachSpectrumComesFromOneWholeBlock) {
  Block quiet;
  quiet.fill(0);
  Block loud;
  loud.fill(8192);

  // The two possible results, taken one at a time first.
  Spectrum quietSpectrum{};
  Spectrum loudSpectrum{};
  {
    AudioAnalyzer reference;
    reference.agcEnabled = 0;
    ASSERT_TRUE(reference.DeliverBlock(loud.data()));
    reference.GetSpectrum(loudSpectrum.data());
    ASSERT_TRUE(reference.DeliverBlock(quiet.data()));
    reference.GetSpectrum(quietSpectrum.data());
  }

  AudioAnalyzer analyzer;
  analyzer.agcEnabled = 0;
  std::atomic<bool> stop{false};
  std::atomic<int> accepted{0};
  std::thread capture([&] {
    for (int i = 0; !stop.load(); ++i) {
      if (analyzer.DeliverBlock((i & 1) != 0 ? loud.data() : quiet.data())) accepted.fetch_add(1);
      std::this_thread::yield();
    }
  });
  std::atomic<int> torn{0};
  auto reader = [&](bool viaTrigger) {
    AudioTrigger trigger;
    trigger.lowBand = 0;
    trigger.highBand = 254;
    // Until the capture side has handed over a good number of blocks (with
    // a time cap, so a broken hand-over fails instead of hanging).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (accepted.load() < 100 && std::chrono::steady_clock::now() < deadline) {
      Spectrum s{};
      if (viaTrigger) {
        analyzer.TriggerLevel(trigger);
      }
      analyzer.GetSpectrum(s.data());
      if (s != quietSpectrum && s != loudSpectrum) torn.fetch_add(1);
      std::this_thread::yield();
    }
  };
  std::thread spectrumReader(reader, false);
  std::thread triggerReader(reader, true);
  spectrumReader.join();
  triggerReader.join();
  stop = true;
  capture.join();

  EXPECT_EQ(torn.load(), 0);
  EXPECT_GE(accepted.load(), 100);
}

}  // namespace
}  // namespace quor

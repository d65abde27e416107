// A capture thread offers blocks while two readers ask for spectra and trigger
// levels: every spectrum must come from one whole block, never a torn one.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

#include "audio/audio_analyzer.h"

namespace quor {
namespace {

TEST(AudioAnalyzerThreads, EachSpectrumComesFromOneWholeBlock) {
  std::array<int16_t, kAudioChannels * kAudioBlockFrames> blocks[2]{};
  blocks[1].fill(8192);
  std::array<int16_t, kSpectrumBins> results[2]{};
  AudioAnalyzer analyzer;
  analyzer.agcEnabled = 0;
  for (int i : {0, 1}) {
    ASSERT_TRUE(analyzer.DeliverBlock(blocks[i].data()));
    analyzer.GetSpectrum(results[i].data());
  }
  std::atomic<bool> stop{false};
  std::atomic<int> accepted{0}, torn{0};
  std::thread capture([&] {
    for (int i = 0; !stop.load(); ++i, std::this_thread::yield()) {
      if (analyzer.DeliverBlock(blocks[i & 1].data())) accepted.fetch_add(1);
    }
  });
  const auto reader = [&](bool viaTrigger) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (accepted.load() < 100 && std::chrono::steady_clock::now() < deadline) {
      std::array<int16_t, kSpectrumBins> s{};
      if (viaTrigger) analyzer.TriggerLevel(AudioTrigger{1200, 50, 900, 0, 254});
      analyzer.GetSpectrum(s.data());
      if (s != results[0] && s != results[1]) torn.fetch_add(1);
      std::this_thread::yield();
    }
  };
  std::thread spectrumReader(reader, false), triggerReader(reader, true);
  spectrumReader.join();
  triggerReader.join();
  stop = true;
  capture.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_GE(accepted.load(), 100);
}

}  // namespace
}  // namespace quor

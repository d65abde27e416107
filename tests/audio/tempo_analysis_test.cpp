// Tempo detection on click tracks and drum loops that sox renders at the
// tempos a show meets (90, 120, 128, 174 BPM): after 8 s the tempo lies
// within 1 BPM of the truth and every beat reported from then on lies
// within 30 ms of a true beat, with none missing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "audio/audio_analyzer.h"
#include "audio/tempo_analysis.h"

namespace quor {
namespace {

struct Track {
  int bpm;
  const char* kind;
};
void PrintTo(const Track& track, std::ostream* out) { *out << track.kind << " at " << track.bpm << " BPM"; }

// Renders the track through tests/audio/render_beats.sh; the beat period in
// samples, 0 when sox failed.
int Render(const Track& track, int seconds, const std::filesystem::path& out) {
  const std::string command = std::string("sh '") + QUOR_SOURCE_DIR + "/tests/audio/render_beats.sh' " +
                              std::to_string(track.bpm) + " " + track.kind + " " + std::to_string(seconds) + " '" +
                              out.string() + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return 0;
  int period = 0;
  if (std::fscanf(pipe, "%d", &period) != 1) period = 0;
  return pclose(pipe) == 0 ? period : 0;
}

class TempoTracks : public testing::TestWithParam<Track> {};

TEST_P(TempoTracks, TempoAndBeatsMatchTheTrack) {
  const Track track = GetParam();
  const auto file = std::filesystem::temp_directory_path() /
                    ("quor-tempo-" + std::to_string(track.bpm) + track.kind + std::to_string(getpid()) + ".raw");
  const int period = Render(track, 16, file);
  ASSERT_GT(period, 0) << "sox could not render the track (tools/deps --test installs sox)";
  std::ifstream in(file, std::ios::binary);
  std::vector<int16_t> samples(std::filesystem::file_size(file) / 2);
  in.read(reinterpret_cast<char*>(samples.data()), static_cast<std::streamsize>(samples.size() * 2));
  std::filesystem::remove(file);

  const double truth = 60.0 * kAudioSampleRate / period;
  const int64_t settle = 8 * kAudioSampleRate;
  TempoAnalysis analysis(kAudioSampleRate);
  std::vector<int64_t> beats, late;
  double bpmAfterSettle = 0;
  for (size_t at = 0; at + 2 * kAudioBlockFrames <= samples.size(); at += 2 * kAudioBlockFrames) {
    beats.clear();
    analysis.Process(samples.data() + at, kAudioBlockFrames, beats);
    if (bpmAfterSettle == 0 && analysis.FramesSeen() >= settle) bpmAfterSettle = analysis.Bpm();
    for (int64_t beat : beats) {
      if (beat >= settle) late.push_back(beat);
    }
  }
  EXPECT_NEAR(bpmAfterSettle, truth, 1.0);
  double worstMs = 0;
  for (int64_t beat : late) {
    const double offBy = static_cast<double>(beat - std::llround(static_cast<double>(beat) / period) * period);
    worstMs = std::max(worstMs, std::abs(offBy) * 1000.0 / kAudioSampleRate);
  }
  EXPECT_LE(worstMs, 30.0);
  // The beats from 8 s to the end of the analysed sound, none missing.
  const auto expected = static_cast<double>(analysis.FramesSeen() - settle) / period;
  EXPECT_NEAR(static_cast<double>(late.size()), expected, 1.0);
  std::printf("tempo %3d %-5s: %.2f BPM after 8 s (truth %.2f), %zu beats, worst %.1f ms off\n", track.bpm,
              track.kind, bpmAfterSettle, truth, late.size(), worstMs);
}

INSTANTIATE_TEST_SUITE_P(Sox, TempoTracks,
                         testing::Values(Track{90, "click"}, Track{90, "drums"}, Track{120, "click"},
                                         Track{120, "drums"}, Track{128, "click"}, Track{128, "drums"},
                                         Track{174, "click"}, Track{174, "drums"}),
                         [](const auto& info) { return std::string(info.param.kind) + std::to_string(info.param.bpm); });

TEST(TempoAnalysis, SilenceAndNoiseHaveNoTempo) {
  TempoAnalysis analysis(kAudioSampleRate);
  std::vector<int16_t> block(2 * kAudioBlockFrames, 0);
  std::vector<int64_t> beats;
  for (int i = 0; i < 10 * kAudioSampleRate / kAudioBlockFrames; ++i) analysis.Process(block.data(), kAudioBlockFrames, beats);
  EXPECT_EQ(analysis.Bpm(), 0.0);
  EXPECT_TRUE(beats.empty());
}

TEST(TempoAnalysis, StopsBeatingWhenTheMusicStops) {
  // Clicks at 120 BPM for 10 s, then 5 s of silence.
  const int period = kAudioSampleRate / 2;
  std::vector<int16_t> sound(static_cast<size_t>(15 * kAudioSampleRate * 2), 0);
  for (int beat = 0; beat * period < 10 * kAudioSampleRate; ++beat) {
    for (int i = 0; i < 441; ++i) {
      const int16_t v = (i / 11) % 2 ? 20000 : -20000;
      sound[static_cast<size_t>(2 * (beat * period + i))] = v;
      sound[static_cast<size_t>(2 * (beat * period + i) + 1)] = v;
    }
  }
  TempoAnalysis analysis(kAudioSampleRate);
  std::vector<int64_t> beats;
  analysis.Process(sound.data(), 10 * kAudioSampleRate, beats);
  EXPECT_NEAR(analysis.Bpm(), 120.0, 1.0);
  beats.clear();
  analysis.Process(sound.data() + 2 * 10 * kAudioSampleRate, 5 * kAudioSampleRate, beats);
  EXPECT_EQ(analysis.Bpm(), 0.0);
  EXPECT_LE(beats.size(), 6u);  // the beats until the tempo is given up (2.5 s)
}

}  // namespace
}  // namespace quor

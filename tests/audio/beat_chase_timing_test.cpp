// A chase in beats on a click track that comes in through the real capture
// path: an ALSA "file" PCM as the default device, whose input file is a
// FIFO that a thread fills at the pace of real time (a plain file would be
// read far faster than real time). The engine runs its own frame clock,
// detects the tempo from the sound and must change the chase's steps on
// the clicks. The run happens in a child process of this test binary,
// because PortAudio reads the ALSA configuration once per process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "show/show.h"
#include "test_support.h"

namespace quor {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBpm = 120;
constexpr int kSeconds = 15;
constexpr int kSettleSeconds = 9;  // the tracker's tempo stands after 8 s

double MsSince(Clock::time_point start, Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(t - start).count();
}

// Writes the track into the FIFO one capture block at a time, each at its
// time, and notes when every beat's first sample went in. A block is one
// atomic pipe write, so each read of the device takes a whole block (a
// short read would be padded with silence and stretch the music). The FIFO is opened for
// reading and writing, so the device's opens never block on it and
// PortAudio's probing opens take nothing the capture needs.
void FeedFifo(const std::string& fifo, const std::string& track, int period, Clock::time_point& start,
              std::vector<double>& beatMs, const std::atomic<bool>& stop) {
  const int fd = open(fifo.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  std::ifstream in(track, std::ios::binary);
  std::vector<char> samples((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  constexpr size_t kChunkFrames = kAudioBlockFrames;
  start = Clock::now();
  size_t frame = 0;
  for (int chunk = 0; !stop.load() && (frame + kChunkFrames) * 4 <= samples.size(); ++chunk) {
    std::this_thread::sleep_until(start + std::chrono::microseconds(int64_t{chunk} * kChunkFrames * 1'000'000 /
                                                                    kAudioSampleRate));
    const char* from = samples.data() + frame * 4;
    size_t left = kChunkFrames * 4;
    while (left > 0) {
      const ssize_t n = write(fd, from, left);
      if (n <= 0) break;
      from += n, left -= static_cast<size_t>(n);
    }
    for (size_t beat = (frame + period - 1) / period * period; beat < frame + kChunkFrames; beat += period) {
      beatMs.push_back(MsSince(start, Clock::now()));
    }
    frame += kChunkFrames;
  }
  close(fd);
}

// Runs inside the child only (skipped in an ordinary test run).
TEST(BeatChaseChildProcess, StepsChangeOnTheClicks) {
  const char* fifo = std::getenv("QUOR_BEAT_FIFO");
  if (fifo == nullptr) GTEST_SKIP() << "started by BeatChase.FollowsAClickTrackThroughTheCaptureDevice";
  const int period = std::atoi(std::getenv("QUOR_BEAT_PERIOD"));
  Engine engine(test::TestRegistry(), EngineOptions{});
  // Two steps of two beats each that only wait: a change every second click.
  ChaseStore& chases = engine.show().chases();
  ASSERT_TRUE(chases.InsertChase(0, "Beats"));
  for (int s = 0; s < 2; ++s) {
    ChaseStep step{7, 0, 0, 0, BeatStepMs(8, 0)};
    step.beatQuarters = 8;
    ASSERT_TRUE(chases.InsertStep(0, s, step));
  }

  Clock::time_point start;
  std::vector<double> beatMs;
  std::atomic<bool> stop{false};
  std::thread feeder(FeedFifo, std::string(fifo), std::string(std::getenv("QUOR_BEAT_TRACK")), period,
                     std::ref(start), std::ref(beatMs), std::cref(stop));
  ASSERT_FALSE(engine.audio().Start()) << "the capture device did not open";
  engine.StartClock();
  engine.show().player().StartChase(1);
  // The times at which the player moved on, seen within a millisecond.
  std::vector<double> changes;
  int step = engine.show().player().StepIndex();
  const Clock::time_point end = Clock::now() + std::chrono::seconds(kSeconds - 1);
  while (Clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const int now = engine.show().player().StepIndex();
    if (now != step) step = now, changes.push_back(MsSince(start, Clock::now()));
  }
  const double bpm = engine.tempo().Bpm();
  engine.StopClock();
  engine.audio().Stop();
  stop.store(true);
  feeder.join();

  EXPECT_NEAR(bpm, kBpm, 1.0);
  // After the tempo has settled every change lies just after a click (the
  // capture block, the analysis and one frame of 40 ms), and there is one
  // change every second click.
  std::vector<double> settled;
  for (double t : changes) {
    if (t > kSettleSeconds * 1000.0) settled.push_back(t);
  }
  ASSERT_GE(settled.size(), 2u) << "the chase did not move on after the tempo settled";
  double earliest = 1e9, latest = -1e9;
  for (double t : settled) {
    const auto nearest = std::ranges::min_element(beatMs, {}, [t](double b) { return std::abs(b - t); });
    EXPECT_GE(t - *nearest, -15.0) << "a change at " << t << " ms";
    EXPECT_LE(t - *nearest, 75.0) << "a change at " << t << " ms";
    earliest = std::min(earliest, t - *nearest), latest = std::max(latest, t - *nearest);
  }
  std::printf("Tempo %.2f BPM; %zu changes after %d s, %.1f to %.1f ms after their click\n", bpm, settled.size(),
              kSettleSeconds, earliest, latest);
  for (size_t i = 1; i < settled.size(); ++i) EXPECT_NEAR(settled[i] - settled[i - 1], 1000.0, 80.0) << i;
}

TEST(BeatChase, FollowsAClickTrackThroughTheCaptureDevice) {
  const std::filesystem::path dir = test::FreshTestDir("beat_chase");
  const std::filesystem::path track = dir / "clicks.raw", fifo = dir / "input.fifo", config = dir / "alsa.conf";
  const std::string render = std::string("sh '") + QUOR_SOURCE_DIR + "/tests/audio/render_beats.sh' " +
                             std::to_string(kBpm) + " click " + std::to_string(kSeconds + 1) + " '" + track.string() +
                             "'";
  FILE* pipe = popen(render.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  int period = 0;
  if (std::fscanf(pipe, "%d", &period) != 1) period = 0;
  ASSERT_TRUE(pclose(pipe) == 0 && period > 0) << "sox could not render the track (tools/deps --test installs sox)";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::ofstream(config) << "</usr/share/alsa/alsa.conf>\npcm.!default { type file slave.pcm \"null\" file "
                           "\"/dev/null\" infile \""
                        << fifo.string() << "\" format \"raw\" }\n";
  const std::filesystem::path log = dir / "child.log";
  const std::string command = "env ALSA_CONFIG_PATH='" + config.string() + "' QUOR_BEAT_FIFO='" + fifo.string() +
                              "' QUOR_BEAT_TRACK='" + track.string() + "' QUOR_BEAT_PERIOD=" + std::to_string(period) +
                              " timeout -s KILL 90 '" + std::filesystem::read_symlink("/proc/self/exe").string() +
                              "' --gtest_filter='BeatChaseChildProcess.*' >'" + log.string() + "' 2>&1";
  const int status = std::system(command.c_str());
  std::stringstream text;
  text << std::ifstream(log).rdbuf();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << text.str();
  const size_t summary = text.str().find("Tempo ");
  if (summary != std::string::npos) std::printf("%s", text.str().substr(summary, text.str().find('\n', summary) - summary + 1).c_str());
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quor

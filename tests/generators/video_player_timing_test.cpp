// A 1920 x 1080 H.264 clip on a 128 x 128 matrix, rendered on the real
// steady clock at 25 frames per second: nearly every tick shows the clip's
// next frame, and no Render costs more than a copy, as decoding and scaling
// happen on the worker. Timing tests run alone.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "generator_rig.h"
#include "generators/video_player.h"
#include "video_clips.h"

namespace quor {
namespace {

using Clock = std::chrono::steady_clock;

// CPU time of the calling thread: what Render itself costs, whatever else the machine runs meanwhile.
double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

TEST(VideoPlayerTiming, A1080pClipHolds25FramesPerSecondAt128x128) {
  QUOR_NEED_FFMPEG();
  const std::string clip = test::FreshTestDir("video_player_timing") + "/hd.mp4";
  ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc2=s=1920x1080:r=25 -frames:v 100 -c:v libx264 -preset veryfast "
                           "-pix_fmt yuv420p",
                           clip));
  test::Rig<VideoPlayerGenerator> rig(128, 128);
  ASSERT_TRUE(rig.gen.LoadPath(clip));
  ASSERT_TRUE(rig.gen.WaitForWorker(20000));
  constexpr int kTicks = 75;  // three seconds
  std::vector<uint8_t> previous;
  int changed = 0;
  Clock::duration longest{};
  double longestCpuMs = 0;
  auto next = Clock::now();
  for (int k = 0; k < kTicks; ++k) {
    std::this_thread::sleep_until(next);
    next += std::chrono::milliseconds(40);
    const auto before = Clock::now();
    const double cpuBefore = ThreadCpuMs();
    rig.Render();
    longestCpuMs = std::max(longestCpuMs, ThreadCpuMs() - cpuBefore);
    longest = std::max(longest, Clock::now() - before);
    if (rig.frame.bytes != previous) ++changed;
    previous = rig.frame.bytes;
  }
  const double longestMs = std::chrono::duration<double, std::milli>(longest).count();
  std::printf("%d of %d ticks showed a new frame; the longest Render took %.3f ms (%.3f ms of CPU)\n", changed, kTicks,
              longestMs, longestCpuMs);
  EXPECT_GE(changed, kTicks * 9 / 10);
  EXPECT_LT(longestCpuMs, 1.0);  // a copy of 48 KiB: the clock thread never decodes or waits
  EXPECT_EQ(rig.gen.skippedFrames(), 0);
}

}  // namespace
}  // namespace quor

// The Video Player's worker against a render thread: clips replaced,
// modes and placements changed, settings loaded and the generator destroyed
// and created again while a second thread renders without pause. The
// ThreadSanitizer build runs this.
#include <atomic>
#include <chrono>
#include <thread>

#include "generator_rig.h"
#include "generators/video_player.h"
#include "video_clips.h"

namespace quor {
namespace {

using namespace std::chrono_literals;

TEST(VideoPlayerThread, RendersWhileClipsAreReplacedAndWorkersStoppedAndJoined) {
  QUOR_NEED_FFMPEG();
  const std::string dir = test::FreshTestDir("video_player_thread");
  ASSERT_TRUE(test::MakePatternClip(dir + "/a.mkv", 12));
  ASSERT_TRUE(test::MakePatternClip(dir + "/b.mkv", 12, 20));
  test::GeneratorHarness harness;
  auto gen = std::make_unique<VideoPlayerGenerator>(harness.context);
  ASSERT_TRUE(gen->Create(32, 16));
  std::atomic<bool> done{false};
  std::atomic<int> renders{0};
  std::atomic<int> lit{0};
  std::thread clock([&] {
    test::Frame frame(32, 16);
    while (!done.load()) {
      gen->Render(frame.canvas());
      renders.fetch_add(1);
      if (frame.LitCount() > 0) lit.fetch_add(1);
      std::this_thread::sleep_for(2ms);
    }
  });
  SettingsBlock block{};
  const std::string b = dir + "/b.mkv";
  std::copy(b.begin(), b.end(), block.begin());
  block[kVideoPlayerModeOffset] = 1;
  for (int i = 0; i < 40; ++i) {
    switch (i % 6) {
      case 0: gen->LoadPath(dir + "/a.mkv"); break;
      case 1: gen->SetMode(i % 3); break;
      case 2: gen->SetPlacement(i % 3); break;
      case 3: gen->ExchangeSettings(block, SettingsDirection::kLoad); break;
      case 4: gen->SetSpeedStep(i % 9 - 3); break;
      case 5: gen->LoadPath(dir); break;  // the folder: both clips
    }
    if (i % 13 == 12) {
      gen->Destroy();
      gen->Create(32, 16);
    }
    std::this_thread::sleep_for(15ms);
  }
  done.store(true);
  clock.join();
  EXPECT_GT(renders.load(), 40);
  EXPECT_GT(lit.load(), 0);
  gen.reset();  // stops and joins the last worker
}

}  // namespace
}  // namespace quor

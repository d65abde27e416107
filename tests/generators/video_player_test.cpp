#include <sys/stat.h>

#include <fstream>
#include <span>

#include "generator_rig.h"
#include "generators/settings_dialog.h"
#include "generators/video_decoder.h"
#include "generators/video_player.h"
#include "video_clips.h"

namespace quor {
namespace {

using test::Frame;
using test::PatternColor;

constexpr int kBlack = -1;
constexpr int kUnknown = -2;

// Which pattern frame (counted with the clip's `first`) a pixel shows: kBlack, or kUnknown for any other colour.
int PatternIndex(Rgb pixel) {
  if (pixel == Rgb{}) return kBlack;
  for (int k = 0; k < 52; ++k) {
    if (pixel.r == PatternColor(k).r && pixel.g == PatternColor(k).g) return k;
  }
  return kUnknown;
}

struct Player : test::Rig<VideoPlayerGenerator> {
  Player(int w, int h) : Rig(w, h) { gen.SetClock([this] { return nowUs; }); }
  // Renders `ticks` ticks `tickUs` apart, the worker given time to fill its queue before each; the pattern index
  // of pixel (x, y) at every tick.
  std::vector<int> Play(int ticks, int64_t tickUs, int x = 16, int y = 8) {
    std::vector<int> seen;
    for (int k = 0; k < ticks; ++k) {
      EXPECT_TRUE(gen.WaitForWorker(20000));
      Render();
      seen.push_back(PatternIndex(At(x, y)));
      nowUs += tickUs;
    }
    return seen;
  }
  int64_t nowUs = 1000000;
};

std::string Folder(const std::string& name) { return test::FreshTestDir("video_player_" + name); }

TEST(VideoPlayer, TakesFramesByPresentationTimeAtAnySlotSpeed) {
  QUOR_NEED_FFMPEG();
  const std::string clip = Folder("pace") + "/pattern.mkv";
  ASSERT_TRUE(test::MakePatternClip(clip, 50));
  struct Case {
    int64_t tickUs;  // the slot's period: 1000 / speed ms
    int speedStep;   // the dialog's speed factor
  };
  for (const Case c : {Case{40000, 0}, Case{100000, 0}, Case{200000, 0}, Case{40000, 3}, Case{40000, -2},
                       Case{66666, 0}, Case{200000, 3}}) {
    SCOPED_TRACE("tick " + std::to_string(c.tickUs) + " us, speed step " + std::to_string(c.speedStep));
    Player player(32, 16);
    player.gen.SetSpeedStep(c.speedStep);
    ASSERT_TRUE(player.gen.LoadPath(clip));
    std::vector<int> want;
    const int64_t permille = kVideoSpeedPermille[c.speedStep - kVideoSpeedFirstStep];
    for (int k = 0; k < 14; ++k) want.push_back(static_cast<int>(k * (c.tickUs * permille / 1000) / 40000 % 50));
    EXPECT_EQ(player.Play(14, c.tickUs), want);
    EXPECT_EQ(player.At(16, 8), PatternColor(want.back()));  // all three channels, losslessly
  }
}

TEST(VideoPlayer, LoopsPingPongsOrPlaysOnceThenBlack) {
  QUOR_NEED_FFMPEG();
  const std::string clip = Folder("modes") + "/five.mkv";
  ASSERT_TRUE(test::MakePatternClip(clip, 5));
  const int B = kBlack;
  const std::vector<std::pair<VideoMode, std::vector<int>>> cases = {
      {VideoMode::kLoop, {0, 1, 2, 3, 4, 0, 1, 2, 3, 4, 0, 1, 2, 3}},
      {VideoMode::kPingPong, {0, 1, 2, 3, 4, 3, 2, 1, 0, 1, 2, 3, 4, 3}},
      {VideoMode::kOnce, {0, 1, 2, 3, 4, B, B, B, B, B, B, B, B, B}}};
  for (const auto& [mode, want] : cases) {
    SCOPED_TRACE("mode " + std::to_string(int(mode)));
    Player player(32, 16);
    player.gen.SetMode(int(mode));
    ASSERT_TRUE(player.gen.LoadPath(clip));
    EXPECT_EQ(player.Play(14, 40000), want);
  }
}

TEST(VideoPlayer, PlaysAFolderInNameOrderAndSkipsWhatItCannotPlayWithAMessage) {
  QUOR_NEED_FFMPEG();
  const std::string folder = Folder("folder");
  ASSERT_TRUE(test::MakePatternClip(folder + "/b.mkv", 3, 20));
  ASSERT_TRUE(test::MakePatternClip(folder + "/a.mkv", 3));
  std::ofstream(folder + "/c-empty.mp4").flush();
  std::ofstream(folder + "/notes.txt") << "not a clip";
  std::ofstream(folder + "/e-text.mkv") << "not a clip either";
  ASSERT_EQ(::mkfifo((folder + "/d-pipe.mp4").c_str(), 0600), 0);
  const int B = kBlack;
  for (const auto& [mode, want] : std::vector<std::pair<VideoMode, std::vector<int>>>{
           {VideoMode::kLoop, {0, 1, 2, 20, 21, 22, 0, 1, 2, 20}}, {VideoMode::kOnce, {0, 1, 2, 20, 21, 22, B, B}}}) {
    Player player(32, 16);
    test::ConsoleCapture console(player.harness.console);
    player.gen.SetMode(int(mode));
    ASSERT_TRUE(player.gen.LoadPath(folder));
    test::FinishesWithin(60000, "the folder playlist", [&] { EXPECT_EQ(player.Play(int(want.size()), 40000), want); });
    EXPECT_TRUE(test::Eventually([&] { return console.Count("Video Player: ") == 3; })) << console.Text();
    EXPECT_EQ(console.Count("c-empty.mp4: the file is empty"), 1) << console.Text();  // once, not every round
    EXPECT_EQ(console.Count("d-pipe.mp4: it is not a regular file"), 1) << console.Text();
    EXPECT_EQ(console.Count("cannot play " + folder + "/e-text.mkv: not a video file"), 1) << console.Text();
    EXPECT_EQ(player.gen.refusedClips(), 2);
  }
}

TEST(VideoPlayer, PlacesTheClipLikeTheImageViewer) {
  QUOR_NEED_FFMPEG();
  // 64 x 32: the left quarter red, the rest green; on a 32 x 32 matrix.
  const std::string clip = Folder("placement") + "/split.mkv";
  ASSERT_TRUE(test::Ffmpeg("-f lavfi -i \"color=s=64x32:r=25,format=gbrp,geq=r='if(lt(X,16),255,0)':"
                           "g='if(lt(X,16),0,255)':b=0\" -frames:v 2 -c:v ffv1 -pix_fmt gbrp",
                           clip));
  const Rgb red{255, 0, 0}, green{0, 255, 0}, black{};
  struct Case {
    VideoPlacement placement;
    Rgb topLeft, midLeft, midRight, bottomRight;  // pixels (3, 3), (3, 16), (20, 16), (28, 28)
  };
  for (const Case c : {Case{VideoPlacement::kKeepAspect, black, red, green, black},  // 32 x 16 in rows 8..23
                       Case{VideoPlacement::kStretch, red, red, green, green},
                       Case{VideoPlacement::kZoom, green, green, green, green}}) {  // columns 16..47 of the clip
    SCOPED_TRACE("placement " + std::to_string(int(c.placement)));
    Player player(32, 32);
    player.gen.SetPlacement(int(c.placement));
    ASSERT_TRUE(player.gen.LoadPath(clip));
    player.Play(1, 40000);
    EXPECT_EQ(player.At(3, 3), c.topLeft);
    EXPECT_EQ(player.At(3, 16), c.midLeft);
    EXPECT_EQ(player.At(20, 16), c.midRight);
    EXPECT_EQ(player.At(28, 28), c.bottomRight);
  }
}

TEST(VideoPlayer, SettingsBlockChangesStartTheClipAgainAndEmptyShowsBlack) {
  QUOR_NEED_FFMPEG();
  const std::string clip = Folder("restart") + "/pattern.mkv";
  ASSERT_TRUE(test::MakePatternClip(clip, 10));
  Player player(32, 16);
  ASSERT_TRUE(player.gen.LoadPath(clip));
  EXPECT_EQ(player.Play(4, 40000), (std::vector<int>{0, 1, 2, 3}));
  SettingsBlock block{};
  player.gen.ExchangeSettings(block, SettingsDirection::kStore);
  player.gen.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(player.Play(2, 40000), (std::vector<int>{0, 1}));
  EXPECT_FALSE(player.gen.LoadPath(std::string(255, 'x')));  // the block holds 254 characters
  block.fill(0);
  player.gen.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(player.Play(2, 40000), (std::vector<int>{kBlack, kBlack}));
}

TEST(VideoPlayer, LoadLooksAtTheChoiceBeforeAnythingChanges) {
  const std::string dir = Folder("check");
  ASSERT_EQ(::mkfifo((dir + "/pipe.mp4").c_str(), 0600), 0);
  std::ofstream(dir + "/notes.txt") << "not a clip";
  const DialogControl* load = FindControl(kVideoPlayerDialog, 2);
  ASSERT_TRUE(load != nullptr && load->check != nullptr);
  test::FinishesWithin(10000, "the FIFO check", [&] {
    EXPECT_EQ(load->check(dir + "/pipe.mp4", false), "Cannot play " + dir + "/pipe.mp4: it is not a regular file.");
  });
  EXPECT_EQ(load->check(dir, true), "There is no video file in the folder " + dir + ".");
  EXPECT_EQ(load->check(std::string(255, 'a'), false), "File name too long.");
}

// Real files of every kind the decoder must turn away, each with its reason.
TEST(VideoDecoder, RefusesWhatItCannotPlayWithAReason) {
  QUOR_NEED_FFMPEG();
  const std::string dir = Folder("refused");
  std::ofstream(dir + "/empty.mp4").flush();
  ASSERT_EQ(::mkfifo((dir + "/pipe.mp4").c_str(), 0600), 0);
  std::ofstream(dir + "/text.mp4") << "this is no video at all, just a few words";
  ASSERT_TRUE(test::Ffmpeg("-f lavfi -i sine=d=0.2", dir + "/sound.wav"));
  ASSERT_TRUE(test::Ffmpeg("-f lavfi -i color=s=7696x8:r=25 -frames:v 1 -c:v ffv1", dir + "/wide.mkv"));
  // MP4 keeps its index at the end: cut short, the file has none.
  ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc2=s=160x90:r=25 -frames:v 25 -c:v libx264 -pix_fmt yuv420p",
                           dir + "/whole.mp4"));
  std::vector<uint8_t> whole = test::ReadFileBytes(dir + "/whole.mp4");
  std::ofstream(dir + "/cut.mp4", std::ios::binary).write(reinterpret_cast<const char*>(whole.data()), long(whole.size() / 2));
  const std::pair<const char*, const char*> cases[] = {
      {"empty.mp4", "the file is empty"},
      {"pipe.mp4", "it is not a regular file"},
      {"", "it is not a regular file"},  // the folder itself
      {"missing.mp4", "the file cannot be read"},
      {"text.mp4", "not a video file"},
      {"sound.wav", "the file holds no video stream"},
      {"wide.mkv", "the picture size 7696 x 8 is not supported"},
      {"cut.mp4", "not a video file"},
  };
  for (const auto& [name, reason] : cases) {
    test::FinishesWithin(10000, name, [&] {  // a FIFO must not block the open
      const std::string error = ProbeVideoFile(dir + "/" + name);
      EXPECT_NE(error.find(reason), std::string::npos) << name << ": " << error;
    });
  }
  EXPECT_EQ(ProbeVideoFile(dir + "/whole.mp4"), "");
}

TEST(VideoDecoder, SkipsDamagedFramesAndEndsCleanlyOnATruncatedStream) {
  QUOR_NEED_FFMPEG();
  const std::string dir = Folder("damaged");
  // MPEG-TS carries on after damage; one key frame every 10 frames.
  ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc2=s=320x180:r=25 -frames:v 50 -c:v libx264 -g 10 -pix_fmt yuv420p",
                           dir + "/clip.ts"));
  const std::vector<uint8_t> good = test::ReadFileBytes(dir + "/clip.ts");
  ASSERT_GT(good.size(), 20000u);
  std::vector<uint8_t> damaged = good;
  for (size_t at : {good.size() / 4, good.size() / 2, good.size() * 3 / 4})
    for (size_t i = at; i < at + 2000; ++i) damaged[i] = uint8_t(i * 131 + 7);
  const std::vector<uint8_t> truncated(good.begin(), good.begin() + long(good.size() * 6 / 10));
  struct Case {
    const char* name;
    const std::vector<uint8_t>* bytes;
    int fewest, most;
  };
  for (const Case c : {Case{"good", &good, 50, 50}, Case{"damaged", &damaged, 20, 50},
                       Case{"truncated", &truncated, 15, 40}}) {
    VideoDecoder decoder;
    ASSERT_EQ(decoder.OpenBytes(*c.bytes), "") << c.name;
    std::vector<uint8_t> pixels(16 * 16 * 3);
    VideoFrameTiming timing;
    int frames = 0;
    int64_t lastStart = -1;
    while (decoder.Next(timing)) {
      decoder.Convert({16, 16, VideoPlacement::kStretch}, pixels);
      EXPECT_GT(timing.startUs, lastStart) << c.name;  // play order stays monotonic across the damage
      lastStart = timing.startUs;
      ++frames;
    }
    EXPECT_GE(frames, c.fewest) << c.name;
    EXPECT_LE(frames, c.most) << c.name;
  }
}

}  // namespace
}  // namespace quor

// The real binary on a small (1024 x 768) and a large (2560 x 1440) screen with a window manager (openbox): every
// window opens wholly on the screen, the main window resizes with its previews and opens again at the size it was
// left at, show mode goes full screen and back, and help opened from a modal dialog takes keys.
#include <QImage>

#include "show/show.h"
#include "tests/app/windowed_support.h"

namespace quor {
namespace {

using test::ReadWholeFile;
constexpr const char* kTitle = test::kMainTitle;
constexpr const char* kShowMode = "Quor! - LED Matrix Control - ShowMode";
constexpr const char* kHelp = "Quor! Help";

// Thirty scenes and a chase (show mode has many buttons) and the show window where the issue saw it: 358 x 479 with
// its title bar above the screen.
void WriteStartProject(const std::string& path) {
  Engine setup(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
  for (int i = 0; i < 30; ++i) ASSERT_TRUE(setup.show().sceneList().Add("Scene " + std::to_string(i)));
  ASSERT_TRUE(setup.show().chases().InsertChase(0, "X"));
  WindowLayout layout = setup.windowLayout();
  layout.showWindow = {0, -25, 358, 479, 100, 50};
  setup.SetWindowLayout(layout);
  ASSERT_EQ(SaveProject(setup, path).status, ProjectFileStatus::kDone);
}

// The widths of the runs of at least 100 pixels on row `y` of `picture` that differ from the colour at (2, y): the
// previews, between the window's own background.
std::vector<int> WideRuns(const QImage& picture, int y) {
  const QRgb background = picture.pixel(2, y);
  std::vector<int> runs;
  int run = 0;
  for (int x = 0; x <= picture.width(); ++x) {
    if (x < picture.width() && picture.pixel(x, y) != background) {
      ++run;
      continue;
    }
    if (run >= 100) runs.push_back(run);
    run = 0;
  }
  return runs;
}

struct Screen {
  const char* xvfbScreen;
  int width, height;
};
// Names the screen in test output (and keeps the test names free of addresses).
void PrintTo(const Screen& screen, std::ostream* out) { *out << screen.xvfbScreen; }

class WindowedGeometry : public test::XvfbTest, public testing::WithParamInterface<Screen> {
 protected:
  WindowedGeometry() : XvfbTest(GetParam().xvfbScreen, true) {}
  bool Inside(const Frame& f) const {
    return f.width > 0 && f.left >= 0 && f.top >= 0 && f.right() <= GetParam().width && f.bottom() <= GetParam().height;
  }
  // Waits until the window `title` lies wholly on the screen (the window manager places asynchronously).
  testing::AssertionResult OnScreen(const std::string& title) {
    Frame f;
    if (test::WaitUntil([&] { return Inside(f = FrameOf(title)); }, std::chrono::seconds(5))) {
      return testing::AssertionSuccess();
    }
    Probe({"shot", dir_ + "/off_screen.png"});
    return testing::AssertionFailure() << title << " at " << f.left << "," << f.top << " " << f.width << "x" << f.height
                                       << " is not wholly on the " << GetParam().xvfbScreen << " screen (see " << dir_
                                       << "/off_screen.png)";
  }
  std::string ShotOf(const std::string& title) {
    const std::string shot = dir_ + "/" + title.substr(0, 4) + ".png";
    return Probe({"shot", shot, title}) == 0 ? shot : std::string();
  }
};

TEST_P(WindowedGeometry, EveryWindowFitsAndTheMainWindowResizes) {
  const Screen screen = GetParam();
  const bool large = screen.width > 2000;
  dir_ = test::FreshTestDir("windowed_geometry_" + std::to_string(screen.width));
  WriteStartProject(dir_ + "/start.qrx");
  const std::vector<std::string> command = {QUOR_BINARY, dir_ + "/start.qrx", "--config-dir=" + dir_};
  quor_ = test::Spawn(command, dir_ + "/quor.log");
  ASSERT_EQ(Probe({"wait", kTitle, "30000"}), 0) << ReadWholeFile(dir_ + "/quor.log");
  EXPECT_TRUE(OnScreen(kTitle));

  // At the default size the previews are as they always were (on the small screen the window scrolls: the
  // third is cut off at the window's right edge).
  const std::string before = ShotOf(kTitle);
  ASSERT_FALSE(before.empty());
  const std::vector<int> previews = WideRuns(QImage(QString::fromStdString(before)), 40);
  ASSERT_EQ(previews.size(), 3u) << before;
  EXPECT_EQ(std::pair(previews[0], previews[1]), std::pair(320, 320)) << before;
  EXPECT_EQ(previews[2] == 320, large) << before;

  // The list windows: docked beside the main window where the screen has room, else on top of it.
  ASSERT_TRUE(Steps({{"key", kTitle, "ffbf"}, {"wait", "Scenes"}, {"key", kTitle, "ffc0"}, {"wait", "Chases"}}));
  EXPECT_TRUE(OnScreen("Chases"));
  EXPECT_TRUE(OnScreen("Scenes"));
  if (large) {
    EXPECT_TRUE(test::WaitUntil([&] { return FrameOf("Chases").left == FrameOf(kTitle).right(); }, std::chrono::seconds(5)));
    EXPECT_TRUE(test::WaitUntil([&] { return FrameOf("Scenes").left == FrameOf("Chases").right(); }, std::chrono::seconds(5)));
  }

  // Resized like a user's drag: larger on the large screen (the previews grow), smaller on the small one.
  const int width = FrameOf(kTitle).width;
  // openbox drops a request now and then while it is busy: asked again until it takes.
  ASSERT_TRUE(test::WaitUntil([&] {
    Probe({"resize", kTitle, large ? "1900" : "800", large ? "1050" : "500"});
    return test::WaitUntil([&] { return FrameOf(kTitle).width != width; }, std::chrono::seconds(1));
  }, std::chrono::seconds(10))) << "the main window cannot be resized";
  EXPECT_TRUE(OnScreen(kTitle));
  EXPECT_TRUE(OnScreen("Chases"));
  EXPECT_TRUE(OnScreen("Scenes"));
  if (large) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // a refresh repaints the previews
    const std::string after = ShotOf(kTitle);
    const std::vector<int> grown = WideRuns(QImage(QString::fromStdString(after)), 40);
    ASSERT_EQ(grown.size(), 3u) << after;
    EXPECT_GT(grown[0], 500) << after;
  }
  const Frame resized = FrameOf(kTitle);

  // Help from the main window and from a modal dialog: on screen, and Escape closes it, so it takes keys.
  ASSERT_TRUE(Steps({{"key", kTitle, "ffbe"}, {"wait", kHelp}}));
  EXPECT_TRUE(OnScreen(kHelp));
  ASSERT_TRUE(Steps({{"key", kHelp, "Escape"}, {"gone", kHelp, "5000"}}));
  ASSERT_TRUE(Steps({{"key", kTitle, "alt+s", "m"}, {"wait", "Matrix Size"}, {"key", "Matrix Size", "ffbe"}, {"wait", kHelp}}));
  EXPECT_TRUE(OnScreen(kHelp));
  ASSERT_TRUE(Steps({{"key", kHelp, "End"}, {"key", kHelp, "Escape"}, {"gone", kHelp, "5000"}, {"wait", "Matrix Size"},
                     {"key", "Matrix Size", "Escape"}, {"gone", "Matrix Size"}}));

  // Show mode: on screen although the project put its title bar above it; F11 full screen, Escape back.
  ASSERT_TRUE(Steps({{"key", kTitle, "ffc8"}, {"wait", kShowMode}}));
  EXPECT_TRUE(OnScreen(kShowMode));
  const Frame windowed = FrameOf(kShowMode);
  EXPECT_GT(windowed.height, 479);  // grown to show its buttons
  ASSERT_TRUE(Steps({{"key", kShowMode, "ffc8"}}));
  EXPECT_TRUE(test::WaitUntil([&] {
    const Frame f = FrameOf(kShowMode);
    return f.width == screen.width && f.height == screen.height;
  }, std::chrono::seconds(5))) << "show mode did not go full screen";
  ASSERT_TRUE(Steps({{"key", kShowMode, "Escape"}}));
  EXPECT_TRUE(test::WaitUntil([&] { return FrameOf(kShowMode).width == windowed.width; }, std::chrono::seconds(5)));
  EXPECT_TRUE(OnScreen(kShowMode));
  ASSERT_TRUE(Steps({{"close", kShowMode}, {"gone", kShowMode}, {"wait", kTitle}}));

  ASSERT_EQ(Probe({"close", kTitle}), 0);
  ASSERT_EQ(test::WaitFor(std::exchange(quor_, -1), std::chrono::seconds(30)), 0) << ReadWholeFile(dir_ + "/quor.log");
  EXPECT_NE(ReadWholeFile(dir_ + "/windows.json").find("mainWindow"), std::string::npos);

  // The next start opens at the size the window was left at.
  quor_ = test::Spawn(command, dir_ + "/quor2.log");
  ASSERT_EQ(Probe({"wait", kTitle, "30000"}), 0) << ReadWholeFile(dir_ + "/quor2.log");
  EXPECT_TRUE(test::WaitUntil([&] {
    const Frame f = FrameOf(kTitle);
    return f.width == resized.width && f.height == resized.height;
  }, std::chrono::seconds(5))) << "not reopened at " << resized.width << "x" << resized.height;
  EXPECT_TRUE(OnScreen(kTitle));
  ASSERT_EQ(Probe({"close", kTitle}), 0);
  EXPECT_EQ(test::WaitFor(std::exchange(quor_, -1), std::chrono::seconds(30)), 0) << ReadWholeFile(dir_ + "/quor2.log");
}

INSTANTIATE_TEST_SUITE_P(Screens, WindowedGeometry,
                         testing::Values(Screen{"1024x768x24", 1024, 768}, Screen{"2560x1440x24", 2560, 1440}),
                         [](const testing::TestParamInfo<Screen>& info) {
                           return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

}  // namespace
}  // namespace quor

// Runs the real quor binary with its windows on a private Xvfb display:
// the window appears, a screenshot shows it, and a window-manager close
// request or SIGTERM ends it with one autosave.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "quor_run.h"
#include "test_support.h"
#include "tests/app/windowed_support.h"

namespace quor {
namespace {

using test::Count;
using test::ReadWholeFile;
using test::WaitFor;
constexpr const char* kTitle = test::kMainTitle;

class WindowedTest : public test::XvfbTest {
 protected:
  pid_t StartQuor() {
    return test::Spawn({QUOR_BINARY, std::string(QUOR_SOURCE_DIR) + "/share/demo.qrx", "-C1", "--config-dir=" + dir_},
                       dir_ + "/quor.log");
  }
};

TEST_F(WindowedTest, DemoShowOpensAWindowAndACloseRequestAutosavesOnce) {
  dir_ = test::FreshTestDir("windowed_close");
  const pid_t quor = StartQuor();
  ASSERT_EQ(Probe({"wait", kTitle, "15000"}), 0) << ReadWholeFile(dir_ + "/quor.log");
  // Let a few mix passes reach the previews.
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  const std::string shot = dir_ + "/main_window.png";
  ASSERT_EQ(Probe({"shot", shot, kTitle}), 0) << ReadWholeFile(dir_ + "/probe.log");
  QImage picture(QString::fromStdString(shot));
  ASSERT_FALSE(picture.isNull());
  EXPECT_EQ(picture.width(), 1046);
  // The centre preview shows the running demo, not only its grey margins.
  int coloured = 0;
  for (int y = 40; y < 200; y += 4) {
    for (int x = 370; x < 670; x += 4) {
      const QRgb p = picture.pixel(x, y);
      if (qRed(p) != qGreen(p) || qGreen(p) != qBlue(p)) ++coloured;
    }
  }
  EXPECT_GT(coloured, 100) << "the centre preview shows no picture; see " << shot;

  ASSERT_EQ(Probe({"close", kTitle}), 0);
  EXPECT_EQ(WaitFor(quor, std::chrono::seconds(10)), 0) << ReadWholeFile(dir_ + "/quor.log");
  const std::string log = ReadWholeFile(dir_ + "/quor.log");
  EXPECT_EQ(Count(log, "shutdown"), 1) << log;
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/autosave.dat")) << log;
  EXPECT_EQ(ReadWholeFile(dir_ + "/autosave.dat").substr(0, 4), "QRX!");
}

TEST_F(WindowedTest, SigtermEndsTheWindowedProgramWithAutosave) {
  dir_ = test::FreshTestDir("windowed_sigterm");
  const pid_t quor = StartQuor();
  ASSERT_EQ(Probe({"wait", kTitle, "15000"}), 0) << ReadWholeFile(dir_ + "/quor.log");
  kill(quor, SIGTERM);
  EXPECT_EQ(WaitFor(quor, std::chrono::seconds(10)), 0) << ReadWholeFile(dir_ + "/quor.log");
  EXPECT_EQ(Count(ReadWholeFile(dir_ + "/quor.log"), "shutdown"), 1);
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/autosave.dat"));
}

// Reads the little-endian 32-bit value at `at`.
uint32_t U32At(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
  return v;
}

TEST_F(WindowedTest, ChaseWindowPlayRecorderAndSceneWindowThroughTheRealBinary) {
  dir_ = test::FreshTestDir("windowed_show_windows");
  const std::string recording = dir_ + "/two.qrr";
  const pid_t quor = StartQuor();
  ASSERT_EQ(Probe({"wait", kTitle, "15000"}), 0) << ReadWholeFile(dir_ + "/quor.log");
  // Each step: a probe command and what it needs to succeed.
  const std::vector<std::vector<std::string>> steps = {
      {"key", kTitle, "ffc0"},                    // F3: the chase window
      {"wait", "Chases", "5000"},
      {"click", "Chases", "60", "20"},            // the first chase
      {"click", "Chases", "48", "-156"},          // "Play"
      {"key", kTitle, "ffbf"},                    // F2: the scene window
      {"wait", "Scenes", "5000"},
      {"click", "Scenes", "100", "-94"},          // the name box
      {"type", "Scenes", "Window Scene"},         // Return adds the scene
      {"key", kTitle, "ffc1"},                    // F4: the recorder
      {"wait", "Quor! File Recorder", "5000"},
      {"click", "Quor! File Recorder", "100", "69"},  // "Record"
  };
  for (const std::vector<std::string>& step : steps) {
    ASSERT_EQ(Probe(step), 0) << step[0] << " " << step[1] << ": " << ReadWholeFile(dir_ + "/probe.log");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  ASSERT_TRUE(ChooseFile("Record into File ...", recording)) << ReadWholeFile(dir_ + "/probe.log");
  std::this_thread::sleep_for(std::chrono::seconds(2));
  ASSERT_EQ(Probe({"click", "Quor! File Recorder", "230", "69"}), 0);  // "Stop"
  ASSERT_EQ(Probe({"close", kTitle}), 0);
  EXPECT_EQ(WaitFor(quor, std::chrono::seconds(10)), 0) << ReadWholeFile(dir_ + "/quor.log");

  const std::string log = ReadWholeFile(dir_ + "/quor.log");
  EXPECT_NE(log.find("Starting Chase: 0"), std::string::npos) << log;
  // Two seconds of frames at the recorded rate, give or take a loaded
  // machine (the clock may lag, the clicks take time): each frame is a 3-byte marker and width x height x 3 bytes.
  const std::string bytes = ReadWholeFile(recording);
  ASSERT_GE(bytes.size(), 18u) << "no recording; " << log;
  const uint32_t width = U32At(bytes, 6), height = U32At(bytes, 10), fps = U32At(bytes, 14);
  const size_t frameBytes = 3 + static_cast<size_t>(width) * height * 3;
  EXPECT_EQ((bytes.size() - 18) % frameBytes, 0u);
  const size_t frames = (bytes.size() - 18) / frameBytes;
  EXPECT_GE(frames, fps / 2) << frames << " frames at " << fps << " fps";
  EXPECT_LE(frames, 4 * fps) << frames << " frames at " << fps << " fps";
  EXPECT_NE(ReadWholeFile(dir_ + "/autosave.dat").find("Window Scene"), std::string::npos) << log;
}

TEST(WindowedStart, WithoutADisplayQuorSaysSoAndRunsHeadless) {
  const std::string dir = test::FreshTestDir("windowed_nodisplay");
  const test::ShellRun run = test::Shell(std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ") +
                                         QUOR_BINARY + " --seconds=1 --config-dir=" + dir);
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(Count(run.output, "running headless"), 1) << run.output;
  EXPECT_TRUE(std::filesystem::exists(dir + "/autosave.dat"));
}

}  // namespace
}  // namespace quor

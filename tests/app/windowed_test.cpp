// The real quor binary with its windows on a private Xvfb display.
#include <QImage>
#include <cstring>
#include <filesystem>

#include "tests/app/quor_run.h"
#include "tests/app/windowed_support.h"
#include "tests/output/udp_receiver.h"

namespace quor {
namespace {

using test::Count;
using test::ReadWholeFile;
using test::WaitFor;
constexpr const char* kTitle = test::kMainTitle;

class WindowedTest : public test::XvfbTest {
 protected:
  // Starts quor on the demo show and waits for its main window.
  testing::AssertionResult StartQuor() {
    quor_ = test::Spawn({QUOR_BINARY, std::string(QUOR_SOURCE_DIR) + "/share/demo.qrx", "-C1", "--config-dir=" + dir_},
                        dir_ + "/quor.log");
    return Steps({{"wait", kTitle, "15000"}});
  }
};

TEST_F(WindowedTest, DemoShowOpensAWindowAndACloseRequestAutosavesOnce) {
  dir_ = test::FreshTestDir("windowed_close");
  ASSERT_TRUE(StartQuor());
  std::this_thread::sleep_for(std::chrono::milliseconds(600));  // a few mix passes reach the previews
  const std::string shot = dir_ + "/main_window.png";
  ASSERT_EQ(Probe({"shot", shot, kTitle}), 0) << ReadWholeFile(dir_ + "/probe.log");
  const QImage picture(QString::fromStdString(shot));
  ASSERT_EQ(picture.width(), 1046);  // the main window's default width
  // The centre preview shows the running demo, not only its grey margins.
  int coloured = 0;
  for (int i = 0; i < 40 * 75; ++i) {
    const QRgb p = picture.pixel(370 + i % 75 * 4, 40 + i / 75 * 4);
    coloured += qRed(p) != qGreen(p) || qGreen(p) != qBlue(p) ? 1 : 0;
  }
  EXPECT_GT(coloured, 100) << "the centre preview shows no picture; see " << shot;

  ASSERT_EQ(Probe({"close", kTitle}), 0);
  EXPECT_EQ(WaitFor(std::exchange(quor_, -1), std::chrono::seconds(10)), 0);
  const std::string log = ReadWholeFile(dir_ + "/quor.log");
  EXPECT_EQ(Count(log, "shutdown"), 1) << log;
  EXPECT_EQ(ReadWholeFile(dir_ + "/autosave.dat").substr(0, 4), "QRX!") << log;
}

// Under a window manager, as a user runs it: the scene and chase windows
// open and the scene shown when the power went come back with the show, and
// the restart sends the same bytes as before the cut.
class WindowedResumeTest : public test::XvfbTest {
 protected:
  WindowedResumeTest() : XvfbTest("1400x900x24", true) {}
};

TEST_F(WindowedResumeTest, OpenWindowsAndTheOutputComeBackAfterAPowerCut) {
  dir_ = test::FreshTestDir("windowed_resume");
  const std::string show = dir_ + "/show.qrx";
  test::UdpReceiver receiver;
  test::SaveTwoColourShow(show, receiver.port());
  const std::vector<uint8_t> amber{200, 100, 0, 0, 0, 0};
  quor_ = test::Spawn({QUOR_BINARY, show, "-S2", "--config-dir=" + dir_}, dir_ + "/quor.log");
  ASSERT_TRUE(Steps({{"wait", kTitle, "15000"},
                     {"key", kTitle, "ffc0"},  // F3
                     {"wait", "Chases", "5000"},
                     {"key", kTitle, "ffbf"},  // F2
                     {"wait", "Scenes", "5000"}},
                    std::chrono::milliseconds(300)));
  EXPECT_TRUE(receiver.ReceivesArtNet(amber, std::chrono::seconds(10))) << ReadWholeFile(dir_ + "/quor.log");
  EXPECT_TRUE(test::WaitUntil(
      [&] {
        const std::string kept = ReadWholeFile(show + ".json");
        return kept.find("\"scenes\": true") != std::string::npos && kept.find("\"chases\": true") != std::string::npos &&
               kept.find("\"outputsRunning\": true") != std::string::npos;
      },
      std::chrono::seconds(5)))
      << ReadWholeFile(show + ".json");
  kill(quor_, SIGKILL);
  WaitFor(std::exchange(quor_, -1), std::chrono::seconds(5));
  ASSERT_TRUE(Steps({{"gone", kTitle, "5000"}}));
  receiver.ReceiveAll(100);

  // Without -S2: the project alone has its outputs stopped and no scene recalled.
  quor_ = test::Spawn({QUOR_BINARY, show, "--config-dir=" + dir_}, dir_ + "/again.log");
  ASSERT_TRUE(Steps({{"wait", kTitle, "15000"}, {"wait", "Scenes", "5000"}, {"wait", "Chases", "5000"}}));
  EXPECT_TRUE(receiver.ReceivesArtNet(amber, std::chrono::seconds(10))) << ReadWholeFile(dir_ + "/again.log");
  test::Datagram last;
  ASSERT_TRUE(receiver.Receive(last, 1000));
  EXPECT_EQ(test::UdpReceiver::ArtNetData(last), amber) << "the output moved on from the scene it came back with";
  ASSERT_EQ(Probe({"close", kTitle}), 0);
  EXPECT_EQ(WaitFor(std::exchange(quor_, -1), std::chrono::seconds(10)), 0) << ReadWholeFile(dir_ + "/again.log");
}

// No project and no autosave: the demo plays and a hint box stands beside
// the main window, which still takes keys.
TEST_F(WindowedTest, FirstStartShowsTheHintBesideThePlayingDemo) {
  dir_ = test::FreshTestDir("windowed_first_start");
  quor_ = test::Spawn({QUOR_BINARY, "--config-dir=" + dir_}, dir_ + "/quor.log");
  ASSERT_TRUE(Steps({{"wait", kTitle, "15000"},
                     {"wait", "Welcome to Quor", "5000"},
                     {"key", kTitle, "ffc0"},  // F3: the chase window, while the hint is open
                     {"wait", "Chases", "5000"}},
                    std::chrono::milliseconds(300)));
  ASSERT_EQ(Probe({"close", kTitle}), 0);
  EXPECT_EQ(WaitFor(std::exchange(quor_, -1), std::chrono::seconds(10)), 0);
  const std::string log = ReadWholeFile(dir_ + "/quor.log");
  EXPECT_NE(log.find("share/demo.qrx"), std::string::npos) << log;
  EXPECT_NE(log.find("Next Chase Step"), std::string::npos) << log;  // the demo's chase plays
}

TEST_F(WindowedTest, SigtermEndsTheWindowedProgramWithAutosave) {
  dir_ = test::FreshTestDir("windowed_sigterm");
  ASSERT_TRUE(StartQuor());
  kill(quor_, SIGTERM);
  EXPECT_EQ(WaitFor(std::exchange(quor_, -1), std::chrono::seconds(10)), 0) << ReadWholeFile(dir_ + "/quor.log");
  EXPECT_EQ(Count(ReadWholeFile(dir_ + "/quor.log"), "shutdown"), 1);
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/autosave.dat"));
}

TEST_F(WindowedTest, ChaseWindowPlayRecorderAndSceneWindowThroughTheRealBinary) {
  dir_ = test::FreshTestDir("windowed_show_windows");
  const std::string recording = dir_ + "/two.qrr";
  ASSERT_TRUE(StartQuor());
  ASSERT_TRUE(Steps({
      {"key", kTitle, "ffc0"},                    // F3: the chase window
      {"wait", "Chases", "5000"},
      {"click", "Chases", "60", "20"},            // the first chase, running since -C1
      {"click", "Chases", "115", "-156"},         // "Stop"
      {"click", "Chases", "48", "-156"},          // "Play"
      {"key", kTitle, "ffbf"},                    // F2: the scene window
      {"wait", "Scenes", "5000"},
      {"click", "Scenes", "100", "-94"},          // the name box
      {"type", "Scenes", "Window Scene"},         // Return adds the scene
      {"key", kTitle, "ffc1"},                    // F4: the recorder
      {"wait", "Quor! File Recorder", "5000"},
      {"click", "Quor! File Recorder", "100", "69"},  // "Record"
  }, std::chrono::milliseconds(300)));
  ASSERT_TRUE(ChooseFile("Record into File ...", recording)) << ReadWholeFile(dir_ + "/probe.log");
  std::this_thread::sleep_for(std::chrono::seconds(2));
  ASSERT_EQ(Probe({"click", "Quor! File Recorder", "230", "69"}), 0);  // "Stop"
  ASSERT_EQ(Probe({"close", kTitle}), 0);
  // The new scene is a change to demo.qrx: its question is answered with "Discard" (the autosave keeps it).
  ASSERT_TRUE(Steps({{"key", "Unsaved Changes", "alt+d"}, {"gone", "Unsaved Changes", "5000"}}));
  EXPECT_EQ(WaitFor(std::exchange(quor_, -1), std::chrono::seconds(10)), 0) << ReadWholeFile(dir_ + "/quor.log");

  const std::string log = ReadWholeFile(dir_ + "/quor.log");
  EXPECT_NE(log.find("Starting Chase: 0"), std::string::npos) << log;
  // About two seconds of frames (a loaded machine lags), each a 3-byte marker and the picture.
  const std::string bytes = ReadWholeFile(recording);
  ASSERT_GE(bytes.size(), 18u) << "no recording; " << log;
  uint32_t header[3];  // width, height, frames per second (little-endian, as this machine)
  std::memcpy(header, bytes.data() + 6, sizeof header);
  const uint32_t width = header[0], height = header[1], fps = header[2];
  const size_t frameBytes = 3 + static_cast<size_t>(width) * height * 3;
  const size_t frames = (bytes.size() - 18) / frameBytes;
  EXPECT_EQ(bytes.size(), 18 + frames * frameBytes);
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

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

namespace quor {
namespace {

constexpr const char* kTitle = "Quor! - LED Matrix Control";

pid_t Spawn(const std::vector<std::string>& argv, const std::string& logPath) {
  const pid_t pid = fork();
  if (pid == 0) {
    FILE* log = std::freopen(logPath.c_str(), "w", stdout);
    if (log) dup2(fileno(stdout), fileno(stderr));
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  return pid;
}

// Waits up to `timeout` for the child; returns its exit code or -1.
int WaitFor(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

int Count(const std::string& text, const std::string& needle) {
  int n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

// A private X server on a free display number, ended with the fixture.
class XvfbDisplay {
 public:
  // Tries display numbers until one Xvfb keeps running with its socket up;
  // tests running in parallel each get their own.
  XvfbDisplay() {
    for (int attempt = 0; attempt < 10 && display_.empty(); ++attempt) {
      const int number = 100 + (static_cast<int>(getpid()) * 7 + attempt * 13) % 800;
      char socket[64], lock[64], name[16];
      std::snprintf(socket, sizeof socket, "/tmp/.X11-unix/X%d", number);
      std::snprintf(lock, sizeof lock, "/tmp/.X%d-lock", number);
      std::snprintf(name, sizeof name, ":%d", number);
      if (std::filesystem::exists(socket) || std::filesystem::exists(lock)) continue;
      pid_ = fork();
      if (pid_ == 0) {
        std::freopen("/dev/null", "w", stderr);
        execlp("Xvfb", "Xvfb", name, "-screen", "0", "1400x900x24", "-nolisten", "tcp", "-noreset",
               static_cast<char*>(nullptr));
        _exit(127);
      }
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
          pid_ = -1;
          break;
        }
        if (std::filesystem::exists(socket)) {
          display_ = name;
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      if (display_.empty() && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
      }
    }
  }
  ~XvfbDisplay() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& name() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

class WindowedTest : public testing::Test {
 protected:
  void SetUp() override {
    if (const char* display = std::getenv("DISPLAY")) oldDisplay_ = display;
    ASSERT_FALSE(x_.name().empty()) << "Xvfb did not start: install it with tools/deps --test";
    setenv("DISPLAY", x_.name().c_str(), 1);
    unsetenv("QT_QPA_PLATFORM");
    unsetenv("WAYLAND_DISPLAY");
  }
  void TearDown() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (oldDisplay_.empty()) {
      unsetenv("DISPLAY");
    } else {
      setenv("DISPLAY", oldDisplay_.c_str(), 1);
    }
  }
  int Probe(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {QUOR_X11_PROBE};
    argv.insert(argv.end(), args.begin(), args.end());
    return WaitFor(Spawn(argv, dir_ + "/probe.log"), std::chrono::seconds(20));
  }
  pid_t StartQuor() {
    return Spawn({QUOR_BINARY, std::string(QUOR_SOURCE_DIR) + "/share/demo.qrx", "-C1", "--config-dir=" + dir_},
                 dir_ + "/quor.log");
  }
  XvfbDisplay x_;
  std::string dir_;
  std::string oldDisplay_;
};

TEST_F(WindowedTest, DemoShowOpensAWindowAndACloseRequestAutosavesOnce) {
  dir_ = test::FreshTestDir("windowed_close");
  const pid_t quor = StartQuor();
  ASSERT_EQ(Probe({"wait", kTitle, "15000"}), 0) << ReadFile(dir_ + "/quor.log");
  // Let a few mix passes reach the previews.
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  const std::string shot = dir_ + "/main_window.png";
  ASSERT_EQ(Probe({"shot", shot, kTitle}), 0) << ReadFile(dir_ + "/probe.log");
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
  EXPECT_EQ(WaitFor(quor, std::chrono::seconds(10)), 0) << ReadFile(dir_ + "/quor.log");
  const std::string log = ReadFile(dir_ + "/quor.log");
  EXPECT_EQ(Count(log, "shutdown"), 1) << log;
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/autosave.dat")) << log;
  EXPECT_EQ(ReadFile(dir_ + "/autosave.dat").substr(0, 4), "QRX!");
}

TEST_F(WindowedTest, SigtermEndsTheWindowedProgramWithAutosave) {
  dir_ = test::FreshTestDir("windowed_sigterm");
  const pid_t quor = StartQuor();
  ASSERT_EQ(Probe({"wait", kTitle, "15000"}), 0) << ReadFile(dir_ + "/quor.log");
  kill(quor, SIGTERM);
  EXPECT_EQ(WaitFor(quor, std::chrono::seconds(10)), 0) << ReadFile(dir_ + "/quor.log");
  EXPECT_EQ(Count(ReadFile(dir_ + "/quor.log"), "shutdown"), 1);
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
  ASSERT_EQ(Probe({"wait", kTitle, "15000"}), 0) << ReadFile(dir_ + "/quor.log");
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
      {"wait", "Record into File ...", "5000"},
      {"type", "Record into File ...", recording},
  };
  for (const std::vector<std::string>& step : steps) {
    ASSERT_EQ(Probe(step), 0) << step[0] << " " << step[1] << ": " << ReadFile(dir_ + "/probe.log");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));
  ASSERT_EQ(Probe({"click", "Quor! File Recorder", "230", "69"}), 0);  // "Stop"
  ASSERT_EQ(Probe({"close", kTitle}), 0);
  EXPECT_EQ(WaitFor(quor, std::chrono::seconds(10)), 0) << ReadFile(dir_ + "/quor.log");

  const std::string log = ReadFile(dir_ + "/quor.log");
  EXPECT_NE(log.find("Starting Chase: 0"), std::string::npos) << log;
  // Two seconds of frames at the recorded rate, give or take a loaded
  // machine (the clock may lag, the clicks take time): each frame is a 3-byte marker and width x height x 3 bytes.
  const std::string bytes = ReadFile(recording);
  ASSERT_GE(bytes.size(), 18u) << "no recording; " << log;
  const uint32_t width = U32At(bytes, 6), height = U32At(bytes, 10), fps = U32At(bytes, 14);
  const size_t frameBytes = 3 + static_cast<size_t>(width) * height * 3;
  EXPECT_EQ((bytes.size() - 18) % frameBytes, 0u);
  const size_t frames = (bytes.size() - 18) / frameBytes;
  EXPECT_GE(frames, fps / 2) << frames << " frames at " << fps << " fps";
  EXPECT_LE(frames, 4 * fps) << frames << " frames at " << fps << " fps";
  EXPECT_NE(ReadFile(dir_ + "/autosave.dat").find("Window Scene"), std::string::npos) << log;
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

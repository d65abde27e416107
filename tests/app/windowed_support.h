// Helpers of the whole-program tests on a private Xvfb display, driven by quor_x11_probe.
#pragma once

#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <utility>

#include "tests/app/quor_run.h"

namespace quor::test {

inline constexpr const char* kMainTitle = "Quor! - LED Matrix Control";

// Polls `condition` every 50 ms until it holds or `timeout` has passed.
inline bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (; !condition(); std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
  }
  return true;
}

// The child's exit code, or -1 after killing it when it did not end within `timeout`.
inline int WaitFor(pid_t pid, std::chrono::milliseconds timeout) {
  int status = 0;
  if (WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, timeout)) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

// A private X server on a display number it picks itself, ended with the fixture. -noreset keeps the screen as it
// is when a client disconnects.
class XvfbDisplay {
 public:
  explicit XvfbDisplay(const std::string& screen = "1400x900x24") {
    int ready[2];
    if (pipe(ready) != 0) return;
    pid_ = Spawn({"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0", screen, "-nolisten", "tcp",
                  "-noreset"}, "/dev/null");
    close(ready[1]);
    pollfd wait{ready[0], POLLIN, 0};
    char number[16] = {};
    if (poll(&wait, 1, 10000) == 1 && read(ready[0], number, sizeof number - 1) > 0) {
      // Formatted into a buffer: GCC 12 at -O3 wrongly reports string concatenation here as an overlapping copy.
      char name[16];
      std::snprintf(name, sizeof name, ":%d", std::atoi(number));
      display_ = name;
    }
    close(ready[0]);
  }
  ~XvfbDisplay() {
    if (pid_ > 0) kill(pid_, SIGTERM), waitpid(pid_, nullptr, 0);
  }
  const std::string& name() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// Points DISPLAY at a private Xvfb and runs the probe; the test sets dir_ first. A fixture picks the screen
// size and whether a window manager (openbox) runs on it in its constructor.
class XvfbTest : public testing::Test {
 protected:
  explicit XvfbTest(std::string screen = "1400x900x24", bool windowManager = false)
      : x_(screen), windowManager_(windowManager) {}
  ~XvfbTest() override {
    if (quor_ > 0) WaitFor(quor_, std::chrono::milliseconds(0));  // kills a quor a failed step left running
    if (openbox_ > 0) kill(openbox_, SIGTERM), waitpid(openbox_, nullptr, 0);
  }
  void SetUp() override {
    if (const char* display = std::getenv("DISPLAY")) oldDisplay_ = display;
    ASSERT_FALSE(x_.name().empty()) << "Xvfb did not start: install it with tools/deps --test";
    setenv("DISPLAY", x_.name().c_str(), 1);
    unsetenv("QT_QPA_PLATFORM"), unsetenv("WAYLAND_DISPLAY");
    if (!windowManager_) return;
    // A configuration of its own keeps the user's openbox settings out; the window manager is up once it has
    // announced itself on the root window.
    const std::string home = FreshTestDir("openbox_home");
    openbox_ = Spawn({"openbox", "--sm-disable"}, home + "/openbox.log", [home] {
      return setenv("HOME", home.c_str(), 1) == 0 && setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1) == 0;
    });
    ASSERT_EQ(WaitFor(Spawn({QUOR_X11_PROBE, "wm", "10000"}, home + "/probe.log"), std::chrono::seconds(15)), 0)
        << "openbox did not start: install it with tools/deps --test\n"
        << ReadWholeFile(home + "/openbox.log") << ReadWholeFile(home + "/probe.log");
  }
  void TearDown() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    oldDisplay_.empty() ? unsetenv("DISPLAY") : setenv("DISPLAY", oldDisplay_.c_str(), 1);
  }
  // Runs quor_x11_probe with `args`; its messages go to probe.log.
  int Probe(std::vector<std::string> args) {
    args.insert(args.begin(), QUOR_X11_PROBE);
    return WaitFor(Spawn(args, dir_ + "/probe.log"), std::chrono::seconds(30));
  }
  // The outer frame (title bar and borders included) of the window `title` as the probe reports it; an empty
  // rectangle when there is no such window.
  struct Frame {
    int left = 0, top = 0, width = 0, height = 0;
    int right() const { return left + width; }
    int bottom() const { return top + height; }
  };
  Frame FrameOf(const std::string& title) {
    Frame frame;
    if (Probe({"frame", title}) != 0) return frame;
    std::sscanf(ReadWholeFile(dir_ + "/probe.log").c_str(), "%d %d %d %d", &frame.left, &frame.top, &frame.width,
                &frame.height);
    return frame;
  }
  // Runs the probe steps, `pause` apart; "wait" and "gone" without a timeout allow 20 s, input first waits for its
  // window. The first that fails is named, with a screenshot and the logs.
  testing::AssertionResult Steps(const std::vector<std::vector<std::string>>& steps,
                                 std::chrono::milliseconds pause = std::chrono::milliseconds(0)) {
    for (std::vector<std::string> step : steps) {
      if ((step[0] == "wait" || step[0] == "gone") && step.size() == 2) step.push_back("20000");
      const bool input = step[0] == "key" || step[0] == "click" || step[0] == "type";
      std::this_thread::sleep_for(pause);
      if ((!input || Probe({"wait", step[1], "20000"}) == 0) && Probe(step) == 0) continue;
      const std::string log = ReadWholeFile(dir_ + "/probe.log");
      Probe({"shot", dir_ + "/failed_step.png"});
      return testing::AssertionFailure() << "step \"" << step[0] << " " << step[1] << "\" failed: " << log
                                         << "(screen in " << dir_ << "/failed_step.png)\n"
                                         << ReadWholeFile(dir_ + "/quor.log");
    }
    return testing::AssertionSuccess();
  }
  // Types `path` into the file dialog `title` and confirms it; the completer may take a
  // Return for itself, so Return is repeated until the dialog has gone.
  bool ChooseFile(const std::string& title, const std::string& path) {
    if (Probe({"wait", title, "10000"}) != 0 || Probe({"type", title, path}) != 0) return false;
    for (int attempt = 0; attempt < 5; ++attempt) {
      if (Probe({"gone", title, "3000"}) == 0) return true;
      Probe({"key", title, "Return"});
    }
    return Probe({"gone", title, "3000"}) == 0;
  }
  XvfbDisplay x_;
  bool windowManager_ = false;
  pid_t openbox_ = -1;
  pid_t quor_ = -1;
  std::string dir_;
  std::string oldDisplay_;
};

}  // namespace quor::test

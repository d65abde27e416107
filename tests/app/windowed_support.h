// Helpers of the whole-program tests that run the real quor binary on a
// private Xvfb display and drive it with quor_x11_probe.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/quor_run.h"

namespace quor::test {

inline constexpr const char* kMainTitle = "Quor! - LED Matrix Control";

// Waits up to `timeout` for the child; returns its exit code, or -1 after
// killing it when it did not end in time.
inline int WaitFor(pid_t pid, std::chrono::milliseconds timeout) {
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

// Polls `condition` every 50 ms until it holds or `timeout` has passed.
inline bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

inline int Count(const std::string& text, const std::string& needle) {
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

// Points DISPLAY at a private Xvfb for the test and runs the probe; the
// test sets dir_ (its folder for logs and files) first.
class XvfbTest : public testing::Test {
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
  // Runs quor_x11_probe with `args`; its messages go to probe.log.
  int Probe(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {QUOR_X11_PROBE};
    argv.insert(argv.end(), args.begin(), args.end());
    return WaitFor(Spawn(argv, dir_ + "/probe.log"), std::chrono::seconds(30));
  }
  // Types `path` into the file dialog titled `title` and confirms it. The
  // dialog's completer may open its list while the path is typed and take
  // a Return for itself, so Return is repeated until the dialog has gone.
  bool ChooseFile(const std::string& title, const std::string& path) {
    if (Probe({"wait", title, "10000"}) != 0 || Probe({"type", title, path}) != 0) return false;
    for (int attempt = 0; attempt < 5; ++attempt) {
      if (Probe({"gone", title, "3000"}) == 0) return true;
      Probe({"key", title, "Return"});
    }
    return Probe({"gone", title, "3000"}) == 0;
  }
  XvfbDisplay x_;
  std::string dir_;
  std::string oldDisplay_;
};

}  // namespace quor::test

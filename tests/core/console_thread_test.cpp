// The console from several threads while standard output is stalled; the
// ThreadSanitizer build runs this.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "core/console.h"

namespace quor {
namespace {

// Standard output replaced by a pipe that nobody reads until Release.
class StalledStdout {
 public:
  StalledStdout() {
    std::fflush(stdout);
    int fds[2];
    EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    readEnd_ = fds[0];
    saved_ = ::dup(STDOUT_FILENO);
    ::dup2(fds[1], STDOUT_FILENO);  // from now on the pipe's only write end
    ::close(fds[1]);
  }
  ~StalledStdout() {
    TakeAll();
    ::close(readEnd_);
  }
  // Starts reading everything that arrives (any thread, first call counts).
  void Release() {
    std::call_once(started_, [this] {
      reader_ = std::thread([this] {
        char buffer[65536];
        for (ssize_t n; (n = ::read(readEnd_, buffer, sizeof buffer)) > 0;) {
          std::lock_guard lock(mutex_);
          text_.append(buffer, static_cast<size_t>(n));
        }
      });
    });
  }
  // Puts standard output back and returns all that was written to the pipe.
  std::string TakeAll() {
    Release();
    if (saved_ >= 0) {
      ::dup2(saved_, STDOUT_FILENO);  // closes the pipe's write end
      ::close(saved_);
      saved_ = -1;
    }
    if (reader_.joinable()) reader_.join();
    std::lock_guard lock(mutex_);
    return text_;
  }

 private:
  int readEnd_ = -1;
  int saved_ = -1;
  std::once_flag started_;
  std::thread reader_;
  std::mutex mutex_;
  std::string text_;
};

TEST(Console, AStalledStandardOutputBlocksNoWriterAndDroppedLinesAreCounted) {
  Console console;  // this thread drains
  StalledStdout stalled;
  std::atomic<bool> finished{false};
  std::atomic<bool> hadToRelease{false};
  std::thread watchdog([&] {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!finished.load() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!finished.load()) {
      hadToRelease.store(true);
      stalled.Release();  // lets a blocked writer go on, so the test ends
    }
  });
  // Far more than the pipe and the queue hold, from a second thread (the
  // clock thread's part) and from the draining thread itself.
  std::thread clock([&] {
    for (int i = 0; i < 20000; ++i) console.Print("Next Chase Step: %d\n", i);
  });
  for (int i = 0; i < 5000; ++i) {
    console.Print("FPS: %d.000000\n", i);
    console.Drain();
  }
  clock.join();
  finished.store(true);
  watchdog.join();
  EXPECT_FALSE(hadToRelease.load()) << "writing to the console waited for standard output";
  EXPECT_GT(console.droppedLines(), 0u);

  // Once the output is read again, the queued lines arrive whole, with one
  // line telling how many were dropped.
  stalled.Release();
  console.Flush(2000);
  const std::string text = stalled.TakeAll();
  std::istringstream lines(text);
  int notices = 0;
  int kept = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Console: ", 0) == 0) {
      EXPECT_NE(line.find("lines dropped"), std::string::npos) << line;
      ++notices;
    } else {
      EXPECT_TRUE(line.rfind("Next Chase Step: ", 0) == 0 || line.rfind("FPS: ", 0) == 0) << line;
      ++kept;
    }
  }
  EXPECT_GE(notices, 1);
  EXPECT_GT(kept, 1000);
}

}  // namespace
}  // namespace quor

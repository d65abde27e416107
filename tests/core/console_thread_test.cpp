// The console from several threads while standard output is stalled (run under TSan).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>
#include <thread>

#include "core/console.h"
#include "test_support.h"

namespace quor {
namespace {

TEST(Console, AStalledStandardOutputBlocksNoWriterAndDroppedLinesAreCounted) {
  Console console;
  // Standard output becomes a pipe that nobody reads for now.
  std::fflush(stdout);
  int pipeFds[2];
  ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
  const int saved = ::dup(STDOUT_FILENO);
  ::dup2(pipeFds[1], STDOUT_FILENO);
  ::close(pipeFds[1]);

  // Far more than pipe and queue hold, from a second thread and the draining one.
  test::FinishesWithin(5000, "writing to the console while standard output is stalled", [&] {
    console.MakeDrainThread();
    std::thread clock([&] {
      for (int i = 0; i < 20000; ++i) console.Print("Next Chase Step: %d\n", i);
    });
    for (int i = 0; i < 5000; ++i) {
      console.Print("FPS: %d.000000\n", i);
      console.Drain();
    }
    clock.join();
  });
  EXPECT_GT(console.droppedLines(), 0u);

  // Read again, the queued lines arrive whole, with a line telling how many were dropped.
  std::string text;
  std::thread reader([&] {
    char buffer[65536];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  });
  console.Flush(2000);
  ::dup2(saved, STDOUT_FILENO);  // closes the pipe's last write end: the reader ends
  ::close(saved);
  reader.join();
  ::close(pipeFds[0]);
  std::istringstream lines(text);
  int notices = 0, kept = 0;
  for (std::string line; std::getline(lines, line);) {
    const bool notice = line.rfind("Console: ", 0) == 0;
    EXPECT_TRUE(notice ? line.find("lines dropped") != std::string::npos
                       : line.rfind("Next Chase Step: ", 0) == 0 || line.rfind("FPS: ", 0) == 0) << line;
    ++(notice ? notices : kept);
  }
  EXPECT_GE(notices, 1);
  EXPECT_GT(kept, 1000);
}

}  // namespace
}  // namespace quor

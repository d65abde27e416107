// Runs the real quor binary headless and checks what it leaves behind.
#include <gtest/gtest.h>

#include <QImage>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "test_support.h"

namespace quor {
namespace {

struct RunResult {
  int exitCode = -1;
  std::string output;
};

RunResult RunQuor(const std::string& args) {
  RunResult result;
  const std::string command = std::string(QUOR_BINARY) + " " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  const int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

TEST(Headless, RunsForTheGivenTimeAndWritesAScaledSnapshot) {
  const std::string dir = test::FreshTestDir("headless_snapshot");
  const std::string png = dir + "/out.png";
  RunResult run = RunQuor("--headless --seconds=1 --matrix=64x16 --slot=0:0 --snapshot=" + png + " -x");
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("Parsing command line ..."), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("shutdown"), std::string::npos) << run.output;
  QImage image(QString::fromStdString(png));
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.width(), 320);  // 64 x 5
  EXPECT_EQ(image.height(), 80);
  EXPECT_EQ(image.pixel(10, 10) & 0xFFFFFF, 0u);  // all slots blackout
}

TEST(Headless, StopsInOrderOnSigterm) {
  const std::string dir = test::FreshTestDir("headless_sigterm");
  const std::string png = dir + "/out.png";
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const std::string snapshot = "--snapshot=" + png;
    execl(QUOR_BINARY, QUOR_BINARY, "--headless", snapshot.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(std::filesystem::exists(png));
}

TEST(Headless, BadOptionsAreRefusedWithUsage) {
  RunResult run = RunQuor("--headless --matrix=500x2");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.output.find("Usage:"), std::string::npos);
  RunResult help = RunQuor("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.output.find("--snapshot=FILE"), std::string::npos);
}

}  // namespace
}  // namespace quor

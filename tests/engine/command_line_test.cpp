#include "engine/command_line.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace quor {
namespace {

TEST(CommandLine, ClassicSwitchesAndFileNamesWithTheirConsoleLines) {
  Console console;
  test::ConsoleCapture capture(console);
  CommandLine line = ParseCommandLine({"first.qrx", "-s3", "-C12", "-x", "-m", "-P", "-S", "3", "last.qrx"}, console);
  EXPECT_EQ(line.loadPath, "last.qrx");
  EXPECT_EQ(line.autostartScene, 0);  // "-S" then "3": the number is not joined
  EXPECT_EQ(line.autostartChase, 12);
  EXPECT_TRUE(line.showMode);
  EXPECT_TRUE(line.limitTo20Fps);
  EXPECT_FALSE(line.headless);
  EXPECT_EQ(capture.Text(),
            "-Filename to load: first.qrx\n"
            "-Autostart-Scene: 3\n"
            "-Autostart-Chaser: 12\n"
            "-Starting with active Showmode\n"
            "-limit output to 20fps\n"
            "-Autostart-Scene: 0\n"
            "-Filename to load: 3\n"
            "-Filename to load: last.qrx\n");
}

TEST(CommandLine, SwitchNumbersParseLikeAtoi) {
  EXPECT_EQ(ParseSwitchNumber(""), 0);
  EXPECT_EQ(ParseSwitchNumber("abc"), 0);
  EXPECT_EQ(ParseSwitchNumber("7x"), 7);
  EXPECT_EQ(ParseSwitchNumber(" -2"), -2);
  EXPECT_EQ(ParseSwitchNumber("99999999999999999999"), 2147483647);
}

TEST(CommandLine, LongOptionsAndTheirErrors) {
  Console console;
  test::ConsoleCapture capture(console);
  CommandLine good = ParseCommandLine(
      {"--headless", "--seconds=3", "--matrix=64x16", "--slot=2:7", "--snapshot=a.png", "--config-dir=/tmp/q", "--what"},
      console);
  EXPECT_TRUE(good.errors.empty());
  EXPECT_TRUE(good.headless);
  EXPECT_EQ(good.seconds, 3);
  EXPECT_EQ(good.matrixWidth, 64);
  EXPECT_EQ(good.matrixHeight, 16);
  ASSERT_EQ(good.slotRequests.size(), 1u);
  EXPECT_EQ(good.slotRequests[0].slot, 2);
  EXPECT_EQ(good.slotRequests[0].type, 7);
  EXPECT_EQ(good.snapshotPath, "a.png");
  EXPECT_EQ(good.configDir, "/tmp/q");
  EXPECT_EQ(good.unknown, (std::vector<std::string>{"--what"}));
  EXPECT_EQ(capture.Text(), "");

  for (const char* bad : {"--seconds=-1", "--seconds=x", "--matrix=200x200", "--matrix=3x16", "--matrix=32",
                          "--slot=4:1", "--slot=1", "--slot=1:-3", "--snapshot="}) {
    EXPECT_EQ(ParseCommandLine({bad}, console).errors.size(), 1u) << bad;
  }
}

}  // namespace
}  // namespace quor

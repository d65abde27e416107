#include "engine/command_line.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace quor {
namespace {

// Switch numbers parse like atoi: trailing text ignored, overflow clamped.
TEST(CommandLine, ClassicSwitchesAndFileNamesWithTheirConsoleLines) {
  Console console;
  test::ConsoleCapture capture(console);
  CommandLine line = ParseCommandLine(
      {"first.qrx", "-s7x", "-C99999999999999999999", "-x", "-m", "-P", "-S", "3", "last.qrx"}, console);
  // "-S" then "3": the number is not joined.
  EXPECT_EQ(std::tuple(line.loadPath, line.autostartScene, line.autostartChase, line.showMode, line.limitTo20Fps,
                       line.headless),
            std::tuple("last.qrx", 0, 2147483647, true, true, false));
  EXPECT_EQ(capture.Text(),
            "-Filename to load: first.qrx\n"
            "-Autostart-Scene: 7\n"
            "-Autostart-Chaser: 2147483647\n"
            "-Starting with active Showmode\n"
            "-limit output to 20fps\n"
            "-Autostart-Scene: 0\n"
            "-Filename to load: 3\n"
            "-Filename to load: last.qrx\n");
}

TEST(CommandLine, LongOptionsAndTheirErrors) {
  Console console;
  test::ConsoleCapture capture(console);
  CommandLine good = ParseCommandLine(
      {"--headless", "--seconds=3", "--matrix=64x16", "--slot=2:7", "--snapshot=a.png", "--config-dir=/tmp/q", "--what"},
      console);
  EXPECT_TRUE(good.errors.empty());
  EXPECT_EQ(std::tuple(good.headless, good.seconds, good.matrixWidth, good.matrixHeight, good.snapshotPath,
                       good.configDir),
            std::tuple(true, 3, 64, 16, "a.png", "/tmp/q"));
  ASSERT_EQ(good.slotRequests.size(), 1u);
  EXPECT_EQ(std::pair(good.slotRequests[0].slot, good.slotRequests[0].type), std::pair(2, 7));
  EXPECT_EQ(good.unknown, (std::vector<std::string>{"--what"}));
  EXPECT_EQ(capture.Text(), "");

  EXPECT_FALSE(good.osc.enabled) << "OSC is off unless asked for";
  const CommandLine osc = ParseCommandLine({"--osc=127.0.0.1:7701", "--osc-feedback=10.0.0.9:9000"}, console);
  EXPECT_TRUE(osc.errors.empty());
  EXPECT_EQ(std::tuple(osc.osc.enabled, osc.osc.listenAddress, osc.osc.port, osc.osc.feedback),
            std::tuple(true, std::array<uint8_t, 4>{127, 0, 0, 1}, 7701,
                       std::optional<Ipv4Endpoint>(Ipv4Endpoint{{10, 0, 0, 9}, 9000})));

  EXPECT_TRUE(ParseCommandLine({"--list-midi"}, console).listMidi);

  for (const char* bad : {"--seconds=-1", "--matrix=200x200", "--matrix=3x16", "--matrix=32", "--slot=4:1",
                          "--slot=1", "--snapshot=", "--osc=", "--osc=70000", "--osc-feedback=9000"}) {
    EXPECT_EQ(ParseCommandLine({bad}, console).errors.size(), 1u) << bad;
  }
}

}  // namespace
}  // namespace quor

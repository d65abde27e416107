// The installation settings in the side file and on the command line:
// sync and per-device correction read back as written, entries that name
// another device or hold values out of range ignored with a console line.
#include <gtest/gtest.h>

#include <QJsonArray>

#include "engine/command_line.h"
#include "engine/engine.h"
#include "engine/installation.h"
#include "engine/lifecycle.h"
#include "files/side_file.h"
#include "output/drivers.h"
#include "test_support.h"
#include "tests/engine/started_lifecycle.h"

namespace quor {
namespace {

OutputDevice Device(int driver, const char* address, int universe) {
  OutputDevice d;
  d.driver = driver, d.channels = 6, d.universe = universe, d.port = kArtNetPort;
  d.headerLength = FindDriver(driver)->headerLength;
  d.SetAddress(address);
  return d;
}

TEST(SyncSettings, SideFileThenCommandLineForOneRun) {
  Engine engine{test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1}};
  test::ConsoleCapture capture(engine.console());
  const std::string side = test::FreshTestDir("installation_sync") + "/show.qrx.json";
  ASSERT_EQ(WriteSideSection(side, kSyncSection, SyncToJson({true, 7000})), std::nullopt);
  Console console;
  LoadInstallation(engine, side, ParseCommandLine({}, console));
  EXPECT_EQ(engine.outputs().sync(), (OutputSync{true, 7000}));

  // The command line turns sync on for the run; the file keeps its own.
  ASSERT_EQ(WriteSideSection(side, kSyncSection, SyncToJson({})), std::nullopt);
  const CommandLine line = ParseCommandLine({"--art-sync", "--sacn-sync=12"}, console);
  EXPECT_TRUE(line.errors.empty());
  LoadInstallation(engine, side, line);
  EXPECT_EQ(engine.outputs().sync(), (OutputSync{true, 12}));
  std::vector<std::string> problems;
  EXPECT_EQ(SyncFromJson(SideSection(ReadSideFile(side), kSyncSection), problems), OutputSync{});
  for (const char* bad : {"--sacn-sync=0", "--sacn-sync=64000", "--sacn-sync=x"}) {
    EXPECT_EQ(ParseCommandLine({bad}, console).errors.size(), 1u) << bad;
  }

  ASSERT_EQ(WriteSideSection(side, kSyncSection, QJsonObject{{"artSync", 3}, {"sacnUniverse", 64000}}), std::nullopt);
  LoadInstallation(engine, side, ParseCommandLine({}, console));
  EXPECT_EQ(engine.outputs().sync(), OutputSync{});
  EXPECT_NE(capture.Text().find("artSync must be true or false"), std::string::npos) << capture.Text();
  EXPECT_NE(capture.Text().find("sacnUniverse must be 0 (off) or a universe 1..63999"), std::string::npos);
}

TEST(PowerSettings, EntriesFollowTheirDeviceAndRoundTrip) {
  const std::vector<OutputDevice> devices = {Device(kDriverArtNet, "10.0.0.1", 0), Device(kDriverArtNet, "10.0.0.2", 1)};
  EXPECT_EQ(InstallationDeviceName(devices[1]), "Art-Net 10.0.0.2");
  std::vector<DeviceCorrection> corrections(2);
  corrections[1] = {{100, 90, 80}, 75, 4000, 30};
  std::vector<std::string> problems;
  EXPECT_EQ(PowerFromJson(PowerToJson(corrections, devices), devices, problems), corrections);
  EXPECT_TRUE(problems.empty());

  // The same entry against a list where output 2 is another device.
  const std::vector<OutputDevice> moved = {devices[0], Device(kDriverArtNet, "10.0.0.9", 1)};
  EXPECT_EQ(PowerFromJson(PowerToJson(corrections, devices), moved, problems), std::vector<DeviceCorrection>(2));
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0], "power: entry 1 is for \"Art-Net 10.0.0.2\" but output 2 is \"Art-Net 10.0.0.9\"; it is ignored");

  problems.clear();
  const QJsonObject bad{{"devices", QJsonArray{QJsonObject{{"index", 1}, {"name", "Art-Net 10.0.0.1"},
                                                           {"gainRed", 101}, {"brightnessCap", 50},
                                                           {"milliampsPerChannel", 0}},
                                               QJsonObject{{"index", 3}}, 7}}};
  const std::vector<DeviceCorrection> read = PowerFromJson(bad, devices, problems);
  EXPECT_EQ(read[0], (DeviceCorrection{{100, 100, 100}, 50, 0, 20}));
  EXPECT_EQ(problems.size(), 4u);  // gainRed, milliampsPerChannel, index 3, the number 7
}

// File > Open and New read the opened show's sections (off where it has
// none); Save As takes them along to the new file.
TEST(SyncSettings, FollowTheOpenedShowAndGoAlongWithASaveAs) {
  const std::string dir = test::FreshTestDir("installation_follow");
  ASSERT_EQ(WriteSideSection(dir + "/b.qrx.json", kSyncSection, SyncToJson({true, 9})), std::nullopt);
  test::StartedLifecycle run(dir, {});
  ASSERT_FALSE(run.lifecycle.Start());
  EXPECT_EQ(run.engine.outputs().sync(), OutputSync{});
  run.lifecycle.FollowProject(dir + "/b.qrx");
  run.lifecycle.FollowControlSettings();
  EXPECT_EQ(run.engine.outputs().sync(), (OutputSync{true, 9}));
  run.lifecycle.FollowProject(dir + "/plain.qrx");
  run.lifecycle.FollowControlSettings();
  EXPECT_EQ(run.engine.outputs().sync(), OutputSync{});
  run.lifecycle.FollowProject(dir + "/b.qrx");
  run.lifecycle.FollowControlSettings();
  run.lifecycle.FollowProject(dir + "/c.qrx");  // Save As
  run.lifecycle.KeepResumeState();
  std::vector<std::string> problems;
  EXPECT_EQ(SyncFromJson(SideSection(ReadSideFile(dir + "/c.qrx.json"), kSyncSection), problems), (OutputSync{true, 9}));
  EXPECT_EQ(run.engine.outputs().sync(), (OutputSync{true, 9}));
  EXPECT_EQ(run.lifecycle.Finish(), 0);
}

}  // namespace
}  // namespace quor

// Runs the real quor binary headless and checks what it leaves behind.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "engine/engine.h"
#include "engine/project_file.h"
#include "generators/builtin_generators.h"
#include "generators/simple_color.h"
#include "show/show.h"
#include "test_support.h"
#include "tests/output/udp_receiver.h"

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

// Starts quor with `args` and its output in `logPath`; returns the child.
pid_t StartQuor(const std::vector<std::string>& args, const std::string& logPath) {
  const pid_t pid = fork();
  if (pid == 0) {
    FILE* log = std::freopen(logPath.c_str(), "w", stdout);
    if (log) dup2(fileno(stdout), fileno(stderr));
    std::vector<char*> argv{const_cast<char*>(QUOR_BINARY)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(QUOR_BINARY, argv.data());
    _exit(127);
  }
  return pid;
}

int StopQuor(pid_t pid) {
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Headless, RunsForTheGivenTimeAndWritesAScaledSnapshotAndAutosave) {
  const std::string dir = test::FreshTestDir("headless_snapshot");
  const std::string png = dir + "/out.png";
  RunResult run = RunQuor("--headless --config-dir=" + dir + " --seconds=1 --matrix=64x16 --slot=0:7 --snapshot=" +
                          png + " -x -m");
  EXPECT_EQ(run.exitCode, 0) << run.output;
  for (const char* line : {"Found Serialports: ", "Parsing command line ...", "-Starting with active Showmode",
                           "Binarypath: ", "Try to load file: " , "Effect[0]: 7", "shutdown"}) {
    EXPECT_NE(run.output.find(line), std::string::npos) << line << "\n" << run.output;
  }
  QImage image(QString::fromStdString(png));
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.width(), 320);  // 64 x 5
  EXPECT_EQ(image.height(), 80);
  // The autosave starts with the project header and remembers the size.
  const std::string autosave = ReadFile(dir + "/autosave.dat");
  ASSERT_GE(autosave.size(), 6u);
  EXPECT_EQ(autosave.substr(0, 6), std::string("QRX!\0" "4", 6));
  RunResult again = RunQuor("--headless --config-dir=" + dir + " --seconds=0");
  EXPECT_NE(again.output.find("new matrix size: 64 x 16"), std::string::npos) << again.output;
}

TEST(Headless, LoadsAProjectAutostartsSceneAndOutputAndAutosavesOnSigterm) {
  const std::string dir = test::FreshTestDir("headless_project");
  test::UdpReceiver receiver;
  {
    // The project: one scene with a Simple Color picture, one Art-Net device
    // on this test's loopback port, pixel (0, 0) patched to channels 0..2.
    Engine setup(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
    setup.RequestType(0, 7);
    setup.RebindSlots();
    setup.EditGenerator(0, [](Generator& g) {
      ColorGroup& color = dynamic_cast<SimpleColorGenerator&>(g).colorGroup();
      color.SetRed(10);
      color.SetGreen(20);
      color.SetBlue(30);
    });
    setup.SetChannelFade(kMixChannel1, 0);
    setup.SetMainFadeByHand(0);
    ASSERT_TRUE(setup.show().sceneList().Add("Teal"));
    OutputDevice device;
    device.driver = kDriverArtNet;
    device.SetAddress("127.0.0.1");
    device.port = receiver.port();
    device.channels = 6;
    setup.outputs().devices().Add(device);
    setup.patch().At(0, 0) = PatchEntry{0, 0, 1, 2};
    ASSERT_EQ(SaveProject(setup, dir + "/show.qrx").status, ProjectFileStatus::kDone);
  }

  const std::string log = dir + "/quor.log";
  const pid_t pid = StartQuor({"--headless", "--config-dir=" + dir, dir + "/show.qrx", "-S1"}, log);
  ASSERT_GT(pid, 0);
  bool sawPicture = false;
  test::Datagram got;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!sawPicture && std::chrono::steady_clock::now() < deadline && receiver.Receive(got, 1000)) {
    ASSERT_EQ(got.bytes.size(), 18u + 6u);
    sawPicture = std::vector<uint8_t>(got.bytes.begin() + 18, got.bytes.end()) ==
                 std::vector<uint8_t>({10, 20, 30, 0, 0, 0});
  }
  EXPECT_EQ(StopQuor(pid), 0);
  const std::string output = ReadFile(log);
  EXPECT_TRUE(sawPicture) << output;
  EXPECT_NE(output.find("-Autostart-Scene: 1"), std::string::npos) << output;
  EXPECT_NE(output.find("Try to autostart output ..."), std::string::npos) << output;

  // The last frames sent are black, and the autosave holds the project with
  // its running outputs.
  const auto rest = receiver.ReceiveAll(200);
  ASSERT_FALSE(rest.empty());
  EXPECT_EQ(std::vector<uint8_t>(rest.back().bytes.begin() + 18, rest.back().bytes.end()), std::vector<uint8_t>(6, 0));
  Engine reloaded(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
  ProjectFileResult load = LoadProject(reloaded, dir + "/autosave.dat");
  EXPECT_EQ(load.status, ProjectFileStatus::kDone);
  EXPECT_EQ(reloaded.show().scenes().count(), 1);
  EXPECT_TRUE(load.outputsRunning);
  reloaded.outputs().CloseOutputs();
}

TEST(Headless, TheBundledDemoShowLoads) {
  Engine engine(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
  ProjectFileResult load = LoadProject(engine, std::string(QUOR_SOURCE_DIR) + "/share/demo.qrx");
  ASSERT_EQ(load.status, ProjectFileStatus::kDone);
  EXPECT_EQ(engine.show().scenes().count(), 5);
  EXPECT_EQ(engine.show().chases().count(), 1);
  EXPECT_EQ(engine.width(), 64);
}

TEST(Headless, BadOptionsAreRefusedWithUsage) {
  const std::string dir = test::FreshTestDir("headless_bad");
  RunResult run = RunQuor("--headless --config-dir=" + dir + " --matrix=500x2");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.output.find("Usage:"), std::string::npos);
  RunResult help = RunQuor("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.output.find("--snapshot=FILE"), std::string::npos);
}

}  // namespace
}  // namespace quor

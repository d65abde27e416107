// The real quor binary headless, from its command line to its autosave.
#include <QImage>
#include <sys/socket.h>
#include <sys/un.h>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>

#include "engine/lifecycle.h"
#include "files/control_settings.h"
#include "input/osc_protocol.h"
#include "platform/udp_socket.h"
#include "generators/simple_color.h"
#include "quor_run.h"
#include "show/show.h"
#include "tests/output/udp_receiver.h"

namespace quor {
namespace {

// --version names the project version, the commit (or "unknown") and the build type, and starts nothing.
TEST(Headless, VersionNamesTheProjectVersionCommitAndBuildType) {
  const test::ShellRun run = test::Shell(std::string(QUOR_BINARY) + " --version");
  EXPECT_EQ(run.exitCode, 0);
  const std::regex line("Quor " QUOR_VERSION R"( \((unknown|[0-9a-f]{4,40}(\+dirty)?), [A-Za-z]+\)\n)");
  EXPECT_TRUE(std::regex_match(run.output, line)) << run.output;
}

TEST(Headless, RunsForTheGivenTimeAndWritesAScaledSnapshotAndAutosave) {
  const std::string dir = test::FreshTestDir("headless_snapshot");
  const std::string png = dir + "/out.png", quor = std::string(QUOR_BINARY) + " --headless --config-dir=" + dir;
  const test::ShellRun run = test::Shell(quor + " --seconds=1 --matrix=64x16 --slot=0:7 --snapshot=" + png + " -x -m");
  EXPECT_EQ(run.exitCode, 0) << run.output;
  for (const char* line : {"Found Serialports: ", "Parsing command line ...", "-Starting with active Showmode",
                           "Binarypath: ", "Try to load file: ", "Effect[0]: 7", "shutdown"}) {
    EXPECT_TRUE(run.Says(line)) << line << "\n" << run.output;
  }
  const QImage image(QString::fromStdString(png));
  EXPECT_EQ(image.size(), QSize(320, 80));  // 64 x 16, five pixels each
  // The autosave starts with the project header and remembers the size.
  EXPECT_EQ(test::ReadWholeFile(dir + "/autosave.dat").substr(0, 6), std::string("QRX!\0" "4", 6));
  EXPECT_TRUE(test::Shell(quor + " --seconds=0").Says("new matrix size: 64 x 16"));
}

TEST(Headless, LoadsAProjectAutostartsSceneAndOutputAndAutosavesOnSigterm) {
  const std::string dir = test::FreshTestDir("headless_project");
  test::UdpReceiver receiver;
  // One scene with a Simple Color picture on pixel (0, 0).
  test::SaveArtNetShow(dir + "/show.qrx", receiver.port(), [](Engine& setup) {
    setup.RequestType(0, 7);
    setup.RebindSlots();
    setup.EditGenerator(0, [](Generator& g) {
      ColorGroup& color = dynamic_cast<SimpleColorGenerator&>(g).colorGroup();
      color.SetRed(10), color.SetGreen(20), color.SetBlue(30);
    });
    setup.SetChannelFade(kMixChannel1, 0), setup.SetMainFadeByHand(0);
    ASSERT_TRUE(setup.show().sceneList().Add("Teal"));
  });
  const std::string log = dir + "/quor.log";
  const pid_t pid = test::Spawn({QUOR_BINARY, "--headless", "--config-dir=" + dir, dir + "/show.qrx", "-S1"}, log);
  bool sawPicture = false;
  test::Datagram got;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!sawPicture && std::chrono::steady_clock::now() < deadline && receiver.Receive(got, 1000)) {
    ASSERT_EQ(got.bytes.size(), 18u + 6u);
    sawPicture = test::UdpReceiver::ArtNetData(got) == std::vector<uint8_t>({10, 20, 30, 0, 0, 0});
  }
  EXPECT_EQ(test::StopQuor(pid), 0);
  const std::string output = test::ReadWholeFile(log);
  EXPECT_TRUE(sawPicture) << output;
  EXPECT_NE(output.find("-Autostart-Scene: 1"), std::string::npos) << output;
  EXPECT_NE(output.find("Try to autostart output ..."), std::string::npos) << output;

  // The last frames sent are black; the autosave holds the project with its running outputs.
  const auto rest = receiver.ReceiveAll(200);
  ASSERT_FALSE(rest.empty());
  EXPECT_EQ(test::UdpReceiver::ArtNetData(rest.back()), std::vector<uint8_t>(6, 0));
  Engine reloaded(BuiltinGenerators(), {FrameClock::Mode::kManual, 1});
  const ProjectFileResult load = LoadProject(reloaded, dir + "/autosave.dat");
  EXPECT_EQ(load.status, ProjectFileStatus::kDone);
  EXPECT_TRUE(reloaded.show().scenes().count() == 1 && load.outputsRunning);
  reloaded.outputs().CloseOutputs();
}

// A power cut (SIGKILL, so no exit autosave) after the state was kept: the
// next start of the same project sends what the last one sent.
TEST(Headless, ComesBackAfterAPowerCutAsItWasLeft) {
  const std::string dir = test::FreshTestDir("headless_power_cut");
  test::UdpReceiver receiver;
  test::SaveTwoColourShow(dir + "/show.qrx", receiver.port());
  const std::vector<uint8_t> amber{200, 100, 0, 0, 0, 0};
  const std::string side = dir + "/show.qrx.json";
  const std::string log = dir + "/first.log";
  pid_t pid = test::Spawn({QUOR_BINARY, "--headless", "--config-dir=" + dir, dir + "/show.qrx", "-S2"}, log);
  EXPECT_TRUE(receiver.ReceivesArtNet(amber, std::chrono::seconds(5))) << test::ReadWholeFile(log);
  // The state reaches the side file while the program runs.
  EXPECT_TRUE(test::Eventually([&] {
    const std::string text = test::ReadWholeFile(side);
    return text.find("\"scene\": 1") != std::string::npos && text.find("\"outputsRunning\": true") != std::string::npos;
  }));
  test::Datagram last;
  ASSERT_TRUE(receiver.Receive(last, 1000));
  const std::vector<uint8_t> before = test::UdpReceiver::ArtNetData(last);
  EXPECT_EQ(before, amber);
  int status = 0;
  ::kill(pid, SIGKILL), ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_FALSE(std::filesystem::exists(dir + "/autosave.dat"));  // no orderly exit
  receiver.ReceiveAll(100);

  // The project alone has its outputs stopped and no scene recalled.
  const std::string again = dir + "/again.log";
  pid = test::Spawn({QUOR_BINARY, "--headless", "--config-dir=" + dir, dir + "/show.qrx"}, again);
  EXPECT_TRUE(receiver.ReceivesArtNet(before, std::chrono::seconds(5))) << test::ReadWholeFile(again);
  EXPECT_EQ(test::StopQuor(pid), 0);
  EXPECT_NE(test::ReadWholeFile(again).find("Resuming the show as it was left"), std::string::npos);
}

// No project and no autosave: the demo plays, with the hint on the console;
// the next start loads the autosave and gives no hint.
TEST(Headless, FirstStartPlaysTheDemoWithAHint) {
  const std::string dir = test::FreshTestDir("headless_first_start");
  const std::string quor = std::string(QUOR_BINARY) + " --headless --config-dir=" + dir;
  const test::ShellRun first = test::Shell(quor + " --seconds=2 --snapshot=" + dir + "/demo.png");
  EXPECT_EQ(first.exitCode, 0) << first.output;
  EXPECT_TRUE(first.Says(kFirstStartHint)) << first.output;
  EXPECT_TRUE(first.Says("share/demo.qrx")) << first.output;
  EXPECT_FALSE(first.Says("Error")) << first.output;  // the demo's picture is found
  const QImage image(QString::fromStdString(dir + "/demo.png"));
  ASSERT_FALSE(image.isNull());
  int lit = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) lit += qGray(image.pixel(x, y)) > 16;
  }
  EXPECT_GT(lit, image.width() * image.height() / 10);
  const test::ShellRun next = test::Shell(quor + " --seconds=0");
  EXPECT_FALSE(next.Says(kFirstStartHint)) << next.output;
  EXPECT_TRUE(next.Says("autosave.dat")) << next.output;
  // The bundled demo named on the command line keeps its state beside the
  // autosave, never beside itself.
  const std::string demo = std::string(QUOR_SOURCE_DIR) + "/share/demo.qrx";
  EXPECT_EQ(test::Shell(quor + " --seconds=1 " + demo).exitCode, 0);
  EXPECT_FALSE(std::filesystem::exists(demo + ".json"));
  EXPECT_TRUE(std::filesystem::exists(dir + "/autosave.dat.json"));
}

TEST(Headless, BadOptionsAreRefusedWithUsage) {
  const test::ShellRun run = test::Shell(std::string(QUOR_BINARY) + " --headless --config-dir=" +
                                         test::FreshTestDir("headless_bad") + " --matrix=500x2");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_TRUE(run.Says("Usage:")) << run.output;
  const test::ShellRun help = test::Shell(std::string(QUOR_BINARY) + " --help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(help.Says("--snapshot=FILE")) << help.output;
}

// An installation played from a surface without a window: the OSC input
// kept in the side file opens at start-up and answers a question.
TEST(Headless, OpensTheKeptOscInputAndAnswersOnLoopback) {
  const std::string dir = test::FreshTestDir("headless_kept_osc");
  const std::array<uint8_t, 4> loopback{127, 0, 0, 1};
  ControlSettings kept;
  kept.osc.enabled = true;
  kept.osc.listenAddress = loopback;
  kept.osc.port = test::FreeLoopbackPort();
  ASSERT_FALSE(WriteControlSettings(dir + "/autosave.dat.json", kept));
  Result<std::unique_ptr<UdpSocket>> client = UdpSocket::OpenListening(test::FreeLoopbackPort(), loopback);
  ASSERT_TRUE(client && !(*client)->bindFailure());
  const std::string log = dir + "/quor.log";
  const pid_t pid = test::Spawn({QUOR_BINARY, "--headless", "--config-dir=" + dir, "--seconds=20"}, log);
  const std::vector<uint8_t> question = BuildOscMessage("/quor/master/level");
  std::optional<std::string> answer;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!answer && std::chrono::steady_clock::now() < deadline) {
    (*client)->SendTo(Ipv4Endpoint{loopback, static_cast<uint16_t>(kept.osc.port)}, question);
    test::Eventually([&] {
      std::vector<uint8_t> buffer(1024);
      Ipv4Endpoint from;
      const std::optional<size_t> size = (*client)->ReceiveFrom(buffer, from);
      if (!size) return false;
      const auto messages = ParseOscPacket(std::span<const uint8_t>(buffer.data(), *size));
      if (messages && !messages->empty()) answer = std::string((*messages)[0].address);
      return true;
    }, 300);
  }
  EXPECT_EQ(test::StopQuor(pid), 0);
  EXPECT_EQ(answer, "/quor/master/level") << test::ReadWholeFile(log);
  EXPECT_NE(test::ReadWholeFile(log).find("OSC input listening on UDP port " + std::to_string(kept.osc.port)),
            std::string::npos);
}

// The program lists the sequencer's ports, or says why there are none (as on a machine without
// /dev/snd/seq), and exits 0 either way.
TEST(Headless, ListMidiPrintsThePortsOrWhyThereAreNone) {
  const test::ShellRun run = test::Shell(std::string(QUOR_BINARY) + " --list-midi");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(run.Says("MIDI input ports:") || run.Says("No MIDI ports: this system has no ALSA sequencer"))
      << run.output;
  EXPECT_TRUE(test::Shell(std::string(QUOR_BINARY) + " --help").Says("--list-midi")) << run.output;
}

#ifdef QUOR_TEST_SERVICE_NOTIFY
// As a Type=notify service: READY=1 once started, WATCHDOG=1 while frames
// flow, STOPPING=1 when SIGTERM starts the orderly end; sent to the socket
// $NOTIFY_SOCKET names, as the service manager would receive them.
TEST(Headless, TellsTheServiceManagerReadyAliveAndStopping) {
  const std::string dir = test::FreshTestDir("headless_notify");
  // Socket addresses are short (108 bytes): the socket lives in /tmp.
  const std::string socketPath = "/tmp/quor-notify-" + std::to_string(::getpid());
  std::filesystem::remove(socketPath);
  const int listener = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const timeval wait{.tv_sec = 5, .tv_usec = 0};
  ::setsockopt(listener, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);

  const pid_t pid = test::Spawn({QUOR_BINARY, "--headless", "--config-dir=" + dir, "--matrix=16x8"}, dir + "/quor.log",
                                [&] { return ::setenv("NOTIFY_SOCKET", socketPath.c_str(), 1) == 0; });
  std::vector<std::string> heard;
  auto hear = [&](const std::string& wanted) {
    for (char buffer[256]; std::find(heard.begin(), heard.end(), wanted) == heard.end();) {
      const ssize_t n = ::recv(listener, buffer, sizeof buffer, 0);
      if (n <= 0) return false;
      heard.emplace_back(buffer, static_cast<size_t>(n));
    }
    return true;
  };
  EXPECT_TRUE(hear("READY=1"));
  EXPECT_TRUE(hear("WATCHDOG=1"));
  EXPECT_EQ(test::StopQuor(pid), 0);
  EXPECT_TRUE(hear("STOPPING=1")) << test::ReadWholeFile(dir + "/quor.log");
  // Ready comes first, before any watchdog message.
  ASSERT_FALSE(heard.empty());
  EXPECT_EQ(heard.front(), "READY=1");
  ::close(listener);
  std::filesystem::remove(socketPath);
}
#endif

}  // namespace
}  // namespace quor

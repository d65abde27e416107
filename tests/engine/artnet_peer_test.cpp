// Quor against a real Art-Net peer, the OLA daemon, inside a private network
// namespace that holds only loopback (so broadcasts never leave the test).
// The outer test re-runs this binary there (tests/private_network.h); the
// inner tests skip anywhere else. The daemon refuses to run as root, so it
// runs as its own user, which needs the test to start as root.
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "engine/project_file.h"
#include "engine/remote_control.h"
#include "output/artnet_discovery.h"
#include "private_network.h"
#include "tests/show/show_fixture.h"

namespace quor {
namespace {

constexpr const char* kInsideVariable = "QUOR_ARTNET_PEER_NETNS";

std::string Shell(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return out;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) out += line;
  ::pclose(pipe);
  return out;
}

// Asks the process group `pid` to end with `signal`; after five seconds it is
// killed, so a stuck helper cannot hang the test.
void StopProcessGroup(pid_t pid, int signal) {
  ::kill(-pid, signal);
  for (int i = 0; i < 100; ++i) {
    if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ::kill(-pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

bool Have(const char* program) { return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0; }

TEST(ArtNetPeer, OlaScenariosPassInsideAPrivateNetworkNamespace) {
  if (std::getenv(kInsideVariable) != nullptr) GTEST_SKIP() << "already inside";
  if (!Have("olad") || !Have("ola_set_dmx")) GTEST_SKIP() << "OLA is not installed (tools/deps --test installs it)";
  if (::geteuid() != 0) GTEST_SKIP() << "the OLA daemon must run as its own user: start the tests as root";
  if (::getpwnam("olad") == nullptr) GTEST_SKIP() << "no user olad (the ola package creates it)";
  const std::string self = Shell("readlink /proc/" + std::to_string(::getpid()) + "/exe");
  const std::string command = std::string(kInsideVariable) + "=1 '" + self.substr(0, self.find('\n')) +
                              "' --gtest_filter='ArtNetPeerInside.*'";
  const test::PrivateNetworkResult result = test::RunInPrivateNetwork([&] {
    const std::string output = Shell(command);
    const bool passed = output.find("[  PASSED  ] 4 tests") != std::string::npos;
    if (!passed) std::fprintf(stderr, "the Art-Net peer tests failed inside the namespace:\n%s", output.c_str());
    return passed;
  });
  if (result == test::PrivateNetworkResult::kUnavailable) GTEST_SKIP() << "no private network namespace here";
  EXPECT_EQ(result, test::PrivateNetworkResult::kPassed) << "see the inner test output above";
}

class ArtNetPeerInside : public test::ShowTest {
 protected:
  void SetUp() override {
    if (std::getenv(kInsideVariable) == nullptr) GTEST_SKIP() << "runs only inside the namespace";
    char dir[] = "/tmp/quor-ola-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    confDir_ = dir;
    // Art-Net on loopback, always broadcasting, Net 0 / Subnet 0; every
    // other plugin off so the daemon touches no hardware.
    std::ofstream(confDir_ + "/ola-artnet.conf") << "enabled = true\nip = 127.0.0.1\nuse_loopback = true\n"
                                                    "always_broadcast = true\nnet = 0\nsubnet = 0\n"
                                                    "short_name = OLA Peer\n";
    for (const char* plugin : {"dummy", "e131", "espnet", "ftdidmx", "gpio", "karate", "kinet", "milinst", "opendmx",
                               "openpixelcontrol", "osc", "pathport", "renard", "sandnet", "shownet", "spi",
                               "stageprofi", "uartdmx", "usbdmx", "usbserial"}) {
      std::ofstream(confDir_ + "/ola-" + plugin + ".conf") << "enabled = false\n";
    }
    const passwd* user = ::getpwnam("olad");
    ASSERT_NE(user, nullptr);
    ASSERT_EQ(std::system(("chown -R olad '" + confDir_ + "' && chmod 755 '" + confDir_ + "'").c_str()), 0);
    daemon_ = ::fork();
    ASSERT_GE(daemon_, 0);
    if (daemon_ == 0) {
      ::setpgid(0, 0);
      const std::string log = confDir_ + "/olad.log";
      std::freopen(log.c_str(), "w", stdout);
      std::freopen(log.c_str(), "a", stderr);
      if (::setgroups(0, nullptr) != 0 || ::setgid(user->pw_gid) != 0 || ::setuid(user->pw_uid) != 0) ::_exit(126);
      ::execlp("olad", "olad", "-c", confDir_.c_str(), "--no-register-with-dns-sd", "--no-http", "-l", "3",
               static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ASSERT_TRUE(WaitFor([&] { return Shell("ola_dev_info").find("ArtNet") != std::string::npos; }, 15000))
        << "olad did not come up; its log is in " << confDir_ << "/olad.log";
    const std::string devices = Shell("ola_dev_info");
    const size_t at = devices.find(": ArtNet");
    const size_t start = devices.rfind("Device ", at) + 7;
    device_ = devices.substr(start, at - start);
  }

  void TearDown() override {
    remote().CloseRemoteInput();
    if (daemon_ > 0) StopProcessGroup(daemon_, SIGTERM);
    if (!confDir_.empty()) std::system(("rm -rf '" + confDir_ + "'").c_str());
  }

  RemoteControl& remote() { return engine_.remote(); }

  // Runs mix passes (which poll the remote input) and the message loop's
  // work every 10 ms until `done` or the time is up.
  bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
      engine_.RunMixPass();
      engine_.PostMessageWork();
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  void OpenArtNetInput(int universe) {
    RemoteInputSettings& s = engine_.remoteInputSettings();
    s.inputType = kRemoteArtNet, s.listenPort = 6454, s.baudOrNet = 0, s.subnet = 0, s.universe = universe;
    s.firstChannel = 0;
    ASSERT_TRUE(remote().OpenRemoteInput()) << "cannot listen on UDP 6454 beside olad";
  }

  std::string confDir_;
  pid_t daemon_ = -1;
  std::string device_;
};

TEST_F(ArtNetPeerInside, DmxFromOlaDrivesSceneChaseMasterAndStrobeOnce) {
  for (const char* name : {"A", "B", "C"}) AddScene(name);
  AddChase({SceneStep(0, 3000), SceneStep(1, 3000)});
  int recalls = 0;  // of scene index 2 (the chase recalls its own scenes)
  engine_.EditHooks([&](EngineHooks& hooks) {
    hooks.beginSceneRecall = [&, begin = hooks.beginSceneRecall](int index) {
      recalls += index == 2;
      return begin(index);
    };
  });
  OpenArtNetInput(2);
  // OLA universe 2 on Art-Net output port 0: Art-Net address 0:0:2.
  Shell("ola_patch -d " + device_ + " -p 0 -u 2");
  Shell("ola_set_dmx -u 2 -d 0,1,200,128");
  ASSERT_TRUE(WaitFor([&] { return settings().masterLevel.load() == 200; }, 5000)) << capture_.Text();
  EXPECT_EQ(show_.player().RunningChase(), 1);
  EXPECT_TRUE(show_.chaseList().PlayPressed());
  EXPECT_EQ(settings().strobeTime.load(), 13);
  EXPECT_GE(settings().strobeCounter.load(), 0);

  // Scene 3 stops the chase; strobe 0 then switches the strobe off.
  Shell("ola_set_dmx -u 2 -d 3,1,90,128");
  ASSERT_TRUE(WaitFor([&] { return settings().masterLevel.load() == 90; }, 5000));
  EXPECT_FALSE(show_.player().Running());
  Shell("ola_set_dmx -u 2 -d 3,1,90,0");
  ASSERT_TRUE(WaitFor([&] { return settings().strobeCounter.load() == -1; }, 5000));
  // The same values again (and OLA's own repeats): still one recall.
  Shell("ola_set_dmx -u 2 -d 3,1,90,0");
  WaitFor([] { return false; }, 1500);
  EXPECT_EQ(recalls, 1);
  EXPECT_EQ(show_.sceneList().selection(), 2);
  EXPECT_GE(remote().counters().frames.load(), 3);
}

TEST_F(ArtNetPeerInside, ScanAddsOneDevicePerOlaOutputPortAndSkipsItsOwnReply) {
  // OLA's input ports are Art-Net output ports: patch two of them.
  Shell("ola_patch -d " + device_ + " -p 0 -i -u 4");
  Shell("ola_patch -d " + device_ + " -p 1 -i -u 5");
  OpenArtNetInput(2);  // Quor answers the scan's poll too, by name
  OutputDeviceList& devices = engine_.outputs().devices();
  ArtNetScan::Options options;
  options.durationMs = 2000;
  auto scan = [&] {
    ArtNetScan run(devices, engine_.console(), options);
    EXPECT_TRUE(run.Start());
    while (run.Tick()) {
      engine_.RunMixPass();
      std::this_thread::sleep_for(std::chrono::milliseconds(kScanTickMs));
    }
    return run.added();
  };
  // Ports 3 and 4 are unpatched and share universe 0: one device for both.
  EXPECT_EQ(scan(), 3) << capture_.Text();
  ASSERT_EQ(devices.count(), 3);
  std::vector<int> universes;
  for (const OutputDevice& d : devices.devices()) {
    universes.push_back(d.universe);
    EXPECT_EQ(d.AddressText(), "127.0.0.1");
  }
  EXPECT_EQ(universes, (std::vector<int>{4, 5, 0}));
  EXPECT_GE(capture_.Count("Artpollreply: OLA Peer 127.0.0.1 (1936) net: 0 subnet: 0"), 1);
  EXPECT_GE(capture_.Count("Artpollreply: Quor "), 1) << "our own reply was seen and skipped";
  EXPECT_EQ(scan(), 0) << "a second scan adds nothing";
}

TEST_F(ArtNetPeerInside, OlaListsQuorAfterItsPollReplyAndTsharkDecodesTheReply) {
  OpenArtNetInput(2);
  // An OLA output port on 0:0:2 polls regularly and records the nodes
  // whose output ports listen to its address.
  Shell("ola_patch -d " + device_ + " -p 0 -u 2");
  std::string nodes;
  const bool listed = WaitFor(
      [&] {
        if (remote().counters().polls.load() == 0) return false;
        nodes = Shell("ola_artnet -d " + device_ + " -u 2");
        return nodes.find('.') != std::string::npos;
      },
      20000);
  EXPECT_TRUE(listed) << "OLA does not list Quor: " << nodes << capture_.Text();
  EXPECT_GE(capture_.Count("received artnet discover (artpoll)"), 1);
  EXPECT_GE(capture_.Count("found own IP: 127 0 0 1"), 1);
  if (!Have("tshark")) return;

  // Capture the next reply named "Quor" (UDP payload byte 26 on) while the
  // passes answer OLA's next poll; tshark ends after that one datagram.
  char captureDir[] = "/tmp/quor-capture-XXXXXX";
  ASSERT_NE(::mkdtemp(captureDir), nullptr);
  ::chmod(captureDir, 0777);  // tshark's capture helper writes here
  const std::string capture = std::string(captureDir) + "/reply.pcapng";
  FILE* sniffer = ::popen(("tshark -q -i lo -c 1 -a duration:20 -f 'udp port 6454 and udp[34:4] = 0x51756f72' -w '" +
                           capture + "' 2>&1").c_str(), "r");
  ASSERT_NE(sniffer, nullptr);
  std::atomic<bool> started{false}, finished{false};
  std::thread reader([&] {
    char line[512];
    while (std::fgets(line, sizeof line, sniffer)) {
      if (std::string(line).find("Capture started") != std::string::npos) started = true;
    }
    finished = true;
  });
  WaitFor([&] { return started.load() || finished.load(); }, 10000);
  const int pollsBefore = static_cast<int>(remote().counters().polls.load());
  WaitFor([&] { return finished.load(); }, 25000);
  reader.join();
  ::pclose(sniffer);
  EXPECT_GT(remote().counters().polls.load(), pollsBefore);
  const std::string decoded =
      Shell("tshark -r '" + capture + "' -Y artnet.poll_reply -T fields -e artnet.poll_reply.short_name "
            "-e artnet.poll_reply.ip_address -e artnet.poll_reply.num_ports -e artnet.poll_reply.swout_1 "
            "-e _ws.malformed -e _ws.expert.severity 2>/dev/null");
  EXPECT_NE(decoded.find("Quor\t127.0.0.1\t1\t0x02\t\t"), std::string::npos) << decoded;
  EXPECT_EQ(decoded.find("alformed"), std::string::npos) << decoded;
  std::system(("rm -rf '" + std::string(captureDir) + "'").c_str());
}

TEST_F(ArtNetPeerInside, HeadlessQuorOpensTheProjectsRemoteInputAndScansFromTheCommandLine) {
  // A project with Art-Net remote control on universe 2, enabled.
  RemoteInputSettings& s = engine_.remoteInputSettings();
  s.inputType = kRemoteArtNet, s.listenPort = 6454, s.universe = 2;
  settings().remoteControlEnabled = 1;
  const std::string project = confDir_ + "/remote.qrx";
  ASSERT_EQ(SaveProject(engine_, project).status, ProjectFileStatus::kDone);
  Shell("ola_patch -d " + device_ + " -p 1 -i -u 7");
  std::string run;
  std::atomic<bool> ended{false};
  std::thread quor([&] {
    run = Shell(std::string(QUOR_BINARY) + " --headless --seconds=4 --config-dir=" + confDir_ + " " + project);
    ended = true;
  });
  // Polls broadcast from here (inside the namespace) reach the headless
  // program only when it opened the project's remote input.
  ArtNetScan poller(engine_.outputs().devices(), engine_.console());
  while (!ended.load()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    poller.Start();
  }
  quor.join();
  EXPECT_NE(run.find("received artnet discover (artpoll)"), std::string::npos) << run;

  const std::string scan = Shell(std::string(QUOR_BINARY) + " --scan-artnet");
  EXPECT_NE(scan.find("Artpoll timer finished."), std::string::npos) << scan;
  EXPECT_NE(scan.find("node \"OLA Peer\" 127.0.0.1 port 6454 net 0 subnet 0 universe 7"), std::string::npos) << scan;
}

}  // namespace
}  // namespace quor

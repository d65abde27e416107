// Quor against the OLA daemon in a loopback-only network namespace the outer test re-runs this binary in
// (tests/private_network.h); the daemon runs as its own user, so the test must start as root.
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

#include "input/remote_control.h"
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

bool Have(const char* program) { return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0; }

TEST(ArtNetPeer, OlaScenariosPassInsideAPrivateNetworkNamespace) {
  if (std::getenv(kInsideVariable) != nullptr) GTEST_SKIP() << "already inside";
  if (!Have("olad")) GTEST_SKIP() << "OLA is not installed (tools/deps --test installs it)";
  if (::geteuid() != 0) GTEST_SKIP() << "the OLA daemon must run as its own user: start the tests as root";
  if (::getpwnam("olad") == nullptr) GTEST_SKIP() << "no user olad (the ola package creates it)";
  const std::string self = Shell("readlink /proc/" + std::to_string(::getpid()) + "/exe");
  const std::string command = std::string(kInsideVariable) + "=1 '" + self.substr(0, self.find('\n')) +
                              "' --gtest_filter='ArtNetPeerInside.*'";
  const test::PrivateNetworkResult result = test::RunInPrivateNetwork([&] {
    const std::string output = Shell(command);
    const bool passed = output.find("[  PASSED  ] 1 test") != std::string::npos;
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
    // Art-Net on loopback, Net 0 / Subnet 0; every other plugin off (no hardware).
    std::ofstream(confDir_ + "/ola-artnet.conf") << "enabled = true\nip = 127.0.0.1\nuse_loopback = true\n"
                                                    "always_broadcast = true\nnet = 0\nsubnet = 0\n"
                                                    "short_name = OLA Peer\n";
    for (const char* plugin : {"dummy", "e131", "espnet", "ftdidmx", "gpio", "karate", "kinet", "milinst", "opendmx",
                               "openpixelcontrol", "osc", "pathport", "renard", "sandnet", "shownet", "spi",
                               "stageprofi", "uartdmx", "usbdmx", "usbserial"}) {
      std::ofstream(confDir_ + "/ola-" + plugin + ".conf") << "enabled = false\n";
    }
    ASSERT_EQ(std::system(("chown -R olad '" + confDir_ + "' && chmod 755 '" + confDir_ + "'").c_str()), 0);
    const std::string start = "exec runuser -u olad -- olad -c '" + confDir_ +
                              "' --no-register-with-dns-sd --no-http -l 3 >'" + confDir_ + "/olad.log' 2>&1";
    daemon_ = ::fork();
    ASSERT_GE(daemon_, 0);
    if (daemon_ == 0) {
      ::setpgid(0, 0);
      ::execl("/bin/sh", "sh", "-c", start.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ASSERT_TRUE(WaitFor([&] { return Shell("ola_dev_info").find("ArtNet") != std::string::npos; }, 15000))
        << "olad did not come up; its log is in " << confDir_ << "/olad.log";
    const std::string devices = Shell("ola_dev_info");
    const size_t at = devices.find(": ArtNet"), from = devices.rfind("Device ", at) + 7;
    device_ = devices.substr(from, at - from);
  }

  void TearDown() override {
    remote().CloseRemoteInput();
    if (daemon_ > 0) ::kill(-daemon_, SIGTERM), ::waitpid(daemon_, nullptr, 0);
    if (!confDir_.empty()) std::system(("rm -rf '" + confDir_ + "'").c_str());
  }

  RemoteControl& remote() { return engine_.remote(); }

  // Runs the message loop's work every 10 ms until `done` or timeout (the input reads on its own thread).
  bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
      engine_.PostMessageWork();
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  std::string confDir_;
  pid_t daemon_ = -1;
  std::string device_;
};

TEST_F(ArtNetPeerInside, OlaDrivesAndListsQuorTsharkDecodesTheReplyAndTheScanFindsOla) {
  RemoteInputSettings& input = engine_.remoteInputSettings();
  input.inputType = kRemoteArtNet, input.listenPort = 6454, input.universe = 2;
  ASSERT_TRUE(remote().OpenRemoteInput()) << "cannot listen on UDP 6454 beside olad";
  // OLA universe 2 on Art-Net output port 0 (address 0:0:2) sends DMX and
  // polls; input port 1 on universe 7 is what a scan must report.
  Shell("ola_patch -d " + device_ + " -p 0 -u 2");
  Shell("ola_patch -d " + device_ + " -p 1 -i -u 7");
  Shell("ola_set_dmx -u 2 -d 0,0,200,0");
  EXPECT_TRUE(WaitFor([&] { return settings().masterLevel.load() == 200; }, 5000)) << capture_.Text();
  std::string nodes;
  const auto listed = [&] { return (nodes = Shell("ola_artnet -d " + device_ + " -u 2")).find('.') != nodes.npos; };
  EXPECT_TRUE(WaitFor([&] { return remote().counters().polls.load() > 0 && listed(); }, 20000))
      << "OLA does not list Quor: " << nodes << capture_.Text();
  EXPECT_GE(capture_.Count("found own IP: 127 0 0 1"), 1);

  const std::string scan = Shell(std::string(QUOR_BINARY) + " --scan-artnet");
  EXPECT_NE(scan.find("node \"OLA Peer\" 127.0.0.1 port 6454 net 0 subnet 0 universe 7"), std::string::npos) << scan;
  if (!Have("tshark")) return;

  // Capture one reply named "Quor" (UDP payload byte 26 on) while the input thread answers polls.
  char captureDir[] = "/tmp/quor-capture-XXXXXX";
  ASSERT_NE(::mkdtemp(captureDir), nullptr);
  ::chmod(captureDir, 0777);  // tshark's capture helper writes here
  const std::string capture = std::string(captureDir) + "/reply.pcapng";
  std::atomic<bool> finished{false};
  std::thread sniffer([&] {
    Shell("tshark -q -i lo -c 1 -a duration:20 -f 'udp port 6454 and udp[34:4] = 0x51756f72' -w '" + capture + "'");
    finished = true;
  });
  WaitFor([&] { return finished.load(); }, 25000);
  sniffer.join();
  const std::string decoded =
      Shell("tshark -r '" + capture + "' -Y artnet.poll_reply -T fields -e artnet.poll_reply.short_name "
            "-e artnet.poll_reply.ip_address -e artnet.poll_reply.num_ports -e artnet.poll_reply.swout_1 "
            "-e _ws.malformed -e _ws.expert.severity 2>/dev/null");
  EXPECT_NE(decoded.find("Quor\t127.0.0.1\t1\t0x02\t\t"), std::string::npos) << decoded;
  EXPECT_EQ(decoded.find("alformed"), std::string::npos) << decoded;
  std::system(("rm -rf '" + std::string(captureDir) + "'").c_str());
}

}  // namespace
}  // namespace quor

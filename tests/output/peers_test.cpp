// Quor's Art-Net and sACN output as independent peers read it: tshark
// decodes what it captures on the loopback interface (only the test's own
// port), and OLA's E1.31 receiver shows the universes it got. Also the
// private network fixture itself.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "output/drivers.h"
#include "output/outputs.h"
#include "output/sacn_encoder.h"
#include "private_network.h"
#include "test_support.h"
#include "tests/output/udp_receiver.h"

namespace quor {
namespace {

TEST(PrivateNetwork, HoldsOnlyLoopbackAndCarriesLimitedBroadcast) {
  const test::PrivateNetworkResult result = test::RunInPrivateNetwork([] {
    struct if_nameindex* names = if_nameindex();
    if (names == nullptr || names[0].if_index == 0 || std::strcmp(names[0].if_name, "lo") != 0 || names[1].if_index != 0) {
      std::fprintf(stderr, "the private network holds more than lo\n");
      return false;
    }
    if_freenameindex(names);
    const int receiver = socket(AF_INET, SOCK_DGRAM, 0), sender = socket(AF_INET, SOCK_DGRAM, 0), on = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    socklen_t length = sizeof(address);
    if (bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        getsockname(receiver, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        setsockopt(sender, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on)) != 0) {
      return false;
    }
    address.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    if (sendto(sender, "ping", 5, 0, reinterpret_cast<sockaddr*>(&address), sizeof(address)) < 0) {
      std::fprintf(stderr, "broadcast send failed: %s\n", std::strerror(errno));
      return false;
    }
    pollfd wait{receiver, POLLIN, 0};
    char got[8] = {};
    return poll(&wait, 1, 1000) == 1 && recv(receiver, got, sizeof(got), 0) == 5 && std::strcmp(got, "ping") == 0;
  });
  if (result == test::PrivateNetworkResult::kUnavailable) {
    GTEST_SKIP() << "this kernel allows no private network namespace here (run as root or enable "
                    "unprivileged user namespaces)";
  }
  EXPECT_EQ(result, test::PrivateNetworkResult::kPassed);
}

// Reads `pipe` until `until` has arrived, or to its end.
std::string ReadPipe(FILE* pipe, const std::string& until = "") {
  std::string text;
  char line[4096];
  while ((until.empty() || text.find(until) == std::string::npos) && std::fgets(line, sizeof line, pipe)) text += line;
  return text;
}
std::string Shell(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return "";
  std::string text = ReadPipe(pipe);
  ::pclose(pipe);
  return text;
}

OutputDevice NetDevice(int driver, int port, int channels, int universe, const char* address = "127.0.0.1") {
  OutputDevice d;
  d.driver = driver, d.port = port, d.channels = channels, d.universe = universe;
  d.headerLength = FindDriver(driver)->headerLength;
  d.driverParam = driver == kDriverSacn ? kSacnDefaultPriority : 0;
  d.SetAddress(address);
  return d;
}

// Outputs of one 2 x 1 frame, patched by `first` and `second`.
struct TwoPixels {
  TwoPixels(std::vector<OutputDevice> devices, PatchEntry first, PatchEntry second) : patch(2, 1) {
    console.SetSink([](std::string_view) {});
    outputs.devices().Load(std::move(devices));
    patch.At(0, 0) = first, patch.At(1, 0) = second;
  }
  // The frame once, then the black frames of the stop.
  void SendAndStop() {
    ASSERT_TRUE(outputs.OpenOutputs());
    outputs.SendFrame(frame, 2, 1);
    outputs.CloseOutputs();
  }
  Console console;
  std::atomic<int> state{0};
  PatchTable patch;
  Outputs outputs{console, state, patch, OutputsOptions{[](std::chrono::milliseconds) {}}};
  const uint8_t frame[6] = {0x0A, 0x14, 0x1E, 0x28, 0x32, 0x3C};
};

// Captures `count` datagrams to `port` on lo while `send` runs; returns the
// capture file, or "" and why tshark cannot capture here.
std::string CaptureOnLoopback(int port, int count, const std::function<void()>& send, std::string& why) {
  if (std::system("command -v tshark >/dev/null 2>&1") != 0) return why = "tshark is not installed", "";
  if (::geteuid() != 0) return why = "capturing on the loopback interface needs root", "";
  const std::string file = test::FreshTestDir("capture_" + std::to_string(port)) + "/capture.pcapng";
  // tshark stops by itself after `count` datagrams, or after ten seconds.
  FILE* tshark = ::popen(("tshark -q -i lo -c " + std::to_string(count) + " -a duration:10 -f 'udp dst port " +
                          std::to_string(port) + "' -w '" + file + "' 2>&1").c_str(), "r");
  if (tshark == nullptr) return why = "tshark did not start", "";
  const std::string started = ReadPipe(tshark, "Capture started");
  if (started.find("Capture started") == std::string::npos) why = "tshark could not capture on lo: " + started;
  if (why.empty()) send();
  ReadPipe(tshark);  // to its end: the capture is complete
  ::pclose(tshark);
  return why.empty() ? file : "";
}

TEST(ArtNetCapture, TsharkDecodesUniverseLengthAndData) {
  test::UdpReceiver receiver;
  OutputDevice art = NetDevice(kDriverArtNet, receiver.port(), 6, 2);
  art.subnet = 1;
  TwoPixels out({art}, {0, 0, 1, 2}, {0, 5, 4, 3});
  std::string why;
  const std::string file = CaptureOnLoopback(receiver.port(), 3, [&] { out.SendAndStop(); }, why);
  if (file.empty()) GTEST_SKIP() << why;
  // The frame, then the two black frames of the stop.
  EXPECT_EQ(Shell("tshark -r '" + file + "' -d udp.port==" + std::to_string(receiver.port()) +
                  ",artnet -Y artnet -T fields -e artnet.output.universe -e artnet.output.length "
                  "-e dmx_chan.data_filter 2>/dev/null"),
            "18\t6\t0a141e3c3228\n18\t6\t000000000000\n18\t6\t000000000000\n");
}

// Two sACN universes (tshark 4.0's DMX view calls packets with fewer than 6
// slots malformed although E1.31 allows 1 to 512; these have 6 and 7).
TwoPixels TwoUniverses(int port, const char* first = "127.0.0.1") {
  return TwoPixels({NetDevice(kDriverSacn, port, 6, 1, first), NetDevice(kDriverSacn, port, 7, 63999)}, {0, 0, 1, 2},
                   {1, 2, 1, 0});
}

TEST(SacnPeers, TsharkDecodesEveryPacketWithoutMalformedOnes) {
  test::UdpReceiver receiver;
  TwoPixels out = TwoUniverses(receiver.port());
  // Per universe: one running frame, the plain black frame, and three
  // terminating packets.
  std::string why;
  const std::string file = CaptureOnLoopback(receiver.port(), 10, [&] { out.SendAndStop(); }, why);
  if (file.empty()) GTEST_SKIP() << why;
  const std::string decode = "tshark -r '" + file + "' --enable-heuristic acn -o acn.dmx_enable:TRUE " +
                             "-o acn.dmx_display_zeros:TRUE -o acn.dmx_display_leading_zeros:TRUE ";
  const std::string decoded = Shell(decode + "-T fields -E separator=, -e acn.dmx.universe -e acn.dmx.seq_number "
                                             "-e acn.dmx.option_s -e acn.dmx.source_name -e acn.dmx.priority "
                                             "-e acn.dmx.data 2>/dev/null");
  // tshark shows the slots under a column ruler: keep what follows "001-020: ".
  std::string packets;
  for (size_t at = 0, end; (end = decoded.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = decoded.substr(at, end - at);
    const size_t ruler = line.find("    1  2"), slots = line.find("001-020: ");
    packets += (ruler == std::string::npos || slots == std::string::npos ? line : line.substr(0, ruler) + line.substr(slots + 9)) + "\n";
  }
  EXPECT_EQ(packets, "1,0,0,Quor,100,0A 14 1E 00 00 00 \n63999,0,0,Quor,100,3C 32 28 00 00 00 00 \n"
                     "1,1,0,Quor,100,00 00 00 00 00 00 \n63999,1,0,Quor,100,00 00 00 00 00 00 00 \n"
                     "1,2,1,Quor,100,00 00 00 00 00 00 \n1,3,1,Quor,100,00 00 00 00 00 00 \n"
                     "1,4,1,Quor,100,00 00 00 00 00 00 \n63999,2,1,Quor,100,00 00 00 00 00 00 00 \n"
                     "63999,3,1,Quor,100,00 00 00 00 00 00 00 \n63999,4,1,Quor,100,00 00 00 00 00 00 00 \n");
  EXPECT_EQ(Shell(decode + "-Y '_ws.malformed || _ws.expert.severity >= 8' 2>/dev/null | wc -l"), "0\n")
      << "tshark reports malformed sACN packets";
}

// The "dmx" array of OLA's reply to an HTTP GET of get_dmx?u=`universe` on
// 127.0.0.1 (the calling thread's network namespace), as "a,b,c"; "?" when
// there is no reply.
std::string OlaDmx(int universe) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET, a.sin_port = htons(9090), a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    const std::string request = "GET /get_dmx?u=" + std::to_string(universe) + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    if (::write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
      char chunk[4096];
      for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;) reply.append(chunk, static_cast<size_t>(n));
    }
  }
  ::close(fd);
  const size_t open = reply.find("\"dmx\""), from = reply.find('[', open), to = reply.find(']', from);
  if (open == std::string::npos || from == std::string::npos || to == std::string::npos) return "?";
  std::string values;
  for (char c : reply.substr(from + 1, to - from - 1)) values += c == ' ' || c == '\n' ? "" : std::string(1, c);
  return values;
}

// OLA's daemon with only its E1.31 plugin, in a private network namespace
// of its own. OLA will not run E1.31 on a loopback interface, so the
// namespace also holds a veth pair that exists only inside it: multicast
// is routed onto it and looped back, and nothing can leave the namespace.
class OlaPeer {
 public:
  // Starts olad and moves the calling thread into its namespace.
  std::string Start(const std::string& dir) {
    const std::string config = dir + "/config";
    std::filesystem::create_directories(config);
    for (const char* plugin : {"artnet", "dummy", "espnet", "ftdidmx", "gpio", "karate", "kinet", "milinst", "opendmx",
                               "openpixelcontrol", "osc", "pathport", "renard", "sandnet", "shownet", "spi",
                               "stageprofi", "uartdmx", "usbdmx", "usbserial", "dmx4linux", "nanoleaf"}) {
      std::ofstream(config + "/ola-" + plugin + ".conf") << "enabled = false\n";
    }
    std::ofstream(config + "/ola-e131.conf") << "enabled = true\nip = 10.99.0.1\ninput_ports = 2\n"
                                                 "output_ports = 0\nignore_preview = true\n";
    if (std::system(("chown -R olad '" + dir + "'").c_str()) != 0) return "cannot hand the OLA folder to the olad user";
    const std::string script =
        "ip link set lo up && ip link add quor0 type veth peer name quor1 && "
        "ip addr add 10.99.0.1/24 dev quor0 && ip link set quor0 up && ip link set quor1 up && "
        "ip route add 224.0.0.0/4 dev quor0 && exec runuser -u olad -- olad -c '" + config +
        "' -p 9090 --no-register-with-dns-sd -l 2 >'" + dir + "/olad.log' 2>&1";
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setpgid(0, 0);
      ::execlp("unshare", "unshare", "-n", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    if (pid_ < 0) return "fork failed";
    ::setpgid(pid_, pid_);
    // Wait for the namespace to exist and the daemon to answer.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const int ns = ::open(("/proc/" + std::to_string(pid_) + "/ns/net").c_str(), O_RDONLY | O_CLOEXEC);
    const bool entered = ns >= 0 && ::setns(ns, CLONE_NEWNET) == 0;
    if (ns >= 0) ::close(ns);
    if (!entered) return "cannot enter OLA's network namespace";
    for (int tries = 0; tries < 100; ++tries, std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
      if (OlaDmx(1) != "?") return "";
    }
    return "olad did not answer; see " + dir + "/olad.log";
  }
  ~OlaPeer() {
    if (pid_ > 0) ::kill(-pid_, SIGTERM), ::waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_ = -1;
};

TEST(SacnPeers, OlaShowsBothUniversesBitExact) {
  if (::geteuid() != 0) GTEST_SKIP() << "a private network namespace with OLA's user needs root";
  if (std::system("command -v olad >/dev/null 2>&1 && command -v ola_patch >/dev/null 2>&1 && id olad "
                  ">/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "OLA is not installed (tools/deps --test installs it)";
  }
  const std::string dir = test::FreshTestDir("sacn_ola");
  std::string failure;
  // The whole exchange runs on a thread that joins OLA's namespace, so the
  // test process itself stays where it was.
  std::thread peer([&] {
    OlaPeer ola;
    if (!(failure = ola.Start(dir)).empty()) return;
    // Universe 1 arrives by multicast, universe 63999 by unicast.
    if (std::system("ola_patch -d 1 -p 0 -i -u 1 && ola_patch -d 1 -p 1 -i -u 63999") != 0) {
      failure = "ola_patch could not patch the E1.31 ports";
      return;
    }
    TwoPixels out = TwoUniverses(kSacnPort, "multicast");
    if (!out.outputs.OpenOutputs()) {
      failure = "outputs did not open";
      return;
    }
    std::string first, second;
    for (int tries = 0; tries < 50 && (first != "10,20,30,0,0,0" || second != "60,50,40,0,0,0,0"); ++tries) {
      out.outputs.SendFrame(out.frame, 2, 1);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      first = OlaDmx(1), second = OlaDmx(63999);
    }
    out.outputs.CloseOutputs();
    if (first != "10,20,30,0,0,0" || second != "60,50,40,0,0,0,0") {
      failure = "OLA shows universe 1 = [" + first + "], 63999 = [" + second + "]";
    }
  });
  peer.join();
  EXPECT_EQ(failure, "");
}

}  // namespace
}  // namespace quor

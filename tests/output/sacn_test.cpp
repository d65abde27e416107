// sACN (E1.31) output: the packet byte for byte, sequence numbers and the
// end of a stream, the CID kept in the project, and two independent peers:
// tshark's ACN dissector and OLA's E1.31 receiver.
#include "output/sacn_encoder.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "output/device_editor.h"
#include "output/drivers.h"
#include "output/fast_patch.h"
#include "output/outputs.h"
#include "test_support.h"
#include "tests/output/udp_receiver.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr SacnCid kCid = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x46, 0x77,
                          0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};

OutputDevice SacnDevice(int universe, int channels, const char* address = "127.0.0.1") {
  OutputDevice d;
  d.driver = kDriverSacn;
  d.port = kSacnPort, d.channels = channels, d.universe = universe, d.driverParam = kSacnDefaultPriority;
  d.headerLength = static_cast<int>(kSacnHeaderBytes);
  d.SetAddress(address);
  SetCid(d, kCid);
  return d;
}

// Runs `encode` on `buffer` (header, channels, trailer) and returns the packets.
std::vector<Bytes> Packets(BufferEncoder encode, const OutputDevice& d, Bytes& buffer) {
  std::vector<Bytes> packets;
  Bytes scratch;
  encode(d, buffer, scratch, [&](std::span<const uint8_t> b) { packets.emplace_back(b.begin(), b.end()); });
  return packets;
}

TEST(Sacn, PacketForUniverse63999IsByteExact) {
  OutputDevice d = SacnDevice(63999, 2);
  d.driverParam = 150;
  Bytes buffer(kSacnHeaderBytes + 2 + kBufferTrailerBytes, 0);
  buffer[126] = 0xAB, buffer[127] = 0xCD;
  Bytes expected = {
      0x00, 0x10,                                                  // root: preamble size
      0x00, 0x00,                                                  // post-amble size
      'A', 'S', 'C', '-', 'E', '1', '.', '1', '7', 0, 0, 0,        // ACN packet identifier
      0x70, 0x70,                                                  // flags 7, length 112 (bytes 16..127)
      0x00, 0x00, 0x00, 0x04,                                      // VECTOR_ROOT_E131_DATA
      0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x46, 0x77,              // CID
      0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF,              //
      0x70, 0x5A,                                                  // framing: flags 7, length 90
      0x00, 0x00, 0x00, 0x02,                                      // VECTOR_E131_DATA_PACKET
      'Q', 'u', 'o', 'r'};                                         // source name, zero-padded to 64
  expected.resize(108, 0);
  expected.insert(expected.end(), {
      150,                                                         // priority
      0x00, 0x00,                                                  // synchronization address: none
      0x00,                                                        // sequence number
      0x00,                                                        // options
      0xF9, 0xFF,                                                  // universe 63999
      0x70, 0x0D,                                                  // DMP: flags 7, length 13
      0x02,                                                        // VECTOR_DMP_SET_PROPERTY
      0xA1,                                                        // address and data type
      0x00, 0x00,                                                  // first property address
      0x00, 0x01,                                                  // address increment
      0x00, 0x03,                                                  // property value count: START code + 2
      0x00,                                                        // DMX512-A START code
      0xAB, 0xCD});                                                // slots 1 and 2
  EXPECT_EQ(Packets(&EncodeSacn, d, buffer), std::vector<Bytes>{expected});
  for (int reserved : {0, 64000, 65535, -1}) {
    OutputDevice bad = d;
    bad.universe = reserved;
    EXPECT_TRUE(Packets(&EncodeSacn, bad, buffer).empty()) << reserved;
  }
  EXPECT_EQ(SacnDestination(d), "127.0.0.1");
  for (const char* multicast : {"", "multicast"}) {
    d.SetAddress(multicast);
    EXPECT_EQ(SacnDestination(d), "239.255.249.255") << multicast;
  }
  d.universe = 1;
  EXPECT_EQ(SacnDestination(d), "239.255.0.1");
}

TEST(Sacn, SequenceWrapsAndTheStopEndsTheStream) {
  const OutputDevice d = SacnDevice(7, 3);
  Bytes buffer(kSacnHeaderBytes + 3 + kBufferTrailerBytes, 0);
  std::vector<int> sequences;
  for (int frame = 0; frame < 257; ++frame) sequences.push_back(Packets(&EncodeSacn, d, buffer).at(0)[111]);
  EXPECT_EQ(sequences[0], 0);
  EXPECT_EQ(sequences[255], 255);
  EXPECT_EQ(sequences[256], 0);
  // First stop frame: a plain packet receivers show; second: three
  // Stream_Terminated packets, the sequence running on.
  const std::vector<Bytes> first = Packets(&EncodeSacnStop, d, buffer);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0][112], 0x00);
  const std::vector<Bytes> second = Packets(&EncodeSacnStop, d, buffer);
  ASSERT_EQ(second.size(), 3u);
  for (size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(second[k][112], 0x40) << k;
    EXPECT_EQ(second[k][111], 2 + k) << k;
  }
}

TEST(Sacn, CidIsKeptInTheRecordAndSharedByTheProject) {
  OutputDevice d = SacnDevice(1, 510);
  d.SetPath(std::string(300, 'p'));  // cut before the CID
  EXPECT_EQ(d.PathText().size(), kSacnPathChars);
  EXPECT_EQ(CidOf(d), kCid);
  Bytes record(kDeviceRecordBytes);
  ByteWriter out(record);
  WriteDeviceRecord(d, out);
  ByteReader in(record);
  OutputDevice back;
  ASSERT_TRUE(ReadDeviceRecord(in, 4, back));
  EXPECT_EQ(back, d);

  // Records without a CID (as a project saved before it had one) get the
  // one the project already uses, or one new CID for all.
  Console console;
  console.SetSink([](std::string_view) {});
  OutputDeviceList list(console);
  OutputDevice bare = SacnDevice(2, 3);
  SetCid(bare, SacnCid{});
  list.Load({bare, SacnDevice(1, 3), bare});
  for (int i = 0; i < 3; ++i) EXPECT_EQ(CidOf(list[i]), kCid) << i;
  list.Load({bare, bare});
  const SacnCid fresh = CidOf(list[0]);
  EXPECT_FALSE(IsZeroCid(fresh));
  EXPECT_EQ(fresh[6] >> 4, 4);  // version 4 UUID
  EXPECT_EQ(CidOf(list[1]), fresh);
  EXPECT_NE(NewCid(), fresh);
}

TEST(Sacn, EditorChecksUniversePriorityAndChannels) {
  const std::vector<std::string> ports;
  DeviceForm f = OpenForm(NewDeviceDefaults(), ports);
  ChangeDriver(f, kDriverSacn, 16, 16, ports);
  EXPECT_EQ(f.channels, "510");
  EXPECT_EQ(f.port, "5568");
  EXPECT_EQ(EnabledFields(f), kFieldIpAddress | kFieldUniverse | kFieldPriority | kFieldChannels | kFieldRedirect);
  const struct {
    const char *universe, *priority, *channels;
    EditorField failed;
  } cases[] = {
      {"1", "100", "510", kFieldNone},        {"63999", "200", "512", kFieldNone},
      {"0", "100", "510", kFieldUniverse},    {"64000", "100", "510", kFieldUniverse},
      {"1", "201", "510", kFieldPriority},    {"1", "100", "513", kFieldChannels},
      {"1", "100", "0", kFieldChannels},
  };
  for (const auto& c : cases) {
    f.universe = c.universe, f.priority = c.priority, f.channels = c.channels;
    const FormCheck check = CheckForm(f, NewDeviceDefaults());
    EXPECT_EQ(check.failed, c.failed) << c.universe << " " << c.priority << " " << c.channels;
    if (c.failed == kFieldNone) {
      EXPECT_EQ(check.device.universe, std::stoi(c.universe));
      EXPECT_EQ(check.device.driverParam, std::stoi(c.priority));
      EXPECT_EQ(check.device.headerLength, 126);
    }
  }
  // A redirection path must leave room for the CID.
  f.universe = "1", f.priority = "100", f.channels = "510", f.redirect = true;
  f.path = std::string(kSacnPathChars + 1, 'x');
  EXPECT_EQ(CheckForm(f, NewDeviceDefaults()).failed, kFieldSelect);
}

TEST(Sacn, FastPatchFillsAUniverseWithWholePixelsAndListRowsNameIt) {
  Console console;
  console.SetSink([](std::string_view) {});
  OutputDeviceList list(console);
  list.Add(SacnDevice(5, 510));
  PatchTable patch(32, 8);
  FastPatchSettings settings;
  settings.dimensionX = 32, settings.dimensionY = 8;
  ASSERT_TRUE(ApplyFastPatch(patch, list, 0, 0, settings));
  EXPECT_EQ(patch.At(9, 5), (PatchEntry{0, 507, 508, 509}));  // pixel 169, the last that fits
  EXPECT_EQ(patch.At(10, 5), PatchEntry{});
  EXPECT_EQ(settings.firstChannel, 0);  // the next area starts a new universe
  EXPECT_EQ(AddressingText(list[0]), "Universe: 5 - Priority: 100");
  OutputDevice ddp;
  ddp.driver = kDriverDdp, ddp.channels = 1536;
  EXPECT_EQ(AddressingText(ddp), "Channels: 1536");
}

// --- Real peers -----------------------------------------------------------

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

// One 2 x 1 frame patched to two sACN universes on 127.0.0.1, each with a
// few unpatched slots. (tshark 4.0's DMX view calls packets with fewer than
// 6 slots malformed although E1.31 allows 1 to 512; these have 6 and 7.)
struct TwoUniverses {
  explicit TwoUniverses(int port, const char* first = "127.0.0.1") : patch(2, 1) {
    console.SetSink([](std::string_view) {});
    OutputDevice a = SacnDevice(1, 6, first), b = SacnDevice(63999, 7);
    a.port = b.port = port;
    outputs.devices().Load({a, b});
    patch.At(0, 0) = PatchEntry{0, 0, 1, 2};
    patch.At(1, 0) = PatchEntry{1, 2, 1, 0};  // reversed
  }
  Console console;
  std::atomic<int> state{0};
  PatchTable patch;
  Outputs outputs{console, state, patch, OutputsOptions{[](std::chrono::milliseconds) {}}};
  const uint8_t frame[6] = {0x0A, 0x14, 0x1E, 0x28, 0x32, 0x3C};
};

TEST(SacnPeers, TsharkDecodesEveryPacketWithoutMalformedOnes) {
  if (std::system("command -v tshark >/dev/null 2>&1") != 0) GTEST_SKIP() << "tshark is not installed";
  if (::geteuid() != 0) GTEST_SKIP() << "capturing on the loopback interface needs root";
  const std::string capture = test::FreshTestDir("sacn_capture") + "/sacn.pcapng";
  test::UdpReceiver receiver;
  const std::string port = std::to_string(receiver.port());
  // Two universes: one running frame, the plain black frame, and three
  // terminating packets each.
  FILE* tshark = ::popen(("tshark -q -i lo -c 10 -a duration:10 -f 'udp dst port " + port + "' -w '" + capture +
                          "' 2>&1")
                             .c_str(),
                         "r");
  ASSERT_NE(tshark, nullptr);
  const std::string started = ReadPipe(tshark, "Capture started");
  if (started.find("Capture started") == std::string::npos) {
    ::pclose(tshark);
    GTEST_SKIP() << "tshark could not capture on lo: " << started;
  }
  TwoUniverses out(receiver.port());
  ASSERT_TRUE(out.outputs.OpenOutputs());
  out.outputs.SendFrame(out.frame, 2, 1);
  out.outputs.CloseOutputs();
  ReadPipe(tshark);
  ::pclose(tshark);

  const std::string decode = "tshark -r '" + capture + "' --enable-heuristic acn -o acn.dmx_enable:TRUE " +
                             "-o acn.dmx_display_zeros:TRUE -o acn.dmx_display_leading_zeros:TRUE ";
  const std::string decoded = Shell(decode +
                                    "-T fields -E separator=, -e acn.dmx.universe -e acn.dmx.seq_number "
                                    "-e acn.dmx.option_s -e acn.dmx.source_name -e acn.dmx.priority "
                                    "-e acn.dmx.data 2>/dev/null");
  // tshark shows the slots under a column ruler: keep what follows "001-020: ".
  std::string packets;
  for (size_t at = 0, end; (end = decoded.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = decoded.substr(at, end - at);
    const size_t ruler = line.find("    1  2"), slots = line.find("001-020: ");
    packets += ruler == std::string::npos || slots == std::string::npos
                   ? line + "\n"
                   : line.substr(0, ruler) + line.substr(slots + 9) + "\n";
  }
  EXPECT_EQ(packets, "1,0,0,Quor,100,0A 14 1E 00 00 00 \n63999,0,0,Quor,100,3C 32 28 00 00 00 00 \n"
                     "1,1,0,Quor,100,00 00 00 00 00 00 \n63999,1,0,Quor,100,00 00 00 00 00 00 00 \n"
                     "1,2,1,Quor,100,00 00 00 00 00 00 \n1,3,1,Quor,100,00 00 00 00 00 00 \n"
                     "1,4,1,Quor,100,00 00 00 00 00 00 \n63999,2,1,Quor,100,00 00 00 00 00 00 00 \n"
                     "63999,3,1,Quor,100,00 00 00 00 00 00 00 \n63999,4,1,Quor,100,00 00 00 00 00 00 00 \n");
  const std::string malformed =
      Shell(decode + "-Y '_ws.malformed || _ws.expert.severity >= 8' 2>/dev/null | wc -l");
  EXPECT_EQ(malformed, "0\n") << "tshark reports malformed sACN packets";
}

// An HTTP GET on 127.0.0.1 (the calling thread's network namespace).
std::string HttpGet(int port, const std::string& path) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    if (::write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
      char chunk[4096];
      for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;) reply.append(chunk, static_cast<size_t>(n));
    }
  }
  ::close(fd);
  const size_t body = reply.find("\r\n\r\n");
  return body == std::string::npos ? "" : reply.substr(body + 4);
}

// The "dmx" array of OLA's get_dmx reply, as "a,b,c".
std::string DmxOf(const std::string& json) {
  const size_t open = json.find('[');
  const size_t close = json.find(']', open);
  if (open == std::string::npos || close == std::string::npos) return "";
  std::string values;
  for (char c : json.substr(open + 1, close - open - 1)) {
    if (c != ' ' && c != '\n') values += c;
  }
  return values;
}

// OLA's daemon with only its E1.31 plugin, in a private network namespace
// of its own. OLA will not run E1.31 on a loopback interface, so the
// namespace also holds a veth pair that exists only inside it: multicast
// is routed onto it and looped back, and nothing can leave the namespace.
class OlaPeer {
 public:
  bool Start(const std::string& dir, std::string& why) {
    const std::string config = dir + "/config";
    std::filesystem::create_directories(config);
    for (const char* plugin : {"artnet", "dummy", "espnet", "ftdidmx", "gpio", "karate", "kinet", "milinst",
                               "opendmx", "openpixelcontrol", "osc", "pathport", "renard", "sandnet", "shownet",
                               "spi", "stageprofi", "uartdmx", "usbdmx", "usbserial", "dmx4linux", "nanoleaf"}) {
      std::ofstream(config + "/ola-" + plugin + ".conf") << "enabled = false\n";
    }
    std::ofstream(config + "/ola-e131.conf") << "enabled = true\nip = 10.99.0.1\ninput_ports = 2\n"
                                                 "output_ports = 0\nignore_preview = true\n";
    if (std::system(("chown -R olad '" + dir + "'").c_str()) != 0) {
      why = "cannot hand the OLA folder to the olad user";
      return false;
    }
    const std::string script =
        "ip link set lo up && ip link add quor0 type veth peer name quor1 && "
        "ip addr add 10.99.0.1/24 dev quor0 && ip link set quor0 up && ip link set quor1 up && "
        "ip route add 224.0.0.0/4 dev quor0 && "
        "exec runuser -u olad -- olad -c '" + config + "' -p 9090 --no-register-with-dns-sd -l 2 >'" + dir +
        "/olad.log' 2>&1";
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setpgid(0, 0);
      ::execlp("unshare", "unshare", "-n", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    if (pid_ < 0) {
      why = "fork failed";
      return false;
    }
    ::setpgid(pid_, pid_);
    // Wait for the namespace to exist and the daemon to answer.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const int ns = ::open(("/proc/" + std::to_string(pid_) + "/ns/net").c_str(), O_RDONLY | O_CLOEXEC);
    if (ns < 0 || ::setns(ns, CLONE_NEWNET) != 0) {
      why = "cannot enter OLA's network namespace";
      if (ns >= 0) ::close(ns);
      return false;
    }
    ::close(ns);
    for (int tries = 0; tries < 100; ++tries) {
      if (HttpGet(9090, "/get_dmx?u=1").find("dmx") != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    why = "olad did not answer; see " + dir + "/olad.log";
    return false;
  }
  ~OlaPeer() {
    if (pid_ > 0) {
      ::kill(-pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
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
    if (!ola.Start(dir, failure)) return;
    // Universe 1 arrives by multicast, universe 63999 by unicast.
    if (std::system("ola_patch -d 1 -p 0 -i -u 1 && ola_patch -d 1 -p 1 -i -u 63999") != 0) {
      failure = "ola_patch could not patch the E1.31 ports";
      return;
    }
    TwoUniverses out(kSacnPort, "multicast");
    if (!out.outputs.OpenOutputs()) {
      failure = "outputs did not open";
      return;
    }
    std::string first, second;
    for (int tries = 0; tries < 50; ++tries) {
      out.outputs.SendFrame(out.frame, 2, 1);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      first = DmxOf(HttpGet(9090, "/get_dmx?u=1"));
      second = DmxOf(HttpGet(9090, "/get_dmx?u=63999"));
      if (first == "10,20,30,0,0,0" && second == "60,50,40,0,0,0,0") break;
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

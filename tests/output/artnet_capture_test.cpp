// Quor's Art-Net output as an independent decoder reads it: tshark captures
// the datagrams on the loopback interface (only the test's own port) and
// decodes them as Art-Net.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "output/outputs.h"
#include "test_support.h"
#include "tests/output/udp_receiver.h"

extern char** environ;

namespace quor {
namespace {

std::string ReadText(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path).rdbuf();
  return s.str();
}

// Polls `done` for up to ten seconds.
bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 200; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

TEST(ArtNetCapture, TsharkDecodesUniverseLengthAndData) {
  if (std::system("command -v tshark >/dev/null 2>&1") != 0) GTEST_SKIP() << "tshark is not installed";
  if (::geteuid() != 0) GTEST_SKIP() << "capturing on the loopback interface needs root";
  const std::string dir = test::FreshTestDir("artnet_capture");
  const std::string capture = dir + "/artnet.pcapng", log = dir + "/tshark.log";
  test::UdpReceiver receiver;
  const std::string port = std::to_string(receiver.port());

  // tshark stops by itself after the three datagrams the test sends.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  const std::string filter = "udp dst port " + port;
  const char* argv[] = {"tshark", "-q", "-i", "lo", "-c", "3", "-f", filter.c_str(), "-w", capture.c_str(), nullptr};
  pid_t tshark = 0;
  const int spawned = posix_spawnp(&tshark, "tshark", &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  ASSERT_EQ(spawned, 0);
  int status = 0;
  bool exited = false;
  const auto finished = [&] { return exited = exited || ::waitpid(tshark, &status, WNOHANG) == tshark; };
  const bool capturing =
      WaitFor([&] { return ReadText(log).find("Capture started") != std::string::npos || finished(); }) && !exited;
  if (!capturing) {
    if (!exited) ::kill(tshark, SIGTERM), ::waitpid(tshark, &status, 0);
    GTEST_SKIP() << "tshark could not capture on lo: " << ReadText(log);
  }

  Console console;
  std::atomic<int> state{0};
  PatchTable patch(2, 1);
  Outputs outputs(console, state, patch, OutputsOptions{[](std::chrono::milliseconds) {}});
  OutputDevice d;
  d.SetAddress("127.0.0.1");
  d.port = receiver.port(), d.channels = 6, d.subnet = 1, d.universe = 2;
  outputs.devices().Add(d);
  patch.At(0, 0) = PatchEntry{0, 0, 1, 2};
  patch.At(1, 0) = PatchEntry{0, 5, 4, 3};
  const uint8_t frame[6] = {0x0A, 0x14, 0x1E, 0x28, 0x32, 0x3C};
  ASSERT_TRUE(outputs.OpenOutputs());
  outputs.SendFrame(frame, 2, 1);
  test::Datagram got;
  ASSERT_TRUE(receiver.Receive(got));
  outputs.CloseOutputs();
  receiver.ReceiveAll(50);
  if (!WaitFor(finished)) ::kill(tshark, SIGINT), ::waitpid(tshark, &status, 0);

  const std::string command = "tshark -r '" + capture + "' -d udp.port==" + port +
                              ",artnet -Y artnet -T fields -e artnet.output.universe -e artnet.output.length "
                              "-e dmx_chan.data_filter 2>/dev/null";
  std::string decoded;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char chunk[512];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) decoded.append(chunk, n);
    ::pclose(pipe);
  }
  // The frame, then the two black frames of the stop.
  EXPECT_EQ(decoded, "18\t6\t0a141e3c3228\n18\t6\t000000000000\n18\t6\t000000000000\n");
}

}  // namespace
}  // namespace quor

// Quor's Art-Net output as an independent decoder reads it: tshark captures
// the datagrams on the loopback interface (only the test's own port) and
// decodes them as Art-Net.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "output/outputs.h"
#include "test_support.h"
#include "tests/output/udp_receiver.h"

namespace quor {
namespace {

// Reads `pipe` until `until` has arrived, or to its end.
std::string ReadPipe(FILE* pipe, const std::string& until = "") {
  std::string text;
  char line[512];
  while ((until.empty() || text.find(until) == std::string::npos) && std::fgets(line, sizeof line, pipe)) text += line;
  return text;
}

TEST(ArtNetCapture, TsharkDecodesUniverseLengthAndData) {
  if (std::system("command -v tshark >/dev/null 2>&1") != 0) GTEST_SKIP() << "tshark is not installed";
  if (::geteuid() != 0) GTEST_SKIP() << "capturing on the loopback interface needs root";
  const std::string capture = test::FreshTestDir("artnet_capture") + "/artnet.pcapng";
  test::UdpReceiver receiver;
  const std::string port = std::to_string(receiver.port());

  // tshark stops by itself after the three datagrams the test sends, or
  // after ten seconds.
  const std::string listen = "tshark -q -i lo -c 3 -a duration:10 -f 'udp dst port " + port + "' -w '" + capture + "'";
  FILE* tshark = ::popen((listen + " 2>&1").c_str(), "r");
  ASSERT_NE(tshark, nullptr);
  const std::string started = ReadPipe(tshark, "Capture started");
  if (started.find("Capture started") == std::string::npos) {
    ::pclose(tshark);
    GTEST_SKIP() << "tshark could not capture on lo: " << started;
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
  ReadPipe(tshark);  // to its end: the capture is complete
  ::pclose(tshark);

  const std::string read = "tshark -r '" + capture + "' -d udp.port==" + port +
                           ",artnet -Y artnet -T fields -e artnet.output.universe -e artnet.output.length "
                           "-e dmx_chan.data_filter 2>/dev/null";
  FILE* decode = ::popen(read.c_str(), "r");
  ASSERT_NE(decode, nullptr);
  const std::string decoded = ReadPipe(decode);
  ::pclose(decode);
  // The frame, then the two black frames of the stop.
  EXPECT_EQ(decoded, "18\t6\t0a141e3c3228\n18\t6\t000000000000\n18\t6\t000000000000\n");
}

}  // namespace
}  // namespace quor

// Outputs sending a frame to every device through the patch, over loopback
// UDP and into files, and stopping with black frames.
#include "output/outputs.h"

#include <gtest/gtest.h>

#include <time.h>

#include <filesystem>
#include <fstream>

#include "output/bitmap_encoder.h"
#include "output/udp_transport.h"
#include "test_support.h"
#include "tests/output/udp_receiver.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;
using test::UdpReceiver;

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

class OutputsTest : public testing::Test {
 protected:
  OutputsTest()
      : patch_(4, 2),
        outputs_(console_, state_, patch_,
                 OutputsOptions{[this](std::chrono::milliseconds ms) { pauses_.push_back(static_cast<int>(ms.count())); }}),
        capture_(console_) {
    for (int i = 0; i < 8; ++i) frame_.insert(frame_.end(), {static_cast<uint8_t>(10 * i + 1), 0x0A, 0xFF});
  }
  // A device sending to the receiver, or with a `path` redirected into that file.
  OutputDevice Device(int driver, int channels, int param = 0, const std::string& path = "") {
    OutputDevice d;
    d.driver = driver, d.port = receiver_.port(), d.channels = channels, d.driverParam = param;
    d.redirect = !path.empty();
    d.SetAddress("127.0.0.1");
    d.SetPath(path);
    return d;
  }
  void Send() { outputs_.SendFrame(frame_.data(), 4, 2); }

  Console console_;
  std::atomic<int> state_{0};
  PatchTable patch_;
  std::vector<int> pauses_;
  Outputs outputs_;
  test::ConsoleCapture capture_;
  UdpReceiver receiver_;
  Bytes frame_;  // 4 x 2: pixel i = (10 i + 1, 0x0A, 0xFF)
};

TEST_F(OutputsTest, NetworkDevicesShareOneSocketAndSendThePatchedChannels) {
  OutputDevice art1 = Device(kDriverArtNet, 6);
  art1.universe = 1;
  outputs_.devices().Load({Device(kDriverArtNet, 6), art1, Device(kDriverTpm2Net, 6, 4)});
  patch_.At(0, 0) = PatchEntry{0, 0, 1, 2};
  patch_.At(1, 0) = PatchEntry{1, 5, 4, 3};    // reversed colours
  patch_.At(2, 0) = PatchEntry{2, 1, 2, 3};
  patch_.At(3, 0) = PatchEntry{0, 4, 5, 600};  // blue outside the device: dropped
  ASSERT_TRUE(outputs_.OpenOutputs());
  EXPECT_EQ(std::make_pair(state_.load(), outputs_.socketsOpened()), std::make_pair(int{kOutputRunning}, 1));
  Send();
  const auto frame = receiver_.ReceiveAll();
  ASSERT_EQ(frame.size(), 4u);
  for (const auto& d : frame) EXPECT_EQ(d.sourcePort, outputs_.SharedSocketLocalPort());
  EXPECT_EQ(frame[1].bytes[14], 0x01);  // universe
  EXPECT_EQ(UdpReceiver::ArtNetData(frame[0]), (Bytes{1, 0x0A, 0xFF, 0, 31, 0x0A}));
  EXPECT_EQ(UdpReceiver::ArtNetData(frame[1]), (Bytes{0, 0, 0, 0xFF, 0x0A, 11}));
  EXPECT_EQ(frame[2].bytes, (Bytes{0x9C, 0xDA, 0, 4, 1, 2, 0, 21, 0x0A, 0xFF, 0x36}));
  EXPECT_EQ(frame[3].bytes, (Bytes{0x9C, 0xDA, 0, 2, 2, 2, 0, 0, 0x36}));

  // Stopping: two black frames 40 ms apart to every network device, one
  // socket closed; stopping again or sending while stopped does nothing.
  outputs_.CloseOutputs();
  EXPECT_EQ(std::make_pair(state_.load(), outputs_.socketsClosed()), std::make_pair(int{kOutputStopped}, 1));
  const auto black = receiver_.ReceiveAll();
  ASSERT_EQ(black.size(), 8u);
  EXPECT_EQ(UdpReceiver::ArtNetData(black[4]), Bytes(6, 0));
  EXPECT_EQ(black[7].bytes, frame[3].bytes);
  outputs_.CloseOutputs();
  Send();
  EXPECT_TRUE(receiver_.ReceiveAll(50).empty());
  EXPECT_EQ(pauses_, (std::vector<int>{40, 40}));
}

TEST_F(OutputsTest, AnyFailedDeviceLeavesNothingOpen) {
  const std::string dir = test::FreshTestDir("outputs_failed_open");
  OutputDevice serial = Device(kDriverTpm2, 24, 115200);
  serial.SetAddress("/dev/quor-none");
  OutputDeviceList& list = outputs_.devices();
  list.Load({Device(kDriverArtNet, 512), serial, Device(kDriverFileRecorder, 0, 0, dir + "/rec.out")});
  EXPECT_FALSE(outputs_.OpenOutputs());
  EXPECT_EQ(std::make_tuple(state_.load(), outputs_.socketsOpened(), outputs_.socketsClosed()),
            std::make_tuple(int{kOutputStopped}, 1, 1));
  EXPECT_TRUE(pauses_.empty());  // nothing was running: no black frames
  EXPECT_EQ(capture_.Count("/dev/quor-none"), 1);
  Send();
  EXPECT_TRUE(receiver_.ReceiveAll(50).empty());

  // Channel counts no wire format carries fail the open instead of
  // allocating for them; no devices at all is a valid open.
  for (const OutputDevice& d : {Device(kDriverArtNet, -4), Device(kDriverTpm2Net, 70000, 100)}) {
    list.Load({d});
    EXPECT_FALSE(outputs_.OpenOutputs()) << d.channels;
  }
  list.Load({});
  EXPECT_TRUE(outputs_.OpenOutputs());
  outputs_.CloseOutputs();
  // An unknown driver value sends nothing but does not stop the others.
  list.Load({Device(9, 6), Device(kDriverArtNet, 6)});
  patch_.At(0, 0) = PatchEntry{0, 0, 1, 2};
  patch_.At(1, 0) = PatchEntry{1, 0, 1, 2};
  ASSERT_TRUE(outputs_.OpenOutputs());
  Send();
  const auto sent = receiver_.ReceiveAll();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].bytes[18], 11);
}

TEST_F(OutputsTest, FilesAreWrittenOnlyWhileRunning) {
  const std::string dir = test::FreshTestDir("outputs_files");
  std::filesystem::create_directories(dir + "/bitmaps");
  outputs_.devices().Load({Device(kDriverArtNet, 4, 0, dir + "/art.out"), Device(kDriverTpm2, 3, 0, dir + "/tpm2.out"),
                           Device(kDriverBitmapExport, 0, 0, dir + "/bitmaps"),
                           Device(kDriverFileRecorder, 0, 0, dir + "/rec.out")});
  patch_.At(1, 0) = PatchEntry{1, 0, 1, 2};
  patch_.At(2, 0) = PatchEntry{0, 1, 2, 3};
  ASSERT_TRUE(outputs_.OpenOutputs());
  Send();
  Send();
  outputs_.CloseOutputs();
  EXPECT_TRUE(receiver_.ReceiveAll(50).empty());  // redirected: nothing on the network

  const Bytes art = ReadFile(dir + "/art.out");
  ASSERT_EQ(art.size(), 2u * 22u);  // two datagrams; none for the black frames
  EXPECT_EQ(Bytes(art.begin() + 18, art.begin() + 22), (Bytes{0, 21, 0x0A, 0xFF}));
  // tpm2: start, type, size, channels, end; once per frame.
  EXPECT_EQ(ReadFile(dir + "/tpm2.out"), (Bytes{0xC9, 0xDA, 0, 3, 11, 0x0A, 0xFF, 0x36,  //
                                                0xC9, 0xDA, 0, 3, 11, 0x0A, 0xFF, 0x36}));
  const Bytes recorded = ReadFile(dir + "/rec.out");
  ASSERT_EQ(recorded.size(), 2u * 24u);
  EXPECT_EQ(recorded[3], 41 ^ 0x80);  // column 0, row 1
  Bytes expectedBitmap;
  EncodeBitmap(frame_.data(), 4, 2, expectedBitmap);
  EXPECT_EQ(ReadFile(dir + "/bitmaps/00000002.bmp"), expectedBitmap);
  EXPECT_FALSE(std::filesystem::exists(dir + "/bitmaps/00000003.bmp"));

  // A new run truncates the files and numbers bitmaps from 1 again.
  ASSERT_TRUE(outputs_.OpenOutputs());
  EXPECT_TRUE(ReadFile(dir + "/rec.out").empty());
  frame_.assign(frame_.size(), 0xFF);
  Send();
  // While running, the recorder file cannot be taken by a second writer.
  std::atomic<int> otherState{0};
  Outputs other(console_, otherState, patch_);
  other.devices().Add(Device(kDriverFileRecorder, 0, 0, dir + "/rec.out"));
  EXPECT_FALSE(other.OpenOutputs());
  // Writer threads write the files; closing waits for what they hold.
  outputs_.CloseOutputs();
  EXPECT_EQ(ReadFile(dir + "/bitmaps/00000001.bmp")[54], 0xFF);
  EXPECT_EQ(ReadFile(dir + "/rec.out").size(), 24u);
}

TEST(UdpSocketBatch, AFrameLeavesInOrderAndARefusedDatagramCostsOnlyItself) {
  UdpReceiver receiver;
  UdpSocket socket;
  socket.SetBatching(true);
  UdpTransport good(socket, "127.0.0.1", receiver.port());
  UdpTransport refused(socket, "127.0.0.1", 0);  // port 0: the system refuses the datagram
  // More datagrams than one sendmmsg call takes (1024) where the receive
  // buffer holds them; sizes vary so that runs of equal sizes end.
  const int count = std::min(1500, receiver.SetReceiveBuffer(4 << 20) / 1024);
  auto datagram = [](int i) {
    Bytes b = {static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)};
    if (i % 97 == 0) b.push_back(0xEE);
    if (i % 89 == 0) b.pop_back();
    return b;
  };
  for (int i = 0; i < count; ++i) (i == 700 ? refused : good).Send(datagram(i));
  EXPECT_TRUE(receiver.ReceiveAll(20).empty()) << "nothing leaves before the flush";
  socket.Flush();
  const std::vector<test::Datagram> got = receiver.ReceiveAll();
  ASSERT_EQ(got.size(), static_cast<size_t>(count - 1));
  for (size_t k = 0; k < got.size(); ++k) {
    const int i = k < 700 ? static_cast<int>(k) : static_cast<int>(k) + 1;
    ASSERT_EQ(got[k].bytes, datagram(i)) << k;
  }
  EXPECT_EQ(socket.refused(), 1u);
}

// One Art-Net device per pixel of a 128 x 128 matrix must leave well
// inside a 40 ms frame. Measured as the sending thread's processor time
// (median of five frames), which a busy machine disturbs far less than
// wall time; sent one by one, the datagrams alone took over 40 ms here.
TEST(OutputsLoad, SixteenThousandArtNetDevicesFitAFrame) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "timing means nothing in a sanitizer build";
#endif
  constexpr int kSide = 128;
  Console console;
  console.SetSink([](std::string_view) {});
  std::atomic<int> state{0};
  PatchTable patch(kSide, kSide);
  Outputs outputs(console, state, patch, OutputsOptions{[](std::chrono::milliseconds) {}});
  UdpReceiver receiver;  // reads nothing: what it cannot hold is dropped
  std::vector<OutputDevice> devices;
  for (int p = 0; p < kSide * kSide; ++p) {
    patch.entries()[static_cast<size_t>(p)] = PatchEntry{p, 0, 1, 2};
    OutputDevice d;
    d.SetAddress("127.0.0.1");
    d.port = receiver.port(), d.channels = 4, d.driverParam = p / 256, d.subnet = (p / 16) % 16, d.universe = p % 16;
    devices.push_back(d);
  }
  outputs.devices().Load(std::move(devices));
  ASSERT_TRUE(outputs.OpenOutputs());
  const Bytes frame(kSide * kSide * 3, 0x40);
  std::vector<double> ms;
  for (int n = 0; n < 5; ++n) {
    timespec start{}, end{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
    outputs.SendFrame(frame.data(), kSide, kSide);
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
    ms.push_back((end.tv_sec - start.tv_sec) * 1e3 + (end.tv_nsec - start.tv_nsec) / 1e6);
  }
  outputs.CloseOutputs();
  std::sort(ms.begin(), ms.end());
  EXPECT_LT(ms[2], 30.0) << "one frame to 16384 Art-Net devices took " << ms[2] << " ms of processor time";
}

}  // namespace
}  // namespace quor

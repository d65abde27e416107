#include "output/outputs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "output/bitmap_encoder.h"
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
  EXPECT_EQ(state_.load(), kOutputRunning);
  EXPECT_EQ(outputs_.socketsOpened(), 1);
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
  EXPECT_EQ(state_.load(), kOutputStopped);
  const auto black = receiver_.ReceiveAll();
  ASSERT_EQ(black.size(), 8u);
  EXPECT_EQ(UdpReceiver::ArtNetData(black[4]), Bytes(6, 0));
  EXPECT_EQ(black[7].bytes, frame[3].bytes);
  EXPECT_EQ(outputs_.socketsClosed(), 1);
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
  EXPECT_EQ(state_.load(), kOutputStopped);
  EXPECT_EQ(std::make_pair(outputs_.socketsOpened(), outputs_.socketsClosed()), std::make_pair(1, 1));
  EXPECT_TRUE(pauses_.empty());  // nothing was running: no black frames
  EXPECT_EQ(capture_.Count("/dev/quor-none"), 1);
  Send();
  EXPECT_TRUE(receiver_.ReceiveAll(50).empty());

  // Channel counts no wire format carries fail the open instead of
  // allocating for them.
  list.Load({Device(kDriverArtNet, -4)});
  EXPECT_FALSE(outputs_.OpenOutputs());
  list.Load({Device(kDriverTpm2Net, 70000, 100)});
  EXPECT_FALSE(outputs_.OpenOutputs());
  // No devices at all is a valid open.
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
  EXPECT_EQ(ReadFile(dir + "/bitmaps/00000001.bmp")[54], 0xFF);
  // While running, the recorder file cannot be taken by a second writer.
  std::atomic<int> otherState{0};
  Outputs other(console_, otherState, patch_);
  other.devices().Add(Device(kDriverFileRecorder, 0, 0, dir + "/rec.out"));
  EXPECT_FALSE(other.OpenOutputs());
  EXPECT_EQ(ReadFile(dir + "/rec.out").size(), 24u);
}

}  // namespace
}  // namespace quor

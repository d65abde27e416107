// Byte-exact encoder output on a send buffer; Outputs sending through the patch over loopback UDP and into files.
#include "output/outputs.h"

#include <gtest/gtest.h>

#include <time.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <thread>
#include <tuple>

#include "output/bitmap_encoder.h"
#include "output/ddp_encoder.h"
#include "output/device_list.h"
#include "output/drivers.h"
#include "output/recorder_encoder.h"
#include "output/sacn_encoder.h"
#include "output/tpm2net_encoder.h"
#include "output/udp_transport.h"
#include "test_support.h"
#include "tests/output/udp_receiver.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr SacnCid kCid = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x46, 0x77,
                          0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};

OutputDevice EncoderDevice(int driver, int channels, int driverParam = 0) {
  OutputDevice d;
  d.driver = driver, d.channels = channels, d.driverParam = driverParam;
  d.headerLength = FindDriver(driver)->headerLength;
  SetCid(d, kCid);
  return d;
}
// The send buffer of `d`: header room, `channels` (zero-padded), trailer.
Bytes Buffer(const OutputDevice& d, const Bytes& channels = {}) {
  Bytes buffer(static_cast<size_t>(d.headerLength + d.channels) + kBufferTrailerBytes, 0);
  std::copy(channels.begin(), channels.end(), buffer.begin() + d.headerLength);
  return buffer;
}
std::vector<Bytes> Encode(const OutputDevice& d, Bytes& buffer, bool stop = false) {
  const DriverInfo* driver = FindDriver(d.driver);
  std::vector<Bytes> packets;
  Bytes scratch;
  (stop && driver->encodeStop ? driver->encodeStop : driver->encode)(
      d, buffer, scratch, [&](std::span<const uint8_t> b) { packets.emplace_back(b.begin(), b.end()); });
  return packets;
}
std::vector<Bytes> EncodeChannels(const OutputDevice& d, const Bytes& channels) { Bytes b = Buffer(d, channels); return Encode(d, b); }

TEST(Encoders, ArtNetHeaderCarriesAddressAndLength) {
  OutputDevice d = EncoderDevice(kDriverArtNet, 2, /*net*/ 1);
  d.subnet = 2, d.universe = 3;
  const Bytes expected = {'A', 'r', 't', '-', 'N', 'e', 't', 0,  //
                          0x00, 0x50, 0x00, 0x0E,  // OpDmx (low byte first), protocol version 14
                          0x00, 0x00, 0x23, 0x01,  // sequence, physical input, subnet/universe, net
                          0x00, 0x02, 0xAB, 0xCD};  // length (high byte first), data
  EXPECT_EQ(EncodeChannels(d, {0xAB, 0xCD}), std::vector<Bytes>{expected});
}

// Block bytes are checked where Outputs sends them; here the size's high byte and unusable block sizes.
TEST(Encoders, Tpm2NetSplitsChannelsIntoNumberedBlocks) {
  const OutputDevice d = EncoderDevice(kDriverTpm2Net, 1000, 300);
  Bytes buffer = Buffer(d, Bytes(1000, 7));
  const std::vector<Bytes> packets = Encode(d, buffer);
  ASSERT_EQ(packets.size(), 4u);
  EXPECT_EQ(Bytes(packets[2].begin(), packets[2].begin() + 6), (Bytes{0x9C, 0xDA, 0x01, 0x2C, 3, 4}));
  EXPECT_EQ(packets[3].size(), 6u + 100u + 1u);
  EXPECT_EQ(Bytes(buffer.begin() + 6, buffer.begin() + 1006), Bytes(1000, 7));  // kept for the next frame
  for (int perBlock : {0, -5}) EXPECT_TRUE(EncodeChannels(EncoderDevice(kDriverTpm2Net, 10, perBlock), {}).empty()) << perBlock;
}

TEST(Encoders, MiniDmxTypeByteNamesTheChannelCount) {
  const std::pair<int, uint8_t> types[] = {{96, 0xA0}, {256, 0xA1}, {512, 0xA2}, {3072, 0xB2}, {0, 0}, {97, 0}};
  for (const auto& [channels, type] : types) {
    const std::vector<Bytes> q = EncodeChannels(EncoderDevice(kDriverMiniDmx, channels), {});
    ASSERT_EQ(q.size(), type ? 1u : 0u) << channels;
    if (type) { EXPECT_EQ(std::make_tuple(q[0].size(), q[0][1], q[0].back()), std::make_tuple(channels + 3u, type, 0xA5)); }
  }
}

TEST(Encoders, RecorderWritesColumnsWithTheTopBitInvertedAndBitmapsBottomUpAsPaddedBgr) {
  // 2 x 3, row by row: pixel (x, y) = (x * 16 + y, 255, 1).
  const Bytes frame = {0, 255, 1, 16, 255, 1, 1, 255, 1, 17, 255, 1, 2, 255, 1, 18, 255, 1};
  Bytes out;
  EncodeRecorderFrame({frame.data(), 2, 3}, out);
  EXPECT_EQ(out, (Bytes{0x80, 0x7F, 0x81, 0x81, 0x7F, 0x81, 0x82, 0x7F, 0x81,     // column 0, rows 0..2
                        0x90, 0x7F, 0x81, 0x91, 0x7F, 0x81, 0x92, 0x7F, 0x81}));  // column 1

  EncodeBitmap({frame.data() + 6, 2, 2}, out);  // rows 1 and 2 as a 2 x 2 picture
  Bytes expected = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file size, reserved, pixel offset
                    40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0,             // info size, width, height (bottom-up)
                    1, 0, 24, 0};                                     // planes, bits per pixel
  expected.resize(54, 0);
  expected.insert(expected.end(), {1, 255, 2, 1, 255, 18, 0, 0,  // bottom row first, BGR, padded to 4
                                   1, 255, 1, 1, 255, 17, 0, 0});
  EXPECT_EQ(out, expected);
  EXPECT_EQ(BitmapFileName("/tmp/out/", 123) + BitmapFileName("/tmp/out", 1), "/tmp/out/00000123.bmp/tmp/out/00000001.bmp");
}

TEST(Ddp, FramesSplitAt1440BytesWithPushOnTheLastAndSequence1To15) {
  EXPECT_TRUE(EncodeChannels(EncoderDevice(kDriverDdp, 0), {}).empty());
  const OutputDevice d = EncoderDevice(kDriverDdp, 3000);  // 1440 + 1440 + 120
  Bytes channels(3000);
  for (size_t i = 0; i < channels.size(); ++i) channels[i] = static_cast<uint8_t>(i * 7);
  Bytes buffer = Buffer(d, channels);
  const std::vector<Bytes> packets = Encode(d, buffer);
  ASSERT_EQ(packets.size(), 3u);
  // Version 1, sequence, RGB 8 bits, display; offset and length big-endian.
  const Bytes headers[] = {{0x40, 1, 0x0B, 0x01, 0, 0, 0, 0, 0x05, 0xA0},
                           {0x40, 2, 0x0B, 0x01, 0, 0, 0x05, 0xA0, 0x05, 0xA0},
                           {0x41, 3, 0x0B, 0x01, 0, 0, 0x0B, 0x40, 0, 120}};  // push on the last
  for (size_t k = 0; k < 3; ++k) {
    Bytes expected = headers[k];
    expected.insert(expected.end(), channels.begin() + long(k * 1440), channels.begin() + long(std::min<size_t>(3000, k * 1440 + 1440)));
    EXPECT_EQ(packets[k], expected) << k;
  }
  // The channel data survives; the sequence runs through 15 back to 1, never 0.
  EXPECT_TRUE(std::equal(channels.begin(), channels.end(), buffer.begin() + kDdpHeaderBytes));
  for (int frame = 0; frame < 4; ++frame) Encode(d, buffer);
  EXPECT_EQ(Encode(d, buffer)[0][1], 1);  // packets 16, 17, 18 = 1, 2, 3
}

TEST(Sacn, PacketForUniverse63999IsByteExact) {
  OutputDevice d = EncoderDevice(kDriverSacn, 2, 150);
  d.universe = 63999;
  Bytes expected = {0x00, 0x10, 0x00, 0x00,                               // root: preamble, post-amble size
                    'A', 'S', 'C', '-', 'E', '1', '.', '1', '7', 0, 0, 0,  // ACN packet identifier
                    0x70, 0x70, 0x00, 0x00, 0x00, 0x04};  // flags 7, length 112 (bytes 16..127), VECTOR_ROOT_E131_DATA
  expected.insert(expected.end(), kCid.begin(), kCid.end());
  expected.insert(expected.end(), {0x70, 0x5A, 0x00, 0x00, 0x00, 0x02,  // framing: flags 7, length 90, DATA_PACKET
                                   'Q', 'u', 'o', 'r'});                // source name, zero-padded to 64
  expected.resize(108, 0);
  expected.insert(expected.end(), {150, 0x00, 0x00, 0x00, 0x00,  // priority, no sync address, sequence, options
                                   0xF9, 0xFF, 0x70, 0x0D, 0x02, 0xA1,  // universe; DMP: flags 7, length 13, SET_PROPERTY, types
                                   0x00, 0x00, 0x00, 0x01, 0x00, 0x03,  // first address, increment, count: START code + 2
                                   0x00, 0xAB, 0xCD});                  // DMX512-A START code, slots 1 and 2
  EXPECT_EQ(EncodeChannels(d, {0xAB, 0xCD}), std::vector<Bytes>{expected});
  for (int reserved : {0, 64000, 65535, -1}) {
    OutputDevice bad = d;
    bad.universe = reserved;
    EXPECT_TRUE(EncodeChannels(bad, {}).empty()) << reserved;
  }
  for (auto [address, universe, destination] : {std::tuple{"127.0.0.1", 63999, "127.0.0.1"},
                                                 {"multicast", 63999, "239.255.249.255"}, {"", 1, "239.255.0.1"}}) {
    d.SetAddress(address), d.universe = universe;
    EXPECT_EQ(SacnDestination(d), destination) << address;
  }
}

TEST(Sacn, SequenceWrapsAndTheStopEndsTheStream) {
  OutputDevice d = EncoderDevice(kDriverSacn, 3);
  d.universe = 7;
  Bytes buffer = Buffer(d);
  std::vector<int> sequences;
  for (int frame = 0; frame < 257; ++frame) sequences.push_back(Encode(d, buffer).at(0)[111]);
  EXPECT_EQ(std::make_pair(sequences[255], sequences[256]), std::make_pair(255, 0));
  // Stop frames: a plain packet, then three Stream_Terminated ones.
  const std::vector<Bytes> first = Encode(d, buffer, true), second = Encode(d, buffer, true);
  ASSERT_TRUE(first.size() == 1u && second.size() == 3u);
  EXPECT_EQ(first[0][112], 0x00);
  for (size_t k = 0; k < 3; ++k) EXPECT_EQ(std::make_pair(int{second[k][112]}, int{second[k][111]}), std::make_pair(0x40, int(2 + k)));
}

TEST(Sacn, CidIsKeptInTheRecordAndSharedByTheProject) {
  OutputDevice d = EncoderDevice(kDriverSacn, 510);
  d.SetPath(std::string(300, 'p'));  // cut before the CID
  EXPECT_EQ(std::make_pair(d.PathText().size(), CidOf(d)), std::make_pair(kSacnPathChars, kCid));
  Bytes record(kDeviceRecordBytes);
  ByteWriter out(record);
  WriteDeviceRecord(d, out);
  ByteReader in(record);
  OutputDevice back;
  ASSERT_TRUE(ReadDeviceRecord(in, 4, back));
  EXPECT_EQ(back, d);

  // Records without a CID (older projects) get the project's CID, or one new CID for all.
  Console console;
  console.SetSink([](std::string_view) {});
  OutputDeviceList list(console);
  OutputDevice bare = EncoderDevice(kDriverSacn, 3);
  SetCid(bare, SacnCid{});
  list.Load({bare, EncoderDevice(kDriverSacn, 3), bare});
  for (int i = 0; i < 3; ++i) EXPECT_EQ(CidOf(list[i]), kCid) << i;
  list.Load({bare, bare});
  const SacnCid fresh = CidOf(list[0]);
  EXPECT_TRUE(!IsZeroCid(fresh) && fresh[6] >> 4 == 4 && CidOf(list[1]) == fresh && NewCid() != fresh);  // version 4 UUIDs
}

using test::UdpReceiver;
const auto ReadFile = test::ReadFileBytes;

class OutputsTest : public testing::Test {
 protected:
  OutputsTest()
      : patch_(4, 2),
        outputs_(console_, state_, patch_,
                 OutputsOptions{[this](std::chrono::milliseconds ms) { pauses_.push_back(static_cast<int>(ms.count())); }}),
        capture_(console_) {
    for (int i = 0; i < 8; ++i) frame_.insert(frame_.end(), {static_cast<uint8_t>(10 * i + 1), 0x0A, 0xFF});
  }
  // A device sending to the receiver, or redirected into the file `path`.
  OutputDevice Device(int driver, int channels, int param = 0, const std::string& path = "") {
    OutputDevice d;
    d.driver = driver, d.port = receiver_.port(), d.channels = channels, d.driverParam = param;
    d.redirect = !path.empty();
    d.SetAddress("127.0.0.1");
    d.SetPath(path);
    return d;
  }
  void Send() { outputs_.SendFrame({frame_.data(), 4, 2}); }

  Console console_;
  std::atomic<OutputStateValue> state_{kOutputStopped};
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
  ASSERT_EQ(outputs_.OpenOutputs(), std::nullopt);
  EXPECT_EQ(std::make_pair(state_.load(), outputs_.socketsOpened()), std::make_pair(kOutputRunning, 1));
  Send();
  const auto frame = receiver_.ReceiveAll();
  ASSERT_EQ(frame.size(), 4u);
  for (const auto& d : frame) EXPECT_EQ(d.sourcePort, outputs_.SharedSocketLocalPort());
  EXPECT_EQ(frame[1].bytes[14], 0x01);  // universe
  EXPECT_EQ(UdpReceiver::ArtNetData(frame[0]), (Bytes{1, 0x0A, 0xFF, 0, 31, 0x0A}));
  EXPECT_EQ(UdpReceiver::ArtNetData(frame[1]), (Bytes{0, 0, 0, 0xFF, 0x0A, 11}));
  EXPECT_EQ(frame[2].bytes, (Bytes{0x9C, 0xDA, 0, 4, 1, 2, 0, 21, 0x0A, 0xFF, 0x36}));
  EXPECT_EQ(frame[3].bytes, (Bytes{0x9C, 0xDA, 0, 2, 2, 2, 0, 0, 0x36}));

  // Stopping: two black frames 40 ms apart, one socket closed; then nothing.
  outputs_.CloseOutputs();
  EXPECT_EQ(std::make_pair(state_.load(), outputs_.socketsClosed()), std::make_pair(kOutputStopped, 1));
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
  EXPECT_NE(outputs_.OpenOutputs(), std::nullopt);
  EXPECT_EQ(std::make_tuple(state_.load(), outputs_.socketsOpened(), outputs_.socketsClosed()),
            std::make_tuple(kOutputStopped, 1, 1));
  EXPECT_TRUE(pauses_.empty());  // nothing was running: no black frames
  EXPECT_EQ(capture_.Count("/dev/quor-none"), 1);
  Send();
  EXPECT_TRUE(receiver_.ReceiveAll(50).empty());

  // Channel counts no wire format carries fail the open; no devices is a valid open.
  for (const OutputDevice& d : {Device(kDriverArtNet, -4), Device(kDriverTpm2Net, 70000, 100)}) {
    list.Load({d});
    EXPECT_NE(outputs_.OpenOutputs(), std::nullopt) << d.channels;
  }
  list.Load({});
  EXPECT_EQ(outputs_.OpenOutputs(), std::nullopt);
  outputs_.CloseOutputs();
  // An unknown driver value sends nothing but does not stop the others.
  list.Load({Device(9, 6), Device(kDriverArtNet, 6)});
  patch_.At(0, 0) = PatchEntry{0, 0, 1, 2};
  patch_.At(1, 0) = PatchEntry{1, 0, 1, 2};
  ASSERT_EQ(outputs_.OpenOutputs(), std::nullopt);
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
  ASSERT_EQ(outputs_.OpenOutputs(), std::nullopt);
  Send();
  Send();
  outputs_.CloseOutputs();
  EXPECT_TRUE(receiver_.ReceiveAll(50).empty());  // redirected: nothing on the network

  const Bytes art = ReadFile(dir + "/art.out");
  ASSERT_EQ(art.size(), 2u * 22u);  // two datagrams; none for the black frames
  EXPECT_EQ(Bytes(art.begin() + 18, art.begin() + 22), (Bytes{0, 21, 0x0A, 0xFF}));
  EXPECT_EQ(ReadFile(dir + "/tpm2.out"), (Bytes{0xC9, 0xDA, 0, 3, 11, 0x0A, 0xFF, 0x36,  //
                                                0xC9, 0xDA, 0, 3, 11, 0x0A, 0xFF, 0x36}));
  const Bytes recorded = ReadFile(dir + "/rec.out");
  ASSERT_EQ(recorded.size(), 2u * 24u);
  EXPECT_EQ(recorded[3], 41 ^ 0x80);  // column 0, row 1
  Bytes expectedBitmap;
  EncodeBitmap({frame_.data(), 4, 2}, expectedBitmap);
  EXPECT_EQ(ReadFile(dir + "/bitmaps/00000002.bmp"), expectedBitmap);
  EXPECT_FALSE(std::filesystem::exists(dir + "/bitmaps/00000003.bmp"));

  // A new run truncates the files and numbers bitmaps from 1 again.
  ASSERT_EQ(outputs_.OpenOutputs(), std::nullopt);
  EXPECT_TRUE(ReadFile(dir + "/rec.out").empty());
  frame_.assign(frame_.size(), 0xFF);
  Send();
  std::atomic<OutputStateValue> otherState{kOutputStopped};  // a second writer cannot take the recorder file
  Outputs other(console_, otherState, patch_);
  other.devices().Add(Device(kDriverFileRecorder, 0, 0, dir + "/rec.out"));
  EXPECT_NE(other.OpenOutputs(), std::nullopt);
  outputs_.CloseOutputs();  // waits for what the writer threads hold
  EXPECT_EQ(ReadFile(dir + "/bitmaps/00000001.bmp")[54], 0xFF);
  EXPECT_EQ(ReadFile(dir + "/rec.out").size(), 24u);
}

// Bitmap Export into a folder that is missing, then made, then removed and
// made again: each time the writes start failing it is said once (console
// line and error), never once per frame, and each time they work again one
// console line says so with the number of files lost.
TEST_F(OutputsTest, BitmapExportSaysOnceWhenItsFolderFailsAndOnceWhenItWritesAgain) {
  const std::string folder = test::FreshTestDir("outputs_bitmap_folder") + "/bitmaps";
  outputs_.devices().Load({Device(kDriverBitmapExport, 0, 0, folder)});
  ASSERT_EQ(outputs_.OpenOutputs(), std::nullopt);
  std::vector<Failure> errors;
  // Sends a frame every 5 ms, taking the faults as the main thread does,
  // until `done` (at most two seconds), then ten frames more.
  auto sendUntil = [&](const std::function<bool()>& done) {
    int more = 10;
    for (int i = 0; i < 400 && more > 0; ++i) {
      Send();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      for (Failure& fault : outputs_.TakeFaults()) errors.push_back(std::move(fault));
      if (done()) --more;
    }
  };
  const int kNoEntry = ENOENT;
  const std::string failing = "Output 1 cannot write its bitmap files into " + folder + ": No such file or directory.";
  const std::string writing = "Output 1 writes its bitmap files into " + folder + " again; ";
  for (size_t round = 1; round <= 2; ++round) {
    sendUntil([&] { return errors.size() == round; });
    ASSERT_EQ(errors.size(), round);
    EXPECT_EQ(std::tie(errors.back().subject, errors.back().errorNumber), std::tie(folder, kNoEntry));
    EXPECT_TRUE(errors.back().message.starts_with(failing)) << errors.back().message;
    EXPECT_EQ(capture_.Count(failing), static_cast<int>(round));
    EXPECT_EQ(capture_.Count(writing), static_cast<int>(round) - 1);

    std::filesystem::create_directories(folder);
    sendUntil([&] { return capture_.Count(writing) == static_cast<int>(round); });
    EXPECT_EQ(capture_.Count(writing), static_cast<int>(round));
    EXPECT_EQ(errors.size(), round);
    if (round == 1) {
      // Every frame before the first file in the folder was lost, none after.
      int first = outputs_.bitmapCounter();
      for (const auto& file : std::filesystem::directory_iterator(folder)) {
        first = std::min(first, std::stoi(file.path().stem().string()));
      }
      EXPECT_EQ(capture_.Count(writing + std::to_string(first - 1) + " files were not written.\n"), 1)
          << capture_.Text();
      // The writer thread may put another file in while the folder goes:
      // removed again until it is gone.
      std::error_code busy;
      while (std::filesystem::exists(folder)) std::filesystem::remove_all(folder, busy);
    }
  }
  outputs_.CloseOutputs();
}

TEST(UdpSocketBatch, AFrameLeavesInOrderAndARefusedDatagramCostsOnlyItself) {
  UdpReceiver receiver;
  UdpSocket socket;
  socket.SetBatching(true);
  UdpTransport good(socket, "127.0.0.1", receiver.port());
  UdpTransport refused(socket, "127.0.0.1", 0);  // port 0: the system refuses the datagram
  // More datagrams than one sendmmsg call takes (1024), as the receive buffer allows; sizes vary to end equal runs.
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

// Keeps every datagram the output path hands it, in order, and the flushes between them: no network at all.
class RecordingSocket final : public DatagramSocket {
 public:
  struct Log {
    std::vector<std::pair<Ipv4Endpoint, Bytes>> sent;  // what a flush (or an unbatched send) let go
    size_t queued = 0;
    int flushes = 0;
  };
  explicit RecordingSocket(Log& log) : log_(log) {}
  void SendTo(const Ipv4Endpoint& to, std::span<const uint8_t> bytes) override {
    queue_.emplace_back(to, Bytes(bytes.begin(), bytes.end()));
    log_.queued = queue_.size();
    if (!batching_) Flush();
  }
  void SetBatching(bool on) override { batching_ = on; }
  void Flush() override {
    log_.sent.insert(log_.sent.end(), queue_.begin(), queue_.end());
    queue_.clear();
    log_.queued = 0;
    ++log_.flushes;
  }
  std::optional<size_t> Receive(std::span<uint8_t>) override { return std::nullopt; }
  int LocalPort() const override { return 0; }

 private:
  Log& log_;
  bool batching_ = false;
  std::vector<std::pair<Ipv4Endpoint, Bytes>> queue_;
};

TEST(OutputsSocket, ArtNetFramesLeaveThroughTheInjectedSocketAsWholeBatches) {
  Console console;
  console.SetSink([](std::string_view) {});
  std::atomic<OutputStateValue> state{kOutputStopped};
  PatchTable patch(2, 1);
  RecordingSocket::Log log;
  int sockets = 0;
  Outputs outputs(console, state, patch,
                  OutputsOptions{[](std::chrono::milliseconds) {}, [&] {
                                   ++sockets;
                                   return std::make_unique<RecordingSocket>(log);
                                 }});
  std::vector<OutputDevice> devices(2);
  for (int i = 0; i < 2; ++i) {
    OutputDevice& d = devices[static_cast<size_t>(i)];
    d.SetAddress("127.0.0.1");
    d.port = 6454 + i, d.channels = 3, d.driverParam = 1, d.subnet = 2, d.universe = 3 + i;
    patch.entries()[static_cast<size_t>(i)] = PatchEntry{i, 2, 1, 0};  // colours reversed
  }
  outputs.devices().Load(std::move(devices));
  ASSERT_EQ(outputs.OpenOutputs(), std::nullopt);
  const Bytes frame = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
  auto artDmx = [](uint8_t universe, Bytes data) {
    Bytes b = {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x50, 0x00, 0x0E, 0, 0, universe, 1, 0, 3};
    b.insert(b.end(), data.begin(), data.end());
    return b;
  };
  outputs.SendFrame({frame.data(), 2, 1});
  const std::vector<std::pair<Ipv4Endpoint, Bytes>> expected = {
      {{{127, 0, 0, 1}, 6454}, artDmx(0x23, {0x33, 0x22, 0x11})},
      {{{127, 0, 0, 1}, 6455}, artDmx(0x24, {0x66, 0x55, 0x44})}};
  EXPECT_EQ(std::make_tuple(sockets, log.flushes, log.queued), std::make_tuple(1, 1, size_t{0}));
  EXPECT_EQ(log.sent, expected);
  outputs.CloseOutputs();  // two black frames, each one batch, then the socket goes
  ASSERT_EQ(log.sent.size(), 6u);
  EXPECT_EQ(log.flushes, 3);
  EXPECT_EQ(log.sent[5], std::make_pair(expected[1].first, artDmx(0x24, {0, 0, 0})));
}

// One Art-Net device per pixel of 128 x 128 within a 40 ms frame: median processor time of five (unbatched: > 40 ms).
TEST(OutputsLoad, SixteenThousandArtNetDevicesFitAFrame) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "timing means nothing in a sanitizer build";
#endif
  constexpr int kSide = 128;
  Console console;
  console.SetSink([](std::string_view) {});
  std::atomic<OutputStateValue> state{kOutputStopped};
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
  ASSERT_EQ(outputs.OpenOutputs(), std::nullopt);
  const Bytes frame(kSide * kSide * 3, 0x40);
  std::vector<double> ms;
  for (int n = 0; n < 5; ++n) {
    timespec start{}, end{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
    outputs.SendFrame({frame.data(), kSide, kSide});
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
    ms.push_back((end.tv_sec - start.tv_sec) * 1e3 + (end.tv_nsec - start.tv_nsec) / 1e6);
  }
  outputs.CloseOutputs();
  std::sort(ms.begin(), ms.end());
  EXPECT_LT(ms[2], 30.0) << "one frame to 16384 Art-Net devices took " << ms[2] << " ms of processor time";
}

}  // namespace
}  // namespace quor

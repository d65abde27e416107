// The remote input's wire readers: which tpm2.net, Art-Net and tpm2 bytes carry the four channels; poll replies.
#include <gtest/gtest.h>

#include <vector>

#include "input/artnet_discovery.h"
#include "input/remote_input_parser.h"
#include "test_support.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes With(Bytes bytes, size_t at, uint8_t value) {
  bytes.resize(std::max(bytes.size(), at + 1));
  bytes[at] = value;
  return bytes;
}

TEST(RemoteTpm2Net, AcceptsFramesThatCarryTheFourChannelsAndRefusesTheRest) {
  // Start, data frame, size 4, packet 1 of 1; scene 3, chase 0, master 255, strobe 128; end byte.
  const Bytes good = {0x9C, 0xDA, 0x00, 0x04, 0x01, 0x01, 0x03, 0x00, 0xFF, 0x80, 0x36};
  struct Case { const char* what; Bytes bytes; int firstChannel; RemoteValues expect; };
  auto with = [&](size_t at, uint8_t value) { return With(good, at, value); };
  const Case cases[] = {
      {"the example frame", good, 0, {3, 0, 255, 128}},
      {"trailing bytes after the end byte", with(good.size(), 0xAA), 0, {3, 0, 255, 128}},
      {"ten bytes", Bytes(good.begin(), good.end() - 1), 0, kNothingReceived},
      {"wrong start byte", with(0, 0x9D), 0, kNothingReceived},
      {"size too small for the channels", with(3, 0x03), 0, kNothingReceived},
      {"size reaches past the datagram", with(3, 0x05), 0, kNothingReceived},
      {"wrong end byte", with(10, 0x37), 0, kNothingReceived},
      {"first channel 1 needs a fifth channel", good, 1, kNothingReceived},
      {"first channel out of range", good, -1, kNothingReceived},
      {"first channel 2 of six channels",
       {0x9C, 0xDA, 0x00, 0x06, 0x01, 0x01, 9, 9, 5, 6, 7, 8, 0x36}, 2, {5, 6, 7, 8}},
  };
  for (const Case& c : cases) {
    RemoteValues values = kNothingReceived;
    const bool accepted = ParseTpm2NetDatagram(c.bytes, c.firstChannel, values);
    EXPECT_EQ(accepted, c.expect != kNothingReceived) << c.what;
    EXPECT_EQ(values, c.expect) << c.what;
  }
}

TEST(RemoteArtNet, DmxForTheConfiguredAddressCarriesTheChannelsPollsAreRecognised) {
  RemoteInputSettings s;
  s.inputType = kRemoteArtNet, s.baudOrNet = 1, s.subnet = 2, s.universe = 3, s.firstChannel = 1;
  const Bytes good = {'A', 'r', 't', '-', 'N', 'e', 't', 0,  //
                      0x00, 0x50, 0x00, 14,  // OpDmx (low byte first), protocol version 14
                      0x00, 0x00, 0x23, 1,   // sequence, physical, subnet 2 and universe 3, Net 1
                      0x00, 5, 0, 4, 5, 6, 7};  // data length (high byte first), channels
  struct Case { const char* what; Bytes bytes; ArtNetInputKind kind; };
  auto with = [&](size_t at, uint8_t value) { return With(good, at, value); };
  const Bytes poll = {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x20, 0x00, 14};  // OpPoll, version 14, nothing else
  const Case cases[] = {
      {"DMX on Net 1 Subnet 2 Universe 3", good, ArtNetInputKind::kDmx},
      {"another universe", with(14, 0x24), ArtNetInputKind::kIgnored},
      {"another Net", with(15, 0), ArtNetInputKind::kIgnored},
      {"other operation", with(9, 0x51), ArtNetInputKind::kIgnored},
      {"version 13", with(11, 13), ArtNetInputKind::kIgnored},
      {"foreign id", with(6, 'x'), ArtNetInputKind::kIgnored},
      {"length field says 4 channels", with(17, 4), ArtNetInputKind::kIgnored},
      {"datagram ends before the strobe channel", Bytes(good.begin(), good.end() - 1), ArtNetInputKind::kIgnored},
      {"poll of 12 bytes", poll, ArtNetInputKind::kPoll},
      {"poll cut to 11 bytes", Bytes(poll.begin(), poll.end() - 1), ArtNetInputKind::kIgnored},
      {"six bytes", Bytes(good.begin(), good.begin() + 6), ArtNetInputKind::kIgnored},
  };
  for (const Case& c : cases) {
    RemoteValues values = kNothingReceived;
    EXPECT_EQ(ParseArtNetInput(c.bytes, s, values), c.kind) << c.what;
    EXPECT_EQ(values, (c.kind == ArtNetInputKind::kDmx ? RemoteValues{4, 5, 6, 7} : kNothingReceived)) << c.what;
  }
}

Bytes Tpm2Frame(std::initializer_list<uint8_t> data) {
  Bytes b = {0xC9, 0xDA, 0x00, static_cast<uint8_t>(data.size())};
  for (uint8_t d : data) b.push_back(d);
  b.push_back(0x36);
  return b;
}

TEST(RemoteTpm2Stream, FramesAreFoundAcrossReadsGarbageAndDamage) {
  struct Case { const char* what; std::vector<Bytes> chunks; RemoteValues expect; size_t fillAfter; };
  const Bytes a = Tpm2Frame({1, 2, 3, 4});
  const Bytes b = Tpm2Frame({5, 6, 7, 8, 9});
  auto cat = [](std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  const Bytes garbage = {0x00, 0xC9, 0x11, 0xDA, 0x36, 0xC9};
  const Case cases[] = {
      {"one frame", {a}, {1, 2, 3, 4}, 0},
      {"two frames in one read: the last wins", {cat({a, b})}, {5, 6, 7, 8}, 0},
      {"split inside the start pair", {Bytes(a.begin(), a.begin() + 1), Bytes(a.begin() + 1, a.end())}, {1, 2, 3, 4}, 0},
      {"garbage before, between and after", {cat({garbage, a, garbage, b, {0x01, 0x02}})}, {5, 6, 7, 8}, 2},
      {"wrong end byte is skipped", {cat({Bytes(a.begin(), a.end() - 1), {0x37}, b})}, {5, 6, 7, 8}, 0},
      // Frames too short for the channels or too long for the buffer hold up nothing behind them.
      {"too short a frame", {cat({Tpm2Frame({1, 2, 3}), a})}, {1, 2, 3, 4}, 0},
      {"size 0xFFFF", {cat({{0xC9, 0xDA, 0xFF, 0xFF}, a})}, {1, 2, 3, 4}, 0},
      {"incomplete frame waits", {Bytes(a.begin(), a.end() - 1)}, kNothingReceived, 8},
      {"four bytes are not scanned", {{0xC9, 0xDA, 0x00, 0x04}}, kNothingReceived, 4},
  };
  for (const Case& c : cases) {
    Tpm2StreamBuffer buffer;
    RemoteValues values = kNothingReceived;
    for (const Bytes& chunk : c.chunks) buffer.Append(chunk, 0, values);
    EXPECT_EQ(values, c.expect) << c.what;
    EXPECT_EQ(buffer.fill(), c.fillAfter) << c.what;
  }
}

TEST(RemotePollReply, LayoutAndOwnReaderAgree) {
  RemoteInputSettings s;
  s.baudOrNet = 5, s.subnet = 6, s.universe = 7;
  const auto reply = BuildRemoteArtPollReply({10, 1, 2, 3}, s);
  // OpPollReply, own address, port 6454 (low byte first), version, Net, subnet.
  const uint8_t head[] = {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x21, 10, 1, 2, 3, 0x36, 0x19, 0x00, 0x01, 5, 6};
  Bytes expect(kArtPollReplyBytes, 0);
  std::copy(std::begin(head), std::end(head), expect.begin());
  std::copy_n("Quor", 4, expect.begin() + 26), std::copy_n("Quor", 4, expect.begin() + 44);  // short and long name
  expect[173] = 1, expect[174] = expect[178] = 0x80, expect[190] = 7;  // one output port on universe 7
  expect[212] = 0x04;
  EXPECT_EQ(Bytes(reply.begin(), reply.end()), expect);
  const auto info = ParseArtPollReply(reply);
  ASSERT_TRUE(info.has_value() && info->outputPorts.size() == 1u);
  EXPECT_EQ(std::make_tuple(info->shortName, info->AddressText(), info->port, info->net, info->subnet, info->outputPorts[0].universe),
            std::make_tuple(std::string("Quor"), std::string("10.1.2.3"), 6454, 5, 6, 7));
}

// A poll reply of `length` bytes from "Node" at 2.0.0.9 with the given port bytes.
Bytes NodeReply(size_t length, uint8_t ports, std::array<uint8_t, 4> types, std::array<uint8_t, 4> goodInput,
                std::array<uint8_t, 4> universes) {
  // OpPollReply, address, port 6454, version, Net, subnet 2 (high bits ignored).
  const uint8_t head[] = {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x21, 2, 0, 0, 9, 0x36, 0x19, 0, 0, 1, 0x12};
  Bytes b(239, 0);
  std::copy(std::begin(head), std::end(head), b.begin());
  std::copy_n("Node", 4, b.begin() + 26);
  b[173] = ports;  // then port types, good-input status, output universes
  for (size_t i = 0; i < 4; ++i) b[174 + i] = types[i], b[178 + i] = goodInput[i], b[190 + i] = universes[i];
  b.resize(length);
  return b;
}

TEST(ArtPollReplyReader, OutputPortsByTypeBitOrStatusByteAndBoundsChecked) {
  struct Case { const char* what; Bytes bytes; int portCount; std::vector<int> universes; };
  const Case cases[] = {
      {"two output ports by type bit", NodeReply(239, 2, {0xC0, 0x80, 0, 0}, {}, {0x10, 0x11, 0, 0}), 2, {0, 1}},
      {"output port by status byte 0x80 only", NodeReply(239, 1, {0x00, 0, 0, 0}, {0x80, 0, 0, 0}, {5, 0, 0, 0}), 1, {5}},
      {"input-only port", NodeReply(239, 1, {0x40, 0, 0, 0}, {0x08, 0, 0, 0}, {5, 0, 0, 0}), 1, {}},
      {"port count above four", NodeReply(239, 200, {0x80, 0x80, 0x80, 0x80}, {}, {1, 2, 3, 4}), 200, {1, 2, 3, 4}},
      {"cut after the port types", NodeReply(180, 2, {0x80, 0x80, 0, 0}, {}, {1, 2, 0, 0}), 2, {}},
      {"cut inside the universes", NodeReply(191, 2, {0x80, 0x80, 0, 0}, {}, {1, 2, 0, 0}), 2, {1}},
      {"cut before the port count", NodeReply(100, 2, {0x80, 0x80, 0, 0}, {}, {1, 2, 0, 0}), 0, {}},
  };
  for (const Case& c : cases) {
    const auto info = ParseArtPollReply(c.bytes);
    ASSERT_TRUE(info.has_value()) << c.what;
    EXPECT_EQ(std::make_tuple(info->shortName, info->AddressText(), info->net, info->subnet, info->portCount),
              std::make_tuple(std::string("Node"), std::string("2.0.0.9"), 1, 2, c.portCount)) << c.what;
    std::vector<int> universes;
    for (const ArtPollReplyPort& p : info->outputPorts) universes.push_back(p.universe);
    EXPECT_EQ(universes, c.universes) << c.what;
  }
  const Bytes reply = NodeReply(239, 1, {0x80, 0, 0, 0}, {}, {});
  EXPECT_FALSE(ParseArtPollReply(Bytes(reply.begin(), reply.begin() + 43))) << "too short for the name";
  EXPECT_FALSE(ParseArtPollReply(With(reply, 9, 0x20))) << "a poll is no reply";
  EXPECT_EQ(ParseArtPollReply(With(With(reply, 27, 0x07), 28, 0xFF))->shortName, "N??e");  // unprintable bytes
}

// Scans against a node are the peer tests'; here the record a discovered port becomes.
TEST(ArtNetDiscovery, AddsOneArtNetDevicePerNewOutputPort) {
  Console console;
  test::ConsoleCapture capture(console);
  OutputDeviceList devices(console, 1);
  const auto node = ParseArtPollReply(NodeReply(239, 2, {0x80, 0x80, 0, 0}, {}, {0, 1, 0, 0}));
  ASSERT_TRUE(node.has_value());
  EXPECT_EQ(AddDiscoveredDevices(devices, *node, console), 2);
  ASSERT_EQ(devices.count(), 2);
  const OutputDevice& d = devices[1];
  EXPECT_EQ(std::make_tuple(d.driver, std::string(d.AddressText()), d.port, d.channels, d.driverParam, d.subnet,
                            d.universe, d.headerLength, d.redirect, std::string(d.PathText())),
            std::make_tuple(int{kDriverArtNet}, std::string("2.0.0.9"), 6454, 512, 1, 2, 1, 18, 0, std::string()));
  EXPECT_EQ(capture.Count("Artpollreply: New Device, adding to Devicelist."), 2);
}

}  // namespace
}  // namespace quor

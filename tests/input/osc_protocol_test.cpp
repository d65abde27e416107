// OSC on the wire and the /quor address space without sockets: pattern matching as OSC 1.0 defines it, the
// argument types the reader takes, the bytes the writer makes, the command-line forms and how arguments map to
// control values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/osc_input.h"
#include "input/osc_protocol.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(OscProtocol, PatternsMatchPartByPart) {
  const struct {
    const char* pattern;
    const char* address;
    bool matches;
  } rows[] = {
      {"/quor/master", "/quor/master", true},
      {"/quor/ch?/fade", "/quor/ch1/fade", true},
      {"/quor/ch?/fade", "/quor/ch12/fade", false},
      {"/quor/slot/*/speed", "/quor/slot/3/speed", true},
      {"/quor/*", "/quor/slot/3/speed", false},  // "*" stays within one part
      {"/quor/*/*/speed", "/quor/slot/3/speed", true},
      {"/quor/*", "/quor/gamma", true},
      {"/quor/ga*a", "/quor/gamma", true},
      {"/quor/*mm*", "/quor/gamma", true},
      {"/quor/g*x", "/quor/gamma", false},
      {"/quor/slot/[1-3]/speed", "/quor/slot/2/speed", true},
      {"/quor/slot/[3-1]/speed", "/quor/slot/2/speed", true},  // a reversed range is the same range
      {"/quor/slot/[!1-3]/speed", "/quor/slot/2/speed", false},
      {"/quor/slot/[!1-3]/speed", "/quor/slot/4/speed", true},
      {"/quor/slot/[24]/speed", "/quor/slot/4/speed", true},
      {"/quor/{master,gamma}", "/quor/gamma", true},
      {"/quor/{master,gam}ma", "/quor/gamma", true},
      {"/quor/{master,strobe}", "/quor/gamma", false},
      {"/quor/[abc", "/quor/a", false},  // unclosed
      {"/quor/{a,b", "/quor/a", false},
      {"/quor/master", "/quor/master/level", false},
      {"quor/master", "quor/master", false},  // no leading "/"
      {"/quor/**********************************x", "/quor/aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
  };
  for (const auto& row : rows) EXPECT_EQ(OscPatternMatches(row.pattern, row.address), row.matches) << row.pattern;
  const std::string longPart = "/quor/" + std::string(kMaxOscPatternPartLength, '*');
  EXPECT_TRUE(OscPatternMatches(longPart, "/quor/gamma"));
  EXPECT_FALSE(OscPatternMatches(longPart + "*", "/quor/gamma"));
}

TEST(OscProtocol, ReaderTakesTheFirstArgumentOfEachType) {
  auto message = [](const char* tags, Bytes payload) {
    Bytes packet = {'/', 'a', 0, 0};
    for (const char* c = tags; *c; ++c) packet.push_back(static_cast<uint8_t>(*c));
    packet.resize((packet.size() + 4) & ~size_t{3}, 0);
    packet.insert(packet.end(), payload.begin(), payload.end());
    return packet;
  };
  const struct {
    Bytes packet;
    OscArgType type;
    int64_t integer;
    double number;
  } rows[] = {
      {message(",i", {0xFF, 0xFF, 0xFF, 0xFE}), OscArgType::kInt, -2, 0},
      {message(",h", {0, 0, 0, 1, 0, 0, 0, 0}), OscArgType::kInt, int64_t{1} << 32, 0},
      {message(",f", {0x3F, 0x00, 0, 0}), OscArgType::kFloat, 0, 0.5},
      {message(",d", {0x3F, 0xD0, 0, 0, 0, 0, 0, 0}), OscArgType::kFloat, 0, 0.25},
      {message(",T", {}), OscArgType::kInt, 1, 0},
      {message(",F", {}), OscArgType::kInt, 0, 0},
      {message(",Ni", {0, 0, 0, 7}), OscArgType::kInt, 7, 0},  // nil carries no value: the int is the first
      {message(",bi", {0, 0, 0, 3, 9, 9, 9, 0, 0, 0, 0, 5}), OscArgType::kOther, 0, 0},  // a blob is read past
      {message(",if", {0, 0, 0, 4, 0x3F, 0x80, 0, 0}), OscArgType::kInt, 4, 0},
  };
  for (const auto& row : rows) {
    const auto messages = ParseOscPacket(row.packet);
    ASSERT_TRUE(messages && messages->size() == 1);
    const OscMessage& m = (*messages)[0];
    EXPECT_EQ(m.address, "/a");
    ASSERT_TRUE(m.first);
    EXPECT_EQ(m.first->type, row.type);
    EXPECT_EQ(m.first->integer, row.integer);
    EXPECT_EQ(m.first->number, row.number);
  }
  // Without a type tag string, or with an empty one, a message has no arguments.
  for (const Bytes& bare : {Bytes{'/', 'a', 0, 0}, message(",", {})}) {
    const auto messages = ParseOscPacket(bare);
    ASSERT_TRUE(messages && messages->size() == 1);
    EXPECT_FALSE((*messages)[0].first);
  }
  // Bytes left over after the arguments, and a message per packet past the limit, refuse the packet.
  EXPECT_FALSE(ParseOscPacket(message(",i", {0, 0, 0, 1, 0, 0, 0, 2})));
  std::vector<Bytes> many(kMaxOscMessagesPerPacket + 1, BuildOscMessage("/a", 1));
  EXPECT_FALSE(ParseOscPacket(BuildOscBundle(many)));
  many.pop_back();
  EXPECT_EQ(ParseOscPacket(BuildOscBundle(many))->size(), kMaxOscMessagesPerPacket);
}

TEST(OscProtocol, WriterMakesPaddedBigEndianMessages) {
  EXPECT_EQ(BuildOscMessage("/ab", 1), (Bytes{'/', 'a', 'b', 0, ',', 'i', 0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(BuildOscMessage("/abcd", 0.5f), (Bytes{'/', 'a', 'b', 'c', 'd', 0, 0, 0, ',', 'f', 0, 0, 0x3F, 0, 0, 0}));
  EXPECT_EQ(BuildOscMessage("/a", std::string_view("?")), (Bytes{'/', 'a', 0, 0, ',', 's', 0, 0, '?', 0, 0, 0}));
  EXPECT_EQ(BuildOscBundle(std::vector<Bytes>{BuildOscMessage("/a")}),
            (Bytes{'#', 'b', 'u', 'n', 'd', 'l', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 8, '/', 'a', 0, 0, ',', 0, 0,
                   0}));
}

TEST(OscAddressSpace, CommandLineForms) {
  OscSettings settings;
  ASSERT_TRUE(ParseOscListen("7700", settings));
  EXPECT_TRUE(settings.enabled);
  EXPECT_EQ(settings.port, 7700);
  EXPECT_EQ(settings.listenAddress, (std::array<uint8_t, 4>{0, 0, 0, 0}));
  ASSERT_TRUE(ParseOscListen("192.168.1.5:9000", settings));
  EXPECT_EQ(settings.listenAddress, (std::array<uint8_t, 4>{192, 168, 1, 5}));
  EXPECT_EQ(settings.port, 9000);
  for (const char* bad : {"", "0", "65536", "x:7700", "7700x", "1.2.3:7700", ":"}) {
    OscSettings untouched;
    EXPECT_FALSE(ParseOscListen(bad, untouched)) << bad;
    EXPECT_FALSE(untouched.enabled);
  }
  EXPECT_EQ(ParseOscEndpoint("10.0.0.2:9000"), (Ipv4Endpoint{{10, 0, 0, 2}, 9000}));
  for (const char* bad : {"9000", "10.0.0.2", "10.0.0.2:", "host:9000", "10.0.0.2:-1"}) {
    EXPECT_FALSE(ParseOscEndpoint(bad)) << bad;
  }
}

TEST(OscAddressSpace, AddressesAndValues) {
  using I = ControlId;
  const struct {
    const char* address;
    std::optional<OscTarget> target;
  } rows[] = {
      {"/quor/master", OscTarget{{I::kMasterLevel, 0}}},
      {"/quor/ch2/fade", OscTarget{{I::kChannelFade, 1}}},
      {"/quor/strobe", OscTarget{{I::kStrobe, 0}}},
      {"/quor/gamma", OscTarget{{I::kGamma, 0}}},
      {"/quor/scene/12", OscTarget{{I::kSceneRecall, 11}}},
      {"/quor/scene/recall", OscTarget{{I::kSceneRecall, 0}, true}},
      {"/quor/chase/play", OscTarget{{I::kChasePlay, 0}, true}},
      {"/quor/slot/4/effect", OscTarget{{I::kSlotEffect, 3}}},
      {"/quor/scene/0", std::nullopt},
      {"/quor/scene/10001", std::nullopt},
      {"/quor/ch3/fade", std::nullopt},
      {"/master", std::nullopt},
      {"/quor/", std::nullopt},
  };
  for (const auto& row : rows) EXPECT_EQ(ResolveOscAddress(row.address), row.target) << row.address;

  const ControlSpec& gamma = SpecOf(I::kGamma);   // fader 1..500
  const ControlSpec& strobe = SpecOf(I::kStrobe);  // toggle
  const struct {
    const ControlSpec& control;
    OscArgument argument;
    std::optional<int> value;
  } values[] = {
      {gamma, {OscArgType::kFloat, 0, 0.0, {}}, 1},
      {gamma, {OscArgType::kFloat, 0, 1.0, {}}, 500},
      {gamma, {OscArgType::kFloat, 0, 0.5, {}}, 251},
      {gamma, {OscArgType::kFloat, 0, -3.0, {}}, 1},
      {gamma, {OscArgType::kInt, 220, 0, {}}, 220},
      {gamma, {OscArgType::kInt, int64_t{1} << 40, 0, {}}, INT32_MAX},  // the control holds it to its range
      {strobe, {OscArgType::kFloat, 0, 0.49, {}}, 0},
      {strobe, {OscArgType::kFloat, 0, 0.5, {}}, 1},
      {strobe, {OscArgType::kString, 0, 0, "1"}, std::nullopt},
  };
  for (const auto& row : values) EXPECT_EQ(OscControlValue(row.control, row.argument), row.value);
}

}  // namespace
}  // namespace quor

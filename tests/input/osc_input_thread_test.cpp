// The OSC input against a real engine (manual clock) over loopback UDP: the aliases and control names with int and
// float arguments, bundles, patterns, malformed packets, questions answered to the sender and feedback of changes
// made elsewhere.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "input/osc_input.h"
#include "input/osc_protocol.h"
#include "show/show.h"
#include "test_support.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;
using I = ControlId;

constexpr std::array<uint8_t, 4> kLoopback{127, 0, 0, 1};

Bytes Msg(std::string_view address, int32_t value) { return BuildOscMessage(address, value); }
Bytes Msg(std::string_view address, float value) { return BuildOscMessage(address, value); }

class OscInputTest : public testing::Test {
 protected:
  void SetUp() override {
    engine_.console().SetSink([](std::string_view) {});
    Show& show = engine_.show();
    for (const char* name : {"A", "B", "C"}) ASSERT_TRUE(show.sceneList().Add(name));
    for (int c = 0; c < 2; ++c) {
      ASSERT_TRUE(show.chases().InsertChase(c, "Chase"));
      ASSERT_TRUE(show.chases().InsertStep(c, 0, ChaseStep{kStepScene, 0, 0, 0, 1000}));
    }
    Result<std::unique_ptr<UdpSocket>> client = UdpSocket::OpenListening(test::FreeLoopbackPort(), kLoopback);
    Result<std::unique_ptr<UdpSocket>> feedback = UdpSocket::OpenListening(test::FreeLoopbackPort(), kLoopback);
    ASSERT_TRUE(client && !(*client)->bindFailure() && feedback && !(*feedback)->bindFailure());
    client_ = std::move(*client), feedback_ = std::move(*feedback);
    OscSettings& settings = engine_.oscSettings();
    ASSERT_TRUE(ParseOscListen("127.0.0.1:" + std::to_string(test::FreeLoopbackPort()), settings));
    settings.feedback = Ipv4Endpoint{kLoopback, static_cast<uint16_t>(feedback_->LocalPort())};
    ASSERT_TRUE(engine_.osc().Open());
    input_ = {kLoopback, static_cast<uint16_t>(engine_.osc().LocalPort())};
  }
  void TearDown() override { engine_.osc().Close(); }

  // Sends one packet, waits until the input has taken it, then runs the main thread's turn (scene and chase
  // requests are carried out there).
  void Send(const Bytes& packet) {
    const int64_t before = engine_.osc().counters().received.load();
    client_->SendTo(input_, packet);
    ASSERT_TRUE(test::Eventually([&] { return engine_.osc().counters().received.load() > before; }));
    engine_.PostMessageWork();
  }
  int Value(ControlAddress address) const { return engine_.ControlValue(address).value_or(-999); }
  // The next message that arrives on `socket`, as (address, float value).
  static std::optional<std::pair<std::string, float>> Next(UdpSocket& socket, int limitMs = 5000) {
    Bytes buffer(2048);
    std::optional<std::pair<std::string, float>> got;
    test::Eventually([&] {
      Ipv4Endpoint from;
      const std::optional<size_t> size = socket.ReceiveFrom(buffer, from);
      if (!size) return false;
      const auto messages = ParseOscPacket(std::span<const uint8_t>(buffer.data(), *size));
      if (messages && messages->size() == 1 && (*messages)[0].first) {
        got = {std::string((*messages)[0].address), static_cast<float>((*messages)[0].first->number)};
      }
      return true;
    }, limitMs);
    return got;
  }
  // Everything that arrives on `socket` within a moment.
  static std::vector<std::pair<std::string, float>> Drain(UdpSocket& socket) {
    std::vector<std::pair<std::string, float>> all;
    while (const auto next = Next(socket, 200)) all.push_back(*next);
    return all;
  }

  Engine engine_{test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1}};
  std::unique_ptr<UdpSocket> client_, feedback_;
  Ipv4Endpoint input_;
};

TEST_F(OscInputTest, EachAddressSetsItsControlWithIntAndFloat) {
  struct Case {
    Bytes packet;
    ControlAddress control;
    int expected;
  };
  const Case cases[] = {
      {Msg("/quor/master", 200), {I::kMasterLevel}, 200},
      {Msg("/quor/master", 0.5f), {I::kMasterLevel}, 128},
      {Msg("/quor/master/level", 1.0f), {I::kMasterLevel}, 255},
      {Msg("/quor/ch1/fade", 0.0f), {I::kChannelFade, 0}, 0},
      {Msg("/quor/ch2/fade", 17), {I::kChannelFade, 1}, 17},
      {Msg("/quor/channel/2/fade", 2.0f), {I::kChannelFade, 1}, 255},  // floats held to 0..1
      {Msg("/quor/strobe", 1), {I::kStrobe}, 1},
      {Msg("/quor/strobe", 0.2f), {I::kStrobe}, 0},
      {Msg("/quor/gamma", 1.0f), {I::kGamma}, 500},
      {Msg("/quor/gamma", 220), {I::kGamma}, 220},
      {Msg("/quor/slot/2/speed", 0.5f), {I::kSlotSpeed, 1}, 15},
      {Msg("/quor/slot/2/speed", 7), {I::kSlotSpeed, 1}, 7},
      {Msg("/quor/slot/3/invert", 1.0f), {I::kSlotInvert, 2}, 1},
      {Msg("/quor/main/mode", 4), {I::kMainMode}, 4},
      {Msg("/quor/scene/recall", 2), {I::kSceneRecall, 1}, 1},
      {Msg("/quor/scene/3", 1.0f), {I::kSceneRecall, 2}, 1},
      {Msg("/quor/scene/1/recall", 1), {I::kSceneRecall, 0}, 1},
      {Msg("/quor/scene/recall", 3.0f), {I::kSceneRecall, 2}, 1},
  };
  for (const Case& c : cases) {
    Send(c.packet);
    EXPECT_EQ(Value(c.control), c.expected) << ControlName(c.control);
  }
  // Chase starts wait for the player's next pass (the clock is not run here).
  const struct {
    Bytes packet;
    int pendingChase;
  } chases[] = {{Msg("/quor/chase/play", 2), 2}, {Msg("/quor/chase/1/play", 1.0f), 1}, {Msg("/quor/chase/play", 2.0f), 2}};
  for (const auto& c : chases) {
    Send(c.packet);
    EXPECT_EQ(engine_.show().player().PendingCommand(), c.pendingChase);
  }
  Send(Msg("/quor/chase/stop", 1));
  EXPECT_LT(engine_.show().player().PendingCommand(), 0);
  EXPECT_EQ(engine_.osc().counters().malformed.load(), 0);
  EXPECT_EQ(engine_.osc().counters().unmatched.load(), 0);
  // A scene the show does not hold, a scene number 0 and an address no control has change nothing.
  Send(Msg("/quor/scene/recall", 9));
  Send(Msg("/quor/scene/recall", 0));
  Send(Msg("/quor/nothing", 1));
  EXPECT_EQ(engine_.osc().counters().unmatched.load(), 2);
  EXPECT_EQ(Value({I::kSceneRecall, 2}), 1);
}

TEST_F(OscInputTest, BundlesAndPatternsReachEveryMatchingControl) {
  const Bytes nested = BuildOscBundle(std::vector<Bytes>{Msg("/quor/gamma", 150)});
  Send(BuildOscBundle(std::vector<Bytes>{Msg("/quor/master", 10), nested}));
  EXPECT_EQ(Value({I::kMasterLevel}), 10);
  EXPECT_EQ(Value({I::kGamma}), 150);

  Send(Msg("/quor/ch?/fade", 0.0f));
  EXPECT_EQ(Value({I::kChannelFade, 0}), 0);
  EXPECT_EQ(Value({I::kChannelFade, 1}), 0);
  Send(Msg("/quor/slot/*/speed", 9));
  for (int s = 0; s < 4; ++s) EXPECT_EQ(Value({I::kSlotSpeed, s}), 9);
  Send(Msg("/quor/{master,gamma}", 100));
  EXPECT_EQ(Value({I::kMasterLevel}), 100);
  EXPECT_EQ(Value({I::kGamma}), 100);
  Send(Msg("/quor/slot/[!2-4]/invert", 1));
  EXPECT_EQ(Value({I::kSlotInvert, 0}), 1);
  EXPECT_EQ(Value({I::kSlotInvert, 1}), 0);
  EXPECT_EQ(engine_.osc().counters().malformed.load(), 0);
}

TEST_F(OscInputTest, MalformedPacketsAreCountedAndChangeNothing) {
  Send(Msg("/quor/master", 33));
  Bytes truncated = Msg("/quor/master", 200);
  truncated.resize(truncated.size() - 4);
  Bytes badTag = Msg("/quor/master", 200);
  badTag[badTag.size() - 7] = 'x';  // ",i" becomes ",x"
  Bytes noComma = Msg("/quor/master", 200);
  noComma[noComma.size() - 8] = 'i';
  Bytes deep = Msg("/quor/master", 200);
  for (int i = 0; i < 20; ++i) deep = BuildOscBundle(std::vector<Bytes>{deep});
  Bytes overlong = BuildOscBundle(std::vector<Bytes>{Msg("/quor/master", 200)});
  overlong[19] = 0x7F;  // the element's size past the end
  const Bytes halfGood = BuildOscBundle(std::vector<Bytes>{Msg("/quor/master", 200), Bytes{1, 2, 3, 4}});
  const Bytes packets[] = {
      truncated, badTag, noComma, deep, overlong, halfGood,
      Msg("/quor/master", std::nanf("")),
      Bytes{'q', 'u', 'o', 'r', 0, 0, 0, 0},  // no leading "/"
      Bytes{'/', 'q', 'u', 'o', 'r'},         // not a multiple of 4, no terminator
      Bytes(60000, 0xFF),
      Bytes{'#', 'b', 'u', 'n', 'd', 'l', 'e', 0},
  };
  for (const Bytes& packet : packets) Send(packet);
  EXPECT_EQ(engine_.osc().counters().malformed.load(), static_cast<int64_t>(std::size(packets)));
  EXPECT_EQ(Value({I::kMasterLevel}), 33);
  Send(Msg("/quor/master", 44));  // still listening
  EXPECT_EQ(Value({I::kMasterLevel}), 44);
}

TEST_F(OscInputTest, QuestionsAreAnsweredToTheSender) {
  Send(Msg("/quor/master", 51));
  Send(Msg("/quor/gamma", 250));
  Drain(*client_);
  Send(BuildOscMessage("/quor/master"));
  auto answer = Next(*client_);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->first, "/quor/master");
  EXPECT_FLOAT_EQ(answer->second, 0.2f);
  Send(BuildOscMessage("/quor/master/gamma", std::string_view("?")));
  answer = Next(*client_);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->first, "/quor/master/gamma");
  EXPECT_NEAR(answer->second * 499 + 1, 250, 1e-3);
  // A pattern question answers for each control it reaches.
  Send(BuildOscMessage("/quor/ch?/fade", std::string_view("?")));
  EXPECT_EQ(Drain(*client_).size(), 2u);
  EXPECT_EQ(Value({I::kMasterLevel}), 51);  // a question changes nothing

  // One packet's questions get a bounded number of answers, however many controls a pattern reaches.
  for (int n = 0; n < kMaxOscAnswersPerPacket; ++n) ASSERT_TRUE(engine_.show().sceneList().Add("S"));
  const int64_t answered = engine_.osc().counters().answers.load();
  Send(BuildOscMessage("/quor/scene/*/recall"));
  EXPECT_EQ(engine_.osc().counters().answers.load(), answered + kMaxOscAnswersPerPacket);
}

TEST_F(OscInputTest, FeedbackFollowsChangesFromAnySource) {
  Drain(*feedback_);  // nothing is sent for what was there before the input opened
  engine_.SetControl({I::kMasterLevel}, 51);
  std::vector<std::pair<std::string, float>> sent;
  ASSERT_TRUE(test::Eventually([&] {
    for (auto& m : Drain(*feedback_)) sent.push_back(m);
    return sent.size() >= 2;
  }));
  const std::vector<std::pair<std::string, float>> expected = {{"/quor/master/level", 0.2f}, {"/quor/master", 0.2f}};
  EXPECT_EQ(sent, expected);
  // A scene recalled through OSC shows up under both of its addresses.
  Send(Msg("/quor/scene/2", 1));
  sent = Drain(*feedback_);
  EXPECT_NE(std::find(sent.begin(), sent.end(), std::pair<std::string, float>{"/quor/scene/2", 1.0f}), sent.end());
  EXPECT_NE(std::find(sent.begin(), sent.end(), std::pair<std::string, float>{"/quor/scene/2/recall", 1.0f}),
            sent.end());
}

}  // namespace
}  // namespace quor

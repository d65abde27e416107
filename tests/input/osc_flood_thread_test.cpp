// The OSC input flooded while a show runs: 100 000 mixed packets as fast as the sender can go, beside the frame
// clock with every slot rendering and an Art-Net output sending. No mix pass waits for the input, nothing crashes,
// every datagram is either read or counted as dropped by the kernel, and the controls end as the last messages set.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "generators/generator_catalogue.h"
#include "input/osc_input.h"
#include "input/osc_protocol.h"
#include "show/show.h"
#include "test_support.h"
#include "tests/output/udp_receiver.h"

namespace quor {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using I = ControlId;

constexpr int kPackets = 100000;

// Datagrams the kernel dropped for the UDP socket bound to 127.0.0.1:`port` because its queue was full; -1 when
// the system does not say.
int64_t KernelDrops(int port) {
  std::ifstream table("/proc/net/udp");
  char local[16];
  std::snprintf(local, sizeof local, "0100007F:%04X", port);
  std::string line;
  std::getline(table, line);  // the heading
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::vector<std::string> field;
    for (std::string f; fields >> f;) field.push_back(f);
    if (field.size() >= 13 && field[1] == local) return std::stoll(field.back());
  }
  return -1;
}

// The flood: valid messages to many controls with int and float arguments, bundles (some nested), patterns,
// questions and malformed packets, in a fixed random order.
class Flood {
 public:
  Flood() {
    for (const ControlSpec& kind : ControlSpecs()) {
      // The outputs stay on: their frames are part of the load.
      if (kind.id == I::kOutput) continue;
      const int instances = kind.instances > 0 ? kind.instances : 3;
      for (int n = 0; n < instances; ++n) names_.push_back("/quor/" + ControlName({kind.id, n}));
    }
    for (const char* alias : {"/quor/master", "/quor/ch1/fade", "/quor/ch2/fade", "/quor/strobe", "/quor/gamma",
                              "/quor/scene/2", "/quor/scene/recall", "/quor/chase/play"}) {
      names_.push_back(alias);
    }
  }
  Bytes Next() {
    const int kind = static_cast<int>(random_() % 100);
    if (kind < 40) return Message();
    if (kind < 55) {
      std::vector<Bytes> elements;
      for (int n = 1 + static_cast<int>(random_() % 4); n > 0; --n) elements.push_back(Message());
      if (random_() % 4 == 0) elements.push_back(BuildOscBundle(std::vector<Bytes>{Message(), Pattern()}));
      return BuildOscBundle(elements);
    }
    if (kind < 65) return Pattern();
    if (kind < 75) {
      const std::string& name = Pick(names_);
      return random_() % 2 ? BuildOscMessage(name, std::string_view("?")) : BuildOscMessage(name);
    }
    return Malformed();
  }

 private:
  const std::string& Pick(const std::vector<std::string>& from) { return from[random_() % from.size()]; }
  Bytes Message() {
    const std::string& name = Pick(names_);
    if (random_() % 2) return BuildOscMessage(name, static_cast<int32_t>(random_() % 600) - 50);
    return BuildOscMessage(name, static_cast<float>(random_() % 1201) / 1000.0f - 0.1f);
  }
  Bytes Pattern() {
    static const std::vector<std::string> patterns = {
        "/quor/slot/*/speed", "/quor/ch?/fade", "/quor/{master,gamma}", "/quor/slot/[1-3]/invert",
        "/quor/channel/[!1]/mode", "/quor/*", "/quor/scene/*/recall", "/quor/*/*/*", "/quor/master/*"};
    const std::string& pattern = Pick(patterns);
    return random_() % 3 ? BuildOscMessage(pattern, static_cast<float>(random_() % 1001) / 1000.0f)
                         : BuildOscMessage(pattern, std::string_view("?"));
  }
  Bytes Malformed() {
    Bytes bytes = Message();
    switch (random_() % 4) {
      case 0: bytes.resize(bytes.size() - 1 - random_() % 4); break;    // cut short
      case 1: bytes[bytes.size() - 7] = 'x'; break;                      // a type tag nobody knows
      case 2: bytes = BuildOscBundle(std::vector<Bytes>{bytes}), bytes[19] = 0x7F; break;  // element past the end
      default:                                                            // noise of any length
        bytes.resize(random_() % 700);
        for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random_());
        if (!bytes.empty()) bytes[0] = '/';
    }
    return bytes;
  }

  std::vector<std::string> names_;
  std::mt19937 random_{11};
};

TEST(OscFlood, HundredThousandMixedPacketsWhileTheShowRuns) {
  Engine engine(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kThread, 7});
  engine.console().SetSink([](std::string_view) {});
  for (const char* name : {"A", "B", "C"}) ASSERT_TRUE(engine.show().sceneList().Add(name));
  for (int c = 0; c < 3; ++c) {
    ASSERT_TRUE(engine.show().chases().InsertChase(c, "Chase"));
    for (int s = 0; s < 3; ++s) ASSERT_TRUE(engine.show().chases().InsertStep(c, s, ChaseStep{kStepScene, s, 0, 0, 80}));
  }
  // Four different generators rendering, every pixel patched to a loopback Art-Net receiver that reads nothing.
  for (int s = 0; s < kSlotCount; ++s) engine.SelectEffect(s, 3 + 2 * s);
  engine.PostMessageWork();
  test::UdpReceiver artNet;
  OutputDevice device;
  device.driver = kDriverArtNet, device.port = artNet.port(), device.channels = 512;
  device.SetAddress("127.0.0.1");
  engine.outputs().devices().Add(device);
  for (int p = 0; p < 170 && p < engine.width() * engine.height(); ++p) {
    engine.patch().At(p % engine.width(), p / engine.width()) = PatchEntry{0, 3 * p, 3 * p + 1, 3 * p + 2};
  }
  ASSERT_TRUE(engine.OpenOutputs());
  ASSERT_TRUE(ParseOscListen("127.0.0.1:" + std::to_string(test::FreeLoopbackPort()), engine.oscSettings()));
  engine.oscSettings().feedback = Ipv4Endpoint{{127, 0, 0, 1}, static_cast<uint16_t>(test::FreeLoopbackPort())};
  ASSERT_TRUE(engine.osc().Open());
  const int port = engine.osc().LocalPort();
  const OscCounters& counters = engine.osc().counters();

  engine.StartClock();
  std::this_thread::sleep_for(500ms);
  const int64_t quietLongestUs = engine.mixPassTiming().longestUs.load();
  const int64_t dropsBefore = KernelDrops(port);

  // Flat out; the main thread takes its turn now and then, as the program's message loop would.
  test::LoopbackSender sender(port);
  Flood flood;
  const auto started = std::chrono::steady_clock::now();
  for (int i = 0; i < kPackets; ++i) {
    sender.Send(flood.Next());
    if (i % 500 == 0) engine.PostMessageWork();
  }
  const double sendSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  // Done once the input has read everything the kernel kept.
  int64_t read = -1;
  while (read != counters.received.load()) {
    read = counters.received.load();
    std::this_thread::sleep_for(300ms);
    engine.PostMessageWork();
  }
  const double readSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() - 0.3;
  const int64_t drops = KernelDrops(port) - dropsBefore;

  // The last messages: every fader and toggle to a value of its own, in one bundle, one by one and by pattern.
  std::vector<Bytes> last;
  std::vector<std::pair<ControlAddress, int>> expected;
  int step = 0;
  for (const ControlSpec& kind : ControlSpecs()) {
    if (kind.id == I::kOutput || (kind.kind != ControlType::kFader && kind.kind != ControlType::kToggle)) continue;
    for (int n = 0; n < kind.instances; ++n, ++step) {
      const ControlAddress control{kind.id, n};
      const int value = kind.kind == ControlType::kToggle ? step % 2 : kind.min + (step * 7) % (kind.max - kind.min + 1);
      last.push_back(BuildOscMessage("/quor/" + ControlName(control), static_cast<int32_t>(value)));
      expected.emplace_back(control, value);
    }
  }
  // A scene recall puts back the scene's settings, so the chase stops and scene 3 comes first, then the values.
  const int64_t before = counters.received.load();
  const auto sendAndWait = [&](const std::vector<Bytes>& packets) {
    const int64_t from = counters.received.load();
    for (const Bytes& packet : packets) sender.Send(packet);
    const bool arrived = test::Eventually([&] { return counters.received.load() == from + std::ssize(packets); });
    engine.PostMessageWork();
    std::this_thread::sleep_for(100ms);  // the player acts in its next pass
    return arrived;
  };
  ASSERT_TRUE(sendAndWait({BuildOscMessage("/quor/chase/stop", 1)}));
  ASSERT_TRUE(sendAndWait({BuildOscMessage("/quor/scene/recall", 3)}));
  const size_t half = last.size() / 2;
  std::vector<Bytes> packets{BuildOscBundle(std::span<const Bytes>(last.data(), half))};
  packets.insert(packets.end(), last.begin() + static_cast<ptrdiff_t>(half), last.end());
  packets.push_back(BuildOscMessage("/quor/ch?/fade", 0.5f));
  ASSERT_TRUE(sendAndWait(packets)) << "the last packets did not all arrive";
  engine.StopClock();
  const int64_t passes = engine.mixPassTiming().passes.load(), longestUs = engine.mixPassTiming().longestUs.load();
  engine.osc().Close();

  for (const auto& [control, value] : expected) {
    const int want = control.id == I::kChannelFade ? 128 : value;
    EXPECT_EQ(engine.ControlValue(control), want) << ControlName(control);
  }
  EXPECT_EQ(engine.ControlValue({I::kSceneRecall, 2}), 1);
  if (drops >= 0 && dropsBefore >= 0) {
    EXPECT_EQ(before + drops, kPackets) << "datagrams neither read nor dropped by the kernel";
  }
  EXPECT_GT(counters.malformed.load(), 0);
  EXPECT_GT(counters.answers.load(), 0);
  EXPECT_GT(passes, 10);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  // A sanitizer makes every pass slow; here only a pass that missed its frame counts.
  const int64_t limitUs = 1000000 / engine.settings().outputFps.load();
#else
  const int64_t limitUs = 2000;
#endif
  EXPECT_LT(longestUs, limitUs) << "a mix pass took " << longestUs << " us beside the flood (" << quietLongestUs
                                << " us before it)";
  std::printf("[ figures  ] %d packets sent in %.2f s (%.0f/s), read in %.2f s: %lld read, %lld dropped by the "
              "kernel, %lld malformed, %lld messages acted, %lld unmatched, %lld answers, %lld feedback; %lld mix "
              "passes, longest %lld us (%lld us before the flood)\n",
              kPackets, sendSeconds, kPackets / sendSeconds, readSeconds, static_cast<long long>(before),
              static_cast<long long>(drops), static_cast<long long>(counters.malformed.load()),
              static_cast<long long>(counters.messages.load()), static_cast<long long>(counters.unmatched.load()),
              static_cast<long long>(counters.answers.load()), static_cast<long long>(counters.feedback.load()),
              static_cast<long long>(passes), static_cast<long long>(longestUs),
              static_cast<long long>(quietLongestUs));
}

}  // namespace
}  // namespace quor

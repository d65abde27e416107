// Colour correction and power budget of one device's channels, and the
// console lines that say when a device starts and stops being limited.
#include <gtest/gtest.h>

#include <numeric>

#include "output/drivers.h"
#include "output/outputs.h"
#include "output/power_limit.h"
#include "tests/output/udp_receiver.h"

namespace quor {
namespace {

// Outputs of a one-row patch sending Art-Net to a receiver on 127.0.0.1.
struct LoopbackOutputs {
  explicit LoopbackOutputs(int width) : patch(width, 1) { console.SetSink([](std::string_view) {}); }
  OutputDevice Device(int channels, int universe = 0) const {
    OutputDevice d;
    d.driver = kDriverArtNet, d.port = receiver.port(), d.channels = channels, d.headerLength = 18;
    d.universe = universe;
    d.SetAddress("127.0.0.1");
    return d;
  }
  static std::vector<uint8_t> Data(const test::Datagram& datagram) {
    return std::vector<uint8_t>(datagram.bytes.begin() + 18, datagram.bytes.end());
  }

  test::UdpReceiver receiver;
  Console console;
  std::atomic<OutputStateValue> state{kOutputStopped};
  PatchTable patch;
  Outputs outputs{console, state, patch, OutputsOptions{[](std::chrono::milliseconds) {}}};
};

TEST(PowerLimit, GainsCapAndBudgetTable) {
  struct Case {
    const char* name;
    DeviceCorrection correction;
    std::vector<uint8_t> in;
    std::vector<uint8_t> out;
    int share;
  };
  const std::vector<uint8_t> white(30, 255);  // 10 pixels: 600 mA at 20 mA
  const Case cases[] = {
      {"no correction", {}, white, white, 100},
      {"under budget", {{100, 100, 100}, 100, 600, 20}, white, white, 100},
      // 300 mA of 600: k = floor(300*255*65536 / (7650*20)) = 32768, v = 127.
      {"full white over budget", {{100, 100, 100}, 100, 300, 20}, white, std::vector<uint8_t>(30, 127), 50},
      {"white balance", {{100, 50, 0}, 100, 0, 20}, {255, 255, 255, 10, 11, 200, 1}, {255, 127, 0, 10, 5, 0, 1}, 100},
      {"cap", {{100, 100, 100}, 50, 0, 20}, {255, 100, 3, 1}, {127, 50, 1, 0}, 100},
      // Gains first: 255+127 = 382 draws 59 mA at 40 mA per channel, over 30:
      // k = floor(30*255*65536 / (382*40)) = 32811.
      {"gains then budget", {{100, 50, 0}, 100, 30, 40}, {255, 255, 255}, {127, 63, 0}, 50},
      {"zero budget share is no budget", {{100, 100, 100}, 100, 0, 20}, white, white, 100},
      {"odd channel count", {{100, 100, 100}, 100, 1, 1000}, {200, 100}, {0, 0}, 0},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = c.in;
    EXPECT_EQ(ApplyCorrection(c.correction, bytes), c.share) << c.name;
    EXPECT_EQ(bytes, c.out) << c.name;
    if (c.correction.budgetMilliamps > 0) {
      EXPECT_LE(EstimatedMilliamps(bytes, c.correction.milliampsPerChannel),
                static_cast<uint64_t>(c.correction.budgetMilliamps))
          << c.name;
    }
  }
}

// Every budget from 1 mA up fits exactly, and a looser budget never gives
// a darker frame.
TEST(PowerLimit, EstimateAlwaysFitsAndGrowsWithTheBudget) {
  std::vector<uint8_t> frame(3 * 170);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 37 + 11);
  uint64_t previous = 0;
  for (int budget = 1; budget <= 12000; budget += 7) {
    std::vector<uint8_t> bytes = frame;
    ApplyCorrection({{100, 100, 100}, 100, budget, 20}, bytes);
    const uint64_t draw = EstimatedMilliamps(bytes, 20);
    ASSERT_LE(draw, static_cast<uint64_t>(budget));
    ASSERT_GE(draw, previous);
    previous = draw;
  }
}

// The blocked, vectorized passes (the portable ones and the fastest this
// processor has) give what the formulas say channel by channel, at every
// length around the block and vector sizes and at the largest device.
TEST(PowerLimit, MatchesTheScalarFormulasAtEveryLength) {
  const DeviceCorrection corrections[] = {
      {{90, 80, 70}, 90, 1000, 20}, {{100, 100, 100}, 100, 700, 33}, {{55, 100, 3}, 77, 0, 20}};
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 3 * PreparedCorrection::kBlock + 2; ++n) lengths.push_back(n);
  lengths.push_back(65535);
  for (const CorrectionPasses passes : {CorrectionPasses::kPortable, CorrectionPasses::kFastest}) {
    for (const DeviceCorrection& c : corrections) {
      const PreparedCorrection prepared(c, passes);
      for (const size_t n : lengths) {
        std::vector<uint8_t> bytes(n);
        for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 151 + n);
        std::vector<uint8_t> expected = bytes;
        uint64_t sum = 0;
        for (size_t i = 0; i < n; ++i) {
          const int factor = (c.gain[i % 3] * c.cap * 256 + 5000) / 10000;
          expected[i] = static_cast<uint8_t>(expected[i] * factor / 256);
          sum += expected[i];
        }
        int share = 100;
        const uint64_t allowed = static_cast<uint64_t>(c.budgetMilliamps) * 255;
        if (c.budgetMilliamps > 0 && sum * static_cast<uint64_t>(c.milliampsPerChannel) > allowed) {
          const uint64_t k = (allowed << 16) / (sum * static_cast<uint64_t>(c.milliampsPerChannel));
          for (uint8_t& v : expected) v = static_cast<uint8_t>(v * k >> 16);
          share = static_cast<int>(k * 100 >> 16);
        }
        // The budget's passes on their own, copying rather than in place.
        std::vector<uint8_t> copied(n + 1, 0x5A);
        ScaleBytes(copied.data(), bytes.data(), n, 40000, passes);
        ASSERT_EQ(copied[n], 0x5A) << n;  // nothing past the end
        for (size_t i = 0; i < n; ++i) ASSERT_EQ(copied[i], bytes[i] * 40000 >> 16) << n << " " << i;
        ASSERT_EQ(SumBytes(bytes.data(), n, passes), std::accumulate(bytes.begin(), bytes.end(), 0u)) << n;

        ASSERT_EQ(prepared.Apply(bytes), share) << n;
        ASSERT_EQ(bytes, expected) << n;
      }
    }
  }
}

// Gains follow each pixel's colour wherever the device's colour order puts
// it. The budget is taken from the frame and applied while the patch copies
// when each channel is written once; a device whose channels are written
// twice gets it after the copy. Both send the same.
TEST(PowerLimit, GainsFollowThePixelColourAndTheBudgetHoldsOnEitherPath) {
  LoopbackOutputs o(3);
  o.outputs.devices().Load({o.Device(4), o.Device(4, 1)});
  o.patch.At(0, 0) = {0, 1, 0, 2};  // green, red, blue
  o.patch.At(1, 0) = {1, 0, 1, 2};
  o.patch.At(2, 0) = {1, 0, 1, 2};  // the same channels again: the last pixel wins
  // Red at half: 127 + 255 + 255 of white draws 49 mA against 30, so
  // k = floor(30 * 255 * 65536 / (637 * 20)) = 39352.
  const DeviceCorrection correction{{50, 100, 100}, 100, 30, 20};
  o.outputs.SetCorrections({correction, correction});
  ASSERT_EQ(o.outputs.OpenOutputs(), std::nullopt);
  const uint8_t frame[9] = {255, 255, 255, 0, 0, 0, 255, 255, 255};
  o.outputs.SendFrame({frame, 3, 1});
  o.outputs.TakeFaults();
  EXPECT_EQ(o.outputs.limitStatus(), "Power limit: output 1 at 60%, output 2 at 60%");
  o.outputs.CloseOutputs();
  const std::vector<test::Datagram> got = o.receiver.ReceiveAll();
  ASSERT_GE(got.size(), 2u);
  EXPECT_EQ(LoopbackOutputs::Data(got[0]), (std::vector<uint8_t>{153, 76, 153, 0}));
  EXPECT_EQ(LoopbackOutputs::Data(got[1]), (std::vector<uint8_t>{76, 153, 153, 0}));
}

TEST(PowerLimit, OutputsScaleTheSentDataAndSayOnceWhenLimitingStartsAndStops) {
  std::vector<std::string> lines;  // outlives the outputs, which may still print
  LoopbackOutputs o(1);
  o.console.SetSink([&lines](std::string_view line) { lines.emplace_back(line); });
  o.outputs.devices().Load({o.Device(3)});
  o.patch.At(0, 0) = {0, 0, 1, 2};
  o.outputs.SetCorrections({{{100, 100, 100}, 100, 30, 20}});  // 60 mA of white against 30
  ASSERT_EQ(o.outputs.OpenOutputs(), std::nullopt);
  lines.clear();  // the list's growth line
  const uint8_t white[3] = {255, 255, 255};
  const uint8_t dim[3] = {40, 40, 40};
  std::vector<std::string> status;
  for (const uint8_t* pixel : {white, white, dim, white}) {
    o.outputs.SendFrame({pixel, 1, 1});
    o.outputs.TakeFaults();
    status.push_back(o.outputs.limitStatus());
  }
  o.outputs.CloseOutputs();
  const std::string limited = "Power limit: output 1 at 50%";
  EXPECT_EQ(status, (std::vector<std::string>{limited, limited, "", limited}));
  EXPECT_EQ(o.outputs.limitStatus(), "");
  o.console.Drain();
  const std::vector<test::Datagram> got = o.receiver.ReceiveAll();
  ASSERT_GE(got.size(), 4u);
  EXPECT_EQ(LoopbackOutputs::Data(got[0]), (std::vector<uint8_t>{127, 127, 127}));
  EXPECT_EQ(LoopbackOutputs::Data(got[2]), (std::vector<uint8_t>{40, 40, 40}));
  EXPECT_EQ(lines, (std::vector<std::string>{"Output 1: limited to 50% for its power budget\n",
                                             "Output 1: within its power budget again\n",
                                             "Output 1: limited to 50% for its power budget\n"}));
}

// A correction belongs to its device, not to its place in the list: a
// device removed in front of it leaves it with its device, and it goes
// with its own device.
TEST(PowerLimit, CorrectionsFollowTheirDeviceThroughListChanges) {
  Console console;
  console.SetSink([](std::string_view) {});
  std::atomic<OutputStateValue> state{kOutputStopped};
  PatchTable patch(1, 1);
  Outputs outputs{console, state, patch};
  std::vector<OutputDevice> devices(3);
  for (size_t i = 0; i < devices.size(); ++i) devices[i].SetAddress("10.0.0." + std::to_string(i + 1));
  outputs.devices().Load(devices);
  const DeviceCorrection half{{100, 100, 100}, 50, 0, 20};
  const DeviceCorrection budget{{100, 100, 100}, 100, 2000, 20};
  outputs.SetCorrections({half, {}, budget});
  outputs.devices().Remove(1, patch);
  EXPECT_EQ(outputs.corrections(), (std::vector<DeviceCorrection>{half, budget}));
  outputs.devices().Remove(0, patch);
  EXPECT_EQ(outputs.corrections(), (std::vector<DeviceCorrection>{budget}));
  outputs.devices().Remove(0, patch);
  outputs.devices().Add(devices[1]);
  EXPECT_EQ(outputs.corrections(), (std::vector<DeviceCorrection>{DeviceCorrection{}}));
}

}  // namespace
}  // namespace quor

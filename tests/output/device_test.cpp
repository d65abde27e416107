// Output devices: the list, damaged records, the device editor's rules, the patch plan and the fast patch.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <functional>
#include <numeric>
#include <random>
#include <sstream>
#include <tuple>

#include "output/device_editor.h"
#include "output/device_list.h"
#include "output/fast_patch.h"
#include "output/patch_plan.h"
#include "output/sacn_encoder.h"

// GCC 12 wrongly warns about the string assignments the lambdas below inline.
#pragma GCC diagnostic ignored "-Wrestrict"

namespace quor {
namespace {

using Entries = std::vector<PatchEntry>;

OutputDevice Device(int driver, int channels) {
  OutputDevice d;
  d.driver = driver, d.channels = channels;
  return d;
}
PatchTable PatchOf(const Entries& entries) {
  PatchTable patch(static_cast<int>(entries.size()), 1);
  patch.entries() = entries;
  return patch;
}

TEST(OutputDeviceRecord, DamagedRecordsStayTerminatedAndReportShortInput) {
  std::vector<uint8_t> bytes(kDeviceRecordBytes, 'A');  // no terminating zeros anywhere
  ByteReader in(bytes);
  OutputDevice d;
  EXPECT_TRUE(ReadDeviceRecord(in, 5, d));
  EXPECT_EQ(d.AddressText(), std::string(15, 'A'));
  EXPECT_EQ(d.PathText(), std::string(255, 'A'));
  bytes.assign(100, 0);
  ByteReader shortIn(bytes);
  EXPECT_FALSE(ReadDeviceRecord(shortIn, 5, d));
  EXPECT_EQ(d.PathText(), "");
}

TEST(OutputDeviceList, RemovingRenumbersThePatchAndEditingClearsStaleEntries) {
  Console console;
  OutputDeviceList list(console);
  for (int i = 0; i < 3; ++i) list.Add(Device(kDriverArtNet, 512));
  PatchTable patch = PatchOf({{0, 0, 1, 2}, {1, 3, 4, 5}, {2, 6, 7, 8}, {-1, 0, 0, 0}, {1, 9, 10, 11}});
  EXPECT_EQ(list.Remove(0, patch), 0);
  EXPECT_EQ(patch.entries(), (Entries{{}, {0, 3, 4, 5}, {1, 6, 7, 8}, {}, {0, 9, 10, 11}}));
  EXPECT_EQ(list.Remove(1, patch), 0);  // the last row: the new last index
  EXPECT_EQ(list.Remove(0, patch), -1);
  // 512 -> 256 channels: only entries with a channel of 256 or more go.
  list.Add(Device(kDriverArtNet, 512));
  patch = PatchOf({{0, 253, 254, 255}, {0, 254, 255, 256}, {0, 600, 1, 2}, {1, 300, 301, 302}});
  list.Replace(0, Device(kDriverArtNet, 256), patch);
  EXPECT_EQ(patch.entries(), (Entries{{0, 253, 254, 255}, {}, {}, {1, 300, 301, 302}}));
  list.Replace(0, Device(kDriverTpm2, 256), patch);
  EXPECT_TRUE(patch.At(0, 0) == PatchEntry{} && list[0].driver == kDriverTpm2);
}

const std::vector<std::string> kPorts = {"ttyUSB0", "ttyACM1"};

// What "OK" makes of the form: the field to correct, or the stored record.
std::string Checked(const DeviceForm& form) {
  static const char* const kNames[] = {"ip",   "net",      "subnet",   "universe", "channels", "chanPerBlock",
                                       "port", "baud",     "redirect", "select",   "priority"};
  const FormCheck c = CheckForm(form, NewDeviceDefaults());
  const OutputDevice& d = c.device;
  std::ostringstream out;
  if (c.failed != kFieldNone) {
    out << "refused: " << kNames[std::countr_zero(uint32_t{c.failed})];
  } else {
    out << d.driver << " " << d.AddressText() << ":" << d.port << " ch " << d.channels << " param " << d.driverParam
        << " sub " << d.subnet << " uni " << d.universe << " head " << d.headerLength << " redirect " << d.redirect
        << " " << d.PathText();
  }
  return out.str();
}

TEST(DeviceEditor, EachDriverChecksItsFieldsInOrderAndStoresWhatPassed) {
  using F = DeviceForm;
  const struct { int driver; void (*edit)(DeviceForm&); std::string expect; } cases[] = {
      {kDriverArtNet, [](F& f) { f.channels = "511"; }, "refused: channels"},
      {kDriverArtNet, [](F& f) { f.channels = "514"; }, "refused: channels"},
      {kDriverArtNet, [](F& f) { f.net = "128", f.subnet = "16"; }, "refused: net"},
      {kDriverArtNet, [](F& f) { f.net = "127", f.subnet = "16"; }, "refused: subnet"},
      // The smallest count; a universe that is no number reads as 0.
      {kDriverArtNet, [](F& f) { f.channels = "2", f.net = "127", f.subnet = "15", f.universe = "abc", f.ip = "10.0.0.7"; },
       "0 10.0.0.7:6454 ch 2 param 127 sub 15 uni 0 head 18 redirect 0 "},
      // A checked box without a chosen file stores no redirection.
      {kDriverArtNet, [](F& f) { f.redirect = true; }, "0 127.0.0.1:6454 ch 512 param 0 sub 0 uni 0 head 18 redirect 0 "},
      {kDriverArtNet, [](F& f) { f.redirect = true, f.path = "/tmp/x.out"; },
       "0 127.0.0.1:6454 ch 512 param 0 sub 0 uni 0 head 18 redirect 1 /tmp/x.out"},
      {kDriverTpm2Net, [](F& f) { f.channels = "1000", f.chanPerBlock = "1001"; }, "refused: chanPerBlock"},
      // A block count the one-byte packet number cannot carry.
      {kDriverTpm2Net, [](F& f) { f.channels = "1000", f.chanPerBlock = "1"; }, "refused: chanPerBlock"},
      {kDriverTpm2Net, [](F& f) { f.channels = "1000", f.chanPerBlock = "300"; },
       "1 127.0.0.1:65506 ch 1000 param 300 sub 0 uni 0 head 6 redirect 0 "},
      {kDriverMiniDmx, [](F& f) { f.baud = 1000000, f.serialPort = "ttyACM1"; },
       "4 ttyACM1:0 ch 512 param 1000000 sub 0 uni 0 head 2 redirect 0 "},
      {kDriverBitmapExport, [](F&) {}, "refused: select"},
      {kDriverBitmapExport, [](F& f) { f.path = std::string(300, 'p'); }, "refused: select"},  // beyond the record
      {kDriverBitmapExport, [](F& f) { f.path = "/tmp/frames"; },
       "5 127.0.0.1:6454 ch 512 param 0 sub 0 uni 0 head 0 redirect 1 /tmp/frames"},
      {kDriverDdp, [](F& f) { f.channels = "65536"; }, "refused: channels"},
      {kDriverDdp, [](F&) {}, "8 127.0.0.1:4048 ch 384 param 0 sub 0 uni 0 head 10 redirect 0 "},
      {kDriverSacn, [](F& f) { f.universe = "0"; }, "refused: universe"},
      {kDriverSacn, [](F& f) { f.universe = "64000"; }, "refused: universe"},
      {kDriverSacn, [](F& f) { f.universe = "1", f.priority = "201"; }, "refused: priority"},
      {kDriverSacn, [](F& f) { f.universe = "1", f.channels = "513"; }, "refused: channels"},
      // A redirection path must leave room for the CID.
      {kDriverSacn, [](F& f) { f.universe = "1", f.redirect = true, f.path = std::string(kSacnPathChars + 1, 'x'); },
       "refused: select"},
      {kDriverSacn, [](F& f) { f.universe = "63999", f.priority = "200", f.channels = "512"; },
       "7 :5568 ch 512 param 200 sub 0 uni 63999 head 126 redirect 0 "},
  };
  for (const auto& c : cases) {
    DeviceForm f = OpenForm(NewDeviceDefaults(), kPorts);
    ChangeDriver(f, c.driver, 16, 8, kPorts);
    c.edit(f);
    EXPECT_EQ(Checked(f), c.expect) << "driver " << c.driver;
  }
}

TEST(DeviceEditor, DriverChangesSetDefaultsEnabledFieldsAndDerivedCounts) {
  // Channels, port, blocks and enabled fields after the change (other drivers' defaults: the table above).
  const struct { int driver, width, height; std::string fields; uint32_t enabled; } cases[] = {
      {kDriverArtNet, 16, 8, "512 6454 1", kFieldIpAddress | kFieldNet | kFieldSubnet | kFieldUniverse | kFieldChannels | kFieldRedirect},
      {kDriverDdp, 32, 16, "1536 4048 2", kFieldIpAddress | kFieldChannels | kFieldRedirect},
      {kDriverSacn, 16, 16, "510 5568 1", kFieldIpAddress | kFieldUniverse | kFieldPriority | kFieldChannels | kFieldRedirect},
      {kDriverBitmapExport, 16, 8, "512 6454 1", kFieldSelect},
  };
  for (const auto& c : cases) {
    DeviceForm f = OpenForm(NewDeviceDefaults(), kPorts);
    ChangeDriver(f, c.driver, c.width, c.height, kPorts);
    EXPECT_EQ(f.channels + " " + f.port + " " + f.blocks, c.fields) << c.driver;
    EXPECT_EQ(EnabledFields(f), c.enabled) << c.driver;
    EXPECT_EQ(f.redirect, c.driver == kDriverBitmapExport) << c.driver;
    if (c.driver == kDriverArtNet) {
      f.redirect = true;
      EXPECT_EQ(EnabledFields(f) & (kFieldIpAddress | kFieldSelect), kFieldSelect);
    }
  }
  DeviceForm m = OpenForm(NewDeviceDefaults(), kPorts);
  ChangeDriver(m, kDriverMiniDmx, 16, 8, kPorts);
  for (auto [in, out] : {std::pair{"97", "256"}, {"1537", "3072"}, {"0", "96"}}) {
    m.channels = in;
    ChannelsLeft(m);
    EXPECT_EQ(std::make_pair(m.channels, m.chanPerBlock), std::make_pair(std::string(out), std::string(out))) << in;
  }
  m.baud = 1000000, m.serialPort = "ttyACM1";
  const DeviceForm again = OpenForm(CheckForm(m, NewDeviceDefaults()).device, kPorts);
  EXPECT_EQ(std::make_tuple(again.serialPort, again.baud), std::make_tuple(std::string("ttyACM1"), 1000000));
  EXPECT_EQ(std::make_pair(ReadFieldNumber(" 42"), ReadFieldNumber("99999999999")), std::make_pair(42u, 0u));
}

using Buffers = std::vector<std::vector<uint8_t>>;

// The patch applied entry by entry, skipping pixels outside the frame or patch and channels outside the device;
// `value` gives what device d gets for a frame byte of colour c.
void ApplyDirectly(const PatchTable& patch, int width, int height, const uint8_t* frame,
                   std::span<const PatchTarget> targets, Buffers& buffers,
                   const std::function<uint8_t(size_t, uint8_t, int)>& value = [](size_t, uint8_t v, int) {
                     return v;
                   }) {
  for (int y = 0; y < std::min(height, patch.height()); ++y) {
    for (int x = 0; x < std::min(width, patch.width()); ++x) {
      const PatchEntry& e = patch.At(x, y);
      if (e.device < 0 || static_cast<size_t>(e.device) >= targets.size()) continue;
      const PatchTarget& t = targets[static_cast<size_t>(e.device)];
      const int channel[3] = {e.red, e.green, e.blue};
      for (int c = 0; c < 3; ++c) {
        if (channel[c] < 0 || channel[c] >= t.channels) continue;
        buffers[static_cast<size_t>(e.device)][static_cast<size_t>(t.headerLength + channel[c])] =
            value(static_cast<size_t>(e.device), frame[(y * width + x) * 3 + c], c);
      }
    }
  }
}

TEST(PatchPlan, MatchesEntryByEntryApplicationAndNeverLeavesTheBuffer) {
  const std::vector<PatchTarget> targets = {{18, 512, 531}, {4, 30, 35}, {0, -1, 0}, {1, 90, 92}};
  std::mt19937 random(7);
  int kinds[3] = {};  // devices written more than once or partly, once, and once in consecutive runs
  for (int round = 0; round < 30; ++round) {
    PatchTable patch(13, 7);
    // Straight and reversed runs, odd colour orders, stray and hostile entries.
    int channel = static_cast<int>(random() % 40);
    for (PatchEntry& e : patch.entries()) {
      // Every fourth round patches device 0 alone, in one straight run.
      const int kind = static_cast<int>(random() % (round % 4 == 0 ? 4 : 10));
      if (kind < 6) {
        e = kind < 4 ? PatchEntry{0, channel, channel + 1, channel + 2} : PatchEntry{3, 90 - channel % 90, 91 - channel % 90, 89 - channel % 90};
        channel += 3;
      } else if (kind == 6) {
        e = PatchEntry{static_cast<int32_t>(random() % 5), static_cast<int32_t>(random() % 700) - 100,
                       static_cast<int32_t>(random()), -static_cast<int32_t>(random() % 3)};
      } else if (kind == 7) {
        e = PatchEntry{1, 27, 28, 29};
      }
    }
    const int width = 13 + round % 3 - 1, height = 7 + round % 2;
    std::vector<uint8_t> frame(static_cast<size_t>(width * height * 3));
    for (uint8_t& b : frame) b = static_cast<uint8_t>(random());
    Buffers expected;
    for (const PatchTarget& t : targets) expected.emplace_back(static_cast<size_t>(std::max(4, t.headerLength + t.channels + 2)), 0x55);
    Buffers actual = expected;
    ApplyDirectly(patch, width, height, frame.data(), targets, expected);
    PatchPlan plan;
    plan.Build(patch, width, height, targets);
    std::vector<uint8_t*> pointers;
    for (auto& b : actual) pointers.push_back(b.data());
    plan.Apply(frame.data(), pointers);
    for (size_t d = 0; d < targets.size(); ++d) {
      actual[d][targets[d].discardOffset] = 0x55;  // the discard byte may hold anything
      EXPECT_EQ(actual[d], expected[d]) << "round " << round << " device " << d;
    }

    // Gains by each pixel's colour and a budget's scale applied while
    // copying. The plan takes the budget of a device whose runs follow each
    // other itself; for the others, the sum it takes of the frame for a
    // device it writes each channel of once is the sum of that device's
    // channels after gains.
    const PreparedCorrection budget({{100, 100, 100}, 100, 1, 20});
    const PreparedCorrection gains({{50, 100, 25}, 80, 0, 20});
    const std::vector<const PreparedCorrection*> corrections = {&budget, nullptr, &gains, &gains};
    std::vector<uint32_t> scales = {40000, kUnscaled, kUnscaled, 12345};
    const auto gained = [&corrections](size_t d, uint8_t v, int c) {
      return corrections[d] ? corrections[d]->GainOne(v, static_cast<size_t>(c), kUnscaled) : v;
    };
    Buffers unscaled;
    for (const auto& b : expected) unscaled.emplace_back(b.size(), 0);
    Buffers scaled = unscaled;
    ApplyDirectly(patch, width, height, frame.data(), targets, unscaled, gained);
    pointers.clear();
    for (auto& b : scaled) pointers.push_back(b.data());
    plan.Apply(frame.data(), pointers, corrections, scales);
    std::vector<uint32_t> sums(targets.size(), 0);
    plan.SumSources(frame.data(), corrections, sums);
    for (size_t d = 0; d < targets.size(); ++d) {
      if (targets[d].channels < 0) continue;
      scaled[d][targets[d].discardOffset] = 0;
      std::vector<uint8_t> want = unscaled[d];
      for (uint8_t& v : want) v = static_cast<uint8_t>(v * scales[d] >> 16);
      EXPECT_EQ(scaled[d], want) << "round " << round << " device " << d;
      if (corrections[d] == nullptr) continue;
      const auto first = unscaled[d].begin() + targets[d].headerLength;
      const uint32_t channelSum = std::accumulate(first, first + targets[d].channels, 0u);
      ++kinds[plan.WritesOnce(d) + plan.InlineBudget(d)];
      if (plan.WritesOnce(d)) {
        EXPECT_EQ(sums[d], channelSum) << "round " << round;
      }
      if (corrections[d]->HasBudget()) {
        EXPECT_EQ(scales[d], plan.InlineBudget(d) ? budget.ScaleFor(channelSum).factor : 40000u) << "round " << round;
      }
    }
  }
  for (const int count : kinds) EXPECT_GT(count, 0);  // every kind of device came up
}

class FastPatchTest : public testing::Test {
 protected:
  void AddDevice(int driver, int channels) { devices_.Add(Device(driver, channels)); }
  Console console_;
  OutputDeviceList devices_{console_};
};

TEST_F(FastPatchTest, VisitsTheAreaInEachPixelOrderAndPlacesEachColourOrder) {
  // Visiting sequence of a 3 x 2 area (pixel y * 3 + x); offsets of R, G, B.
  const int visits[kPixelOrderCount][6] = {
      {0, 1, 2, 3, 4, 5}, {2, 1, 0, 5, 4, 3}, {3, 4, 5, 0, 1, 2}, {5, 4, 3, 2, 1, 0},  // linewise
      {0, 1, 2, 5, 4, 3}, {2, 1, 0, 3, 4, 5}, {3, 4, 5, 2, 1, 0}, {5, 4, 3, 0, 1, 2},  // snakelines
      {0, 3, 1, 4, 2, 5}, {2, 5, 1, 4, 0, 3}, {3, 0, 4, 1, 5, 2}, {5, 2, 4, 1, 3, 0},  // columnwise
      {0, 3, 4, 1, 2, 5}, {2, 5, 4, 1, 0, 3}, {3, 0, 1, 4, 5, 2}, {5, 2, 1, 4, 3, 0},  // snakecolumns
  };
  const int colours[kColourOrderCount][3] = {{0, 1, 2}, {0, 2, 1}, {2, 1, 0}, {1, 2, 0}, {2, 0, 1}, {1, 0, 2}};
  AddDevice(kDriverArtNet, 512);
  for (int order = 0; order < kPixelOrderCount; ++order) {
    const int c = order % kColourOrderCount;
    SCOPED_TRACE(std::string(PixelOrderName(order)) + " " + ColourOrderName(c));
    PatchTable patch(5, 4);
    FastPatchSettings s{3, 2, 30, order, c, 0};
    ASSERT_TRUE(ApplyFastPatch(patch, devices_, 1, 1, s));
    for (int k = 0; k < 6; ++k) {
      const int x = 1 + visits[order][k] % 3, y = 1 + visits[order][k] / 3, first = 30 + 3 * k;
      EXPECT_EQ(patch.At(x, y), (PatchEntry{0, first + colours[c][0], first + colours[c][1], first + colours[c][2]}))
          << k;
    }
    EXPECT_EQ(std::ranges::count_if(patch.entries(), [](const PatchEntry& e) { return e.device >= 0; }), 6);
    EXPECT_EQ(s.firstChannel, 48);
  }
  EXPECT_STREQ(PixelOrderName(16), "");
}

TEST_F(FastPatchTest, StopsWhenTheDeviceRunsOutAndClipsTheArea) {
  AddDevice(kDriverSacn, 6);
  PatchTable patch(4, 4);
  FastPatchSettings s{4, 4, 0, 0, 0, 0};
  ASSERT_TRUE(ApplyFastPatch(patch, devices_, 0, 0, s));
  EXPECT_EQ(std::tuple(patch.At(1, 0), patch.At(2, 0), s.firstChannel), std::tuple(PatchEntry{0, 3, 4, 5}, PatchEntry{}, 0));

  // 10 x 10 from cell 8/8 of a 16 x 8 matrix: 9 x 1.
  PatchTable wide(16, 8);
  AddDevice(kDriverArtNet, 512);
  FastPatchSettings c{10, 10, 0, 0, 0, 1};
  ASSERT_TRUE(ApplyFastPatch(wide, devices_, 7, 7, c));
  EXPECT_EQ(std::make_pair(c.dimensionX, c.dimensionY), std::make_pair(9, 1));
  EXPECT_EQ(std::pair(wide.At(15, 7), c.firstChannel), std::pair(PatchEntry{1, 24, 25, 26}, 27));
  ASSERT_TRUE(ApplyFastPatch(wide, devices_, 0, 1, c));  // continues on the next channels
  EXPECT_EQ(wide.At(0, 1), (PatchEntry{1, 27, 28, 29}));

  AddDevice(kDriverBitmapExport, 0);
  FastPatchSettings none{2, 2, 0, 0, 0, 2};
  EXPECT_FALSE(ApplyFastPatch(wide, devices_, 0, 0, none));
  none.device = 7;
  EXPECT_FALSE(ApplyFastPatch(wide, devices_, 0, 0, none));
  EXPECT_EQ(wide.At(0, 0), PatchEntry{});
}

// 16 x 16 on Art-Net universes of 170 pixels: no channel past the device's last; the rest goes to the node's next.
TEST_F(FastPatchTest, NeverPassesTheLastChannelAndContinuesOnTheNextDeviceOfTheNode) {
  auto artNet = [this](const char* address, int universe, int channels) {
    OutputDevice d = NewDeviceDefaults();
    d.SetAddress(address), d.universe = universe, d.channels = channels;
    devices_.Add(d);
  };
  artNet("10.0.0.5", 0, 512);
  artNet("10.0.0.9", 1, 512);  // another node: skipped
  artNet("10.0.0.5", 1, 384);
  PatchTable patch(16, 16);
  FastPatchSettings s{16, 16, 0, 0, 0, 0};
  const FastPatchResult full = ApplyFastPatch(patch, devices_, 0, 0, s);
  EXPECT_EQ(std::tuple(full.areaPixels, full.patched, full.next, full.nextX, full.nextY, full.complete()),
            std::tuple(256, 170, 170, 10, 10, false));
  EXPECT_EQ(patch.At(9, 10), (PatchEntry{0, 507, 508, 509}));
  EXPECT_EQ(s.firstChannel, 0) << "510 leaves no whole pixel";

  // A First Channel kept from a bigger device patches nothing on a smaller one.
  FastPatchSettings kept{16, 16, 510, 0, 0, 2};
  PatchTable untouched(16, 16);
  EXPECT_EQ(ApplyFastPatch(untouched, devices_, 0, 0, kept).patched, 0);
  EXPECT_EQ(untouched.entries(), PatchTable(16, 16).entries());

  EXPECT_EQ(std::pair(NextDeviceLike(devices_, 0), NextDeviceLike(devices_, 2)), std::pair(2, -1));
  s.device = 2, s.firstChannel = 0;
  const FastPatchResult rest = ApplyFastPatch(patch, devices_, 0, 0, s, full.next);
  EXPECT_EQ(std::tuple(rest.patched, rest.complete()), std::tuple(86, true));
  EXPECT_EQ(std::pair(patch.At(10, 10), s.firstChannel), std::pair(PatchEntry{2, 0, 1, 2}, 258));
  for (const PatchEntry& e : patch.entries()) {
    ASSERT_GE(e.device, 0);
    EXPECT_LT(std::max({e.red, e.green, e.blue}), devices_[e.device].channels);
  }
}

}  // namespace
}  // namespace quor

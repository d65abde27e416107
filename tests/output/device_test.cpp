// Output devices: the list, damaged records and the "Add/Edit Device"
// editor's rules. The record layout is pinned by the project file's golden
// bytes; the dialog's widgets, row texts and messages by the UI tests.
#include <gtest/gtest.h>

#include <bit>
#include <sstream>

#include "output/device_editor.h"
#include "output/device_list.h"
#include "output/sacn_encoder.h"
#include "test_support.h"

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

TEST(OutputDeviceList, GrowsOneRecordAtATimeAndSaysSo) {
  Console console;
  test::ConsoleCapture capture(console);
  OutputDeviceList list(console);
  EXPECT_EQ(list.capacity(), 5);
  for (int i = 0; i < 5; ++i) list.Add(OutputDevice{});
  EXPECT_EQ(capture.Text(), "");
  EXPECT_EQ(list.Add(OutputDevice{}), 5);
  EXPECT_EQ(capture.Text(), "Realloc - Devices: 5 Malloc 6\n");
  list.ReserveOne();  // an editor for a new device, cancelled: grown, not added
  list.ReserveOne();
  EXPECT_EQ(std::make_pair(list.count(), list.capacity()), std::make_pair(6, 7));
  capture.Clear();
  list.Load(std::vector<OutputDevice>(9));
  list.Load(std::vector<OutputDevice>(2));
  EXPECT_EQ(capture.Text(), "Devices: 9 Malloc 7\nRealloc - Devices: 9 Malloc 9\nDevices: 2 Malloc 9\n");
  EXPECT_EQ(list.capacity(), 9);
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
  // A driver change unpatches the device entirely.
  list.Replace(0, Device(kDriverTpm2, 256), patch);
  EXPECT_EQ(patch.At(0, 0), PatchEntry{});
  EXPECT_EQ(list[0].driver, kDriverTpm2);
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
      {kDriverArtNet, [](F& f) { f.channels = "x"; }, "refused: channels"},
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
  // Channels, port and blocks after the change (nullptr: not checked here);
  // tpm2.net's and miniDMX's defaults show in the table above.
  const struct { int driver, width, height; const char *channels, *port, *blocks; uint32_t enabled; } cases[] = {
      {kDriverArtNet, 16, 8, nullptr, nullptr, nullptr,
       kFieldIpAddress | kFieldNet | kFieldSubnet | kFieldUniverse | kFieldChannels | kFieldRedirect},
      {kDriverDdp, 32, 16, "1536", "4048", "2", kFieldIpAddress | kFieldChannels | kFieldRedirect},
      {kDriverSacn, 16, 16, "510", "5568", nullptr,
       kFieldIpAddress | kFieldUniverse | kFieldPriority | kFieldChannels | kFieldRedirect},
      {kDriverBitmapExport, 16, 8, nullptr, nullptr, nullptr, kFieldSelect},
  };
  for (const auto& c : cases) {
    DeviceForm f = OpenForm(NewDeviceDefaults(), kPorts);
    ChangeDriver(f, c.driver, c.width, c.height, kPorts);
    const std::pair<const char*, std::string> fields[] = {{c.channels, f.channels}, {c.port, f.port}, {c.blocks, f.blocks}};
    for (const auto& [want, got] : fields) EXPECT_EQ(want ? got : "-", want ? want : "-") << c.driver;
    EXPECT_EQ(c.enabled ? EnabledFields(f) : 0, c.enabled) << c.driver;
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
  // Reopening selects the stored port and baud.
  m.baud = 1000000, m.serialPort = "ttyACM1";
  const DeviceForm again = OpenForm(CheckForm(m, NewDeviceDefaults()).device, kPorts);
  EXPECT_EQ(std::make_tuple(again.serialPort, again.baud), std::make_tuple(std::string("ttyACM1"), 1000000));
  EXPECT_EQ(std::make_pair(ReadFieldNumber(" 42"), ReadFieldNumber("99999999999")), std::make_pair(42u, 0u));
}

}  // namespace
}  // namespace quor

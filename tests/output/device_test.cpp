// Output devices: the list, damaged records and the "Add/Edit Device"
// editor's rules. The record layout itself is pinned by the project file's
// golden bytes.
#include <gtest/gtest.h>

#include <tuple>

#include "output/device_editor.h"
#include "output/device_list.h"
#include "test_support.h"

namespace quor {
namespace {

using Entries = std::vector<PatchEntry>;

OutputDevice Device(int driver, int channels) {
  OutputDevice d;
  d.driver = driver, d.channels = channels;
  return d;
}

PatchTable PatchOfDevices(const Entries& entries) {
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

  const std::vector<uint8_t> truncated(100, 0);
  ByteReader shortIn(truncated);
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
  // An editor opened for a new device and then cancelled: grown, not added.
  list.ReserveOne();
  list.ReserveOne();
  EXPECT_EQ(std::make_pair(list.count(), list.capacity()), std::make_pair(6, 7));

  capture.Clear();
  list.Load(std::vector<OutputDevice>(9));
  EXPECT_EQ(capture.Text(), "Devices: 9 Malloc 7\nRealloc - Devices: 9 Malloc 9\n");
  capture.Clear();
  list.Load(std::vector<OutputDevice>(2));
  EXPECT_EQ(capture.Text(), "Devices: 2 Malloc 9\n");
  EXPECT_EQ(list.capacity(), 9);
}

TEST(OutputDeviceList, RemovingRenumbersThePatchAndEditingClearsStaleEntries) {
  Console console;
  OutputDeviceList list(console);
  const OutputDevice art = Device(kDriverArtNet, 512);
  for (int i = 0; i < 3; ++i) list.Add(art);
  PatchTable patch = PatchOfDevices({{0, 0, 1, 2}, {1, 3, 4, 5}, {2, 6, 7, 8}, {-1, 0, 0, 0}, {1, 9, 10, 11}});
  EXPECT_EQ(list.Remove(0, patch), 0);
  EXPECT_EQ(patch.entries(), (Entries{{}, {0, 3, 4, 5}, {1, 6, 7, 8}, {}, {0, 9, 10, 11}}));
  EXPECT_EQ(list.Remove(1, patch), 0);  // the last row: the new last index
  EXPECT_EQ(list.Remove(0, patch), -1);

  // 512 -> 256 channels: only entries with a channel of 256 or more go.
  list.Add(art);
  PatchTable p2 = PatchOfDevices({{0, 253, 254, 255}, {0, 254, 255, 256}, {0, 600, 1, 2}, {1, 300, 301, 302}});
  list.Replace(0, Device(kDriverArtNet, 256), p2);
  EXPECT_EQ(p2.entries(), (Entries{{0, 253, 254, 255}, {}, {}, {1, 300, 301, 302}}));
  // A driver change unpatches the device entirely.
  list.Replace(0, Device(kDriverTpm2, 256), p2);
  EXPECT_EQ(p2.At(0, 0), PatchEntry{});
  EXPECT_EQ(list[0].driver, kDriverTpm2);
}

const std::vector<std::string> kPorts = {"ttyUSB0", "ttyACM1"};

DeviceForm FormFor(int driver) {
  DeviceForm f = OpenForm(NewDeviceDefaults(), kPorts);
  ChangeDriver(f, driver, 16, 8, kPorts);
  return f;
}

TEST(DeviceEditor, ArtNetChecksChannelsAndAddressingInOrder) {
  DeviceForm f = FormFor(kDriverArtNet);
  for (const char* bad : {"511", "0", "514", "x", "-2"}) {
    f.channels = bad;
    EXPECT_EQ(CheckForm(f, NewDeviceDefaults()).failed, kFieldChannels) << bad;
  }
  f.channels = "2";  // the smallest count
  EXPECT_EQ(CheckForm(f, NewDeviceDefaults()).failed, kFieldNone);
  f.channels = "512";
  f.net = "128";
  f.subnet = "16";
  EXPECT_EQ(CheckForm(f, NewDeviceDefaults()).failed, kFieldNet);
  f.net = "127";
  EXPECT_EQ(CheckForm(f, NewDeviceDefaults()).failed, kFieldSubnet);
  f.subnet = "15";
  f.universe = "abc";  // not a number: 0
  f.ip = "10.0.0.7";
  const FormCheck ok = CheckForm(f, NewDeviceDefaults());
  ASSERT_EQ(ok.failed, kFieldNone);
  const OutputDevice& d = ok.device;
  EXPECT_EQ(std::make_tuple(d.channels, d.driverParam, d.subnet, d.universe, d.port, d.headerLength),
            std::make_tuple(512, 127, 15, 0, 6454, 18));
  EXPECT_EQ(d.AddressText(), "10.0.0.7");
}

TEST(DeviceEditor, Tpm2NetBlocksAndMiniDmxRounding) {
  DeviceForm f = FormFor(kDriverTpm2Net);
  EXPECT_EQ(f.channels, "384");  // 16 x 8 x 3
  EXPECT_EQ(f.port, "65506");
  f.channels = "1000";
  f.chanPerBlock = "300";
  ChannelsEdited(f);
  EXPECT_EQ(f.blocks, "4");
  f.chanPerBlock = "1001";
  EXPECT_EQ(CheckForm(f, NewDeviceDefaults()).failed, kFieldChanPerBlock);
  ChannelsLeft(f);  // leaving the field cuts Chan/Block to Channels
  EXPECT_EQ(f.chanPerBlock, "1000");
  f.chanPerBlock = "300";
  EXPECT_EQ(CheckForm(f, NewDeviceDefaults()).device.driverParam, 300);
  // A block count the one-byte packet number cannot carry.
  f.chanPerBlock = "1";
  EXPECT_EQ(CheckForm(f, NewDeviceDefaults()).failed, kFieldChanPerBlock);

  DeviceForm m = FormFor(kDriverMiniDmx);
  EXPECT_EQ(m.channels, "512");  // 384 rounded up
  for (auto [in, out] : {std::pair{"97", "256"}, {"1537", "3072"}, {"0", "96"}}) {
    m.channels = in;
    ChannelsLeft(m);
    EXPECT_EQ(m.channels, out) << in;
    EXPECT_EQ(m.chanPerBlock, out) << in;
  }
  m.baud = 1000000;
  m.serialPort = "ttyACM1";
  const FormCheck serial = CheckForm(m, NewDeviceDefaults());
  ASSERT_EQ(serial.failed, kFieldNone);
  EXPECT_EQ(serial.device.AddressText(), "ttyACM1");
  EXPECT_EQ(std::make_tuple(serial.device.driverParam, serial.device.port, serial.device.headerLength),
            std::make_tuple(1000000, 0, 2));
  // Reopening selects the stored port and baud.
  const DeviceForm again = OpenForm(serial.device, kPorts);
  EXPECT_EQ(std::make_tuple(again.serialPort, again.baud), std::make_tuple(std::string("ttyACM1"), 1000000));
}

TEST(DeviceEditor, FieldStatesAndRedirection) {
  DeviceForm f = FormFor(kDriverArtNet);
  EXPECT_EQ(EnabledFields(f), kFieldIpAddress | kFieldNet | kFieldSubnet | kFieldUniverse | kFieldChannels | kFieldRedirect);
  f.redirect = true;
  EXPECT_EQ(EnabledFields(f) & (kFieldIpAddress | kFieldSelect), kFieldSelect);
  // A checked box without a chosen file stores no redirection.
  EXPECT_EQ(CheckForm(f, NewDeviceDefaults()).device.redirect, 0);
  f.path = "/tmp/x.out";
  const OutputDevice r = CheckForm(f, NewDeviceDefaults()).device;
  EXPECT_EQ(std::make_tuple(r.redirect, std::string(r.PathText())), std::make_tuple(1, std::string("/tmp/x.out")));

  DeviceForm bitmap = FormFor(kDriverBitmapExport);
  EXPECT_TRUE(bitmap.redirect);
  EXPECT_EQ(EnabledFields(bitmap), kFieldSelect);
  const FormCheck missing = CheckForm(bitmap, NewDeviceDefaults());
  EXPECT_EQ(missing.failed, kFieldSelect);
  EXPECT_TRUE(missing.showNoTargetMessage);
  bitmap.path = std::string(300, 'p');  // longer than the record holds
  EXPECT_EQ(CheckForm(bitmap, NewDeviceDefaults()).failed, kFieldSelect);
  bitmap.path = "/tmp/frames";
  const FormCheck ok = CheckForm(bitmap, NewDeviceDefaults());
  EXPECT_EQ(ok.failed, kFieldNone);
  EXPECT_EQ(ok.device.redirect, 1);

  EXPECT_EQ(ReadFieldNumber(" 42"), 42u);
  EXPECT_EQ(ReadFieldNumber("99999999999"), 0u);
}

}  // namespace
}  // namespace quor

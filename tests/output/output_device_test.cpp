#include "output/output_device.h"

#include <gtest/gtest.h>

#include <tuple>

#include "output/device_list.h"
#include "test_support.h"

namespace quor {
namespace {

OutputDevice Sample() {
  OutputDevice d;
  d.driver = kDriverTpm2Net, d.port = 65506, d.channels = 1000, d.driverParam = 300;
  d.subnet = 0x01020304, d.universe = -2, d.headerLength = 6, d.redirect = 1;
  d.SetAddress("192.168.100.200");
  d.SetPath("/var/tmp/out.out");
  return d;
}

TEST(OutputDeviceRecord, LaysOutThe312ByteRecordLittleEndian) {
  std::vector<uint8_t> bytes(kDeviceRecordBytes, 0xEE);
  ByteWriter out(bytes);
  WriteDeviceRecord(Sample(), out);
  ASSERT_TRUE(out.ok() && out.position() == 312u);
  const std::vector<uint8_t> head = {
      1, 0, 0, 0,                                                              // driver
      '1', '9', '2', '.', '1', '6', '8', '.', '1', '0', '0', '.', '2', '0', '0', 0,  // address
      0xE2, 0xFF, 0, 0,                                                        // port 65506
      0xE8, 0x03, 0, 0,                                                        // channels 1000
      0x2C, 0x01, 0, 0,                                                        // driverParam 300
      4, 3, 2, 1,                                                              // subnet
      0xFE, 0xFF, 0xFF, 0xFF,                                                  // universe -2
      0, 0, 0, 0,                                                              // buffer: never stored
      6, 0, 0, 0,                                                              // headerLength
      0, 0, 0, 0,                                                              // handle: never stored
      1, 0, 0, 0,                                                              // redirect
      '/', 'v', 'a', 'r',                                                      // path ...
  };
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(head.size())), head);
  EXPECT_EQ(bytes[56 + 16], 0);
  EXPECT_EQ(bytes[311], 0);

  ByteReader in(bytes);
  OutputDevice back;
  EXPECT_TRUE(ReadDeviceRecord(in, 5, back));
  EXPECT_EQ(back, Sample());
  EXPECT_EQ(in.position(), 312u);

  // Before version 4 the record ends ahead of the redirection.
  std::vector<uint8_t> short3(kDeviceRecordV3Bytes);
  ByteWriter out3(short3);
  WriteDeviceRecord(Sample(), out3, false);
  EXPECT_TRUE(out3.ok() && out3.position() == 52u);
  ByteReader old(short3);
  EXPECT_TRUE(ReadDeviceRecord(old, 3, back));
  EXPECT_EQ(old.position(), 52u);
  EXPECT_EQ(std::make_tuple(back.channels, back.redirect, std::string(back.PathText())),
            std::make_tuple(1000, 0, std::string()));
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

using Entries = std::vector<PatchEntry>;

PatchTable PatchOfDevices(const Entries& entries) {
  PatchTable patch(static_cast<int>(entries.size()), 1);
  patch.entries() = entries;
  return patch;
}

TEST(OutputDeviceList, GrowsOneRecordAtATimeAndSaysSo) {
  Console console;
  test::ConsoleCapture capture(console);
  OutputDeviceList list(console);
  EXPECT_EQ(list.capacity(), 5);
  for (int i = 0; i < 5; ++i) list.Add(Sample());
  EXPECT_EQ(capture.Text(), "");
  EXPECT_EQ(list.Add(Sample()), 5);
  EXPECT_EQ(capture.Text(), "Realloc - Devices: 5 Malloc 6\n");
  // An editor opened for a new device and then cancelled: grown, not added.
  list.ReserveOne();
  EXPECT_EQ(list.count(), 6);
  list.ReserveOne();
  EXPECT_EQ(list.capacity(), 7);

  capture.Clear();
  list.Load(std::vector<OutputDevice>(9, Sample()));
  EXPECT_EQ(capture.Text(), "Devices: 9 Malloc 7\nRealloc - Devices: 9 Malloc 9\n");
  capture.Clear();
  list.Load(std::vector<OutputDevice>(2, Sample()));
  EXPECT_EQ(capture.Text(), "Devices: 2 Malloc 9\n");
  EXPECT_EQ(list.capacity(), 9);
}

TEST(OutputDeviceList, RemovingRenumbersThePatchAndEditingClearsStaleEntries) {
  Console console;
  OutputDeviceList list(console);
  OutputDevice art = Sample();
  art.driver = kDriverArtNet, art.channels = 512;
  for (int i = 0; i < 3; ++i) list.Add(art);
  PatchTable patch = PatchOfDevices({{0, 0, 1, 2}, {1, 3, 4, 5}, {2, 6, 7, 8}, {-1, 0, 0, 0}, {1, 9, 10, 11}});
  EXPECT_EQ(list.Remove(0, patch), 0);
  EXPECT_EQ(patch.entries(), (Entries{{}, {0, 3, 4, 5}, {1, 6, 7, 8}, {}, {0, 9, 10, 11}}));
  EXPECT_EQ(list.Remove(1, patch), 0);  // the last row: the new last index
  EXPECT_EQ(list.Remove(0, patch), -1);

  // 512 -> 256 channels: only entries with a channel of 256 or more go.
  list.Add(art);
  PatchTable p2 = PatchOfDevices({{0, 253, 254, 255}, {0, 254, 255, 256}, {0, 600, 1, 2}, {1, 300, 301, 302}});
  OutputDevice smaller = art;
  smaller.channels = 256;
  list.Replace(0, smaller, p2);
  EXPECT_EQ(p2.entries(), (Entries{{0, 253, 254, 255}, {}, {}, {1, 300, 301, 302}}));
  // A driver change unpatches the device entirely.
  OutputDevice other = smaller;
  other.driver = kDriverTpm2;
  list.Replace(0, other, p2);
  EXPECT_EQ(p2.At(0, 0), PatchEntry{});
  EXPECT_EQ(list[0].driver, kDriverTpm2);
}

}  // namespace
}  // namespace quor

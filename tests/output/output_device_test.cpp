// The device list and damaged device records. The record layout itself is
// pinned by the project file's golden bytes.
#include "output/output_device.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace quor

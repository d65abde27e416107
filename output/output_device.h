// One output device as the user configures it, and its fixed 312-byte
// record in project files (52 bytes in format version 3 and older). The
// struct holds only the stored settings; open handles and send buffers live
// in the Outputs class while output runs. Plain data: any thread may copy it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/byte_io.h"

namespace quor {

// The driver values stored in `OutputDevice::driver`; also the order of the
// "Device Type" list.
enum OutputDriver : int32_t {
  kDriverArtNet = 0,
  kDriverTpm2Net = 1,
  kDriverGlediator = 2,
  kDriverTpm2 = 3,
  kDriverMiniDmx = 4,
  kDriverBitmapExport = 5,
  kDriverFileRecorder = 6,
  kDriverSacn = 7,
  kDriverDdp = 8,
};
inline constexpr int kDriverCount = 9;

inline constexpr size_t kDeviceAddressChars = 16;
inline constexpr size_t kDevicePathChars = 256;
inline constexpr size_t kDeviceRecordBytes = 312;
// Format version 3 and older stop after the run-time `handle` field.
inline constexpr size_t kDeviceRecordV3Bytes = 52;
inline constexpr int kArtNetPort = 6454;
inline constexpr int kTpm2NetPort = 65506;
// The largest channel count any wire format can carry (tpm2's 16-bit length).
inline constexpr int kMaxDeviceChannels = 65535;

struct OutputDevice {
  int32_t driver = kDriverArtNet;
  std::array<char, kDeviceAddressChars> address{};  // zero-terminated
  int32_t port = 0;                                  // low 16 bits used
  int32_t channels = 0;
  int32_t driverParam = 0;  // Art-Net Net, tpm2.net channels per block, serial baud rate, sACN priority
  int32_t subnet = 0;
  int32_t universe = 0;  // Art-Net 0..15, sACN 1..63999
  int32_t headerLength = 0;
  int32_t redirect = 0;  // 1 = write to `path` instead of the port
  std::array<char, kDevicePathChars> path{};  // zero-terminated; sACN keeps its CID in the tail

  std::string_view AddressText() const;
  std::string_view PathText() const;
  // Copy text in, cut to the field's size less the terminating zero (for
  // sACN also less the CID kept behind the text, which stays as it is).
  void SetAddress(std::string_view text);
  void SetPath(std::string_view text);
  bool Redirected() const { return redirect == 1; }

  friend bool operator==(const OutputDevice&, const OutputDevice&) = default;
};

// Serialises the record (the run-time fields `buffer` and `handle` are
// written as 0). `fullRecord` false writes the 52-byte prefix.
void WriteDeviceRecord(const OutputDevice& device, ByteWriter& out, bool fullRecord = true);
// Reads one record of format version `formatVersion` (<= 3: the prefix, with
// no redirection and an empty path). Texts are always terminated inside
// their fields, whatever the file holds. Returns false when the input ended
// early (the device then holds what was read, the rest zero).
bool ReadDeviceRecord(ByteReader& in, int formatVersion, OutputDevice& device);
inline constexpr size_t DeviceRecordBytes(int formatVersion) {
  return formatVersion <= 3 ? kDeviceRecordV3Bytes : kDeviceRecordBytes;
}

}  // namespace quor

#include "output/output_device.h"

#include <algorithm>
#include <cstring>

namespace quor {
namespace {

template <size_t N>
std::string_view TextOf(const std::array<char, N>& field) {
  const auto end = std::find(field.begin(), field.end(), '\0');
  return std::string_view(field.data(), static_cast<size_t>(end - field.begin()));
}

template <size_t N>
void SetText(std::array<char, N>& field, std::string_view text) {
  field.fill('\0');
  std::memcpy(field.data(), text.data(), std::min(text.size(), N - 1));
}

}  // namespace

std::string_view OutputDevice::AddressText() const { return TextOf(address); }
std::string_view OutputDevice::PathText() const { return TextOf(path); }
void OutputDevice::SetAddress(std::string_view text) { SetText(address, text); }
void OutputDevice::SetPath(std::string_view text) {
  // The last 17 bytes of an sACN record's path hold its CID and a zero.
  const size_t room = driver == kDriverSacn ? kDevicePathChars - 17 : kDevicePathChars;
  std::fill(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(room), '\0');
  std::memcpy(path.data(), text.data(), std::min(text.size(), room - 1));
}

void WriteDeviceRecord(const OutputDevice& device, ByteWriter& out, bool fullRecord) {
  out.PutI32(device.driver);
  out.PutBytes(device.address.data(), device.address.size());
  out.PutI32(device.port);
  out.PutI32(device.channels);
  out.PutI32(device.driverParam);
  out.PutI32(device.subnet);
  out.PutI32(device.universe);
  out.PutU32(0);  // buffer: run time only
  out.PutI32(device.headerLength);
  out.PutU32(0);  // handle: run time only
  if (!fullRecord) return;
  out.PutI32(device.redirect);
  out.PutBytes(device.path.data(), device.path.size());
}

bool ReadDeviceRecord(ByteReader& in, int formatVersion, OutputDevice& device) {
  device = OutputDevice{};
  device.driver = in.GetI32();
  in.GetBytes(device.address.data(), device.address.size());
  device.port = in.GetI32();
  device.channels = in.GetI32();
  device.driverParam = in.GetI32();
  device.subnet = in.GetI32();
  device.universe = in.GetI32();
  in.Skip(4);  // buffer
  device.headerLength = in.GetI32();
  in.Skip(4);  // handle
  if (formatVersion > 3) {
    device.redirect = in.GetI32();
    in.GetBytes(device.path.data(), device.path.size());
  }
  // A damaged file may hold texts without their terminating zero.
  device.address.back() = '\0';
  device.path.back() = '\0';
  return in.ok();
}

// driver, address, port, channels, driverParam, subnet, universe, buffer,
// headerLength, handle; then redirect and path.
static_assert(4 + kDeviceAddressChars + 5 * 4 + 3 * 4 == kDeviceRecordV3Bytes);
static_assert(kDeviceRecordV3Bytes + 4 + kDevicePathChars == kDeviceRecordBytes);

}  // namespace quor

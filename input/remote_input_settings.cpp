#include "input/remote_input_settings.h"

#include <algorithm>

#include "core/byte_io.h"

namespace quor {

std::string RemoteInputSettings::PortName() const {
  const auto end = std::find(portName.begin(), portName.end(), '\0');
  return std::string(portName.begin(), end);
}

void RemoteInputSettings::SetPortName(const std::string& name) {
  portName.fill('\0');
  std::copy_n(name.begin(), std::min(name.size(), portName.size() - 1), portName.begin());
}

void WriteRemoteInputSettings(const RemoteInputSettings& s, std::span<uint8_t, kRemoteInputSettingsBytes> out) {
  ByteWriter w(out);
  w.PutI32(s.inputType);
  w.PutBytes(s.portName.data(), s.portName.size());
  w.PutI32(s.listenPort);
  w.PutI32(s.baudOrNet);
  w.PutI32(s.subnet);
  w.PutI32(s.universe);
  w.PutI32(s.firstChannel);
  w.PutU32(s.handle);
  w.PutI32(s.limitTo32);
}

RemoteInputSettings ReadRemoteInputSettings(std::span<const uint8_t, kRemoteInputSettingsBytes> in) {
  ByteReader r(in);
  RemoteInputSettings s;
  s.inputType = r.GetI32();
  r.GetBytes(s.portName.data(), s.portName.size());
  s.portName.back() = '\0';  // a damaged record still yields a bounded name
  s.listenPort = r.GetI32();
  s.baudOrNet = r.GetI32();
  s.subnet = r.GetI32();
  s.universe = r.GetI32();
  s.firstChannel = r.GetI32();
  s.handle = r.GetU32();
  s.limitTo32 = r.GetI32();
  return s;
}

}  // namespace quor

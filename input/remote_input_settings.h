// The remote-control input settings: which protocol a console uses to drive
// scenes, chases, master and strobe, and where it listens. Stored whole in
// the project file as a 48-byte little-endian record.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace quor {

enum RemoteInputType : int32_t { kRemoteTpm2 = 0, kRemoteTpm2Net = 1, kRemoteArtNet = 2 };

struct RemoteInputSettings {
  int32_t inputType = kRemoteTpm2Net;
  std::array<char, 16> portName{};  // serial port name, zero-terminated
  int32_t listenPort = 65506;
  int32_t baudOrNet = 0;  // tpm2: baud rate; Art-Net: Net 0..127
  int32_t subnet = 0;
  int32_t universe = 0;
  int32_t firstChannel = 0;  // first of the four remote channels, 0..508
  uint32_t handle = 0;       // run time only; kept as read, never used
  int32_t limitTo32 = 0;

  std::string PortName() const;
  void SetPortName(const std::string& name);  // cut to 15 characters
  friend bool operator==(const RemoteInputSettings&, const RemoteInputSettings&) = default;
};

inline constexpr size_t kRemoteInputSettingsBytes = 48;

void WriteRemoteInputSettings(const RemoteInputSettings& settings, std::span<uint8_t, kRemoteInputSettingsBytes> out);
RemoteInputSettings ReadRemoteInputSettings(std::span<const uint8_t, kRemoteInputSettingsBytes> in);

}  // namespace quor

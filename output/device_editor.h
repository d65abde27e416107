// The rules of the "Add/Edit Device" editor without its widgets: which
// fields each driver enables, the values a change of driver puts in, the
// derived Chan/Block and Blocks fields, and the check that turns the fields
// into a stored record or names the field to correct. The dialog shows a
// DeviceForm and calls these on its events. UI thread.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "output/output_device.h"

namespace quor {

inline constexpr std::array<int, 7> kBaudRates = {115200, 230400, 250000, 500000, 921600, 1000000, 1250000};
inline constexpr std::array<int, 6> kMiniDmxChannelCounts = {96, 256, 512, 768, 1536, 3072};
inline constexpr const char* kNoExportTargetMessage = "No directory or file for export selected.";
inline constexpr int kMaxTpm2NetBlocks = 255;  // the packet count is one byte on the wire

// Editor fields, as bits of a set.
enum EditorField : uint32_t {
  kFieldNone = 0,
  kFieldIpAddress = 1u << 0,
  kFieldNet = 1u << 1,
  kFieldSubnet = 1u << 2,
  kFieldUniverse = 1u << 3,
  kFieldChannels = 1u << 4,
  kFieldChanPerBlock = 1u << 5,
  kFieldSerialPort = 1u << 6,
  kFieldBaud = 1u << 7,
  kFieldRedirect = 1u << 8,
  kFieldSelect = 1u << 9,
  kFieldPriority = 1u << 10,  // sACN
};

// What the editor shows. "Port" and "Blocks" are display-only.
struct DeviceForm {
  int driver = kDriverArtNet;
  std::string ip, port, net, subnet, universe, channels, chanPerBlock, blocks;
  std::string priority;    // sACN

  std::string serialPort;  // the selected port name; "" when the list is empty
  int baud = kBaudRates[0];
  bool redirect = false;  // the redirection box
  std::string path;       // the chosen file or folder
};

// The record a new device starts from.
OutputDevice NewDeviceDefaults();
// The form for editing `device`, with `serialPorts` the system's port list.
DeviceForm OpenForm(const OutputDevice& device, std::span<const std::string> serialPorts);
// The "Adressing" column of the device list for `device`: the channel count
// first ("Chan: %d"), for every driver that sends channels, then the
// driver's own addressing.
std::string AddressingText(const OutputDevice& device);
// "Device Type" changed to `driver`.
void ChangeDriver(DeviceForm& form, int driver, int matrixWidth, int matrixHeight,
                  std::span<const std::string> serialPorts);
// The set of enabled fields.
uint32_t EnabledFields(const DeviceForm& form);
// "Channels" or "Chan/Block" changed (every keystroke).
void ChannelsEdited(DeviceForm& form);
// Focus left "Channels" or "Chan/Block".
void ChannelsLeft(DeviceForm& form);
// The next MiniDMX channel count at or above `channels` (3072 above 1536).
int RoundUpMiniDmxChannels(int64_t channels);
// A field's text read as an unsigned number; anything else counts as 0.
uint32_t ReadFieldNumber(std::string_view text);

struct FormCheck {
  EditorField failed = kFieldNone;  // the field to focus, or none when stored
  bool showNoTargetMessage = false;  // show kNoExportTargetMessage as an error
  OutputDevice device;               // the record to store when failed is none
};
// "OK": checks the fields in order and builds the record from `working`.
FormCheck CheckForm(const DeviceForm& form, const OutputDevice& working);

}  // namespace quor

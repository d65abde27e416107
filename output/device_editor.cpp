#include "output/device_editor.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "output/ddp_encoder.h"
#include "output/drivers.h"
#include "output/sacn_encoder.h"

namespace quor {
namespace {

bool IsSerial(int driver) { return driver == kDriverGlediator || driver == kDriverTpm2 || driver == kDriverMiniDmx; }
bool IsExport(int driver) { return driver == kDriverBitmapExport || driver == kDriverFileRecorder; }

std::string Number(int64_t v) { return std::to_string(v); }

std::string BlocksOf(uint32_t channels, uint32_t perBlock) {
  if (perBlock == 0) return std::string();
  return Number((static_cast<int64_t>(channels) + perBlock - 1) / perBlock);
}

}  // namespace

OutputDevice NewDeviceDefaults() {
  OutputDevice d;
  d.driver = kDriverArtNet;
  d.SetAddress("127.0.0.1");
  d.port = kArtNetPort;
  d.channels = 512;
  d.headerLength = Drivers()[kDriverArtNet].headerLength;
  return d;
}

uint32_t ReadFieldNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i == text.size()) return 0;
  uint64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    if (value > std::numeric_limits<uint32_t>::max()) return 0;
  }
  return static_cast<uint32_t>(value);
}

int RoundUpMiniDmxChannels(int64_t channels) {
  for (int count : kMiniDmxChannelCounts) {
    if (channels <= count) return count;
  }
  return kMiniDmxChannelCounts.back();
}

DeviceForm OpenForm(const OutputDevice& device, std::span<const std::string> serialPorts) {
  DeviceForm f;
  f.driver = device.driver;
  f.ip = std::string(device.AddressText());
  f.port = Number(device.port);
  f.net = Number(device.driverParam);
  f.subnet = Number(device.subnet);
  f.universe = Number(device.universe);
  f.channels = Number(device.channels);
  f.chanPerBlock = f.channels;
  f.blocks = std::string("1");
  if (device.driver == kDriverTpm2Net) {
    f.chanPerBlock = Number(device.driverParam);
    f.blocks = BlocksOf(static_cast<uint32_t>(std::max(device.channels, 0)),
                        static_cast<uint32_t>(std::max(device.driverParam, 0)));
  }
  if (device.driver == kDriverSacn) f.priority = Number(device.driverParam);
  if (device.driver == kDriverDdp) {
    f.chanPerBlock = Number(kDdpMaxDataBytes);
    f.blocks = BlocksOf(static_cast<uint32_t>(std::max(device.channels, 0)), kDdpMaxDataBytes);
  }
  f.serialPort = serialPorts.empty() ? std::string() : serialPorts.front();
  if (IsSerial(device.driver)) {
    if (std::find(kBaudRates.begin(), kBaudRates.end(), device.driverParam) != kBaudRates.end()) {
      f.baud = device.driverParam;
    }
    const auto port = std::find(serialPorts.begin(), serialPorts.end(), std::string(device.AddressText()));
    if (port != serialPorts.end()) f.serialPort = *port;
  }
  f.redirect = device.Redirected();
  f.path = std::string(device.PathText());
  return f;
}

std::string AddressingText(const OutputDevice& d) {
  char text[96] = {};
  if (d.driver == kDriverArtNet) {
    std::snprintf(text, sizeof text, "Chan: %d - Net: %d - Subnet: %d - Universe: %d", d.channels, d.driverParam,
                  d.subnet, d.universe);
  } else if (d.driver == kDriverTpm2Net) {
    std::snprintf(text, sizeof text, "Chan: %d - Chan/Block: %d", d.channels, d.driverParam);
  } else if (IsSerial(d.driver)) {
    std::snprintf(text, sizeof text, "Chan: %d - Baud: %d", d.channels, d.driverParam);
  } else if (d.driver == kDriverSacn) {
    std::snprintf(text, sizeof text, "Chan: %d - Universe: %d - Priority: %d", d.channels, d.universe, d.driverParam);
  } else if (d.driver == kDriverDdp) {
    std::snprintf(text, sizeof text, "Chan: %d", d.channels);
  }
  return text;
}

void ChangeDriver(DeviceForm& f, int driver, int matrixWidth, int matrixHeight,
                  std::span<const std::string> serialPorts) {
  f.driver = driver;
  const int64_t matrixChannels = static_cast<int64_t>(matrixWidth) * matrixHeight * 3;
  if (driver == kDriverArtNet) {
    f.channels = f.chanPerBlock = std::string("512");
    f.blocks = std::string("1");
    f.ip = std::string("127.0.0.1");
    f.port = Number(kArtNetPort);
    f.net = f.subnet = f.universe = std::string("0");
  } else if (driver == kDriverTpm2Net) {
    f.channels = f.chanPerBlock = Number(matrixChannels);
    f.blocks = std::string("1");
    f.ip = std::string("127.0.0.1");
    f.port = Number(kTpm2NetPort);
    f.net = f.subnet = f.universe = std::string("");
  } else if (IsSerial(driver)) {
    const int64_t channels = driver == kDriverMiniDmx ? RoundUpMiniDmxChannels(matrixChannels) : matrixChannels;
    f.channels = f.chanPerBlock = Number(channels);
    f.blocks = std::string("1");
    f.ip = f.port = f.net = f.subnet = f.universe = std::string("");
    f.baud = kBaudRates[0];
    f.serialPort = serialPorts.empty() ? std::string() : serialPorts.front();
  } else if (driver == kDriverSacn) {
    // 170 whole pixels; an empty address sends to the universe's multicast group.
    f.channels = f.chanPerBlock = std::string("510");
    f.blocks = std::string("1");
    f.ip = std::string("");
    f.port = Number(kSacnPort);
    f.universe = std::string("1");
    f.priority = Number(kSacnDefaultPriority);
    f.net = f.subnet = std::string("");
  } else if (driver == kDriverDdp) {
    f.channels = Number(matrixChannels);
    f.chanPerBlock = Number(kDdpMaxDataBytes);
    f.blocks = BlocksOf(static_cast<uint32_t>(matrixChannels), kDdpMaxDataBytes);
    f.ip = std::string("127.0.0.1");
    f.port = Number(kDdpPort);
    f.net = f.subnet = f.universe = std::string("");
  } else if (IsExport(driver)) {
    f.redirect = true;
  }
}

uint32_t EnabledFields(const DeviceForm& f) {
  if (IsExport(f.driver)) return kFieldSelect;
  uint32_t fields = kFieldChannels | kFieldRedirect;
  if (f.driver == kDriverArtNet) fields |= kFieldIpAddress | kFieldNet | kFieldSubnet | kFieldUniverse;
  if (f.driver == kDriverTpm2Net) fields |= kFieldIpAddress | kFieldChanPerBlock;
  if (f.driver == kDriverSacn) fields |= kFieldIpAddress | kFieldUniverse | kFieldPriority;
  if (f.driver == kDriverDdp) fields |= kFieldIpAddress;
  if (IsSerial(f.driver)) fields |= kFieldSerialPort | kFieldBaud;
  if (f.redirect) {
    fields |= kFieldSelect;
    fields &= ~static_cast<uint32_t>(kFieldIpAddress | kFieldSerialPort | kFieldBaud);
  }
  return fields;
}

void ChannelsEdited(DeviceForm& f) {
  if (f.driver == kDriverArtNet || f.driver == kDriverTpm2 || f.driver == kDriverGlediator ||
      f.driver == kDriverSacn) {
    f.chanPerBlock = f.channels;
  }
  const uint32_t perBlock = ReadFieldNumber(f.chanPerBlock);
  if (perBlock != 0) f.blocks = BlocksOf(ReadFieldNumber(f.channels), perBlock);
}

void ChannelsLeft(DeviceForm& f) {
  if (f.driver == kDriverTpm2Net && ReadFieldNumber(f.chanPerBlock) > ReadFieldNumber(f.channels)) {
    f.chanPerBlock = f.channels;
  }
  if (f.driver == kDriverMiniDmx) {
    f.channels = f.chanPerBlock = Number(RoundUpMiniDmxChannels(ReadFieldNumber(f.channels)));
  }
  ChannelsEdited(f);
}

FormCheck CheckForm(const DeviceForm& f, const OutputDevice& working) {
  FormCheck check;
  OutputDevice d = working;
  d.driver = f.driver;
  const uint32_t channels = ReadFieldNumber(f.channels);
  auto refuse = [&check](EditorField field) {
    check.failed = field;
    return check;
  };
  if (f.driver == kDriverArtNet) {
    if (channels < 1 || channels > 512 || channels % 2 != 0) return refuse(kFieldChannels);
    const uint32_t net = ReadFieldNumber(f.net);
    const uint32_t subnet = ReadFieldNumber(f.subnet);
    const uint32_t universe = ReadFieldNumber(f.universe);
    if (net > 127) return refuse(kFieldNet);
    if (subnet > 15) return refuse(kFieldSubnet);
    if (universe > 15) return refuse(kFieldUniverse);
    d.port = kArtNetPort;
    d.channels = static_cast<int32_t>(channels);
    d.driverParam = static_cast<int32_t>(net);
    d.subnet = static_cast<int32_t>(subnet);
    d.universe = static_cast<int32_t>(universe);
    d.SetAddress(f.ip);
  } else if (f.driver == kDriverTpm2Net) {
    // Larger counts would not fit the wire's 16-bit sizes and one-byte
    // packet numbers.
    if (channels < 1 || channels > static_cast<uint32_t>(kMaxDeviceChannels)) return refuse(kFieldChannels);
    const uint32_t perBlock = ReadFieldNumber(f.chanPerBlock);
    if (perBlock < 1 || perBlock > channels) return refuse(kFieldChanPerBlock);
    if ((channels + perBlock - 1) / perBlock > kMaxTpm2NetBlocks) return refuse(kFieldChanPerBlock);
    d.port = kTpm2NetPort;
    d.channels = static_cast<int32_t>(channels);
    d.driverParam = static_cast<int32_t>(perBlock);
    d.SetAddress(f.ip);
  } else if (f.driver == kDriverSacn) {
    if (channels < 1 || channels > static_cast<uint32_t>(kSacnMaxSlots)) return refuse(kFieldChannels);
    const uint32_t universe = ReadFieldNumber(f.universe);
    if (universe < kSacnMinUniverse || universe > kSacnMaxUniverse) return refuse(kFieldUniverse);
    const uint32_t priority = ReadFieldNumber(f.priority);
    if (priority > kSacnMaxPriority) return refuse(kFieldPriority);
    // A record that held another driver may have path text where the CID
    // lives; the list gives the device the project's CID.
    if (working.driver != kDriverSacn) SetCid(d, SacnCid{});
    d.port = kSacnPort;
    d.channels = static_cast<int32_t>(channels);
    d.driverParam = static_cast<int32_t>(priority);
    d.subnet = 0;
    d.universe = static_cast<int32_t>(universe);
    d.SetAddress(f.ip);
  } else if (f.driver == kDriverDdp) {
    if (channels < 1 || channels > static_cast<uint32_t>(kMaxDeviceChannels)) return refuse(kFieldChannels);
    d.port = kDdpPort;
    d.channels = static_cast<int32_t>(channels);
    d.driverParam = d.subnet = d.universe = 0;
    d.SetAddress(f.ip);
  } else if (IsSerial(f.driver)) {
    if (channels < 1 || channels > static_cast<uint32_t>(kMaxDeviceChannels)) return refuse(kFieldChannels);
    d.port = 0;
    d.channels = f.driver == kDriverMiniDmx ? RoundUpMiniDmxChannels(channels) : static_cast<int32_t>(channels);
    d.driverParam = f.baud;
    d.SetAddress(f.serialPort);
  } else if (IsExport(f.driver)) {
    if (f.path.empty()) {
      check.showNoTargetMessage = true;
      return refuse(kFieldSelect);
    }
  } else {
    return refuse(kFieldChannels);  // not a driver of the list
  }
  d.headerLength = Drivers()[static_cast<size_t>(f.driver)].headerLength;
  d.redirect = 0;
  d.SetPath("");
  // A path longer than the record holds would be stored cut short, naming
  // some other file or folder.
  const size_t pathChars = f.driver == kDriverSacn ? kSacnPathChars + 1 : kDevicePathChars;
  if ((f.redirect || IsExport(f.driver)) && f.path.size() >= pathChars) return refuse(kFieldSelect);
  if (f.redirect && !f.path.empty()) {
    d.SetPath(f.path);
    d.redirect = 1;
  }
  check.device = d;
  return check;
}

}  // namespace quor

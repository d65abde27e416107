// libFuzzer target: arbitrary bytes as an Art-Net poll reply, read by the
// discovery reader and added to a device list twice; the second time must
// add nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "core/console.h"
#include "input/artnet_discovery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> datagram(data, std::min(size, quor::kScanDatagramBytes));
  const std::optional<quor::ArtPollReplyInfo> reply = quor::ParseArtPollReply(datagram);
  if (!reply) return 0;
  if (reply->outputPorts.size() > quor::kMaxReplyPorts || reply->shortName.size() > 18) std::abort();
  static quor::Console console;
  static const bool quiet = [] {
    console.SetSink([](std::string_view) {});
    return true;
  }();
  (void)quiet;
  quor::OutputDeviceList devices(console);
  const int added = quor::AddDiscoveredDevices(devices, *reply, console);
  if (added != devices.count() || quor::AddDiscoveredDevices(devices, *reply, console) != 0) std::abort();
  return 0;
}
